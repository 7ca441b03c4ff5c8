// CVMETHOD=INDEX by a variable of the CLASS list that no effect uses: the folds, the CV PRESS
// and the chosen model are those of the same step without the CLASS statement, and the fold
// details show each fold's own value. A CLASS variable an effect uses, or the response, is
// refused as before.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {

namespace {

struct IndexRun {
  CommandRun run;
  std::vector<double> folds, predictions, index, groups;  // the OUTPUT data set's columns
};

IndexRun runIndexed(const DataLibrary& lib, const std::string& program, const std::string& index) {
  IndexRun r;
  r.run = runCommand(program, lib.dir());
  EXPECT_EQ(r.run.status, 0) << r.run.output;
  r.folds = lib.column("o", "_CVINDEX_");
  r.predictions = lib.column("o", "p_mpg");
  r.index = lib.column("o", index);
  r.groups = lib.column("o", "_BY_");
  EXPECT_FALSE(r.folds.empty()) << program;
  return r;
}

// Per BY group the CVDetails rows' counts and PRESS, and their index values when shown.
std::vector<Json> foldDetails(const CommandRun& r, const std::string& index, bool shown) {
  std::vector<Json> out;
  for (const Json& t : findAll(r.document, "CVDetails")) {
    Json rows = Json::array();
    for (Json row : t["rows"]) {
      EXPECT_EQ(row.contains(index), shown) << row;
      row.erase(index);
      rows.push_back(row);
    }
    out.push_back(rows);
  }
  return out;
}

TEST(CrossValidationIndex, AClassVariableNoEffectUsesIndexesTheFolds) {
  DataLibrary lib({"mtcars", "mtcars_by_cyl"});
  const struct {
    std::string data, by, classList, index;
  } cases[] = {
      {"mtcars", "", "cyl", "cyl"},
      // The CLASS levels run the other way than the folds, and a group lacks a level.
      {"mtcars_by_cyl", "by cyl;", "gear(descending)", "gear"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.data);
    auto program = [&](const std::string& classStatement) {
      return "proc varsifter data=" + c.data + "; " + c.by + classStatement +
             " model mpg = wt hp qsec disp / selection=forward(select=sbc stop=none choose=cv)"
             " cvmethod=index(" +
             c.index + ") cvdetails=cvpress; output out=o; run;";
    };
    const IndexRun listed = runIndexed(lib, program("class " + c.classList + ";"), c.index);
    const IndexRun plain = runIndexed(lib, program(""), c.index);
    EXPECT_EQ(listed.folds, plain.folds);
    EXPECT_EQ(listed.predictions, plain.predictions);
    for (const char* table : {"SelectionSummary", "SelectedEffects"}) {
      const std::vector<Json> a = findAll(listed.run.document, table);
      const std::vector<Json> b = findAll(plain.run.document, table);
      ASSERT_EQ(a.size(), b.size()) << table;
      ASSERT_FALSE(a.empty()) << table;
      for (size_t g = 0; g < a.size(); ++g) EXPECT_EQ(a[g]["rows"], b[g]["rows"]) << table << g;
    }
    EXPECT_EQ(foldDetails(listed.run, c.index, true), foldDetails(plain.run, c.index, false));
    // Each fold's shown value is the index value of the rows in that fold, in every group.
    const std::vector<Json> details = findAll(listed.run.document, "CVDetails");
    for (size_t g = 0; g < details.size(); ++g) {
      for (const Json& row : details[g]["rows"]) {
        if (row["Index"] < 0) continue;
        int rows = 0;
        for (size_t i = 0; i < listed.folds.size(); ++i) {
          const bool inGroup = c.by.empty() || listed.groups[i] == static_cast<double>(g + 1);
          if (!inGroup || listed.folds[i] != row["Index"].get<double>()) continue;
          EXPECT_EQ(listed.index[i], number(row[c.index])) << row;
          ++rows;
        }
        EXPECT_EQ(rows, number(row["NOBSLEFTOUT"])) << row;
      }
    }
  }
}

TEST(CrossValidationIndex, AVariableOfTheModelIsStillRefused) {
  const std::string refused =
      "is a variable of the model; the fold index must be a variable of its own.";
  auto step = [](const std::string& statements, const std::string& model) {
    return "proc varsifter data=mtcars; " + statements + " model " + model +
           " / selection=forward(choose=cv) cvmethod=index(cyl); run;";
  };
  expectRuns(VSF_SHARED_DATA,
             {
                 {step("class cyl;", "mpg = wt cyl"), 1, {"variable cyl (MODEL", refused}},
                 {step("class cyl;", "mpg = wt wt*cyl"), 1, {refused}},
                 {step("class cyl;", "mpg = wt(cyl)"), 1, {refused}},
                 {step("class cyl; effect co = collection(cyl);", "mpg = wt co"), 1, {refused}},
                 {step("class cyl gear carb; effect lg = lag(gear / within=cyl period=carb);",
                       "mpg = wt lg"),
                  1,
                  {refused}},
                 {step("class cyl;", "cyl = wt hp"), 1, {refused}},
                 // An EFFECT statement the model does not use leaves the variable free.
                 {step("class cyl; effect co = collection(cyl);", "mpg = wt hp"), 0, {}, {"ERROR"}},
             });
}

}  // namespace
}  // namespace vsf::test
