// The host's value and name contracts, shared by the procedure and the host: the missing-value
// encoding, the order of sort keys and the comparison of blank-padded and case-folded names.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vsf {

// ---- Missing values ----
// A missing value is a NaN whose top 16 bits are ones and whose next byte is the complement
// of its code character; "." is 0xFFFFD10000000000. Test by bits, never by comparison.
inline uint64_t bitsOf(double x) {
  uint64_t u;
  std::memcpy(&u, &x, 8);
  return u;
}
inline uint64_t missingBits(char code) {
  uint64_t inv = static_cast<uint8_t>(~static_cast<unsigned char>(code));
  return 0xFFFF000000000000ULL | (inv << 40);
}
inline double missingValue(char code = '.') {
  uint64_t u = missingBits(code);
  double d;
  std::memcpy(&d, &u, 8);
  return d;
}
inline double kMissingDot() { return missingValue('.'); }
// The code character of a value whose top 16 bits are ones; 0 for anything else.
inline char missingCode(double x) {
  uint64_t u = bitsOf(x);
  if ((u >> 48) != 0xFFFF) return 0;
  return static_cast<char>(~static_cast<unsigned char>((u >> 40) & 0xFF));
}
inline int znotfinite(double x) {
  return (bitsOf(x) & 0x7FF0000000000000ULL) == 0x7FF0000000000000ULL;
}

// ---- Sort keys ----
// Compares two keys at `offset`: keyType < 0 doubles (special values below every number, '-'
// first, '.' next, then by code, '>' last), 0 32-bit integers, > 0 that many bytes.
int zkeycmp(const void* a, const void* b, int keyType, int offset);

// ---- Blank-padded texts ----
int ztrimlen(const char* s, int length);
int zpadcmp(const char* a, int la, const char* b, int lb);
inline int zpadcmp(std::string_view a, std::string_view b) {
  return zpadcmp(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
}
inline std::string_view trimRight(std::string_view s) {
  return s.substr(0, static_cast<size_t>(ztrimlen(s.data(), static_cast<int>(s.size()))));
}

// ---- Names (UTF-8) ----
// The columns a text takes on the page: one per character, not one per byte.
inline int textWidth(std::string_view s) {
  int n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}
// The text's first bytes up to n, never ending inside a character (a name cut to its 32 bytes
// stays valid UTF-8).
inline std::string_view textHead(std::string_view s, size_t n) {
  if (s.size() <= n) return s;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}
// Upper-cases in place; ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters.
void zwcsupper(std::string& s);
std::string upperCopy(std::string_view s);
bool equalsNoCase(std::string_view a, std::string_view b);

}  // namespace vsf
