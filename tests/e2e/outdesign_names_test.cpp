// OUTDESIGN variables as a later step uses them: a split CLASS column holds its own level's
// indicator under its own name, names never clash, `_VSFMOD` lists names a MODEL statement
// reads back, and a variable the host refuses fails the step instead of writing a short file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

// The names of a blank-separated list, name literals ('a b'n) read as their names.
std::vector<std::string> listedNames(const std::string& list) {
  std::vector<std::string> names;
  for (size_t i = 0; i < list.size();) {
    if (list[i] == ' ') {
      ++i;
    } else if (list[i] == '\'') {
      const size_t end = list.find("'n", i + 1);
      names.push_back(list.substr(i + 1, end - i - 1));
      i = end + 2;
    } else {
      const size_t end = std::min(list.find(' ', i), list.size());
      names.push_back(list.substr(i, end - i));
      i = end;
    }
  }
  return names;
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

TEST(OutDesignNames, SplitColumnsHoldTheirOwnLevel) {
  const char* programs[] = {
      "class cyl; model mpg = wt cyl / selection=lasso;",
      "class cyl gear; model mpg = wt cyl gear hp / selection=lar(stop=none);",
      "class cyl(split) gear(split); model mpg = wt cyl gear / selection=forward(select=sl "
      "sle=0.9);",
      "class cyl(param=ref split); model mpg = wt cyl / selection=elasticnet(l2=0.1 stop=none);",
  };
  DataLibrary lib({"mtcars"});
  const Csv cars = readCsv(lib.dir() + "/mtcars.csv");
  for (const char* program : programs) {
    SCOPED_TRACE(program);
    const CommandRun r = runCommand(
        std::string("proc varsifter data=mtcars outdesign=od; ") + program + " run;", lib.dir());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("ERROR"), std::string::npos) << r.output;
    const Csv od = readCsv(lib.dir() + "/od.csv");
    std::set<std::string> seen;
    size_t split = 0;
    for (const std::string& name : od.header) {
      EXPECT_TRUE(seen.insert(upper(name)).second) << "two variables named " << name;
      for (const char* variable : {"cyl", "gear"}) {
        const std::string stem = std::string(variable) + "_";
        if (name.rfind(stem, 0) != 0) continue;
        ++split;
        const std::string level = name.substr(stem.size());
        for (size_t i = 0; i < cars.rows.size(); ++i)
          EXPECT_EQ(od.number(i, name), cars.text(i, variable) == level ? 1 : 0)
              << name << " in row " << i + 1;
      }
    }
    EXPECT_GT(split, 0u) << "no split column was selected";
    for (const std::string& name : listedNames(macro(r, "_VSFMOD")))
      EXPECT_TRUE(seen.count(upper(name))) << name << " of _VSFMOD is not a variable";
  }
}

// A polynomial's linear term beside its variable, crossed CLASS columns (names with blanks)
// and the names of averaged models: the next step fits the data set by the list.
TEST(OutDesignNames, TheMacroListFitsTheNextStep) {
  const char* programs[] = {
      "effect p = poly(wt / degree=2); model mpg = wt p hp / selection=none;",
      "class cyl gear; model mpg = wt cyl*gear hp / selection=none;",
      "class cyl gear; model mpg = wt cyl*gear / selection=forward; modelaverage nsamples=3;",
  };
  DataLibrary lib({"mtcars"});
  for (const char* program : programs) {
    SCOPED_TRACE(program);
    const CommandRun r =
        runCommand(std::string("proc varsifter data=mtcars outdesign=od seed=2; ") + program +
                       " run;\n"
                       "proc varsifter data=od; model mpg = &_VSFMOD / "
                       "selection=none; run;",
                   lib.dir());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("ERROR"), std::string::npos) << r.output;
    const std::vector<std::string> header = lib.variables("od");
    const std::set<std::string> names(header.begin(), header.end());
    EXPECT_EQ(names.size(), header.size()) << "a name twice";
    const std::vector<std::string> listed = listedNames(macro(r, "_VSFMOD"));
    EXPECT_FALSE(listed.empty());
    for (const std::string& name : listed) EXPECT_TRUE(names.count(name)) << name;
  }
}

// A design column named like a variable the step adds (_ROLE_) or two computed variables of
// one name: an error, exit status 1, no file, and no _VSFMOD left from the step before.
TEST(OutDesignNames, ARefusedVariableFailsTheStep) {
  DataLibrary lib({"mtcars"});
  std::string roles = lib.text("mtcars.csv");
  roles.replace(roles.find("qsec"), 4, "_ROLE_");
  std::ofstream(lib.path() / "r.csv") << roles;
  const std::string before =
      "proc varsifter data=mtcars outdesign=od0; model mpg = wt hp / selection=none; run;\n";
  const struct {
    const char* program;
    const char* dataSet;
    const char* error;
  } cases[] = {
      {"proc varsifter data=r outdesign=od seed=1; partition fraction(validate=0.3);"
       " model mpg = wt _ROLE_ / selection=none; run;",
       "od", "ERROR: An OUTDESIGN variable"},
      {"proc varsifter data=mtcars; model mpg = wt hp / selection=none; output out=o p=a r=a;"
       " run;",
       "o", "ERROR: The output data set WORK.O is not written"},
      {"proc varsifter data=mtcars; model mpg = wt / selection=none;"
       " score data=mtcars out=s p=b r=b; run;",
       "s", "ERROR: The output data set WORK.S is not written"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    const CommandRun r = runCommand(before + c.program, lib.dir());
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(c.error), std::string::npos) << r.output;
    EXPECT_TRUE(lib.text(std::string(c.dataSet) + ".csv").empty()) << "a file was written";
  }
  const CommandRun r = runCommand(before + cases[0].program, lib.dir());
  EXPECT_EQ(macro(r, "_VSFMOD"), "") << "the earlier step's list was kept";
}

}  // namespace
}  // namespace vsf::test
