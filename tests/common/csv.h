// The one reader of the tests' CSV fixtures: a header and rows of cells.
#pragma once

#include <string>
#include <vector>

namespace vsf::test {

struct Csv {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  // The column's index; -1 when there is none.
  int column(const std::string& name) const;
  // A cell by its column's name (a test failure when there is no such column).
  const std::string& text(size_t row, const std::string& column) const;
  double number(size_t row, const std::string& column) const {
    return cellNumber(text(row, column));
  }
  double number(size_t row, size_t column) const { return cellNumber(rows.at(row).at(column)); }
  // A cell as a number: NaN for "", "." and "NA".
  static double cellNumber(const std::string& cell);
};

// Cells of one line; quotes only group, a carriage return is dropped.
std::vector<std::string> splitCsvLine(const std::string& line);
// A file by its path, or by its path below tests/data when relative; blank lines are skipped.
Csv readCsv(const std::string& path);

}  // namespace vsf::test
