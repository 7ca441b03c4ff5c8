// Counts a user gives that size what a step holds: folds against the rows they split, and
// degrees, knots, steps and pages against MEMSIZE=, each refused at once naming the option
// and its value, or formed as the log says.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

std::string diabetes(const std::string& method, const std::string& more = "") {
  return "proc varsifter data=diabetes seed=1; model y = age bmi bp s1-s6 / selection=" + method +
         "; " + more + "run;";
}

std::string cars(const std::string& body) {
  return "proc varsifter data=mtcars; " + body + " run;";
}

// Folds past the rows: RANDOM draws them from a billion without keeping a mark for each, and
// every fold formed, k-fold or external, is one _CVINDEX_ value, numbered as the log counts
// them.
TEST(Limits, FoldsPastTheRowsAreFormedAsTheLogSays) {
  DataLibrary lib({"diabetes"});
  struct Case {
    std::string method;
    const char* requested;
    int formed;
  };
  const Case kCases[] = {{"forward(choose=cv) cvmethod=random(1000000000)", "1000000000", 442},
                         {"forward(choose=cv) cvmethod=split(1000000000)", "1000000000", 442},
                         {"lasso(choose=cvex) cvmethod=random(400)", "400", 254},
                         {"forward(choose=cv) cvmethod=random(5000)", "5000", 424}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.method);
    const CommandRun r = runCommand(diabetes(c.method, "output out=o;"), lib.dir(), "--memsize 16");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("WARNING: Only " + std::to_string(c.formed) + " of the " + c.requested +
                            " cross validation folds requested could be formed."),
              std::string::npos)
        << r.output;
    const std::vector<double> index = lib.column("o", "_CVINDEX_");
    const std::set<double> folds(index.begin(), index.end());
    EXPECT_EQ(index.size(), 442u);
    ASSERT_EQ(folds.size(), static_cast<size_t>(c.formed));
    EXPECT_EQ(*folds.begin(), 1);
    EXPECT_EQ(*folds.rbegin(), c.formed);
  }
}

// External folds asked for past the rows are refused before anything is made for them, RANDOM's
// too (under MEMSIZE=16 a later refusal would name the memory); folds the rows fill but the
// memory cannot hold name CVMETHOD= and its value.
TEST(Limits, FoldsBeyondTheRowsOrTheMemoryAreRefusedAtOnce) {
  auto over = [](const std::string& method, const std::string& cv, const std::string& folds) {
    return ExpectedRun{diabetes(method + "(choose=cvex) cvmethod=" + cv + "(" + folds + ")"),
                       1,
                       {"External cross validation needs a training observation to hold out in "
                        "each of its " +
                        folds + " folds; the data have 442. Give CVMETHOD= fewer folds."},
                       {"not enough memory to continue", "MB for"},
                       "--memsize 16"};
  };
  const std::string wide = "effect s = spline(wt / degree=60); model mpg = s / ";
  expectRuns(
      VSF_SHARED_DATA,
      {
          over("lasso", "split", "1000000"),
          over("lasso", "split", "1000000000"),
          over("lasso", "random", "1000000000"),
          over("grouplasso", "block", "1000000000"),
          {cars(wide + "selection=forward(choose=cv) cvmethod=split(1000);"),
           1,
           {"ERROR: CVMETHOD=SPLIT(1000) needs about ",
            " MB for the crossproducts of its 32 folds, more than the 1 MB of memory available"},
           {"not enough memory to continue"},
           "--memsize 1"},
          {"proc varsifter data=diabetes; effect s = spline(bmi / degree=60); model y = s age "
           "bp / selection=lasso(choose=cvex) cvmethod=split(400); run;",
           1,
           {"ERROR: CVMETHOD=SPLIT(400) needs about ",
            " MB for the crossproducts of its 400 folds, more than the 4 MB of memory available"},
           {"not enough memory to continue"},
           "--memsize 4"},
          {cars(wide + "selection=forward(choose=cv) cvmethod=split(1000);"),
           0,
           {"WARNING: Only 32 of the 1000 cross validation folds"},
           {"ERROR"},
           "--memsize 4"},
      });
}

