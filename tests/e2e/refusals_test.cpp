// Options and effects that used to pass in silence: refused with an error naming the value,
// or run with a note saying what the samples will be.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

constexpr const char* kCars = "proc varsifter data=mtcars seed=1; ";

std::string step(const std::string& body) { return kCars + body + " run;"; }

TEST(Refusals, ValuesThatCannotWorkAreErrors) {
  const std::string spline = step("effect s = spline(model); model mpg = s wt / selection=none;");
  const std::string poly =
      step("effect p = poly(model wt / degree=2); model mpg = p / selection=none;");
  const std::string rho0 = step("model mpg = wt hp / selection=grouplasso(rho=0);");
  const std::string rho1 = step("model mpg = wt hp / selection=grouplasso(rho=1);");
  const std::string rhoHalf = step("model mpg = wt hp / selection=grouplasso(rho=0.5);");
  const std::string keep0 =
      step("model mpg = wt hp disp / selection=lasso(screen=sis(keepratio=0));");
  const std::string knots =
      step("effect s = spline(wt / knotmin=5 knotmax=2); model mpg = s / selection=none;");
  const std::string knotsEqual =
      step("effect s = spline(wt / knotmin=3 knotmax=3); model mpg = s / selection=none;");
  expectRuns(
      VSF_SHARED_DATA,
      {
          {spline, 1, {"ERROR: The SPLINE effect s cannot have the character variable model"}},
          {poly, 1, {"ERROR: The POLYNOMIAL effect p cannot have the character variable model"}},
          {rho0, 1, {"ERROR: RHO=0 must lie strictly between 0 and 1"}},
          {rho1, 1, {"ERROR: RHO=1 must lie strictly between 0 and 1"}},
          {rhoHalf, 0, {}, {"RHO="}},
          {keep0, 1, {"ERROR: KEEPRATIO=0 keeps no effect"}},
          {knots, 1, {"ERROR: The SPLINE effect s has KNOTMIN=5 above KNOTMAX=2"}},
          {knotsEqual, 0, {}, {"KNOTMIN"}},
      });
}

TEST(Refusals, SamplesThatCannotDifferAreNoted) {
  auto averaged = [](const std::string& sampling) {
    return step("model mpg = wt hp / selection=forward; modelaverage nsamples=3 sampling=" +
                sampling + ";");
  };
  const std::string over = averaged("srs(size=100)"), all = averaged("srs(percent=100)"),
                    one = averaged("urs(size=1)"), bootstrap = averaged("urs(percent=100)"),
                    most = averaged("srs(size=31)");
  const char* whole = "every sample is the whole data";
  expectRuns(VSF_SHARED_DATA,
             {
                 {over, 0, {"NOTE: SIZE=100 is more than the 32 training units of the data"}},
                 {all, 0, {"NOTE: Sampling without replacement takes all 32 training units"}},
                 {one, 0, {"NOTE: Each sample holds one unit of the data"}},
                 {bootstrap, 0, {}, {whole, "one unit"}},
                 {most, 0, {}, {whole, "one unit"}},
             });
}

// A hundred million samples would keep gigabytes of models: refused before the first sample,
// against MEMSIZE=, at once.
TEST(Refusals, SamplesBeyondTheMemoryAreAnError) {
  DataLibrary lib({"mtcars"});
  const std::string many =
      step("model mpg = wt / selection=none; modelaverage nsamples=100000000;");
  const std::string pred = step(
      "model mpg = wt / selection=none; modelaverage nsamples=100000; output out=o"
      " samplepred;");
  expectRuns(lib.dir(),
             {
                 {many,
                  1,
                  {"ERROR: Model averaging keeps the model of each of its 100000000 samples",
                   "than the 512 MB of memory available"},
                  {"not enough memory to continue"},
                  "--memsize 512"},
                 {pred, 1, {"of its 100000 samples"}, {}, "--memsize 16"},
             });
}

}  // namespace
}  // namespace vsf::test

namespace vsf::test {
namespace {

// External cross validation says its limits with their numbers: the fold count against the
// training rows of the data or of a sample (a fold's training part of one row is fitted), and
// the CVMETHOD=INDEX variable that is also a variable of the model by name and place.
TEST(Refusals, ExternalCrossValidationSaysItsLimits) {
  DataLibrary lib({"mtcars"});
  const std::pair<const char*, const char*> kData[] = {{"one", "x,y\n1,2\n"},
                                                       {"three", "x,y\n1,2\n2,3.5\n3,3\n"},
                                                       {"four", "x,y\n1,2\n2,3.5\n3,3\n4,5\n"}};
  for (const auto& [name, text] : kData)
    std::ofstream(lib.path() / (std::string(name) + ".csv")) << text;
  auto cvex = [](const std::string& data, const std::string& folds, const std::string& more = "") {
    return "proc varsifter data=" + data + " seed=1; model y = x / selection=lasso(choose=cvex) " +
           "cvmethod=split(" + folds + "); " + more + "run;";
  };
  expectRuns(lib.dir(),
             {
                 {cvex("three", "2"), 0, {}, {"ERROR", "more folds"}},
                 {cvex("four", "3"), 0, {}, {"ERROR"}},
                 {cvex("one", "2"),
                  1,
                  {"ERROR: External cross validation needs a training observation to hold out in "
                   "each of its 2 folds; the data have 1."},
                  {"no usable observations"}},
                 {cvex("three", "4"), 1, {"in each of its 4 folds; the data have 3."}},
                 {cvex("four", "3", "modelaverage nsamples=2 sampling=srs(size=2);"),
                  1,
                  {"WARNING: Sample 1 holds fewer training observations (2) than the 3 folds of "
                   "external cross validation"}},
                 {"proc varsifter data=mtcars;\nmodel mpg = wt cyl / selection=lasso(choose=cvex)"
                  " cvmethod=index(cyl); run;",
                  1,
                  {"ERROR: The CVMETHOD=INDEX variable cyl (MODEL statement at line 2, column 1) "
                   "is a variable of the model"}},
             });
}

}  // namespace
}  // namespace vsf::test
