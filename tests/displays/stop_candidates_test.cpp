// StopReason, StopDetails and Candidates: the texts by reason, the comparisons, the ranking and
// the cases with nothing to show.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "displays/display_support.h"
#include "displays/displays_internal.h"
#include "frame/state.h"
#include "host/session.h"

namespace vsf::test {
namespace {

TEST(StopReason, TextByReasonAndMethod) {
  struct Case {
    uint8_t reason;
    MethodCode method;
    CriterionCode stop;
    const char* text;  // null: no table
  } cases[] = {
      {0, kMethodForward, kCritSbc, nullptr},
      {9, kMethodNone, kCritNone, nullptr},
      {1, kMethodForward, kCritSbc, "Selection stopped at the step limit after 3 steps."},
      {4, kMethodForward, kCritSl, "significant at the SLENTRY=0.15 level."},
      {4, kMethodBackward, kCritSl, "insignificant at the SLSTAY=0.05 level."},
      {4, kMethodStepwise, kCritSl, "SLENTRY=0.15 and no effect is insignificant at SLSTAY=0.05."},
      {4, kMethodForward, kCritSbc, "local minimum of the SBC criterion."},
      {4, kMethodForward, kCritRsquare, "local maximum of the R-square criterion."},
      {5, kMethodForward, kCritSbc, "fits the data exactly."},
      {11, kMethodBackward, kCritSbc, "no effect can be removed."},
      {13, kMethodStepwise, kCritSbc, "no candidate improves the selection criterion."},
  };
  for (const Case& c : cases) {
    BareState b({"Intercept"});
    VsfState& v = b.vsf();
    v.settings.options.method = c.method;
    v.settings.options.stop = c.stop;
    v.settings.options.entryLevel = 0.15;
    v.settings.options.stayLevel = 0.05;
    ASSERT_EQ(printStopReason(settledView(v), c.reason, 3), 0);
    std::vector<Json> t = findTables(b.out.document(), "StopReason");
    if (!c.text) {
      EXPECT_TRUE(t.empty()) << int(c.reason);
      continue;
    }
    ASSERT_EQ(t.size(), 1u) << int(c.reason);
    const std::string reason = t[0]["rows"][0]["Reason"];
    EXPECT_NE(reason.find(c.text), std::string::npos) << reason;
    EXPECT_EQ(t[0]["rows"][0]["Code"], c.reason);
  }
}

TEST(StopReason, UnfinishedStepsAreNoted) {
  BareState b({"Intercept"});
  VsfState& v = b.vsf();
  v.settings.options.method = kMethodStepwise;
  v.settings.options.steps = 5;
  LogWatch log;
  ASSERT_EQ(printStopReason(settledView(v), 13, 2), 0);
  ASSERT_EQ(log.count(""), 1);
  EXPECT_TRUE(log.has("", "STEPS=5 could not be completed"));
}

struct DetailsCase {
  CriterionCode stop;
  int32_t entry, removal;
  double entryValue, removalValue;
  size_t rows;
  const char* comparisons;  // per row
};

TEST(StopDetails, ComparisonsAndSignificanceLabels) {
  const DetailsCase cases[] = {
      {kCritSl, 2, 1, -800, std::log(0.2), 2, "><"},
      {kCritSbc, 2, 0, 55.5, 0, 1, ">"},
      {kCritRsquare, 2, 0, 0.5, 0, 1, "<"},
      {kCritSbc, 0, 0, 0, 0, 0, ""},  // no refused candidate: nothing to show
  };
  for (const DetailsCase& c : cases) {
    BareState b({"Intercept", "x1", "x2"});
    VsfState& v = b.vsf();
    v.settings.options.method = kMethodStepwise;
    v.settings.options.stop = c.stop;
    v.settings.options.entryLevel = 0.15;
    v.settings.options.stayLevel = 0.05;
    StopBlock stop;
    stop.reason = 4;
    stop.entryEffect = c.entry, stop.removalEffect = c.removal;
    stop.entryValue = c.entryValue, stop.removalValue = c.removalValue;
    ASSERT_EQ(printStopDetails(settledView(v), b.pool(), &stop, 42.0), 0);
    std::vector<Json> t = findTables(b.out.document(), "StopDetails");
    if (c.rows == 0) {
      EXPECT_TRUE(t.empty());
      continue;
    }
    ASSERT_EQ(t.size(), 1u);
    ASSERT_EQ(t[0]["rows"].size(), c.rows);
    for (size_t r = 0; r < c.rows; ++r)
      EXPECT_EQ(t[0]["rows"][r]["Comparison"], std::string(1, c.comparisons[r]));
    const Json& first = t[0]["rows"][0];
    EXPECT_EQ(first["Effect"], "x2");
    if (c.stop == kCritSl) {
      EXPECT_EQ(first["Criterion"], 0.0);  // e^-800 shown as 0
      EXPECT_EQ(first["SignificanceLabel"], "(SLE)");
      EXPECT_EQ(first["CompareCriterion"], 0.15);
      EXPECT_NEAR(cellNumber(t[0]["rows"][1]["Criterion"]), 0.2, 1e-12);
      EXPECT_EQ(t[0]["rows"][1]["SignificanceLabel"], "(SLS)");
      EXPECT_EQ(t[0]["rows"][1]["CandidateFor"], "Removal");
    } else {
      EXPECT_EQ(first["CompareCriterion"], 42.0);
      EXPECT_EQ(first["Criterion"], c.entryValue);
    }
  }
}

// Candidates of a step: ten effects after the intercept, the model's size recorded for the
// last two steps deciding entry or removal.
struct CandidateSetup {
  BareState b{{"Intercept", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}};
  OutputCapture& out = b.out;
  CandidateSetup(CriterionCode select, int32_t limit, bool removal) {
    VsfState& v = b.vsf();
    v.settings.options.method = kMethodStepwise;
    v.settings.options.select = select;
    v.settings.options.stepTables.candidatesShown = limit;
    SelectionState& s = b.sel();
    s.sweep.states[0] = EffectState::kIntercept;
    s.sweep.states[1] = EffectState::kSelected;
    if (removal)
      b.history({0, 1, 2, 2}, {1, 2, 3, 2});
    else
      b.history({0, 1}, {1, 2});
    s.sweep.candidateValues[0] = missingValue('.');  // not a candidate
    for (int k = 1; k <= 10; ++k) s.sweep.candidateValues[k] = 100.0 - 3.0 * k;
  }
  Json table() { return oneTable(out.document(), "Candidates"); }
};

TEST(Candidates, LimitAndTitle) {
  struct Case {
    int32_t limit;
    size_t rows;
    const char* title;
  } cases[] = {{3, 3, "Best 3 Entry Candidates"},
               {10, 10, "Entry Candidates"},
               {2147483647, 10, "Entry Candidates"}};
  for (const Case& c : cases) {
    CandidateSetup setup(kCritSbc, c.limit, false);
    ASSERT_EQ(printCandidates(settledView(setup.b.vsf()), &setup.b.sel()), 0);
    Json t = setup.table();
    EXPECT_EQ(t["title"], c.title);
    ASSERT_EQ(t["rows"].size(), c.rows);
    EXPECT_EQ(t["rows"][0]["Effect"], "j");  // smallest SBC first
    EXPECT_EQ(t["rows"][0]["Rank"], 1);
    EXPECT_EQ(t["rows"][0]["SBC"], 70.0);
  }
}

// The largest doubles sort by what they hold (-DBL_MAX first, +DBL_MAX last ascending); an
// entry's show as the infinities the selection summary shows for an exact fit.
TEST(Candidates, InfiniteValuesSortByValueAndShowAsInfinities) {
  CandidateSetup setup(kCritAic, 20, false);
  SelectionState& s = setup.b.sel();
  s.sweep.candidateValues[4] = -DBL_MAX;
  s.sweep.candidateValues[5] = DBL_MAX;
  ASSERT_EQ(printCandidates(settledView(setup.b.vsf()), &s), 0);
  Json t = setup.table();
  EXPECT_EQ(t["rows"].front()["Effect"], "d");
  EXPECT_EQ(cellMissing(t["rows"].front()["AIC"]), "M");
  EXPECT_EQ(t["rows"].back()["Effect"], "e");
  EXPECT_EQ(cellMissing(t["rows"].back()["AIC"]), "I");
}

// Under the significance level a removal step ranks the largest log p-value first, and
// a p-value below e^-708.3964185 shows as 0.
TEST(Candidates, SignificanceLevelRemovalStep) {
  CandidateSetup setup(kCritSl, 20, true);
  SelectionState& s = setup.b.sel();
  for (int k = 1; k <= 10; ++k) s.sweep.candidateValues[k] = -0.5 * k;
  s.sweep.candidateValues[10] = -800;
  ASSERT_EQ(printCandidates(settledView(setup.b.vsf()), &s), 0);
  Json t = setup.table();
  EXPECT_EQ(t["title"], "Removal Candidates");
  EXPECT_EQ(t["rows"][0]["Effect"], "a");
  EXPECT_NEAR(cellNumber(t["rows"][0]["ProbF"]), std::exp(-0.5), 1e-15);
  EXPECT_EQ(t["rows"].back()["ProbF"], 0.0);
}

// Competitive stepwise: the effect of the last step reads opposite to its present state.
TEST(Candidates, CompetitiveStepwiseSwapsTheLastStepsEffect) {
  CandidateSetup setup(kCritSbc, 20, false);
  VsfState& v = setup.b.vsf();
  v.settings.options.dropRule = kDropCompetitive;
  ASSERT_EQ(printCandidates(settledView(v), &setup.b.sel()), 0);
  Json t = setup.table();
  // "a" entered at the last step: in the model, yet it reads "Entry" like the effects outside.
  for (const Json& row : t["rows"]) EXPECT_EQ(row["CandidateFor"], "Entry") << row["Effect"];
  CandidateSetup inside(kCritSbc, 20, false);
  inside.b.vsf().settings.options.dropRule = kDropCompetitive;
  inside.b.sel().sweep.states[2] =
      EffectState::kSelected;  // b is in the model, not the last step's
  ASSERT_EQ(printCandidates(settledView(inside.b.vsf()), &inside.b.sel()), 0);
  const Json table = inside.table();  // kept: the loop reads into it
  for (const Json& row : table["rows"])
    EXPECT_EQ(row["CandidateFor"], row["Effect"] == "b" ? "Removal" : "Entry") << row["Effect"];
}

// A criterion value far above the exponential's range (an SBC of a large data set) is shown as
// it stands: only a log p-value has a p-value beside it.
TEST(Candidates, LargeCriterionValuesShowAsTheyStand) {
  CandidateSetup setup(kCritSbc, 10, false);
  SelectionState& s = setup.b.sel();
  for (int k = 1; k <= 10; ++k) s.sweep.candidateValues[k] = 3600.0 + k;
  ASSERT_EQ(printCandidates(settledView(setup.b.vsf()), &s), 0);
  Json t = setup.table();
  EXPECT_EQ(t["rows"][0]["SBC"], 3601.0);
  EXPECT_FALSE(t["rows"][0].contains("ProbF"));
}

TEST(Candidates, NoCandidateWithAValueShowsNothing) {
  CandidateSetup setup(kCritSbc, 10, false);
  SelectionState& s = setup.b.sel();
  for (int k = 0; k <= 10; ++k) s.sweep.candidateValues[k] = missingValue('.');
  EXPECT_EQ(printCandidates(settledView(setup.b.vsf()), &s), 0);
  EXPECT_TRUE(findTables(setup.out.document(), "Candidates").empty());
  CandidateSetup none(kCritSbc, 0, false);
  EXPECT_EQ(printCandidates(settledView(none.b.vsf()), &none.b.sel()), 0);
  EXPECT_TRUE(findTables(none.out.document(), "Candidates").empty());
}

}  // namespace
}  // namespace vsf::test
