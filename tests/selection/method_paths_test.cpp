// The classical methods against R (tests/reference/methods_fixtures.R): the order of entry and
// removal and the final model of step(), of add1/drop1 loops for the default STEPWISE and for
// SELECT=SL, and FORWARD's entry order against leaps::regsubsets(method = "forward"); in every
// storage mode of the crossproducts.
#include <gtest/gtest.h>

#include <map>

#include "selection/method_support.h"
#include "selection/methods_internal.h"

namespace vsf {
namespace {

struct Mode {
  const char* name;
  bool full, store, general;
};
constexpr Mode kModes[] = {{"full", true, false, false},
                           {"incremental with store", false, true, false},
                           {"full, general search", true, false, true}};

MethodCode methodOf(const std::string& m) {
  return m == "forward" ? kMethodForward : m == "backward" ? kMethodBackward : kMethodStepwise;
}

CriterionCode selectOf(const std::string& s) {
  return s == "sbc" ? kCritSbc : s == "aic" ? kCritAic : kCritSl;
}

test::MethodSettings settingsOf(const test::Csv& t, size_t i, const Mode& mode) {
  test::MethodSettings m;
  m.group.full = mode.full || t.text(i, "method") == "backward";
  m.group.store = mode.store;
  m.group.generalSearch = mode.general;
  m.group.method = methodOf(t.text(i, "method"));
  const std::string select = t.text(i, "select");
  m.group.select = select == "leaps" ? kCritSbc : selectOf(select);
  if (select == "leaps") m.stop = kCritNone;  // the whole path
  m.hierarchy = t.text(i, "hierarchy") == "single" ? 1 : 0;
  const std::string sle = t.text(i, "slentry"), sls = t.text(i, "slstay");
  const bool competitive = t.text(i, "drop") == "competitive";
  m.options = [=](SelectionOptions& o) {
    if (!sle.empty()) o.entryLevel = std::stod(sle);
    if (!sls.empty()) o.stayLevel = std::stod(sls);
    o.dropRule = competitive ? kDropCompetitive : kDropBeforeAdd;
  };
  return m;
}

TEST(MethodPaths, FollowRsStepAddDropLoopsAndLeaps) {
  std::map<std::string, test::MethodCase> cases;
  const test::Csv t = test::readCsv("methods/paths.csv");
  ASSERT_GT(t.rows.size(), 50u);
  for (size_t i = 0; i < t.rows.size(); ++i) {
    const std::string name = t.text(i, "case");
    if (!cases.count(name)) cases.emplace(name, test::readMethodCase(name));
    for (const Mode& mode : kModes) {
      SCOPED_TRACE(name + " " + t.text(i, "method") + " select=" + t.text(i, "select") + " " +
                   t.text(i, "drop") + " against " + t.text(i, "reference") + ", " + mode.name);
      test::MethodFit fit(cases.at(name), settingsOf(t, i, mode));
      ASSERT_EQ(fit.fit(), 0);
      ASSERT_EQ(fit.s().run.status, 0);
      EXPECT_EQ(fit.path(), t.text(i, "path"));
      if (!t.text(i, "final").empty()) {
        EXPECT_EQ(fit.finalModel(), t.text(i, "final"));
      }
    }
  }
}

// Candidates judged by PRESS, CV PRESS or the validation ASE are each fitted on trial
// (data_paths.csv: R fits every candidate model).
TEST(MethodPaths, DataBasedCriteriaFollowRsTrialFits) {
  const test::Csv t = test::readCsv("methods/data_paths.csv");
  ASSERT_EQ(t.rows.size(), 6u);
  for (size_t i = 0; i < t.rows.size(); ++i) {
    const std::string name = t.text(i, "case"), select = t.text(i, "select");
    const bool backward = t.text(i, "method") == "backward";
    const test::MethodCase c = test::readMethodCase(name);
    for (const Mode& mode : kModes) {
      if (backward && !mode.full) continue;
      SCOPED_TRACE(name + " " + t.text(i, "method") + " select=" + select + ", " + mode.name);
      test::MethodSettings m;
      m.group.method = backward ? kMethodBackward : kMethodForward;
      m.group.full = mode.full;
      m.group.store = mode.store;
      m.group.generalSearch = mode.general;
      m.group.select = select == "press" ? kCritPress : select == "cv" ? kCritCv : kCritValidate;
      m.group.kfold = select == "cv";
      m.group.folds = 5;
      m.group.roles = select == "validate";
      m.options = [&](SelectionOptions& o) {
        o.pressPerStep = select == "press";
        o.validAsePerStep = select == "validate";
      };
      test::MethodFit fit(c, m);
      ASSERT_EQ(fit.fit(), 0);
      ASSERT_EQ(fit.s().run.status, 0);
      EXPECT_EQ(fit.path(), t.text(i, "path"));
      EXPECT_EQ(fit.finalModel(), t.text(i, "final"));
      EXPECT_EQ(fit.s().run.stop.reason, stopreason::kCriterion);
    }
  }
}

}  // namespace
}  // namespace vsf
