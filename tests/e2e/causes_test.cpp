// Errors and notes name the cause a user can act on: a bound on DEGREE= and on the terms the
// memory holds, powers that overflow, readable generator notes, and no talk of BY groups in a
// step without a BY statement.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

TEST(Causes, ErrorsNameWhatWentWrong) {
  DataLibrary lib({"mtcars", "mtcars_by_cyl"});
  std::ofstream(lib.path() / "big.csv") << "y,x\n1,4000\n2,5000\n3,6000\n4,1.1\n5,1.2\n6,1.4\n";
  std::ofstream(lib.path() / "empty.csv") << "y,x,c\n1,.,a\n2,.,b\n3,.,a\n";
  expectRuns(
      lib.dir(),
      {
          {"proc varsifter data=mtcars; effect p = poly(wt / degree=1000);"
           " model mpg = p / selection=none; run;",
           1,
           {"The value 1000 of DEGREE= is outside its range, 1 to 100."},
           {"no usable observations"}},
          // 4000^100 overflows: three rows go, and the note says why.
          {"proc varsifter data=big; effect p = poly(x / degree=100);"
           " model y = p / selection=none; run;",
           0,
           {"NOTE: Observations not used because a value of their design row is missing or too "
            "large for double precision (a power or product of a constructed effect overflows): "
            "3."},
           {}},
          // 176,850 terms: refused against MEMSIZE= before any is built.
          {"proc varsifter data=mtcars; effect p = poly(wt hp disp / degree=100 standardize);"
           " model mpg = p / selection=forward(stop=2); run;",
           1,
           {"ERROR: Line 1, column 29: DEGREE=100 needs about 378 MB for the 176850 design "
            "variables of the POLYNOMIAL effect p",
            "more than the 64 MB of memory available"},
           {"not enough memory to continue"},
           "--memsize 64"},
          {"proc varsifter data=mtcars; effect s = spline(wt / knotmethod=list(1 100));"
           " model mpg = s / selection=none; run;",
           1,
           {"ERROR: A listed knot lies outside the range of the variable wt; no model is fitted.",
            "the data could not be fitted"},
           {"BY group"}},
          {"proc varsifter data=mtcars_by_cyl; by cyl;"
           " effect s = spline(wt / knotmethod=list(1 100)); model mpg = s / selection=none; run;",
           1,
           {"ERROR: BY group cyl=4: A listed knot lies outside the range of the variable wt; the "
            "BY group is skipped.",
            "a BY group was skipped"},
           {}},
          {"proc varsifter data=empty; class c; model y = c x / selection=none; run;",
           1,
           {"ERROR: There is nothing to analyze: a CLASS variable has no level or a continuous "
            "variable has no value; no model is fitted."},
           {"BY group"}},
      });
}

// Past 8,192 samples some sample's seed is a multiple of 8192: the generator's note is text.
TEST(Causes, GeneratorNotesAreText) {
  DataLibrary lib({"mtcars"});
  const CommandRun r = runCommand(
      "proc varsifter data=mtcars seed=1; model mpg = wt / selection=none;"
      " modelaverage nsamples=40000 tables=none; run;",
      lib.dir());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output.find("NOTE: status"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("is a multiple of 8192: the generator's state is made by the 2002 "
                          "initialization (status 0x8C7FE80A)."),
            std::string::npos)
      << r.output;
}

}  // namespace
}  // namespace vsf::test
