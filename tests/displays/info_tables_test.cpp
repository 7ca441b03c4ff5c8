// The tables around a fit: SelectedEffects and the selected-model sentence, ModelInfo, the
// observation counts, PerfSettings, Timing and UtilInfo.
#include <gtest/gtest.h>

#include <functional>

#include "base/host.h"
#include "displays/display_support.h"
#include "displays/displays_internal.h"
#include "frame/state.h"
#include "host/session.h"

namespace vsf::test {
namespace {

std::vector<std::string> entryLabels(const Json& factoid) {
  std::vector<std::string> out;
  for (const Json& e : factoid["entries"]) out.push_back(e["label"]);
  return out;
}

bool hasLabel(const Json& factoid, const std::string& label) {
  for (const Json& e : factoid["entries"])
    if (e["label"] == label) return true;
  return false;
}

TEST(SelectedEffects, ListsTheModelInIndexOrEntryOrder) {
  using enum EffectState;
  struct Case {
    std::vector<EffectState> states;
    bool entryOrder;
    MethodCode method;
    const char* effects;  // null: no table
  } cases[] = {
      {{kIntercept, kFree, kFree}, false, kMethodForward, "Intercept"},
      {{kIntercept, kSelected, kSelected}, false, kMethodForward, "Intercept a b"},
      {{kIntercept, kSelected, kSelected}, true, kMethodForward, "Intercept b a"},
      {{kIntercept, kSelected, kSelected}, false, kMethodNone, nullptr},
      {{kHeldOut, kFree, kFree}, false, kMethodForward, nullptr},
  };
  for (const Case& c : cases) {
    BareState b({"Intercept", "a", "b"});
    VsfState& v = b.vsf();
    v.settings.options.method = c.method;
    v.settings.options.orderSelect = c.entryOrder;
    SelectionState& s = b.sel();
    for (size_t e = 0; e < c.states.size(); ++e) s.sweep.states[e] = c.states[e];
    // b entered before a; b is recorded twice and one step changed nothing.
    b.history({0, 2, -1, 1, 2}, {1, 2, 2, 3, 3});
    ASSERT_EQ(printSelectedEffects(settledView(v), &s, b.pool()), 0);
    std::vector<Json> t = findTables(b.out.document(), "SelectedEffects");
    if (!c.effects) {
      EXPECT_TRUE(t.empty());
      continue;
    }
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0]["rows"][0]["Label"], "Effects:");
    EXPECT_EQ(t[0]["rows"][0]["Effects"], c.effects);
  }
}

TEST(SelectedModelNote, StepNumberAndSentence) {
  struct Case {
    MethodCode method;
    CriterionCode choose;
    uint8_t reason;
    int32_t steps, firstSelectable;
    const char* text;  // null: no line
  } cases[] = {
      {kMethodForward, kCritNone, 4, 4, 1,
       "The selected model is the model at the last step (Step 3)."},
      {kMethodBackward, kCritNone, 11, 4, 1,
       "The selected model is the model at the last step (Step 3)."},
      {kMethodBackward, kCritNone, 11, 4, 3,
       "The selected model is the model at the last step (Step 3)."},
      {kMethodForward, kCritNone, 5, 3, 1,
       "The model at Step 2 fits the data exactly; it is the selected model."},
      {kMethodStepwise, kCritAic, 4, 6, 2,
       "The selected model, based on AIC, is the model at Step 4."},
      {kMethodNone, kCritNone, 9, 3, 1, nullptr},
  };
  for (const Case& c : cases) {
    BareState b({"Intercept"});
    VsfState& v = b.vsf();
    v.settings.options.method = c.method;
    v.settings.options.choose = c.choose;
    b.sel().steps.stepCount = c.steps;
    b.sel().layout.firstSelectable = c.firstSelectable;
    ASSERT_EQ(printSelectedModelNote(settledView(v), &b.sel(), b.pool(), c.reason), 0);
    Json doc = b.out.document();
    if (!c.text) {
      EXPECT_TRUE(doc["output"].empty());
      continue;
    }
    ASSERT_EQ(doc["output"].size(), 1u);
    EXPECT_EQ(doc["output"][0]["text"], c.text);
    EXPECT_EQ(doc["output"][0]["justify"], "c");
  }
}

