// The "best" number format. Every text comes from std::to_chars, which is exact and
// correctly rounded, so the same value gives the same text on every machine.
#include "host/data/best_format.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

#include "frame/host/values.h"

namespace vsf::host {

namespace {

constexpr int kBuffer = 400;  // fixed notation of the largest double needs 309 digits

// "1.5e+07" -> "1.5E7", "2e-05" -> "2E-5".
std::string shortExponent(std::string_view s) {
  size_t e = s.find('e');
  if (e == std::string_view::npos) return std::string(s);
  std::string out(s.substr(0, e));
  out += 'E';
  size_t i = e + 1;
  if (s[i] == '-') out += '-';
  if (s[i] == '-' || s[i] == '+') ++i;
  while (i + 1 < s.size() && s[i] == '0') ++i;
  out += s.substr(i);
  return out;
}

std::string toChars(double x, std::chars_format form) {
  char buf[kBuffer];
  auto r = std::to_chars(buf, buf + kBuffer, x, form);
  return std::string(buf, r.ptr);
}

std::string toChars(double x, std::chars_format form, int precision) {
  char buf[kBuffer];
  auto r = std::to_chars(buf, buf + kBuffer, x, form, precision);
  if (r.ec != std::errc()) return std::string(kBuffer, '*');
  return std::string(buf, r.ptr);
}

// The longest rounded text of the form that fits the width; empty when none fits.
std::string roundedToFit(double x, std::chars_format form, int width) {
  for (int precision = width; precision >= 0; --precision) {
    std::string s = toChars(x, form, precision);
    if (form == std::chars_format::scientific) s = shortExponent(s);
    s = trimFraction(s);
    if (static_cast<int>(s.size()) <= width) return s;
  }
  return "";
}

double readBack(const std::string& s) {
  double v = 0;
  std::string t = s;
  for (char& c : t)
    if (c == 'E') c = 'e';
  std::from_chars(t.data(), t.data() + t.size(), v);
  return v;
}

}  // namespace

std::string formatBest(double value, int width) {
  if (width < 1) return "";
  if (char code = missingCode(value)) return code == '.' ? "." : std::string(1, code);
  if (std::isnan(value)) return ".";
  if (std::isinf(value)) return std::string(static_cast<size_t>(width), '*');
  if (value == 0) return "0";  // also for -0: a sign on nothing only confuses a listing

  std::string fixed = toChars(value, std::chars_format::fixed);
  if (static_cast<int>(fixed.size()) <= width) return fixed;
  std::string sci = shortExponent(toChars(value, std::chars_format::scientific));
  if (static_cast<int>(sci.size()) <= width) return sci;

  // Nothing exact fits: of the rounded texts, the one closer to the value; fixed on a tie.
  std::string f = roundedToFit(value, std::chars_format::fixed, width);
  std::string e = roundedToFit(value, std::chars_format::scientific, width);
  if (f.empty() && e.empty()) return std::string(static_cast<size_t>(width), '*');
  if (e.empty()) return f;
  if (f.empty()) return e;
  double ef = std::fabs(readBack(f) - value), ee = std::fabs(readBack(e) - value);
  return ef <= ee ? f : e;
}

std::string trimFraction(std::string s) {
  size_t e = s.find('E');
  std::string exponent = e == std::string::npos ? "" : s.substr(e);
  std::string mantissa = s.substr(0, e);
  if (mantissa.find('.') != std::string::npos) {
    while (mantissa.back() == '0') mantissa.pop_back();
    if (mantissa.back() == '.') mantissa.pop_back();
  }
  return mantissa + exponent;
}

}  // namespace vsf::host
