// Reads the reference tables under tests/data/numerics (made by
// tests/reference/numerics_fixtures.py) and measures agreement.
#pragma once

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace vsf::test {

struct Table {
  std::vector<std::string> columns;
  std::vector<std::vector<double>> rows;
  double at(size_t row, const std::string& column) const {
    for (size_t c = 0; c < columns.size(); ++c)
      if (columns[c] == column) return rows[row][c];
    return NAN;
  }
};

inline Table readTable(const std::string& name) {
  Table t;
  std::ifstream in(std::string(VSF_TEST_DATA) + "/numerics/" + name);
  std::string line;
  auto chomp = [](std::string& l) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
  };
  if (!std::getline(in, line)) return t;
  chomp(line);
  std::stringstream header(line);
  for (std::string c; std::getline(header, c, ',');) t.columns.push_back(c);
  while (std::getline(in, line)) {
    chomp(line);
    std::stringstream s(line);
    std::vector<double> row;
    for (std::string c; std::getline(s, c, ',');)
      row.push_back(c.empty() ? NAN : std::strtod(c.c_str(), nullptr));
    t.rows.push_back(row);
  }
  return t;
}

// Relative error, with an absolute floor for values near zero.
inline double relErr(double got, double want, double floor = 1.0) {
  return std::fabs(got - want) / std::fmax(std::fabs(want), floor);
}

}  // namespace vsf::test
