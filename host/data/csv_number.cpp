// Number parsing for CSV fields. Most fields take the exact fast path (at most 19 digits,
// a power of ten up to 22: one correctly rounded multiply or divide, as Clinger showed);
// the rest go to std::from_chars, which is correctly rounded too.
#include "host/data/csv_number.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>

#include "frame/host/values.h"

namespace vsf::host {

namespace {

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr uint64_t kExactMantissa = uint64_t{1} << 53;

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

// ".", ".A" to ".Z", "._", an empty field, and "NA" as R writes a missing value.
bool missingCell(std::string_view t, double* value) {
  if (t.empty() || t == "." || t == "NA") {
    *value = missingValue('.');
    return true;
  }
  if (t.size() == 2 && t[0] == '.' && ((t[1] >= 'A' && t[1] <= 'Z') || t[1] == '_')) {
    *value = missingValue(t[1]);
    return true;
  }
  return false;
}

// The general syntax [+-]digits[.digits][(e|E)[+-]digits] with at least one mantissa digit;
// from_chars alone would also take "inf", "nan" and hexadecimal forms.
bool slowPath(std::string_view t, bool negative, int scale, double* value) {
  std::string_view body = t;
  if (!body.empty() && (body[0] == '+' || body[0] == '-')) body.remove_prefix(1);
  double v = 0;
  auto r = std::from_chars(body.data(), body.data() + body.size(), v);
  if (r.ptr != body.data() + body.size()) return false;
  if (r.ec == std::errc::result_out_of_range) {
    if (scale >= 0) return false;  // too large for a double: keep the text
    v = 0;                         // too small: underflows to zero
  } else if (r.ec != std::errc()) {
    return false;
  }
  *value = negative ? -v : v;
  return true;
}

bool equalsLower(std::string_view t, std::string_view lower) {
  if (t.size() != lower.size()) return false;
  for (size_t i = 0; i < t.size(); ++i)
    if ((t[i] | 0x20) != lower[i]) return false;
  return true;
}

// Infinities and NaN as R, pandas and spreadsheets write them ("Inf", "-inf", "Infinity",
// "NaN"): they keep a column numeric. NaN is a missing value.
bool namedNumber(std::string_view t, bool negative, double* value) {
  if (equalsLower(t, "inf") || equalsLower(t, "infinity")) {
    *value = negative ? -HUGE_VAL : HUGE_VAL;
    return true;
  }
  if (equalsLower(t, "nan")) {
    *value = missingValue('.');
    return true;
  }
  return false;
}

// The significant digits of a number's text and its power of ten, the number being 0.digits
// times ten to that power ("0012.340e1": "1234" and 3); empty digits for zero. A trailing zero
// of the fraction says nothing, but one at or above the units is a digit: the id
// 18446744073709551600 has twenty. False when the text is not digits with a point and an
// exponent (a name, a missing value).
bool significand(std::string_view t, std::string* digits, long* exponent) {
  digits->clear();
  size_t i = t.empty() || (t[0] != '+' && t[0] != '-') ? 0 : 1;
  long point = 0;
  bool any = false, afterPoint = false;
  for (; i < t.size(); ++i) {
    if (t[i] == '.' && !afterPoint) {
      afterPoint = true;
      continue;
    }
    if (!isDigit(t[i])) break;
    any = true;
    if (digits->empty() && t[i] == '0') {
      point -= afterPoint;  // a leading zero after the point lowers the first digit
      continue;
    }
    digits->push_back(t[i]);
    point += !afterPoint;
  }
  if (!any) return false;
  long e = 0;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    const bool negative = ++i < t.size() && t[i] == '-';
    i += i < t.size() && (t[i] == '+' || t[i] == '-');
    for (; i < t.size() && isDigit(t[i]); ++i)
      if (e < 100000) e = e * 10 + (t[i] - '0');
    e = negative ? -e : e;
  }
  const long units = std::max(point + e, 0L);  // the digits at or above the units
  while (!digits->empty() && digits->back() == '0' && static_cast<long>(digits->size()) > units)
    digits->pop_back();
  *exponent = digits->empty() ? 0 : point + e;
  return true;
}

// [+-]digits: an integer as an id is written.
bool plainInteger(std::string_view t) {
  if (!t.empty() && (t[0] == '+' || t[0] == '-')) t.remove_prefix(1);
  return !t.empty() && std::all_of(t.begin(), t.end(), isDigit);
}

}  // namespace

