#include "frame/strings.h"

#include <cmath>
#include <cstdlib>

extern "C" int idamax_(const int* n, const double* x, const int* incx);

namespace vsf {

int zstrlen(const char* s) { return s ? static_cast<int>(std::strlen(s)) : 0; }

int ztrimlen(const char* s, int length) {
  while (length > 0 && s[length - 1] == ' ') --length;
  return length < 0 ? 0 : length;
}

int zallchr(char c, const char* s, int length) {
  for (int i = 0; i < length; ++i)
    if (s[i] != c) return 0;
  return 1;
}

int zfindchr(const char* s, int length, char c) {
  if (!s) return -1;
  for (int i = 0; i < length; ++i)
    if (s[i] == c) return i;
  return -1;
}

int zfindstr(const char* text, int textLength, const char* pattern, int patternLength) {
  if (patternLength < 1) patternLength = zstrlen(pattern);
  if (!pattern || patternLength == 0) return 0;
  if (!text || textLength <= 0) return -1;
  std::string_view t(text, static_cast<size_t>(textLength));
  size_t p = t.find(std::string_view(pattern, static_cast<size_t>(patternLength)));
  return p == std::string_view::npos ? -1 : static_cast<int>(p);
}

int zverify(const char* s, int length, const char* set, int setLength) {
  if (length <= 0) return -1;
  if (setLength <= 0) return 0;
  for (int i = 0; i < length; ++i)
    if (std::memchr(set, s[i], static_cast<size_t>(setLength)) == nullptr) return i;
  return -1;
}

namespace {

// Compares as if the shorter string were padded with blanks; bytes mapped through `map`.
template <typename Map>
int padCompare(const char* a, int la, const char* b, int lb, Map map) {
  int n = la > lb ? la : lb;
  for (int i = 0; i < n; ++i) {
    unsigned ca = map(i < la ? static_cast<unsigned char>(a[i]) : ' ');
    unsigned cb = map(i < lb ? static_cast<unsigned char>(b[i]) : ' ');
    if (ca != cb) return ca < cb ? -(i + 1) : i + 1;
  }
  return 0;
}

}  // namespace

int zpadcmp(const char* a, int la, const char* b, int lb) {
  return padCompare(a, la, b, lb, [](unsigned c) { return c; });
}

// The session collates in byte order: its table is the identity.
int zcolcmp(const char* a, int la, const char* b, int lb) {
  return padCompare(a, la, b, lb, [](unsigned c) { return c; });
}

void zjustify(char* buffer, int width, char mode, int* textLength, int* start) {
  int first = 0;
  while (first < width && buffer[first] == ' ') ++first;
  int last = width;
  while (last > first && buffer[last - 1] == ' ') --last;
  int n = last - first;
  int to = first;
  switch (mode) {
    case 'L': case 'l': to = 0; break;
    case 'R': case 'r': to = width - n; break;
    case 'C': case 'c': to = (width - n) / 2; break;
    default: break;
  }
  if (n > 0 && to != first) {
    std::memmove(buffer + to, buffer + first, static_cast<size_t>(n));
    for (int i = 0; i < to; ++i) buffer[i] = ' ';
    for (int i = to + n; i < width; ++i) buffer[i] = ' ';
  }
  if (textLength) *textLength = n;
  if (start) *start = n > 0 ? to : 0;
}

int zcopypad(const char* source, int sourceLength, char* field, int width) {
  bool terminate = width < 0;
  int size = terminate ? ~width : width;
  int n = source ? (sourceLength < size ? sourceLength : size) : 0;
  if (n < 0) n = 0;
  if (n > 0) std::memmove(field, source, static_cast<size_t>(n));
  if (terminate) {
    field[n] = '\0';
  } else {
    for (int i = n; i < size; ++i) field[i] = ' ';
  }
  return n;
}

uint32_t zitoa(long long value, char* field, int width) {
  char digits[24];
  unsigned long long mag = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                     : static_cast<unsigned long long>(value);
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + mag % 10);
    mag /= 10;
  } while (mag);
  if (value < 0) digits[n++] = '-';
  if (n > width) {
    for (int i = 0; i < width; ++i) field[i] = '*';
    return 0x8000200Du;
  }
  int pad = width - n;
  for (int i = 0; i < pad; ++i) field[i] = ' ';
  for (int i = 0; i < n; ++i) field[pad + i] = digits[n - 1 - i];
  return 0;
}

