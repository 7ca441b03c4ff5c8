// The one text of a value outside its range, wherever one is checked: the grammar's bounds of
// an option, an integer written past what is read, a size read from a file. The texts are the
// catalogue's messages 848 6340 to 6342, which the procedure's readers issue as well.
#pragma once

#include <string>
#include <string_view>

namespace vsf::host {

// The most an integer of a program is read as (a larger one is a number, not an integer).
inline constexpr double kLargestInteger = 2147483647.0;

// "The value V of OPTION is outside its range, LOW to HIGH." (LOW or more without a HIGH, that
// is, for an infinite one).
std::string outOfRange(std::string_view option, std::string_view value, double low, double high);

// "The integer V of OPTION is too large: ..."
std::string integerTooLarge(std::string_view option, std::string_view value);

}  // namespace vsf::host