// Sizes a statement gives are held to MEMSIZE= before anything is made for them: the columns
// of one effect (whose crossproducts one matrix holds at most 23167 of), the design variables
// of one statement or of all together, the pages, the L2 values and the optimizer's steps.
TEST(Limits, SizesBeyondTheMemoryAreRefusedNamingTheOption) {
  const std::string kMost = " columns: the crossproducts of one effect hold at most 23167 columns.";
  const std::string poly9 = "cyl disp hp drat wt qsec vs am gear";
  expectRuns(
      VSF_SHARED_DATA,
      {
          {cars("effect s = spline(wt / degree=100000000); model mpg = s / selection=none;"),
           1,
           {"ERROR: Line 1, column 29: DEGREE=100000000 gives the SPLINE effect s 100000004" +
            kMost},
           {"not enough memory to continue"},
           "--memsize 64"},
          {cars("effect s = spline(wt / degree=1000000000); model mpg = s / selection=none;"),
           1,
           {"DEGREE=1000000000 gives the SPLINE effect s 1000000004" + kMost}},
          {cars("effect s = spline(wt / degree=5000); model mpg = s / selection=none;"),
           1,
           {"DEGREE=5000 needs about 96 MB for the crossproducts of the 5004 columns of the "
            "SPLINE effect s, more than the 64 MB of memory available (MEMSIZE=). Lower DEGREE= "
            "or raise MEMSIZE=."},
           {},
           "--memsize 64"},
          {cars("effect s = spline(wt / knotmethod=percentiles(100000000)); model mpg = s;"),
           1,
           {"KNOTMETHOD=PERCENTILES(100000000) gives the SPLINE effect s 100000004" + kMost}},
          {cars("effect s = spline(wt / naturalcubic degree=100000000 knotmethod=equal(9));"
                " model mpg = s / selection=none;"),
           0,
           {},
           {"ERROR"}},
          {cars("effect s = spline(wt hp / knotmethod=equal(1000000) split);"
                " model mpg = s / selection=none;"),
           1,
           {"KNOTMETHOD=EQUAL(1000000) needs about 4273 MB for the 2000008 design variables of "
            "the SPLINE effect s"},
           {},
           "--memsize 64"},
          {cars("effect s = spline(wt / knotmethod=multiscale(endscale=15)); model mpg = s;"),
           1,
           {"ENDSCALE=15 gives the SPLINE effect s 32772" + kMost}},
          {cars("effect p = poly(" + poly9 + " / degree=10 noseparate); model mpg = p;"),
           1,
           {"DEGREE=10 gives the POLYNOMIAL effect p 92377" + kMost}},
          {cars("effect p = poly(wt hp disp / degree=40); effect q = poly(cyl drat qsec / "
                "degree=40); effect r = poly(vs am gear / degree=40); model mpg = p q r;"),
           1,
           {"ERROR: The EFFECT statements make 37020 design variables"},
           {"DEGREE=40"},
           "--memsize 64"},
          {cars("model mpg = wt hp / selection=forward; performance util_buffers$=1000000000;"),
           1,
           {"ERROR: UTIL_BUFFERS$=1000000000 needs about ", " pages of stored rows it keeps"},
           {"not enough memory to continue"},
           "--memsize 64"},
          // A group too small for a file a worker is held to the step's file a worker all the
          // same; one thread keeps one file.
          {cars("model mpg = wt hp / selection=forward; performance cpucount=4 "
                "util_buffers$=1000000000;"),
           1,
           {"for the 4000000000 pages of stored rows"},
           {},
           "--memsize 64"},
          {cars("model mpg = wt hp / selection=forward; performance nothreads "
                "util_buffers$=1000000000;"),
           1,
           {"for the 1000000000 pages of stored rows"},
           {},
           "--memsize 64"},
          {cars("model mpg = wt hp / selection=elasticnet(l2search=grid l2steps=100000000 "
                "showl2search$);"),
           1,
           {"ERROR: L2STEPS=100000000 needs about 5341 MB for the records of its 100000000 L2 "
            "values"},
           {"not enough memory to continue"},
           "--memsize 64"},
          {cars("model mpg = wt hp / selection=grouplasso(maxsteps=1000000000);"),
           1,
           {"ERROR: MAXSTEPS=1000000000 needs about 244141 MB for the records of its 1000000000 "
            "steps"},
           {"not enough memory to continue"},
           "--memsize 64"},
          // A step limit far past the effects is no size to hold.
          {cars("model mpg = wt hp / selection=lasso(maxsteps=1000000000);"),
           0,
           {},
           {"ERROR"},
           "--memsize 64"},
      });
}

