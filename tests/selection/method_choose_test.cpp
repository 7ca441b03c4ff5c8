// CHOOSE= picks the step that R's criteria pick along a FORWARD or BACKWARD path by SBC run to
// its end (tests/reference/methods_fixtures.R, choose.csv): the first best step after
// entries, the last step not worse after removals, and the criterion's value the step kept.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "selection/method_support.h"
#include "selection/methods_internal.h"

namespace vsf {
namespace {

CriterionCode criterionOf(const std::string& c) {
  static const std::map<std::string, CriterionCode> codes = {
      {"aic", kCritAic},         {"aicc", kCritAicc},
      {"sbc", kCritSbc},         {"cp", kCritCp},
      {"bic", kCritBic},         {"adjrsq", kCritAdjRsq},
      {"rsquare", kCritRsquare}, {"press", kCritPress},
      {"cv", kCritCv},           {"validate", kCritValidate}};
  return codes.at(c);
}

TEST(MethodChoose, PicksTheStepRsCriteriaPick) {
  std::map<std::string, test::MethodCase> cases;
  const test::Csv t = test::readCsv("methods/choose.csv");
  ASSERT_GT(t.rows.size(), 30u);
  for (size_t i = 0; i < t.rows.size(); ++i) {
    const std::string name = t.text(i, "case"), crit = t.text(i, "criterion");
    const bool backward = t.text(i, "method") == "backward";
    SCOPED_TRACE(name + " " + t.text(i, "method") + " choose=" + crit);
    if (!cases.count(name)) cases.emplace(name, test::readMethodCase(name));
    const CriterionCode code = criterionOf(crit);
    test::MethodSettings m;
    m.group.method = backward ? kMethodBackward : kMethodForward;
    m.group.select = kCritSbc;
    m.group.choose = code;
    m.group.kfold = code == kCritCv;
    m.group.folds = 5;
    m.group.roles = name == "diabetes_part";
    m.stop = kCritNone;
    m.options = [&](SelectionOptions& o) {
      o.pressPerStep = code == kCritPress;
      o.validAsePerStep = code == kCritValidate;
    };
    test::MethodFit fit(cases.at(name), m);
    ASSERT_EQ(fit.fit(), 0);
    ASSERT_EQ(fit.s().run.status, 0);
    if (!backward) {
      std::string expected;
      std::stringstream ss(t.text(i, "path"));
      for (std::string t; ss >> t;) expected += (expected.empty() ? "+" : " +") + t;
      EXPECT_EQ(fit.path(), expected);
    }
    const int want = std::stoi(t.text(i, "step"));
    EXPECT_EQ(fit.s().run.chosenStep, want);
    const double v = stepCriterion(fit.s().steps, code, want), r = std::stod(t.text(i, "value"));
    EXPECT_NEAR(v, r, 1e-9 * std::fmax(1.0, std::fabs(r)));
  }
}

}  // namespace
}  // namespace vsf
