#include "host/output/formats.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "host/data/best_format.h"

namespace vsf::host::output {

namespace {

constexpr int kDefaultBestWidth = 12;
constexpr int kMaxWidth = 32;

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

// Reads "w.d", "w.", ".d" or "w"; false on anything else.
bool readWidthDecimals(std::string_view s, int* width, int* decimals) {
  size_t dot = s.find('.');
  std::string_view w = s.substr(0, dot);
  std::string_view d = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
  auto number = [](std::string_view t, int* out) {
    if (t.empty()) return true;
    auto r = std::from_chars(t.data(), t.data() + t.size(), *out);
    return r.ec == std::errc() && r.ptr == t.data() + t.size() && *out >= 0 && *out <= 99;
  };
  *width = 0;
  *decimals = 0;
  return number(w, width) && number(d, decimals);
}

// The exact decimal text of x to the given digits, fixed or scientific, written without the
// allocation and parsing of a format string: tables format tens of numbers a BY group.
std::string charsText(double x, std::chars_format form, int digits) {
  char text[128];
  auto r = std::to_chars(text, text + sizeof text, x, form, digits);
  if (r.ec == std::errc()) return std::string(text, r.ptr);
  // A large number to many decimals: room for the widest double, its sign, point and digits.
  std::string wide(size_t(320) + static_cast<size_t>(std::max(digits, 0)), ' ');
  r = std::to_chars(wide.data(), wide.data() + wide.size(), x, form, digits);
  wide.resize(static_cast<size_t>(r.ptr - wide.data()));
  return wide;
}

// The fixed text of x to `decimals` places from the integer nearest |x|·10^decimals, where that
// integer is sure: the product is below 2^43, so it is within 2^-10 of the exact one, and its
// fraction is at least 2^-8 from a half. Else false, and the exact decimal expansion decides
// (a table's numbers are tens a BY group; this is most of them, at a fraction of the cost).
bool nearestFixed(double x, int decimals, std::string* out) {
  static constexpr double kPowers[] = {1,   1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  if (decimals < 0 || decimals > 15 || !std::isfinite(x)) return false;
  const double p = std::fabs(x) * kPowers[decimals];
  if (!(p < 0x1p43)) return false;
  const double whole = std::floor(p);
  const double fraction = p - whole;  // exact below 2^52
  if (std::fabs(fraction - 0.5) <= 0x1p-8) return false;
  const auto n = static_cast<uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
  char digits[24];
  const auto r = std::to_chars(digits, digits + sizeof digits, n);
  const auto count = static_cast<int>(r.ptr - digits);
  const int before = std::max(count - decimals, 1);  // digits before the point, a zero at least
  const int zeros = std::max(decimals - count, 0);   // zeros between the point and the digits
  out->clear();
  if (std::signbit(x)) out->push_back('-');
  if (count <= decimals) {
    out->push_back('0');
  } else {
    out->append(digits, static_cast<size_t>(before));
  }
  if (decimals > 0) {
    out->push_back('.');
    out->append(static_cast<size_t>(zeros), '0');
    const int shown = count <= decimals ? 0 : before;
    out->append(digits + shown, static_cast<size_t>(count - shown));
  }
  return true;
}

// A fixed text shows no sign when every digit is zero.
std::string fixedText(double x, int decimals) {
  std::string s;
  if (!nearestFixed(x, decimals, &s)) s = charsText(x, std::chars_format::fixed, decimals);
  if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  return s;
}

// Significant digits that a fixed text shows: the digits from the first nonzero one.
int significantDigits(const std::string& s) {
  int n = 0;
  bool started = false;
  for (char c : s) {
    if (c < '0' || c > '9') continue;
    if (c != '0') started = true;
    if (started) ++n;
  }
  return n;
}

// Scientific text with m mantissa decimals and a short exponent: "1.25E-7", "3E12".
std::string scientificText(double x, int m) {
  std::string s = charsText(x, std::chars_format::scientific, m);
  size_t e = s.find('e');
  int exponent = 0;
  std::from_chars(s.data() + e + (s[e + 1] == '+' ? 2 : 1), s.data() + s.size(), exponent);
  return s.substr(0, e) + "E" + std::to_string(exponent);
}

int exponentLength(int e) {
  return e < 0 ? 1 + static_cast<int>(std::to_string(-e).size()) + 1
               : 1 + static_cast<int>(std::to_string(e).size());
}

// The fixed text with the most decimals that fits in w, or empty.
std::string fixedFit(double x, double ax, int w) {
  int sign = x < 0 ? 1 : 0;
  int intLength = ax < 1 ? 1 : static_cast<int>(std::floor(std::log10(std::trunc(ax)))) + 1;
  int room = w - sign - intLength;
  if (room < 0) return std::string();
  for (int d = room >= 2 ? room - 1 : 0; d >= 0; --d) {
    std::string s = fixedText(x, d);
    if (static_cast<int>(s.size()) <= w) return s;  // rounding may have added a digit
  }
  return std::string();
}

// The exponent form with the most mantissa digits that fits in w, or empty.
std::string scientificFit(double x, double ax, int w, int* significant) {
  int sign = x < 0 ? 1 : 0;
  int e = static_cast<int>(std::floor(std::log10(ax)));
  int m = w - sign - 2 - exponentLength(e);
  if (m < 0) m = 0;
  for (int k = m; k >= 0; --k) {
    std::string s = scientificText(x, k);
    if (static_cast<int>(s.size()) <= w) {
      *significant = k + 1;
      return s;
    }
  }
  return std::string();
}

std::string bestText(double x, int w) {
  if (w <= 0) w = kDefaultBestWidth;
  if (w > kMaxWidth) w = kMaxWidth;
  if (x == 0) return "0";
  double ax = std::fabs(x);
  if (x == std::trunc(x) && ax < 1e15) {
    // A whole number below 2^53 is its integer's digits: no decimal expansion to work out.
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, static_cast<int64_t>(x));
    if (r.ptr - digits <= w) return std::string(digits, r.ptr);
  }
  std::string fixed = fixedFit(x, ax, w);
  int fixedSig = fixed.empty() ? -1 : significantDigits(fixed);
  std::string sci;
  int sciSig = -1;
  if (fixedSig < 3) sci = scientificFit(x, ax, w, &sciSig);
  // Fixed notation unless it keeps fewer than three digits and the exponent form keeps more.
  std::string chosen =
      !fixed.empty() && (fixedSig >= 3 || sci.empty() || sciSig <= fixedSig) ? fixed : sci;
  if (chosen.empty()) return std::string(static_cast<size_t>(w), '*');
  chosen = trimFraction(chosen);
  return chosen;
}

std::string fixedFormat(double x, const NumberFormat& f) {
  std::string s = fixedText(x, f.decimals);
  if (f.width > 0 && static_cast<int>(s.size()) > f.width) return bestText(x, f.width);
  return s;
}

std::string pvalueFormat(double x, const NumberFormat& f) {
  int d = f.decimals > 0 ? f.decimals : 4;
  double smallest = std::pow(10.0, -d);
  if (x < smallest && x >= 0) {
    std::string s = "<." + std::string(static_cast<size_t>(d - 1), '0') + "1";
    if (f.width == 0 || static_cast<int>(s.size()) <= f.width) return s;
  }
  NumberFormat fixed{FormatKind::kFixed, f.width, d};
  return fixedFormat(x, fixed);
}

}  // namespace

std::optional<NumberFormat> parseFormat(std::string_view text) {
  std::string t = upper(text);
  NumberFormat f;
  std::string_view rest(t);
  if (rest.starts_with("BEST")) {
    f.kind = FormatKind::kBest;
    rest.remove_prefix(4);
  } else if (rest.starts_with("PVALUE")) {
    f.kind = FormatKind::kPValue;
    rest.remove_prefix(6);
  } else if (rest.starts_with("D")) {
    f.kind = FormatKind::kBest;  // significant digits: our best fit serves
    rest.remove_prefix(1);
  } else if (rest.starts_with("F")) {
    f.kind = FormatKind::kFixed;
    rest.remove_prefix(1);
  } else {
    f.kind = FormatKind::kFixed;
  }
  if (rest.empty()) return std::nullopt;
  if (f.kind == FormatKind::kFixed && rest.find('.') == std::string_view::npos) return std::nullopt;
  if (!readWidthDecimals(rest, &f.width, &f.decimals)) return std::nullopt;
  if (f.kind == FormatKind::kBest) f.decimals = 0;
  return f;
}

std::string formatName(const NumberFormat& f) {
  std::string w = f.width > 0 ? std::to_string(f.width) : "";
  switch (f.kind) {
    case FormatKind::kBest:
      return "BEST" + w + ".";
    case FormatKind::kPValue:
      return "PVALUE" + w + "." + std::to_string(f.decimals);
    default:
      return w + "." + std::to_string(f.decimals);
  }
}

std::optional<std::string> missingText(double x) {
  uint64_t u;
  std::memcpy(&u, &x, 8);
  if ((u & 0x7FF0000000000000ULL) != 0x7FF0000000000000ULL) return std::nullopt;
  if (std::isinf(x)) return std::string(x > 0 ? "Infty" : "-Infty");
  if ((u >> 48) != 0xFFFF) return std::string(".");
  char code = static_cast<char>(~static_cast<unsigned char>((u >> 40) & 0xFF));
  switch (code) {
    case '.':
      return std::string(".");
    case '-':
      return std::string();
    case 'I':
      return std::string("Infty");
    case 'M':
      return std::string("-Infty");
    default:
      if ((code >= 'A' && code <= 'Z') || code == '_') return std::string(".") + code;
      return std::string(".");
  }
}

std::string formatNumber(double x, const NumberFormat& f) {
  if (auto m = missingText(x)) return *m;
  switch (f.kind) {
    case FormatKind::kFixed:
      return fixedFormat(x, f);
    case FormatKind::kPValue:
      return pvalueFormat(x, f);
    default:
      return bestText(x, f.width);
  }
}

}  // namespace vsf::host::output