TEST(ModelInfo, RowsFollowTheOptions) {
  struct Case {
    const char* what;
    std::function<void(VsfState&)> set;
    std::vector<std::string> present, absent;
  } cases[] = {
      {"forward SL",
       [](VsfState& v) {
         v.settings.options.method = kMethodForward, v.settings.options.select = kCritSl;
       },
       {"Entry Significance Level (SLE)"},
       {"Stay Significance Level (SLS)"}},
      {"stepwise SL",
       [](VsfState& v) {
         v.settings.options.method = kMethodStepwise, v.settings.options.stop = kCritSl;
       },
       {"Entry Significance Level (SLE)", "Stay Significance Level (SLS)"},
       {}},
      {"backward SL",
       [](VsfState& v) {
         v.settings.options.method = kMethodBackward, v.settings.options.select = kCritSl;
       },
       {"Stay Significance Level (SLS)"},
       {"Entry Significance Level (SLE)"}},
      {"none",
       [](VsfState& v) { v.settings.options.method = kMethodNone; },
       {"Selection Method"},
       {"Select Criterion", "Stop Criterion", "Effect Hierarchy Enforced"}},
      {"adaptive gamma 1",
       [](VsfState& v) {
         v.settings.options.method = kMethodLasso, v.settings.options.adaptive = 1;
       },
       {"Selection Method"},
       {"Adaptive Exponent"}},
      {"adaptive gamma 2",
       [](VsfState& v) {
         v.settings.options.method = kMethodLasso, v.settings.options.adaptive = 1,
         v.settings.options.adaptiveGamma = 2;
       },
       {"Adaptive Exponent"},
       {}},
      {"fraction seed",
       [](VsfState& v) { v.settings.partition.trainFraction = 0.7; },
       {"Random Number Seed"},
       {}},
      {"whole data",
       [](VsfState& v) { v.settings.partition.trainFraction = 1.0; },
       {},
       {"Random Number Seed"}},
      {"random folds",
       [](VsfState& v) {
         v.settings.partition.trainFraction = 1.0, v.settings.options.cvMethod = kCvRandom,
         v.settings.options.kfold = 1;
       },
       {"Random Number Seed", "Cross Validation Method", "Number of Folds"},
       {}},
  };
  for (const Case& c : cases) {
    BareState b({"Intercept"});
    VsfState& v = b.vsf();
    v.settings.response.name = "y";
    c.set(v);
    ASSERT_EQ(printModelInfo(settledView(v)), 0);
    Json t = oneTable(b.out.document(), "ModelInfo");
    for (const std::string& l : c.present) EXPECT_TRUE(hasLabel(t, l)) << c.what << ": " << l;
    for (const std::string& l : c.absent) EXPECT_FALSE(hasLabel(t, l)) << c.what << ": " << l;
  }
}

TEST(ModelInfo, MethodAndStopTexts) {
  BareState b({"Intercept"});
  VsfState& v = b.vsf();
  v.settings.options.method = kMethodStepwise;
  v.settings.options.dropRule = kDropCompetitive;
  v.settings.options.adaptive = 1;  // the competitive variant wins over the adaptive name
  v.settings.options.stop = kCritNone;
  ASSERT_EQ(printModelInfo(settledView(v)), 0);
  Json t = oneTable(b.out.document(), "ModelInfo");
  EXPECT_EQ(entryValue(t, "Selection Method"), "Stepwise (competitive)");
  EXPECT_EQ(entryValue(t, "Stop Criterion"), "None");
  EXPECT_EQ(entryValue(t, "Select Criterion"), "SBC");
  EXPECT_EQ(entryLabels(t).front(), "Data Set");
}

