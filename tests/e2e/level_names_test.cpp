// COLLECTION and LAG columns of a CLASS variable whose reference is not its last level: each
// column is named for the level it holds, in the OUTDESIGN headers and the parameter names alike.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

struct Obs {
  int b, subj, t;
  const char* g;
  double y;
};

// Two BY groups of three subjects over four periods: levels p q r in the first, q r s in the
// second, so that a first or named reference falls on different levels.
const std::vector<Obs> kRows = {
    {1, 1, 1, "p", 1.0}, {1, 1, 2, "q", 2.1}, {1, 1, 3, "r", 3.2}, {1, 1, 4, "q", 2.2},
    {1, 2, 1, "r", 3.0}, {1, 2, 2, "p", 0.9}, {1, 2, 3, "p", 1.1}, {1, 2, 4, "r", 2.9},
    {1, 3, 1, "q", 1.9}, {1, 3, 2, "r", 3.1}, {1, 3, 3, "q", 2.0}, {1, 3, 4, "p", 1.2},
    {2, 1, 1, "s", 4.0}, {2, 1, 2, "q", 2.1}, {2, 1, 3, "r", 3.2}, {2, 1, 4, "s", 4.2},
    {2, 2, 1, "r", 3.0}, {2, 2, 2, "s", 3.9}, {2, 2, 3, "q", 1.8}, {2, 2, 4, "r", 2.9},
    {2, 3, 1, "q", 1.9}, {2, 3, 2, "r", 3.1}, {2, 3, 3, "s", 4.1}, {2, 3, 4, "q", 2.0},
};

// The rows of the first group alone (one) and of both (two).
void writeData(const DataLibrary& lib) {
  std::ofstream one(lib.path() / "one.csv"), two(lib.path() / "two.csv");
  one << "subj,t,g,y\n";
  two << "b,subj,t,g,y\n";
  for (const Obs& o : kRows) {
    std::ostringstream row;
    row << o.subj << ',' << o.t << ',' << o.g << ',' << o.y << '\n';
    if (o.b == 1) one << row.str();
    two << o.b << ',' << row.str();
  }
}

// The lagged level of a row: its subject's level one period back ("" in its first period).
std::string previous(const Obs& o) {
  for (const Obs& p : kRows)
    if (p.b == o.b && p.subj == o.subj && p.t == o.t - 1) return p.g;
  return "";
}

enum class Coding { kRef, kEffect, kThermometer };

// The value a column named for level `named` takes on a row of level `level`, the reference
// of the row's group being `ref`.
double expected(Coding coding, const std::string& ref, const std::string& level,
                const std::string& named) {
  if (level.empty()) return 0;
  if (coding == Coding::kThermometer) return level >= named ? 1 : 0;
  if (level == named) return 1;
  return coding == Coding::kEffect && level == ref ? -1 : 0;
}

// A parameter name's column check: "co g:q" holds the row's own level, "lg q" its lagged one.
void expectColumn(Coding coding, const std::string& ref, const std::string& parameter,
                  const std::vector<double>& column, int group) {
  const bool lag = parameter.rfind("lg ", 0) == 0;
  ASSERT_TRUE(lag || parameter.rfind("co g:", 0) == 0) << parameter;
  const std::string named = parameter.substr(lag ? 3 : 5);
  EXPECT_NE(named, ref) << parameter << " names the reference";
  size_t i = 0;
  for (const Obs& o : kRows) {
    if (o.b != group) continue;
    ASSERT_LT(i, column.size());
    const std::string level = lag ? previous(o) : o.g;
    EXPECT_EQ(column[i++], expected(coding, ref, level, named))
        << parameter << " in the row of subject " << o.subj << ", period " << o.t;
  }
  EXPECT_EQ(i, column.size()) << parameter;
}

std::vector<std::string> parameterNames(const Json& table) {
  std::vector<std::string> names;
  for (const Json& row : table["rows"])
    if (row["Parameter"] != "Intercept") names.push_back(row["Parameter"]);
  return names;
}

const char* kEffects =
    "  effect co = collection(g);\n"
    "  effect lg = lag(g / within=subj period=t nlag=1);\n"
    "  model y = co lg / selection=none;\nrun;";