// A TO ... BY list is counted before any of its values is made: one longer than a list's count
// can be, or than MEMSIZE= leaves room for with the values before it, is refused at once naming
// the option and the count; a range that fits makes its values, downwards too.
TEST(Limits, KnotRangesAreCountedBeforeTheyAreMade) {
  auto spline = [](const std::string& knots) {
    return cars("effect s = spline(wt / details knotmethod=" + knots +
                "); model mpg = s / selection=none;");
  };
  const std::string most = ", more than the 2147483647 a list holds.";
  expectRuns(
      VSF_SHARED_DATA,
      {
          {spline("list(0 to 1000000000 by 1)"),
           1,
           {"ERROR: Line 1, column 95: KNOTMETHOD=LIST needs about 7630 MB for the 1000000001 "
            "values of its list, more than the 64 MB of memory available (MEMSIZE=). Lower "
            "KNOTMETHOD= or raise MEMSIZE=."},
           {"not enough memory", "columns"},
           "--memsize 64"},
          {spline("list(0 to 5 by 1e-300)"), 1, {"KNOTMETHOD=LIST lists 5e+300 values" + most}},
          {spline("list(0 to 1e300 by 1)"), 1, {"KNOTMETHOD=LIST lists 1e+300 values" + most}},
          {spline("rangefractions(0 to 1 by 1e-9)"),
           1,
           {"KNOTMETHOD=RANGEFRACTIONS needs about 7630 MB for the 1000000002 values of its list"},
           {},
           "--memsize 64"},
          {spline("listwithboundary(-1e308 to 1e308 by 1e300)"),
           1,
           {"KNOTMETHOD=LISTWITHBOUNDARY lists more than the 2147483647 values a list holds."}},
          {spline("list(0 to 100000 by 1 0 to 40000 by 1)"),
           1,
           {"KNOTMETHOD=LIST needs about 2 MB for the 140002 values of its list, more than the 1 "
            "MB"},
           {},
           "--memsize 1"},
          {spline("list(2 to 3 by 0.5 4.5 to 4 by -0.5)"),
           0,
           {"0      2\n", "0    2.5\n", "0      3\n", "0      4\n", "0    4.5\n"},
           {"ERROR", "3.5\n"},
           "--memsize 1"},
      });
}

// A SEPARATE polynomial's terms are separate effects, yet a run that forms the crossproducts of
// all its columns at once (SELECTION=NONE, BACKWARD, a criterion that needs the full model)
// holds them to the memory as NOSEPARATE's one effect, naming DEGREE=; a method that takes the
// effects one by one, or a model without the polynomial, is not held to them.
TEST(Limits, SeparateTermsOfTheWholeMatrixAreHeldToTheMemory) {
  const std::string poly = "effect p = polynomial(wt hp disp / degree=30); model mpg = ";
  const std::vector<std::string> refused = {
      "ERROR: Line 1, column 29: DEGREE=30 needs about 126 MB for the crossproducts of the 5455 "
      "columns of the POLYNOMIAL effect p, more than the 64 MB of memory available (MEMSIZE=). "
      "Lower DEGREE= or raise MEMSIZE=."};
  expectRuns(
      VSF_SHARED_DATA,
      {
          {cars(poly + "p / selection=none;"), 1, refused, {}, "--memsize 64"},
          {cars(poly + "p / selection=backward;"), 1, refused, {}, "--memsize 64"},
          {cars(poly + "wt p / selection=forward(choose=cp);"), 1, refused, {}, "--memsize 64"},
          {cars(poly + "p / selection=lasso;"), 0, {}, {"ERROR", "DEGREE="}, "--memsize 64"},
          {cars(poly + "wt / selection=none;"), 0, {}, {"ERROR", "DEGREE="}, "--memsize 64"},
      });
}

// A CLASS value longer than the widest format is cut to it (32767 characters), with the
// warning TRUNCATE= gives: two values that differ only past it are one level, kept at that
// length. The listing shows a level at most 256 characters wide, ending in "...".
TEST(Limits, ClassValuesAreCutWhereTheWidestFormatCutsThem) {
  ScratchDir lib("vsf_long_class");
  const std::string a(40000, 'a');
  {
    std::ofstream csv(lib.path() / "long.csv");
    csv << "y,x,c\n";
    const char* values[] = {"b", "c"};
    for (int i = 0; i < 12; ++i)
      csv << i * 0.7 + (i % 3) << "," << (i * 37 % 11) << ","
          << (i % 4 < 2 ? a + std::to_string(i % 4) : values[i % 2]) << "\n";
  }
  const CommandRun r =
      runCommand("proc varsifter data=long; class c; model y = x c / selection=none; run;",
                 lib.path().string(), "--memsize 16");
  ASSERT_EQ(r.status, 0) << r.output.substr(0, 2000);
  EXPECT_NE(r.output.find("WARNING: The formatted values of c are longer than 32767 "
                          "characters; they are truncated to 32767 characters."),
            std::string::npos);
  EXPECT_EQ(theOne(r, "ClassLevelInfo")["rows"][0]["Levels"], 3);
  bool cut = false;
  const Json estimates = theOne(r, "ParameterEstimates");
  for (const Json& row : estimates["rows"]) cut |= row["Parameter"] == "c " + a.substr(0, 32767);
  EXPECT_TRUE(cut);
  std::istringstream listing(r.output);
  size_t widest = 0;
  for (std::string line; std::getline(listing, line);)
    if (line.find("WARNING") == std::string::npos) widest = std::max(widest, line.size());
  EXPECT_LT(widest, 400u);
  EXPECT_NE(r.output.find(std::string(200, 'a') + "..."), std::string::npos);
}

}  // namespace
}  // namespace vsf::test
