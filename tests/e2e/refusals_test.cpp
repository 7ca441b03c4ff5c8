// Options and effects that used to pass in silence: refused with an error naming the value,
// or run with a note saying what the samples will be.
#include <gtest/gtest.h>

#include <string>

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
