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

using test::CsvRow;
using test::field;

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

test::MethodSettings settingsOf(const CsvRow& row, const Mode& mode) {
  test::MethodSettings m;
  m.group.full = mode.full || field(row, "method") == "backward";
  m.group.store = mode.store;
  m.group.generalSearch = mode.general;
  m.group.method = methodOf(field(row, "method"));
  const std::string select = field(row, "select");
  m.group.select = select == "leaps" ? kCritSbc : selectOf(select);
  if (select == "leaps") m.stop = kCritNone;  // the whole path
  m.hierarchy = field(row, "hierarchy") == "single" ? 1 : 0;
  const std::string sle = field(row, "slentry"), sls = field(row, "slstay");
  const bool competitive = field(row, "drop") == "competitive";
  m.options = [=](SelectionOptions& o) {
    if (!sle.empty()) o.entryLevel = std::stod(sle);
    if (!sls.empty()) o.stayLevel = std::stod(sls);
    o.dropRule = competitive ? 2 : 1;
  };
  return m;
}

TEST(MethodPaths, FollowRsStepAddDropLoopsAndLeaps) {
  std::map<std::string, test::MethodCase> cases;
  const auto rows = test::readMethodTable("paths.csv");
  ASSERT_GT(rows.size(), 50u);
  for (const CsvRow& row : rows) {
    const std::string name = field(row, "case");
    if (!cases.count(name)) cases.emplace(name, test::readMethodCase(name));
    for (const Mode& mode : kModes) {
      SCOPED_TRACE(name + " " + field(row, "method") + " select=" + field(row, "select") + " " +
                   field(row, "drop") + " against " + field(row, "reference") + ", " + mode.name);
      test::MethodFit fit(cases.at(name), settingsOf(row, mode));
      ASSERT_EQ(fit.fit(), 0);
      ASSERT_EQ(fit.s().run.status, 0);
      EXPECT_EQ(fit.path(), field(row, "path"));
      if (!field(row, "final").empty()) {
        EXPECT_EQ(fit.finalModel(), field(row, "final"));
      }
    }
  }
}

}  // namespace
}  // namespace vsf

namespace vsf {
namespace {

// Candidates judged by PRESS, CV PRESS or the validation ASE are each fitted on trial
// (data_paths.csv: R fits every candidate model).
TEST(MethodPaths, DataBasedCriteriaFollowRsTrialFits) {
  const auto rows = test::readMethodTable("data_paths.csv");
  ASSERT_EQ(rows.size(), 6u);
  for (const CsvRow& row : rows) {
    const std::string name = field(row, "case"), select = field(row, "select");
    const bool backward = field(row, "method") == "backward";
    const test::MethodCase c = test::readMethodCase(name);
    for (const Mode& mode : kModes) {
      if (backward && !mode.full) continue;
      SCOPED_TRACE(name + " " + field(row, "method") + " select=" + select + ", " + mode.name);
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
      EXPECT_EQ(fit.path(), field(row, "path"));
      EXPECT_EQ(fit.finalModel(), field(row, "final"));
      EXPECT_EQ(fit.s().run.stop.reason, stopreason::kCriterion);
    }
  }
}

}  // namespace
}  // namespace vsf
