// The value of one CSV field in a numeric column.
#pragma once

#include <string_view>

namespace vsf::host {

// Reads `text` as a number or a missing value: "", "." and "NA" (as R writes it) are missing,
// ".A" to ".Z" and "._" the special missing values; blanks around a number are ignored. False when
// the text is not a number (the column is then character).
bool parseCell(std::string_view text, double* value);

}  // namespace vsf::host
