#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/output/layout_internal.h"
#include "host/output/output_internal.h"

namespace vsf::host::output {
namespace {

Table tableOf(std::vector<std::string> names, std::vector<std::vector<Cell>> rows) {
  Table t;
  t.name = "T";
  for (const std::string& n : names) {
    Column c;
    c.name = n;
    c.type = n == "Control" ? ColumnType::kChar : ColumnType::kText;
    t.columns.push_back(c);
  }
  t.rows = std::move(rows);
  return t;
}

// A layout written over another's (the listing keeps one for every table) is the layout made
// afresh: no row, cell, column or rule of the wider and longer table before it is left.
TEST(OutputLayout, ALayoutWrittenOverIsTheFreshOne) {
  const Table wide = tableOf({"A", "B", "C", "Control"},
                             {{Cell::ofText("a long first cell of words"), Cell::ofDouble(1.5),
                               Cell::ofInt(3), Cell::ofText("-")},
                              {Cell::ofText("x"), Cell::ofDouble(2), Cell::ofInt(4), Cell()},
                              {Cell::ofText("y"), Cell::ofDouble(3), Cell::ofInt(5), Cell()}});
  Table narrow = tableOf({"P", "Q"}, {{Cell::ofText("p"), Cell::ofText("")}});
  FactoidEntry entry;
  entry.label = "N";
  entry.value = Cell::ofInt(7);
  narrow.entries.push_back(entry);
  TableLayout kept;
  layoutTable(wide, &kept);
  layoutTable(narrow, &kept);
  const TableLayout fresh = layoutTable(narrow);
  EXPECT_EQ(kept.title, fresh.title);
  ASSERT_EQ(kept.columns.size(), fresh.columns.size());
  for (size_t c = 0; c < fresh.columns.size(); ++c) {
    EXPECT_EQ(kept.columns[c].header, fresh.columns[c].header);
    EXPECT_EQ(kept.columns[c].wraps, fresh.columns[c].wraps);
  }
  EXPECT_EQ(kept.cells, fresh.cells);
  EXPECT_EQ(kept.ruleBefore, fresh.ruleBefore);
  EXPECT_EQ(kept.entries, fresh.entries);
  EXPECT_EQ(kept.footnotes, fresh.footnotes);
}

}  // namespace
}  // namespace vsf::host::output