struct Case {
  const char* classes;
  Coding coding;
  const char* refs[2];  // the reference of each BY group (of the one group without BY)
};

const Case kCases[] = {
    {"class g / param=ref ref=first;", Coding::kRef, {"p", "q"}},
    {"class g(ref='r') / param=ref;", Coding::kRef, {"r", "r"}},
    {"class g / param=effect ref=first;", Coding::kEffect, {"p", "q"}},
    {"class g(ref='q') / param=effect;", Coding::kEffect, {"q", "q"}},
    {"class g / param=therm;", Coding::kThermometer, {"p", "q"}},
};

// Without BY the OUTDESIGN headers are the parameter names: each holds its own level.
TEST(LevelNames, CollectionAndLagColumnsHoldTheirLevels) {
  DataLibrary lib({});
  writeData(lib);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.classes);
    const CommandRun r =
        runCommand(std::string("proc varsifter data=one outdesign(names)=od;\n  ") + c.classes +
                       "\n" + kEffects,
                   lib.dir());
    ASSERT_EQ(r.status, 0) << r.output;
    const Csv od = readCsv(lib.dir() + "/od.csv");
    std::vector<std::string> columns(od.header.begin() + 1, od.header.end() - 1);
    ASSERT_EQ(parameterNames(theOne(r, "ParameterEstimates")), columns);
    ASSERT_EQ(columns.size(), 4u);
    for (const std::string& name : columns)
      expectColumn(c.coding, c.refs[0], name, lib.column("od", name), 1);
  }
}

// Under BY the columns are numbered; the group's parameter list names them, by its own
// reference.
TEST(LevelNames, ByGroupsNameByTheirOwnReference) {
  DataLibrary lib({});
  writeData(lib);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.classes);
    const CommandRun r =
        runCommand(std::string("proc varsifter data=two outdesign=od;\n  by b;\n  ") + c.classes +
                       "\n" + kEffects,
                   lib.dir());
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<Json> tables = findAll(r.document, "ParameterEstimates");
    ASSERT_EQ(tables.size(), 2u);
    const std::vector<double> by = lib.column("od", "b");
    for (int group = 1; group <= 2; ++group) {
      const std::vector<std::string> names = parameterNames(tables[group - 1]);
      ASSERT_EQ(names.size(), 4u);
      for (size_t k = 0; k < names.size(); ++k) {
        const std::vector<double> all = lib.column("od", "_X" + std::to_string(k + 2));
        std::vector<double> mine;
        for (size_t i = 0; i < all.size(); ++i)
          if (by[i] == group) mine.push_back(all[i]);
        expectColumn(c.coding, c.refs[group - 1], names[k], mine, group);
      }
    }
  }
}

// R's lm(y ~ g) on three levels gives gq = 1.1 and gr = 2.0: the COLLECTION's estimates carry
// the plain effect's level names.
TEST(LevelNames, CollectionEstimatesMatchThePlainEffect) {
  DataLibrary lib({});
  std::ofstream(lib.path() / "tiny.csv")
      << "y,g\n1.0,p\n1.2,p\n0.9,p\n2.1,q\n2.4,q\n1.9,q\n3.2,r\n2.8,r\n3.1,r\n";
  const CommandRun r = runCommand(
      "proc varsifter data=tiny;\n  class g / param=ref ref=first;\n"
      "  effect co = collection(g);\n  model y = co / selection=none;\nrun;\n"
      "proc varsifter data=tiny;\n  class g / param=ref ref=first;\n"
      "  model y = g / selection=none;\nrun;",
      lib.dir());
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<Json> tables = findAll(r.document, "ParameterEstimates");
  ASSERT_EQ(tables.size(), 2u);
  const char* names[2][2] = {{"co g:q", "co g:r"}, {"g q", "g r"}};
  for (int step = 0; step < 2; ++step) {
    const Json& rows = tables[static_cast<size_t>(step)]["rows"];
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1]["Parameter"], names[step][0]);
    EXPECT_EQ(rows[2]["Parameter"], names[step][1]);
    EXPECT_NEAR(number(rows[1]["Estimate"]), 1.1, 1e-12);
    EXPECT_NEAR(number(rows[2]["Estimate"]), 2.0, 1e-12);
  }
}

}  // namespace
}  // namespace vsf::test
