// External cross validation whatever STOP= says: a fold's path runs to its end, so the CV Ex
// PRESS a stopped run shows at a step is the one STOP=NONE shows there (a fold stopped at its
// own SBC minimum used to count with its last value, and Diabetes's LASSO showed 5780.65 at
// step 1 where STOP=NONE shows 5695.73); and the values against refits of every fold at the
// penalties by coordinate descent (tests/reference/cvexternal_refits.py).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

const char* kModel = "model y = age sex bmi bp s1-s6";

CommandRun run(const std::string& selection, const std::string& more = "",
               const std::string& model = kModel) {
  return runCommand("proc varsifter data=diabetes; " + model + " / selection=" + selection +
                        " cvmethod=split(5)" + more + "; run;",
                    VSF_SHARED_DATA);
}

// A program's selection with its STOP= setting in place of the %s.
std::string withStop(std::string selection, const std::string& stop) {
  return selection.replace(selection.find("%s"), 2, stop);
}

struct Step {
  std::string label;  // the step and its move, "1+bmi"
  double cvex;
};

std::vector<Step> summary(const CommandRun& r) {
  std::vector<Step> out;
  const Json table = theOne(r, "SelectionSummary");
  for (const Json& row : table["rows"])
    out.push_back({row["StepLabel"].get<std::string>(), number(row["CVEXPRESS"])});
  return out;
}

void same(double got, double want, const std::string& at) {
  EXPECT_NEAR(got, want, 1e-9 * std::max(1.0, std::fabs(want))) << at;
}

// Each stopped run against STOP=NONE at the steps both take: every step the stopped run shows
// but one cut at the L1 target (its penalty is no knot of the whole path). Group LASSO's folds
// keep STOP=L1's cut as its final run does, its folds being compared step by step. A step
// limit (MAXSTEPS=) bounds the folds alike under either rule.
TEST(ExternalCvStop, AStoppedRunShowsTheWholePathsValues) {
  struct Case {
    const char* selection;  // with %s for the STOP= setting
    const char* stop;
    int cut;  // the stopped run's last steps that are not steps of the whole path
    const char* model = kModel;
    const char* more = "";
  } cases[] = {
      {"lasso(choose=cvex%s)", "", 0},
      {"lasso(choose=cvex%s)", "", 0, kModel, "; performance buildsscp=incremental"},
      {"lar(choose=cvex%s)", "", 0},
      {"lar(choose=cvex%s)", "", 0, "model y = age sex bmi bp s3 s5 s6"},
      {"lasso(choose=cvex adaptive%s)", "", 0},
      {"elasticnet(choose=cvex l2=0.1%s)", "", 0},
      {"elasticnet(choose=cvex l2low=0.001 l2high=1 l2steps=4%s)", "", 0},
      {"elasticnet(choose=cvex l2search=golden l2low=0 l2high=2 l2steps=5%s)", "", 0},
      {"lasso(choose=cvex lscoeffs%s)", "", 0},
      {"lar(choose=cvex lscoeffs%s)", "", 0},
      {"grouplasso(choose=cvex%s)", "", 0},
      {"lasso(choose=cvex%s)", " stop=aic", 0},
      {"lasso(choose=cvex%s)", " stop=4", 0},
      {"lasso(choose=cvex maxsteps=8%s)", "", 0},
      {"lasso(choose=cvex l1choice=ratio%s)", " stop=l1 l1=0.2", 1},
      {"lasso(choose=cvex l1choice=norm%s)", " stop=l1 l1=40", 1},
      {"grouplasso(choose=cvex%s)", " stop=l1 l1=0.3", 1},
  };
  for (const Case& c : cases) {
    const std::string stopped = withStop(c.selection, c.stop);
    const std::string whole = withStop(c.selection, " stop=none");
    SCOPED_TRACE(stopped + c.more + " " + c.model);
    const CommandRun a = run(stopped, c.more, c.model), b = run(whole, c.more, c.model);
    ASSERT_EQ(a.status, 0) << a.output;
    ASSERT_EQ(b.status, 0) << b.output;
    const std::vector<Step> s = summary(a), w = summary(b);
    ASSERT_LT(s.size(), w.size()) << "the stop rule ended the path early";
    ASSERT_GT(s.size(), static_cast<size_t>(c.cut + 1));
    for (size_t k = 0; k + c.cut < s.size(); ++k) {
      const std::string at = "step " + std::to_string(k);
      EXPECT_EQ(s[k].label, w[k].label) << at;
      same(s[k].cvex, w[k].cvex, at);
    }
    // The final run still stops by the rule, and says so.
    EXPECT_NE(a.output.find("stopped the path, not among the whole path"), std::string::npos)
        << a.output;
  }
}

// Each fold refitted at the penalties by coordinate descent, averaged on the union of the
// folds' knots and read there by each step's ratio, as the final run reads its grid: the
// values of a stopped run and of the whole path.
TEST(ExternalCvStop, ValuesEqualRefitsOfTheFolds) {
  const Csv want = readCsv("penalized/cvexternal_refits.csv");
  const struct {
    const char* name;
    const char* selection;
  } cases[] = {
      {"lasso", "lasso(choose=cvex%s)"},
      {"elasticnet_l2_0.1", "elasticnet(choose=cvex l2=0.1%s)"},
      {"adaptive", "lasso(choose=cvex adaptive%s)"},
  };
  for (const auto& c : cases) {
    std::vector<double> values;
    for (size_t i = 0; i < want.rows.size(); ++i)
      if (want.text(i, "case") == c.name) values.push_back(want.number(i, "cvexpress"));
    ASSERT_FALSE(values.empty()) << c.name;
    for (const char* stop : {"", " stop=none"}) {
      const std::string selection = withStop(c.selection, stop);
      SCOPED_TRACE(selection);
      const CommandRun r = run(selection);
      ASSERT_EQ(r.status, 0) << r.output;
      const std::vector<Step> s = summary(r);
      ASSERT_LE(s.size(), values.size());
      if (*stop) {
        EXPECT_EQ(s.size(), values.size()) << "the whole path";
      }
      for (size_t k = 0; k < s.size(); ++k) same(s[k].cvex, values[k], "step " + std::to_string(k));
    }
  }
}

}  // namespace
}  // namespace vsf::test
