// The value of one CSV field in a numeric column.
#pragma once

#include <string_view>

namespace vsf::host {

// Reads `text` as a number or a missing value: "", ".", "NA" and "NaN" (as R writes them) are
// missing, ".A" to ".Z" and "._" the special missing values, "Inf" and "-Inf" (in any case, or
// spelt "Infinity") infinite; blanks around a number are ignored. False when the text is not a
// number (the column is then character).
bool parseCell(std::string_view text, double* value);

// The text without the blanks and tabs around it, as a value or a name is read.
std::string_view trimBlanks(std::string_view text);

// Whether `value`, read from `text` by parseCell, holds the number the text writes: false when
// the double written to as many significant digits as the text has reads otherwise
// (9007199254740993 is read as 9007199254740992; 18446744073709551600, whose trailing zeros are
// digits, as 18446744073709551616), or a number too small for a double became 0
// (1e-400). A double's own digits (32.100000000000001, as %.17g writes 32.1) are held. True for
// missing values and infinities.
bool heldExactly(std::string_view text, double value);

// Whether the shortest text of `value` (std::to_chars', as the output data sets write a number)
// gives back the number `text` writes: the double holds its digits, and an integer written
// without an exponent is not put with one (1000000000000000000 as 1e+18, which pandas reads as
// a float and no longer as the id's integer).
bool shortestGivesBack(std::string_view text, double value);

}  // namespace vsf::host
