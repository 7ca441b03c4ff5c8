// The host's value and name contracts: the missing-value encoding, the order of sort keys and
// the comparison of names, shared by the procedure and the host.
#include "frame/host/values.h"

#include <cstring>

namespace vsf {

int ztrimlen(const char* s, int length) {
  while (length > 0 && s[length - 1] == ' ') --length;
  return length < 0 ? 0 : length;
}

// Compares as if the shorter string were padded with blanks: minus or plus the 1-based
// position of the first difference, 0 when equal.
int zpadcmp(const char* a, int la, const char* b, int lb) {
  int n = la > lb ? la : lb;
  for (int i = 0; i < n; ++i) {
    unsigned ca = i < la ? static_cast<unsigned char>(a[i]) : ' ';
    unsigned cb = i < lb ? static_cast<unsigned char>(b[i]) : ' ';
    if (ca != cb) return ca < cb ? -(i + 1) : i + 1;
  }
  return 0;
}

namespace {

char32_t upperCodePoint(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c == 0xB5) return 0x39C;
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A pairs: even upper, odd lower, except the runs that start odd.
    bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x131) return 'I';
    if (c == 0x17F) return 'S';
    if (oddUpper) return (c % 2 == 0) ? c - 1 : c;
    return (c % 2 == 1 && c != 0x138 && c != 0x149) ? c - 1 : c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

void zwcsupper(std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    char32_t c;
    size_t len;
    if (b < 0x80) {
      c = b;
      len = 1;
    } else if ((b & 0xE0) == 0xC0 && i + 1 < s.size()) {
      c = ((b & 0x1F) << 6) | (s[i + 1] & 0x3F);
      len = 2;
    } else if ((b & 0xF0) == 0xE0 && i + 2 < s.size()) {
      c = ((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
      len = 3;
    } else {  // four-byte forms and stray bytes pass unchanged
      out += s[i++];
      continue;
    }
    appendUtf8(out, upperCodePoint(c));
    i += len;
  }
  s.swap(out);
}

std::string upperCopy(std::string_view s) {
  std::string u(s);
  zwcsupper(u);
  return u;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  auto up = [](unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; };
  if (a.size() != b.size()) return upperCopy(a) == upperCopy(b);
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 0x80 || y >= 0x80) return upperCopy(a) == upperCopy(b);
    if (up(x) != up(y)) return false;
  }
  return true;
}

namespace {

// Rank of a special value: '-' first, then '.', then the other codes by character value,
// and '>' above every other special value.
int specialRank(double x) {
  unsigned char c = static_cast<unsigned char>(missingCode(x));
  if ((bitsOf(x) >> 48) != 0xFFFF) c = '.';  // infinities and plain NaNs rank as '.'
  if (c == '-') return 0;
  if (c == '.') return 1;
  if (c == '>') return 1000;
  return 2 + c;
}

}  // namespace

int zkeycmp(const void* a, const void* b, int keyType, int offset) {
  const char* pa = static_cast<const char*>(a) + offset;
  const char* pb = static_cast<const char*>(b) + offset;
  if (keyType < 0) {
    double x, y;
    std::memcpy(&x, pa, 8);
    std::memcpy(&y, pb, 8);
    bool sx = znotfinite(x), sy = znotfinite(y);
    if (sx || sy) {
      // Special values rank below every number, so the order stays a strict weak order.
      if (!sy) return -1;
      if (!sx) return 1;
      int rx = specialRank(x), ry = specialRank(y);
      return rx < ry ? -1 : (rx > ry ? 1 : 0);
    }
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  if (keyType == 0) {
    int32_t x, y;
    std::memcpy(&x, pa, 4);
    std::memcpy(&y, pb, 4);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  int c = std::memcmp(pa, pb, static_cast<size_t>(keyType));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace vsf
