#include "common/csv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

namespace vsf::test {

int Csv::column(const std::string& name) const {
  for (size_t i = 0; i < header.size(); ++i)
    if (header[i] == name) return static_cast<int>(i);
  return -1;
}

const std::string& Csv::text(size_t row, const std::string& name) const {
  static const std::string none;
  const int c = column(name);
  if (c < 0 || row >= rows.size() || static_cast<size_t>(c) >= rows[row].size()) {
    ADD_FAILURE() << "no cell " << name << " in row " << row;
    return none;
  }
  return rows[row][static_cast<size_t>(c)];
}

double Csv::cellNumber(const std::string& cell) {
  if (cell.empty() || cell == "." || cell == "NA") return NAN;
  return std::strtod(cell.c_str(), nullptr);
}

std::vector<std::string> splitCsvLine(const std::string& line) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (char c : line) {
    if (c == '"')
      quoted = !quoted;
    else if (c == ',' && !quoted)
      out.emplace_back();
    else if (c != '\r')
      out.back() += c;
  }
  return out;
}

Csv readCsv(const std::string& path) {
  const std::string full = path.empty() || path[0] == '/' ? path : VSF_TEST_DATA "/" + path;
  std::ifstream in(full);
  EXPECT_TRUE(in.good()) << full;
  Csv t;
  std::string line;
  if (std::getline(in, line)) t.header = splitCsvLine(line);
  while (std::getline(in, line))
    if (!line.empty() && line != "\r") t.rows.push_back(splitCsvLine(line));
  return t;
}

}  // namespace vsf::test
