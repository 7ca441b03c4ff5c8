// The value of one CSV field in a numeric column.
#pragma once

#include <string_view>

namespace vsf::host {

// Reads `text` as a number or a missing value: "", ".", "NA" and "NaN" (as R writes them) are
// missing, ".A" to ".Z" and "._" the special missing values, "Inf" and "-Inf" (in any case, or
// spelt "Infinity") infinite; blanks around a number are ignored. False when the text is not a
// number (the column is then character).
bool parseCell(std::string_view text, double* value);

}  // namespace vsf::host
