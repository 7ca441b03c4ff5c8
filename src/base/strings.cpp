#include "base/strings.h"

#include <cmath>
#include <cstdlib>

#include "base/codes.h"

extern "C" int idamax_(const int* n, const double* x, const int* incx);

namespace vsf {

int zstrlen(const char* s) { return s ? static_cast<int>(std::strlen(s)) : 0; }

int zallchr(char c, const char* s, int length) {
  for (int i = 0; i < length; ++i)
    if (s[i] != c) return 0;
  return 1;
}

int zfindchr(const char* s, int length, char c) {
  if (!s) return rc::kNotFound;
  for (int i = 0; i < length; ++i)
    if (s[i] == c) return i;
  return rc::kNotFound;
}

int zfindstr(const char* text, int textLength, const char* pattern, int patternLength) {
  if (patternLength < 1) patternLength = zstrlen(pattern);
  if (!pattern || patternLength == 0) return 0;
  if (!text || textLength <= 0) return rc::kNotFound;
  std::string_view t(text, static_cast<size_t>(textLength));
  size_t p = t.find(std::string_view(pattern, static_cast<size_t>(patternLength)));
  return p == std::string_view::npos ? -1 : static_cast<int>(p);
}

int zverify(const char* s, int length, const char* set, int setLength) {
  if (length <= 0) return rc::kNotFound;
  if (setLength <= 0) return 0;
  for (int i = 0; i < length; ++i)
    if (std::memchr(set, s[i], static_cast<size_t>(setLength)) == nullptr) return i;
  return rc::kNotFound;
}

void zjustify(char* buffer, int width, char mode, int* textLength, int* start) {
  int first = 0;
  while (first < width && buffer[first] == ' ') ++first;
  int last = width;
  while (last > first && buffer[last - 1] == ' ') --last;
  int n = last - first;
  int to = first;
  switch (mode) {
    case 'L':
    case 'l':
      to = 0;
      break;
    case 'R':
    case 'r':
      to = width - n;
      break;
    case 'C':
    case 'c':
      to = (width - n) / 2;
      break;
    default:
      break;
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

double fuzzToZero(double x, double floor) {
  if ((bitsOf(x) >> 48) == 0xFFFF) return x;
  return std::fabs(x) < floor ? 0.0 : x;
}

int zleadeq(const void* table, int count, const void* key, int width) {
  const char* t = static_cast<const char*>(table);
  for (int i = 0; i < count; ++i)
    if (std::memcmp(t + static_cast<size_t>(i) * static_cast<size_t>(width), key,
                    static_cast<size_t>(width)) == 0)
      return i;
  return count;
}

long long packedElementCount(long long n) {
  long long count = n * (n + 1) / 2;
  if (n < 0 || count >= (1LL << 31) / 8) return rc::kNotFound;
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
