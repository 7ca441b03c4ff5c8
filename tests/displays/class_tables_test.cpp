// Tables that read the model description: ParameterEstimates with CLASS columns, fold columns
// and the special values, ClassLevelInfo, ClassLevelCoding and CVDetails.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "displays/display_support.h"
#include "displays/displays_internal.h"
#include "effects/effects.h"
#include "frame/state.h"
#include "host/session.h"

namespace vsf::test {
namespace {

// One CLASS variable of a tiny design: its levels as texts.
struct TinyClass {
  VarDescriptor desc;
  std::vector<std::string> texts;
  std::vector<char*> pointers;
  std::vector<LevelRecord> records;
};

// A design of CLASS variables and effects: effect 0 the intercept, effect 1 the first CLASS
// variable in the coded layout (levels - 1 columns), further variables used by no effect.
struct TinyDesign {
  ZDesign d;
  std::vector<TinyClass> classes;
  std::vector<LevelVar> vars;
  std::vector<ZEffect> effects;
  std::vector<int32_t> key = {0}, levelTable;

  explicit TinyDesign(const std::vector<std::pair<std::string, std::vector<std::string>>>& spec,
                      CodingCode coding = kCodingEffect) {
    classes.resize(spec.size());
    vars.resize(spec.size());
    for (size_t c = 0; c < spec.size(); ++c) {
      TinyClass& t = classes[c];
      t.desc.name = spec[c].first;
      t.desc.type = kVarCharacter;
      t.desc.number = static_cast<int>(c);
      t.texts = spec[c].second;
      int width = 1;
      for (const std::string& s : t.texts) width = std::max(width, static_cast<int>(s.size()));
      t.desc.length = width;
      for (std::string& s : t.texts) s.resize(width, ' ');
      for (std::string& s : t.texts) {
        t.pointers.push_back(s.data());
        t.records.push_back(LevelRecord{0, s.data(), static_cast<int32_t>(s.size())});
      }
      LevelVar& v = vars[c];
      v.desc = &t.desc;
      v.levelCount = static_cast<int32_t>(t.texts.size());
      v.levelTexts = t.pointers.data();
      v.levels = t.records.data();
      v.formattedWidth = width;
      v.coding = coding;
      v.refIndex = v.levelCount - 1;
    }
    d.flags = dflag::kFullRank;
    d.classCount = static_cast<int32_t>(vars.size());
    d.classVars = vars.data();
    effects.resize(2);
    effects[0].columnCount = 1;
    ZEffect& g = effects[1];
    g.startColumn = 1;
    g.columnCount = vars[0].levelCount - 1;
    for (int l = 0; l < g.columnCount; ++l) levelTable.push_back(l < vars[0].refIndex ? l : l + 1);
    g.keyCount = 1, g.key = key.data();
    g.levelTable = levelTable.data(), g.levelTableWidth = 1;
    g.allClassCount = 1, g.allClass = key.data();
    d.effectCount = 2;
    d.effects = effects.data();
    d.columnCount = 1 + g.columnCount;
    d.labelStyle = 2;
  }
};

// ParameterEstimates of Intercept and a three-level CLASS effect g whose second column is
// aliased: 10 observations, 2 swept columns, SSE 8 (MSE 1).
struct EstimatesSetup {
  BareState b{{"Intercept", "g"}};
  OutputCapture& out = b.out;
  TinyDesign design{{{"g", {"a", "b", "c"}}}};
  EstimatesSetup() {
    VsfState& v = b.vsf();
    v.lev.design = &design.d;
    b.columns({1, 2});
    SelectionState& s = b.sel();
    s.sweep.states[0] = EffectState::kIntercept, s.sweep.states[1] = EffectState::kSelected;
    s.sweep.estimates[0] = 10, s.sweep.invDiag[0] = 0.25;
    s.sweep.estimates[1] = -2, s.sweep.invDiag[1] = 0.5;
    s.totals.trainFreq = 10, s.sweep.sweptColumns = 2, s.fit.trainSse = 8;
  }
  Json table() {
    EXPECT_EQ(printParameterEstimates(settledView(b.vsf()), &b.sel(), b.pool(), 0), 0);
    return oneTable(out.document(), "ParameterEstimates");
  }
};

TEST(ParameterEstimates, ClassLevelsStatisticsAndAliasedColumns) {
  EstimatesSetup setup;
  Json t = setup.table();
  ASSERT_EQ(t["rows"].size(), 3u);
  const Json& intercept = t["rows"][0];
  EXPECT_EQ(intercept["Parameter"], "Intercept");
  EXPECT_EQ(intercept["g"], "");
  EXPECT_EQ(intercept["StdErr"], 0.5);
  EXPECT_EQ(intercept["tValue"], 20.0);
  EXPECT_NEAR(cellNumber(intercept["Probt"]), 4.07391832867492e-08,
              1e-20);  // R: 2*pt(20, 8, lower=FALSE)
  const Json& a = t["rows"][1];
  EXPECT_EQ(a["Effect"], "g");
  EXPECT_EQ(a["g"], "a");
  EXPECT_EQ(a["Parameter"], "g a");
  EXPECT_NEAR(cellNumber(a["tValue"]), -2 / std::sqrt(0.5), 1e-12);
  const Json& b = t["rows"][2];
  EXPECT_EQ(b["g"], "b");
  EXPECT_EQ(b["DF"], 0);
  EXPECT_EQ(b["Estimate"], 0.0);
  EXPECT_EQ(cellMissing(b["StdErr"]), ".");
  EXPECT_EQ(cellMissing(b["Probt"]), ".");
  bool gColumn = false;
  for (const Json& c : t["columns"])
    gColumn = gColumn || (c["name"] == "g" && c["template"] == "Var");
  EXPECT_TRUE(gColumn);
}

TEST(ParameterEstimates, ExactFitAndNoErrorDegreesOfFreedom) {
  {
    EstimatesSetup setup;
    setup.b.sel().fit.trainSse = 0;  // MSE 0
    Json t = setup.table();
    EXPECT_EQ(t["rows"][0]["StdErr"], 0.0);
    EXPECT_EQ(cellMissing(t["rows"][0]["tValue"]), "I");
    EXPECT_EQ(cellMissing(t["rows"][1]["tValue"]), "M");
    EXPECT_EQ(t["rows"][1]["Probt"], 0.0);
  }
  {
    EstimatesSetup setup;
    setup.b.sel().totals.trainFreq = 2;  // as many parameters as observations
    Json t = setup.table();
    for (const Json& row : t["rows"]) EXPECT_EQ(cellMissing(row["StdErr"]), ".");
    EXPECT_EQ(t["rows"][0]["Estimate"], 10.0);
  }
}

TEST(ParameterEstimates, FoldColumnsShareOneHeader) {
  EstimatesSetup setup;
  VsfState& v = setup.b.vsf();
  v.settings.options.kfold = 1, v.settings.options.foldEstimates = 1;
  SelectionState& s = setup.b.sel();
  std::vector<FoldRecord> folds(3);
  std::vector<std::vector<double>> estimates(3, std::vector<double>(3));
  for (int f = 0; f < 3; ++f) {
    for (int p = 0; p < 3; ++p) estimates[f][p] = 100 * f + p;
    folds[f].estimates = estimates[f].data();
  }
  s.foldRecs = folds.data();
  s.folds = 3;
  Json t = setup.table();
  std::vector<Json> foldColumns;
  for (const Json& c : t["columns"])
    if (c.value("template", "") == "CVEstimate") foldColumns.push_back(c);
  ASSERT_EQ(foldColumns.size(), 3u);
  const int glue[] = {100, 100, 1};
  for (int f = 0; f < 3; ++f) {
    EXPECT_EQ(foldColumns[f]["name"], "CVEstimate" + std::to_string(f + 1));
    EXPECT_EQ(foldColumns[f]["dynamics"]["dynamicGlue"], glue[f]);
    EXPECT_EQ(foldColumns[f]["dynamics"]["CVEstimateHead"], std::to_string(f + 1));
  }
  EXPECT_EQ(foldColumns[2]["dynamics"]["spanStart"], "CVEstimate1");
  EXPECT_EQ(foldColumns[2]["dynamics"]["spanEnd"], "CVEstimate3");
  EXPECT_FALSE(foldColumns[0]["dynamics"].contains("spanStart"));
  EXPECT_EQ(t["rows"][2]["CVEstimate3"], 202.0);  // aliased, yet its fold estimates show
  s.foldRecs = nullptr;
}

TEST(ParameterEstimates, NothingInTheModelShowsNoTable) {
  EstimatesSetup setup;
  VsfState& v = setup.b.vsf();
  v.settings.options.noInt = 1;
  setup.b.sel().sweep.states[0] = EffectState::kHeldOut;
  setup.b.sel().sweep.states[1] = EffectState::kFree;
  EXPECT_EQ(printParameterEstimates(settledView(v), &setup.b.sel(), setup.b.pool(), 0), 0);
  EXPECT_TRUE(findTables(setup.out.document(), "ParameterEstimates").empty());
}

TEST(ParameterEstimates, EntryOrderExceptUnderBackward) {
  for (MethodCode method : {kMethodForward, kMethodBackward}) {
    BareState b({"Intercept", "a", "b"});
    VsfState& v = b.vsf();
    v.settings.options.method = method;
    SelectionState& s = b.sel();
    s.sweep.states[0] = EffectState::kIntercept,
    s.sweep.states[1] = s.sweep.states[2] = EffectState::kSelected;
    b.history({0, 2, 2, 1}, {1, 2, 2, 3});
    ASSERT_EQ(printParameterEstimates(settledView(v), &s, b.pool(), 1), 0);
    Json t = oneTable(b.out.document(), "ParameterEstimates");
    std::string order;
    for (const Json& row : t["rows"]) order += row["Effect"].get<std::string>() + " ";
    EXPECT_EQ(order, method == kMethodForward ? "Intercept b a " : "Intercept a b ");
  }
}

TEST(ClassLevelInfo, ValuesNamesAndLongLists) {
  BareState b({"Intercept"});
  std::vector<std::string> many;
  for (int i = 0; i < 100; ++i) many.push_back("level" + std::to_string(i));
  TinyDesign design{{{"g", {"a", "b", "c"}}, {"averylongclassvariablename", {"x"}}, {"m", many}}};
  VsfState& v = b.vsf();
  v.lev.design = &design.d;
  v.settings.options.nameLength = 20;
  LogWatch log;
  ASSERT_EQ(printClassLevelInfo(settledView(v), b.pool()), 0);
  Json t = oneTable(b.out.document(), "ClassLevelInfo");
  ASSERT_EQ(t["rows"].size(), 3u);
  EXPECT_EQ(t["rows"][0]["Values"], "a b c");
  EXPECT_EQ(t["rows"][0]["Levels"], 3);
  EXPECT_EQ(t["rows"][1]["Class"], "averylongclassvariab");  // the name-length limit, 20
  const std::string values = t["rows"][2]["Values"];
  EXPECT_EQ(values.substr(values.size() - 3), "...");
  EXPECT_LE(values.size(), 256u);
  EXPECT_EQ(t["dynamics"]["WD"], 50);
  EXPECT_EQ(log.count("", "more levels than"), 1);
}

TEST(ClassLevelCoding, CodedColumnsOfTheUsedVariables) {
  BareState b({"Intercept"});
  TinyDesign design{{{"g", {"a", "b", "c"}}, {"unused", {"x", "y"}}}};
  VsfState& v = b.vsf();
  v.lev.design = &design.d;
  ASSERT_EQ(printClassLevelCoding(settledView(v), b.pool()), 0);
  Json doc = b.out.document();
  EXPECT_EQ(outline(doc), "Coding{ClassLevelCoding}");
  Json t = oneTable(doc, "ClassLevelCoding");
  EXPECT_EQ(t["dynamics"]["designFormat"], "2.0");
  const double x1[] = {1, 0, -1}, x2[] = {0, 1, -1};
  ASSERT_EQ(t["rows"].size(), 3u);
  for (size_t l = 0; l < 3; ++l) {
    EXPECT_EQ(t["rows"][l]["X1"], x1[l]);
    EXPECT_EQ(t["rows"][l]["X2"], x2[l]);
    EXPECT_EQ(t["rows"][l]["Class"], l == 0 ? "g" : "");
  }
  EXPECT_FALSE(t["rows"][0].contains("X3"));
}

// A used CLASS variable without levels has nothing to show: no table, and the step goes on.
TEST(ClassLevelCoding, VariableWithoutLevelsShowsNothing) {
  BareState b({"Intercept"});
  TinyDesign design{{{"g", {"a", "b"}}}};
  design.vars[0].levelCount = 0;
  design.effects[1].columnCount = 0;
  VsfState& v = b.vsf();
  v.lev.design = &design.d;
  EXPECT_EQ(printClassLevelCoding(settledView(v), b.pool()), 0);
  EXPECT_TRUE(findTables(b.out.document(), "ClassLevelCoding").empty());
}

TEST(CvDetails, OneRowPerFoldAndTheTotal) {
  BareState b({"Intercept"});
  VsfState& v = b.vsf();
  SelectionState& s = b.sel();
  std::vector<FoldRecord> folds(5);
  for (int f = 0; f < 5; ++f) folds[f].rows = 10 + f, folds[f].sse = 1.5 * f;
  s.foldRecs = folds.data();
  s.folds = 5;
  s.totals.obsUsed = 60;
  s.fit.cvPress = 15;
  ASSERT_EQ(printCvDetails(settledView(v), &s, b.pool()), 0);
  Json t = oneTable(b.out.document(), "CVDetails");
  ASSERT_EQ(t["rows"].size(), 6u);
  EXPECT_EQ(t["rows"][2]["Index"], 3);
  EXPECT_EQ(t["rows"][2]["NOBSLEFTOUT"], 12.0);
  EXPECT_EQ(t["rows"][2]["NOBSFITTED"], 48.0);
  EXPECT_EQ(t["rows"][2]["CVPRESS"], 3.0);
  const Json& total = t["rows"][5];
  EXPECT_EQ(total["Control"], "-");
  EXPECT_EQ(total["Index"], -1);
  EXPECT_EQ(total["NOBSFITTED"], -1.0);
  EXPECT_EQ(total["CVPRESS"], 15.0);
  s.foldRecs = nullptr;
}

}  // namespace
}  // namespace vsf::test
