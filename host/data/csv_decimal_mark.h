// The decimal mark of a ';' file, taken from its numbers: the comma of R's write.csv2 and of
// spreadsheets where the mark is a comma, or the point of fwrite, write.table and to_csv given
// sep=";". A file whose numbers are written with both is refused.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vsf::host {

// A column of a file with the decimal comma: whether all its values are numbers so written,
// and when not, the first value that is not one (its text and line) and how many values are
// numbers and how many are not.
struct CommaColumn {
  bool numbers = true;
  int64_t numberValues = 0, otherValues = 0;
  std::string firstOther;
  int64_t firstOtherLine = 0;
};

// A number written with a decimal mark: its text, its line (0: none) and its column among
// the rows' values (from 0).
struct MarkedNumber {
  std::string value;
  int64_t line = 0;
  size_t column = 0;
};

// The first number written with each mark, unquoted.
struct DecimalMarks {
  MarkedNumber comma, point;
  bool mixed() const { return comma.line > 0 && point.line > 0; }
};

// The marks of the numbers of `text`, the start of a file (`whole` when it is all of it); a
// record cut at its end is not looked at.
DecimalMarks sampleMarks(std::string_view text, char separator, bool whole);

// Under the decimal comma: what each column of `text` (a whole file) holds, and the first
// number of each mark in it.
std::vector<CommaColumn> commaColumns(std::string_view text, char separator, DecimalMarks* marks);

// Whether the value is a number written with a decimal comma ("2,5", "-0,25").
bool commaDecimal(std::string_view value);

// The error of a file of `text` whose numbers are written with both marks: the later of the
// two is the one named, with its line and variable.
std::string mixedMarks(const std::string& file, std::string_view text, char separator,
                       const DecimalMarks& marks);

}  // namespace vsf::host