struct CountsSetup {
  BareState b{{"Intercept"}};
  OutputCapture& out = b.out;
  CountsSetup() {
    SelectionState& s = b.sel();
    s.totals.obsRead = 100, s.totals.rowsStored = 90, s.totals.freqRead = 150,
    s.totals.freqStored = 130;
    s.totals.obsUsed = 60, s.totals.trainFreq = 80, s.totals.validRows = 0, s.totals.validFreq = 0;
    s.totals.testRows = 30, s.totals.testFreq = 50, s.totals.noRoleRows = 0;
  }
  std::vector<std::string> labels(const Json& t) {
    std::vector<std::string> out;
    for (const Json& r : t["rows"]) out.push_back(r["Label"]);
    return out;
  }
};

TEST(ObsProfiles, RowsByRolesAndFrequencies) {
  {
    CountsSetup c;
    ASSERT_EQ(printObsProfiles(settledView(c.b.vsf()), &c.b.sel()), 0);
    Json t = oneTable(c.out.document(), "NObs");
    EXPECT_EQ(c.labels(t), (std::vector<std::string>{"Number of Observations Read",
                                                     "Number of Observations Used"}));
    EXPECT_EQ(t["rows"][1]["N"], 90.0);
  }
  {
    // Roles and FREQ: the validation role asked for shows its row with N = 0; no row for
    // observations without a role when there are none.
    CountsSetup c;
    VsfState& v = c.b.vsf();
    v.settings.options.rolesPresent = 1, v.settings.options.freqPresent = 1,
    v.settings.partition.validationRows = 1;
    ASSERT_EQ(printObsProfiles(settledView(v), &c.b.sel()), 0);
    Json t = oneTable(c.out.document(), "NObs");
    EXPECT_EQ(c.labels(t), (std::vector<std::string>{
                               "Number of Observations Read", "Number of Observations Used",
                               "Number of Observations Used for Training",
                               "Number of Observations Used for Validation",
                               "Number of Observations Used for Testing", "Sum of Frequencies Read",
                               "Sum of Frequencies Used", "Sum of Frequencies Used for Training",
                               "Sum of Frequencies Used for Validation",
                               "Sum of Frequencies Used for Testing"}));
    EXPECT_EQ(t["rows"][3]["N"], 0.0);
    EXPECT_EQ(t["rows"][9]["N"], 50.0);
    EXPECT_EQ(t["rows"][0]["NObsTraining"], 60.0);  // every row carries the counts
  }
}

TEST(ObsProfiles, SeparateValidationDataHasATableOfItsOwn) {
  CountsSetup c;
  VsfState& v = c.b.vsf();
  int stand = 0;
  v.settings.validation.dataSet = reinterpret_cast<HostDataSet*>(&stand);
  v.settings.options.rolesPresent = 1;
  SelectionState& s = c.b.sel();
  s.totals.validObsRead = 40, s.totals.validRows = 35;
  ASSERT_EQ(printObsProfiles(settledView(v), &s), 0);
  Json doc = c.out.document();
  EXPECT_EQ(outline(doc), "ObsProfiles{NObs NObs}");
  std::vector<Json> t = findTables(doc, "NObs");
  ASSERT_EQ(t.size(), 2u);
  for (const Json& col : t[0]["columns"]) EXPECT_NE(col["name"], "NObsValidation");
  EXPECT_EQ(t[0]["title"], "Number of Observations");
  EXPECT_EQ(t[1]["title"], "Number of Observations of the Validation Data");
  EXPECT_EQ(t[1]["rows"][0]["N"], 40.0);
  EXPECT_EQ(t[1]["rows"][1]["N"], 35.0);
  EXPECT_EQ(t[1]["rows"][0]["DataSource"], "Validation Data");
}