std::string_view trimBlanks(std::string_view t) {
  while (!t.empty() && isBlank(t.front())) t.remove_prefix(1);
  while (!t.empty() && isBlank(t.back())) t.remove_suffix(1);
  return t;
}

bool heldExactly(std::string_view text, double value) {
  text = trimBlanks(text);
  // Most texts: at most 15 digits and no exponent, which every double in its normal range
  // holds (and such a text never comes near the subnormal range).
  int digits = 0;
  bool exponent = false;
  for (char c : text) {
    digits += isDigit(c);
    exponent |= c == 'e' || c == 'E';
  }
  if (digits <= 15 && !exponent) return true;
  if (!std::isfinite(value)) return true;
  std::string written, back;
  long writtenExp = 0, backExp = 0;
  if (!significand(text, &written, &writtenExp)) return true;
  if (written.size() <= 15 && (value == 0 ? written.empty() : std::fabs(value) >= DBL_MIN))
    return true;
  // The double to as many digits as the text has: a writer that printed the double itself
  // (17 digits, or numpy's 19) wrote those, and nothing of them is lost.
  constexpr size_t kMostDigits = 800;  // past a double's exact expansion
  if (written.size() > kMostDigits) return false;
  char buf[kMostDigits + 16];
  const int n = std::snprintf(buf, sizeof buf, "%.*e",
                              static_cast<int>(std::max<size_t>(written.size(), 1)) - 1, value);
  significand(std::string_view(buf, static_cast<size_t>(std::max(n, 0))), &back, &backExp);
  return back == written && backExp == writtenExp;
}

bool shortestGivesBack(std::string_view text, double value) {
  text = trimBlanks(text);
  if (!heldExactly(text, value)) return false;
  if (!std::isfinite(value) || !plainInteger(text)) return true;
  char buf[32];
  const auto end = std::to_chars(buf, buf + sizeof buf, value).ptr;
  return std::find(buf, end, 'e') == end;
}

bool parseCell(std::string_view text, double* value) {
  text = trimBlanks(text);
  if (text.empty() || text[0] == '.' || text[0] == 'N') {
    if (missingCell(text, value)) return true;
  }
  const char* s = text.data();
  const char* end = s + text.size();
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  const std::string_view body(s, static_cast<size_t>(end - s));
  uint64_t mantissa = 0;
  int digits = 0, exp10 = 0;
  bool any = false, inexact = false;
  for (; s < end && isDigit(*s); ++s) {
    any = true;
    int d = *s - '0';
    if (digits < 19) {
      mantissa = mantissa * 10 + static_cast<uint64_t>(d);
      digits += mantissa != 0;
    } else {
      ++exp10;
      inexact |= d != 0;
    }
  }
  if (s < end && *s == '.') {
    for (++s; s < end && isDigit(*s); ++s) {
      any = true;
      int d = *s - '0';
      if (digits < 19) {
        mantissa = mantissa * 10 + static_cast<uint64_t>(d);
        digits += mantissa != 0;
        --exp10;
      } else {
        inexact |= d != 0;
      }
    }
  }
  if (!any) return namedNumber(body, negative, value);
  int magnitude = digits + exp10;  // rough decimal exponent, for overflow versus underflow
  if (s < end && (*s == 'e' || *s == 'E')) {
    ++s;
    bool negExp = false;
    if (s < end && (*s == '+' || *s == '-')) negExp = *s++ == '-';
    if (s == end || !isDigit(*s)) return false;
    int e = 0;
    for (; s < end && isDigit(*s); ++s)
      if (e < 100000) e = e * 10 + (*s - '0');
    exp10 += negExp ? -e : e;
    magnitude += negExp ? -e : e;
  }
  if (s != end) return false;
  if (!inexact && mantissa <= kExactMantissa && exp10 >= -22 && exp10 <= 22) {
    double m = static_cast<double>(mantissa);
    double v = exp10 >= 0 ? m * kPow10[exp10] : m / kPow10[-exp10];
    *value = negative ? -v : v;
    return true;
  }
  return slowPath(text, negative, magnitude, value);
}

}  // namespace vsf::host
