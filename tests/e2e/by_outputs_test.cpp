// What tells a BY group's outputs apart, as a user reads them: the ParameterNames table's group
// number against the OUTDESIGN data set's _BY_.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

// The BY group's shown value of a table of the document.
std::string shownBy(const Json& table) {
  return table.contains("by") && !table["by"].empty() ? table["by"][0]["shown"].get<std::string>()
                                                      : std::string();
}

// Each group's table names the design columns of the OUTDESIGN rows of that group: its "BY
// Group" is their _BY_ (the first group's table has no such column).
TEST(ByOutputs, ParameterNamesCarryTheGroupsOwnNumber) {
  DataLibrary lib({"mtcars_by_cyl"});
  const CommandRun r = runCommand(
      "proc varsifter data=mtcars_by_cyl outdesign(prefix=col names)=od1; by cyl; class am;"
      " model mpg = am wt hp / selection=forward(select=sbc); run;",
      lib.dir());
  ASSERT_EQ(r.status, 0) << r.output;
  const Csv od = readCsv(lib.dir() + "/od1.csv");
  std::map<std::string, double> numberOf;  // cyl -> _BY_ of its rows
  for (size_t i = 0; i < od.rows.size(); ++i) numberOf[od.text(i, "cyl")] = od.number(i, "_BY_");
  ASSERT_EQ(numberOf.size(), 3u);
  const std::vector<Json> tables = findAll(r.document, "ParameterNames");
  ASSERT_EQ(tables.size(), 3u);
  for (size_t k = 0; k < tables.size(); ++k) {
    const std::string cyl = shownBy(tables[k]);
    SCOPED_TRACE("cyl=" + cyl);
    ASSERT_EQ(numberOf.count(cyl), 1u);
    EXPECT_EQ(numberOf[cyl], static_cast<double>(k + 1));
    for (const Json& row : tables[k]["rows"]) {
      if (k == 0) {
        EXPECT_FALSE(row.contains("_BY_"));
      } else {
        EXPECT_EQ(number(row["_BY_"]), numberOf[cyl]);
      }
    }
  }
}

}  // namespace
}  // namespace vsf::test
