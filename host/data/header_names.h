// The variable names of a CSV file's first line: a name for a column of row names, names cut
// to the longest a variable name can be, and one name of its own for every column.
#pragma once

#include <string>
#include <vector>

namespace vsf::host {

// How the file holds R's row names, if it does: under an empty first name (write.csv), or
// with no name at all, the first line one field short of the rows (write.table).
enum class RowNames { kNone, kEmptyName, kShortHeader };

struct HeaderNames {
  std::vector<std::string> names;
  std::vector<std::string> written;  // per column: the name as written when it was cut, else ""
  RowNames rowNames = RowNames::kNone;
  // The names written with blanks around them, as written: they are read without the blanks
  // (as data.table's fread reads them).
  std::vector<std::string> blanked;
};

// Settles the names of the first line's `fields`, given how many values the first row holds
// (-1 when there is no row). False with the error's text, which follows `where` (the file and
// line).
bool settleHeaderNames(std::vector<std::string> fields, int firstRowFields,
                       const std::string& where, HeaderNames* out, std::string* error);

}  // namespace vsf::host