int zwtrimlen(const char* s, int length) { return ztrimlen(s, length); }

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
    if (b < 0x80) { c = b; len = 1; }
    else if ((b & 0xE0) == 0xC0 && i + 1 < s.size()) { c = ((b & 0x1F) << 6) | (s[i + 1] & 0x3F); len = 2; }
    else if ((b & 0xF0) == 0xE0 && i + 2 < s.size()) {
      c = ((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F); len = 3;
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

uint64_t missingBits(char code) {
  uint64_t inv = static_cast<uint8_t>(~static_cast<unsigned char>(code));
  return 0xFFFF000000000000ULL | (inv << 40);
}

double missingValue(char code) {
  uint64_t u = missingBits(code);
  double d;
  std::memcpy(&d, &u, 8);
  return d;
}

char missingCode(double x) {
  uint64_t u = bitsOf(x);
  if ((u >> 48) != 0xFFFF) return 0;
  return static_cast<char>(~static_cast<unsigned char>((u >> 40) & 0xFF));
}

int znotfinite(double x) { return (bitsOf(x) & 0x7FF0000000000000ULL) == 0x7FF0000000000000ULL; }

int zhasmiss(const double* x, int n) {
  for (int i = 0; i < n; ++i)
    if (std::isnan(x[i])) return 1;
  return 0;
}

int zanymiss(const double* x, int n) {
  for (int i = 0; i < n; ++i)
    if ((bitsOf(x[i]) >> 48) == 0xFFFF) return 1;
  return 0;
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

double fuzzToZero(double x) {
  if ((bitsOf(x) >> 48) == 0xFFFF) return x;
  return std::fabs(x) < 1.110223024625157e-13 ? 0.0 : x;
}

long long packedElementCount(long long n) {
  long long count = n * (n + 1) / 2;
  if (n < 0 || count >= (1LL << 31) / 8) return -1;
  return count;
}

double zddot(const double* x, const double* y, int n) {
  double s = 0.0;
  int i = 0;
  for (; i + 8 <= n; i += 8)
    s += x[i] * y[i] + x[i + 1] * y[i + 1] + x[i + 2] * y[i + 2] + x[i + 3] * y[i + 3] +
         x[i + 4] * y[i + 4] + x[i + 5] * y[i + 5] + x[i + 6] * y[i + 6] + x[i + 7] * y[i + 7];
  for (; i + 4 <= n; i += 4)
    s += x[i] * y[i] + x[i + 1] * y[i + 1] + x[i + 2] * y[i + 2] + x[i + 3] * y[i + 3];
  for (; i + 2 <= n; i += 2) s += x[i] * y[i] + x[i + 1] * y[i + 1];
  for (; i < n; ++i) s += x[i] * y[i];
  return s;
}

double zdamax(const double* x, int n) {
  if (n < 1) return 0.0;
  int inc = 1;
  int k = idamax_(&n, x, &inc);  // 1-based
  return std::fabs(x[k - 1]);
}

double zpowchk(double x, double y, int* status) {
  *status = 0;
  if (x == 0.0) {
    if (y > 0) return 0.0;
    *status = 3;
    return missingValue('.');
  }
  if (y == 1.0) return x;
  if (y == 0.0) return 1.0;
  bool integer = std::fabs(y) < 2147483647.0 && y == std::trunc(y);
  if (x < 0 && !integer) {
    *status = 2;
    return missingValue('.');
  }
  bool odd = integer && std::fmod(std::fabs(y), 2.0) == 1.0;
  double ax = std::fabs(x);
  if (ax == 1.0) return (x < 0 && odd) ? -1.0 : 1.0;
  if (std::fabs(y) >= 1.3407807929943e+154) {
    if ((ax > 1 && y > 0) || (ax < 1 && y < 0)) {
      *status = 1;
      return missingValue('.');
    }
    return 0.0;
  }
  double t = y * 1.0000000000000007 * std::log(ax);
  if (t >= 709.782712893384) {
    *status = 1;
    return missingValue('.');
  }
  if (t <= -708.3964185) return 0.0;
  double r;
  if (integer && std::fabs(t) < 72.0873067782343) {
    unsigned long long e = static_cast<unsigned long long>(std::fabs(y));
    double base = ax;
    r = 1.0;
    while (e) {
      if (e & 1) r *= base;
      base *= base;
      e >>= 1;
    }
    if (y < 0) r = 1.0 / r;
  } else {
    r = std::exp(y * std::log(ax));
  }
  return (x < 0 && odd) ? -r : r;
}

}  // namespace vsf
