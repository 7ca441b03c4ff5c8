// Number formats of the output system: best fit in a width, fixed decimals, p-values, and the
// texts of missing and infinite values.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vsf::host::output {

enum class FormatKind : unsigned char { kBest, kFixed, kPValue };

struct NumberFormat {
  FormatKind kind = FormatKind::kBest;
  int width = 0;     // 0: natural width (12 for best fit)
  int decimals = 0;  // fixed and p-value formats
};

// Reads "BESTw.", "Dw.", "w.d", "Fw.d", "PVALUEw.d" (case-insensitive; w may be left out).
std::optional<NumberFormat> parseFormat(std::string_view text);
// The format's name as parseFormat reads it ("BEST12.", "8.2", "PVALUE6.4").
std::string formatName(const NumberFormat& f);

// The value's text, without padding; never wider than a given width (asterisks when nothing
// fits). Missing and infinite values give the texts of missingText.
std::string formatNumber(double x, const NumberFormat& f);

// "." for the ordinary missing value, ".A" for a special one, "" for the value that marks a
// cell without a value, "Infty" and "-Infty" for infinities (also the special values I and M
// that stand for them). Empty optional when x is an ordinary number.
std::optional<std::string> missingText(double x);

}  // namespace vsf::host::output
