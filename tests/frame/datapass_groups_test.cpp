// BY groups and the group phases around the data pass: a group without training rows, rows
// whose design values are not finite, the INEST= estimates of a group, and a step that ends
// inside a group.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "base/host.h"
#include "base/strings.h"
#include "common/bridge_recorder.h"
#include "common/csv.h"
#include "common/datapass_support.h"
#include "common/files.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

struct GroupSnapshot {
  double trainRows = 0, trainFreq = 0, validRows = 0, testRows = 0, responseMean = 0;
  std::vector<double> means, scales;
  size_t rows = 0;
};

GroupSnapshot snapshot(VsfState& v) {
  const SelectionState& s = v.group.selection;
  GroupSnapshot g;
  g.trainRows = s.totals.obsUsed, g.trainFreq = s.totals.trainFreq,
  g.validRows = s.totals.validRows;
  g.testRows = s.totals.testRows, g.responseMean = s.totals.responseMean;
  g.means.assign(s.layout.colMeans, s.layout.colMeans + s.layout.paramCount);
  g.scales.assign(s.layout.colScales, s.layout.colScales + s.layout.paramCount);
  g.rows = readStoredRows(v).size();
  return g;
}

TEST(ByGroupData, AGroupWithoutTrainingRowsHasMissingMeansAndScales) {
  std::vector<GroupSnapshot> groups;
  StepRun r = runOnData("proc varsifter data=bygroups; by g; model y = x1; run;",
                        [&](VsfState& v) { groups.push_back(snapshot(v)); });
  // The second group has nothing to fit: its selection ends without observations (message
  // 6273, which counts what its observations lack; step code 108), after the first group's.
  EXPECT_EQ(r.code, 108) << r.dump();
  EXPECT_TRUE(r.issued(848, 127));  // the _ROLE_ variable gives the roles
  EXPECT_TRUE(r.issued(848, 6273));
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0].trainRows, 3);
  EXPECT_EQ(groups[0].testRows, 1);
  EXPECT_DOUBLE_EQ(groups[0].means[1], 2.0);  // x1 of the training rows: 1, 3, 2
  EXPECT_DOUBLE_EQ(groups[0].scales[1], 1.0);
  EXPECT_EQ(groups[1].trainRows, 0);
  EXPECT_EQ(groups[1].validRows, 2);
  EXPECT_EQ(groups[1].rows, 3u);
  for (double m : groups[1].means) EXPECT_TRUE(znotfinite(m));
  for (double c : groups[1].scales) EXPECT_TRUE(znotfinite(c));
  EXPECT_EQ(groups[1].responseMean, 0);
}

// A design row with a value that is not finite is never stored: every later pass would treat
// it differently.
TEST(ByGroupData, RowsWithoutFiniteDesignValuesAreNotStored) {
  std::vector<GroupSnapshot> groups;
  StepRun r = runOnData("proc varsifter data=bygroups; by g; model y = x1; run;", [&](VsfState& v) {
    groups.push_back(snapshot(v));
    // From the next group on, x1 = 3 makes its column infinite.
    v.lev.rowHook = [](ZLevCtx* ctx) {
      if (ctx->values[0] == 3) ctx->design->results[1].product = INFINITY;
    };
  });
  EXPECT_EQ(r.code, 108) << r.dump();  // the second group has no training rows to fit
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0].rows, 4u);
  EXPECT_EQ(groups[1].rows, 2u);  // the test row with x1 = 3 is gone
  EXPECT_EQ(groups[1].testRows, 0);
}

TEST(ByGroupData, InitialEstimatesStayAtTheirParameters) {
  struct Case {
    const char* data;
    std::vector<int> messages;
    int code;
    std::vector<double> estimates;  // empty: none
  } cases[] = {
      // The first PARMS row; its missing x1 estimate stays missing where it is. The estimates
      // are read with the group's rows; without PARMS rows the weights come from a fit.
      {"inest", {}, 0, {0.5, NAN, 2.5}},
      // The rows' response is exact in x1: the fit's note says so.
      {"inest_noparms", {250, 9101}, 4, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.data);
    std::vector<double> got;
    bool none = false;
    StepRun r = runOnData(std::string("proc varsifter data=rows; model y = x1 x2 / "
                                      "selection=lasso(adaptive(inest=") +
                              c.data + ")); run;",
                          [&](VsfState& v) {
                            const double* e = v.group.selection.initialEstimates;
                            none = e == nullptr;
                            if (e) got.assign(e, e + v.res.inest.parameterCount);
                          });
    std::vector<int> numbers;
    for (int m : r.messages({848})) numbers.push_back(m - 8480000);
    EXPECT_EQ(numbers, c.messages) << r.dump();
    EXPECT_EQ(r.code, c.code) << r.dump();
    EXPECT_TRUE(r.inspected);
    EXPECT_EQ(none, c.estimates.empty());
    ASSERT_EQ(got.size(), c.estimates.size());
    for (size_t i = 0; i < got.size(); ++i) {
      if (std::isnan(c.estimates[i]))
        EXPECT_TRUE(znotfinite(got[i])) << i;
      else
        EXPECT_EQ(got[i], c.estimates[i]) << i;
    }
  }
}

