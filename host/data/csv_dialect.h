// CSV files written with another separator: ';' (with the decimal comma, as spreadsheets and
// R's write.csv2 write them where the decimal mark is a comma, or with the point) or a tab.
// Such a file is rewritten as comma-separated text with decimal points, line for line, and
// read as any other.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/data/csv_decimal_mark.h"

namespace vsf::host {

struct CsvDialect {
  char separator = ',';
  bool decimalComma = false;
  bool carriageReturns = false;      // lines end with CR alone: the copy ends them with LF
  std::vector<CommaColumn> columns;  // under the decimal comma: what the rewrite found
  DecimalMarks marks;                // of a ';' file: the first numbers of each mark seen
};

// The dialect the first line shows: a line with no comma between its names but a ';' (or a
// tab) is separated by it. Quoted names are passed over.
CsvDialect sniffDialect(std::string_view text);

// Rewrites `text` (a whole file of the dialect) as comma-separated text: separators become
// commas, values holding a comma are quoted, and under the decimal comma every value of a
// column whose values are all numbers so written (dialect.columns) takes a decimal point.
// Lines stay where they were, so errors found in the rewritten text name the original line.
// Values that are not well formed pass unchanged for the reader to report. The text goes to
// `put` in pieces of about a megabyte; false when `put` fails, or, for a ';' file read with
// the decimal point, at a number written with a decimal comma, which goes to *comma.
bool toCommaSeparated(std::string_view text, const CsvDialect& dialect,
                      const std::function<bool(std::string_view)>& put,
                      MarkedNumber* comma = nullptr);

// Whether the text's lines end with CR alone, as old spreadsheet exports end them: the start
// of a file holds a CR and no LF outside its quoted values.
bool carriageReturnLines(std::string_view head);
// The text with every line ended by LF, whether it was ended by CR alone or by CRLF.
std::string withLineFeeds(std::string_view text);

// Looks at the first line of `source`, and at the first values of a ';' file for its decimal
// mark. A file of another dialect, or whose lines end with CR alone, is rewritten into a file of
// `directory` whose path goes to *copy (left empty for a comma-separated file); the caller
// removes it. False and the error's text when the copy cannot be written or a ';' file's
// numbers are written with both decimal marks; a file that cannot be read is left to the
// reader to report.
bool readDialect(const std::filesystem::path& source, const std::filesystem::path& directory,
                 CsvDialect* dialect, std::filesystem::path* copy, std::string* error);

}  // namespace vsf::host
