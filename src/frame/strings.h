// Blank-padded byte strings, host names, missing values and small numeric kernels used
// across the procedure.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vsf {

// ---- Byte strings ----
int zstrlen(const char* s);
int ztrimlen(const char* s, int length);
int zallchr(char c, const char* s, int length);
int zfindchr(const char* s, int length, char c);
int zfindstr(const char* text, int textLength, const char* pattern, int patternLength);
int zverify(const char* s, int length, const char* set, int setLength);
int zpadcmp(const char* a, int la, const char* b, int lb);
int zcolcmp(const char* a, int la, const char* b, int lb);
void zjustify(char* buffer, int width, char mode, int* textLength, int* start);
int zcopypad(const char* source, int sourceLength, char* field, int width);
uint32_t zitoa(long long value, char* field, int width);

inline int zpadcmp(std::string_view a, std::string_view b) {
  return zpadcmp(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
}
inline std::string_view trimRight(std::string_view s) {
  return s.substr(0, static_cast<size_t>(ztrimlen(s.data(), static_cast<int>(s.size()))));
}

// ---- Host names and texts (UTF-8) ----
int zwtrimlen(const char* s, int length);
// Upper-cases in place; ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters.
void zwcsupper(std::string& s);
std::string upperCopy(std::string_view s);
bool equalsNoCase(std::string_view a, std::string_view b);

// ---- Missing values ----
// The host's missing value: a NaN whose top 16 bits are ones and whose next byte is the
// complement of the code character; "." is 0xFFFFD10000000000.
uint64_t missingBits(char code);
double missingValue(char code = '.');
inline double kMissingDot() { return missingValue('.'); }
inline uint64_t bitsOf(double x) { uint64_t u; std::memcpy(&u, &x, 8); return u; }
// The code character of a value whose top 16 bits are ones; 0 for anything else.
char missingCode(double x);

int znotfinite(double x);
int zhasmiss(const double* x, int n);
int zanymiss(const double* x, int n);
int zkeycmp(const void* a, const void* b, int keyType, int offset);
double fuzzToZero(double x);
long long packedElementCount(long long n);
inline int zimax(int a, int b) { return a > b ? a : b; }
inline int zimin(int a, int b) { return a < b ? a : b; }
double zddot(const double* x, const double* y, int n);
double zdamax(const double* x, int n);
double zpowchk(double x, double y, int* status);

}  // namespace vsf