TEST(PerfSettings, ThreadCounts) {
  struct Case {
    int32_t requested, cpus;
    std::vector<std::string> labels;
  } cases[] = {
      {4,
       8,
       {"Execution Mode", "Number of Threads Requested", "Number of Processors", "Crossproducts"}},
      {8, 8, {"Execution Mode", "Number of Threads", "Crossproducts"}},
  };
  for (const Case& c : cases) {
    BareState b({"Intercept"});
    VsfState& v = b.vsf();
    v.settings.threads.threadsOn = 1, v.settings.threads.effectiveThreaded = 1;
    v.settings.threads.requestedWorkers = c.requested, v.settings.threads.hostCpuCount = c.cpus;
    ASSERT_EQ(printPerfSettings(settledView(v)), 0);
    Json t = oneTable(b.out.document(), "PerfSettings");
    EXPECT_EQ(entryLabels(t), c.labels);
    EXPECT_EQ(entryValue(t, "Execution Mode"), "Multithreaded");
  }
}

TEST(Timing, RowsTheirOrderAndTheRemainder) {
  struct Case {
    bool allDetails;
    double screening, levelization;
    std::vector<std::string> rows;
  } cases[] = {
      {false,
       0,
       0.1,
       {"Setup and Parsing", "Levelization", "Reading the Data", "Model Selection", "Cleanup",
        "Other", "Total"}},
      {false,
       0.5,
       -1,
       {"Setup and Parsing", "Levelization", "Candidate Screening", "Reading the Data",
        "Model Selection", "Cleanup", "Other", "Total"}},
      {true,
       0,
       0.1,
       {"Setup and Parsing", "Levelization", "Reading the Data", "Model Selection",
        "Display Tables", "Cleanup", "Other", "Total"}},
  };
  for (const Case& c : cases) {
    BareState b({"Intercept"});
    VsfState& v = b.vsf();
    v.settings.threads.allDetails = c.allDetails;
    v.res.timers.stepStart = hostClock();  // the step has barely started
    v.res.timers.setup = 100, v.res.timers.levelization = c.levelization,
    v.res.timers.screening = c.screening;
    v.res.output.clockTotal = 0.2;
    ASSERT_EQ(printTiming(settledView(v), &v.res.timers), 0);
    Json t = oneTable(b.out.document(), "Timing");
    std::vector<std::string> rows;
    for (const Json& r : t["rows"]) rows.push_back(r["CodeSection"]);
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(t["rows"][1]["time"], std::max(c.levelization, 0.0));  // a negative timer shows 0
    const Json& other = t["rows"][t["rows"].size() - 2];
    EXPECT_EQ(other["time"], 0.0);  // the timers add up to more than the elapsed time
    EXPECT_EQ(t["rows"].back()["Control"], "-");
    EXPECT_LT(v.res.timers.stepStart, 100.0);  // the total replaced the start time
  }
}

TEST(UtilInfo, PageAndFileSizesInKilobytes) {
  BareState b({"Intercept"});
  VsfState& v = b.vsf();
  UtilFileRecord files[2];
  files[0].pageLength = 65536, files[0].pageCount = 10;
  files[1].pageLength = 1000, files[1].pageCount = 3;
  v.group.utilFiles.records = files;
  v.group.utilFiles.count = 2;
  ASSERT_EQ(printUtilInfo(settledView(v)), 0);
  Json t = oneTable(b.out.document(), "UtilInfo");
  ASSERT_EQ(t["rows"].size(), 2u);
  EXPECT_EQ(t["rows"][0]["PageSize"], 64);
  EXPECT_EQ(t["rows"][0]["FileSize"], 640);
  EXPECT_EQ(t["rows"][0]["NumPages"], 10);
  EXPECT_EQ(t["rows"][1]["UtilFile"], 1);
  EXPECT_EQ(t["rows"][1]["PageSize"], 0);
  v.group.utilFiles.records = nullptr;
  v.group.utilFiles.count = 0;
}

}  // namespace
}  // namespace vsf::test