// After each group's fit the selected model goes to the bridge that STORE loaded: the module
// runs once per group on the estimates, the stored model's crossproducts, scales and means and
// the fit statistics.
TEST(ByGroupData, TheSelectedModelOfEachGroupGoesToTheBridge) {
  bridgeModuleRecord() = BridgeModuleRecord();
  StepRun r = runOnData(
      "proc varsifter data=bygroups; by g; model y = x1 / selection=forward; store out=fit; "
      "run;",
      [](VsfState&) {});
  EXPECT_TRUE(r.issued(848, 6273)) << r.dump();  // the second group has nothing to fit
  const BridgeModuleRecord& m = bridgeModuleRecord();
  EXPECT_EQ(m.runs, 1);  // the group without a model hands nothing over
  EXPECT_EQ(m.handOvers, 1);
  EXPECT_EQ(m.itemKeys, (std::vector<int32_t>{3, 7, 13, 14, 15, 25}));
}

// The estimates handed over are the fit's: a least-squares line's intercept and slope, as the
// closed form gives them from the rows. With model averaging and REFIT the refitted averaged
// model goes over twice: at the end of the refit pass, which the module does not complete
// (slot 4 not called), and after the group's fit, which it does; both with the same estimates.
TEST(ByGroupData, TheHandOverCarriesTheFitsEstimatesAndEndsTheRefitPass) {
  const Csv data = readCsv(VSF_TEST_DATA "/datapass/block.csv");
  double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (size_t i = 0; i < data.rows.size(); ++i) {
    const double x = data.number(i, "x"), y = data.number(i, "y");
    n += 1, sx += x, sy += y, sxx += x * x, sxy += x * y;
  }
  const double slope = (sxy - sx * sy / n) / (sxx - sx * sx / n);
  const double intercept = sy / n - slope * sx / n;
  struct Case {
    const char* statements;
    int runs, handOvers;
  } cases[] = {
      {"model y = x / selection=none;", 1, 1},
      {"model y = x / selection=none; modelaverage nsamples=4;", 1, 1},
      {"model y = x / selection=none; modelaverage nsamples=4 refit;", 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statements);
    bridgeModuleRecord() = BridgeModuleRecord();
    StepRun r = runOnData(
        std::string("proc varsifter data=block seed=5; ") + c.statements + " store out=fit; run;",
        [](VsfState&) {});
    EXPECT_LT(r.code, 1000) << r.dump();
    const BridgeModuleRecord& m = bridgeModuleRecord();
    EXPECT_EQ(m.runs, c.runs);
    EXPECT_EQ(m.handOvers, c.handOvers);
    ASSERT_EQ(m.estimates.size(), static_cast<size_t>(c.runs));
    ASSERT_EQ(m.estimates[0].size(), 2u);
    if (c.runs == 2) {
      EXPECT_EQ(m.estimates[0], m.estimates[1]);
    }
    if (std::string(c.statements).find("modelaverage") == std::string::npos) {
      EXPECT_NEAR(m.estimates[0][0], intercept, 1e-9 * std::fabs(intercept));
      EXPECT_NEAR(m.estimates[0][1], slope, 1e-9 * std::fabs(slope));
    } else {
      // Averaged over resamples, the line moves off the full data's.
      EXPECT_NE(m.estimates[0][1], slope);
    }
  }
}

// A step that ends inside a BY group leaves no OUTPUT data set, half written or not, and no
// file of its own in the UTILPATH directory.
TEST(ByGroupData, AStepEndingInsideAGroupLeavesNoFiles) {
  const fs::path root = ownTempPath("vsf_datapass_abnormal");
  fs::remove_all(root);
  fs::create_directories(root / "lib");
  fs::create_directories(root / "util");
  fs::copy_file(VSF_TEST_DATA "/datapass/rows.csv", root / "lib" / "rows.csv");
  PassSettings settings;
  settings.library = (root / "lib").string();
  settings.utilPath = (root / "util").string();
  bool utilityFilesSeen = false;
  const VsfState* state = nullptr;
  StepRun r = runOnData(
      "proc varsifter data=rows; model y = x1; output out=predicted p=yhat; "
      "performance util_pagesize$=1 util_buffers$=1; run;",
      [&](VsfState& v) {
        utilityFilesSeen = v.group.utilFiles.count > 0 && v.group.groupScratch.file != nullptr;
        state = &v;
        hostEndStep(1020);  // as a deep routine ends the step
      },
      settings);
  EXPECT_EQ(r.code, 1020) << r.dump();
  EXPECT_TRUE(utilityFilesSeen);
  // The step's own clean-up closed them (the host would remove what it left).
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->settings.outputDataSet, nullptr);
  EXPECT_EQ(state->group.groupScratch.file, nullptr);
  EXPECT_EQ(state->group.utilFiles.count, 0);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(root / "lib")) left.push_back(e.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"rows.csv"});
  EXPECT_TRUE(fs::is_empty(root / "util"));
  fs::remove_all(root);
}

}  // namespace
}  // namespace vsf::test
