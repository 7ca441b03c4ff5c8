// The plots of a tuned penalty: the elastic net's L2 search (each column of the tuning table
// against the search step or log10(L2), the chosen L2 marked) and external cross validation
// (the folds' averaged held-out ASE over the alignment grid, the point the fit kept marked).
#include <cfloat>
#include <cmath>

#include "graphs/graphs_internal.h"

namespace vsf {

namespace {

constexpr double kLogL2Floor = -8;  // log10 of the smallest L2 the grid tries above 0
constexpr double kLogL1Floor = -6;

// A column of the tuning table and its axis labels (messages).
struct TuningGraph {
  const char* name;
  const char* column;
  int label, shortLabel;
};

constexpr TuningGraph kTuningGraphs[] = {
    {"LogL2Plot", "LogL2", 3001, 3011},   {"ChooseCriterionPlot", "CriterionValue", 0, 0},
    {"L1Plot", "L1Ratio", 3003, 3013},    {"nVarPlot", "nVar", 3004, 3014},
    {"L1NormPlot", "L1Norm", 3005, 3015}, {"L2NormPlot", "L2Norm", 3006, 3016},
    {"nStepsPlot", "nSteps", 3007, 3017}};
constexpr int kCvGraphs = 3;  // under external cross validation the table has no further columns

// Axis texts (messages; the fold count inserted when folds is set). The criterion plot takes
// the criterion's own, with the short label of its own criterion plot (the fold count in it for
// CV and external CV), or texts of its own for a criterion without them (never those of the
// graph sent before it).
struct AxisTexts {
  int label, shortLabel;
  bool folds;
};

AxisTexts criterionTexts(CriterionCode c) {
  if (!criterionNamedByGraphs(c) || c == kCritSl) return {3002, 3012, false};
  const CriterionGraphTexts& l = criterionInfo(c).graph;
  return {l.label, l.plotShortLabel, l.folds};
}

// "_STEPAXIS" and its label, and "_CHOSENVALUE" when the chosen point is shown.
std::vector<OutputArgItem> tuningAxis(const char* axis, int label, const OutputArgItem* chosen) {
  std::vector<OutputArgItem> list;
  addDynamic(list, "_STEPAXIS", valueString(hstr(axis)));
  addDynamic(list, "_STEPAXISLABEL", valueString(msgStr(label)));
  addDynamic(list, "_STEPTIP", valueString(nullptr));
  if (chosen) addDynamic(list, "_CHOSENVALUE", *chosen);
  return list;
}

}  // namespace

int32_t tuningRowsFilled(const TuningTables& t) {
  if (!t.history) return 0;
  for (int32_t k = 0; k < t.historyRows; ++k) {
    const double* h = t.history + int64_t{7} * k;
    if (h[0] == 0 && h[1] == 0 && static_cast<int32_t>(h[2]) == 0 && h[3] == 0) return k;
  }
  return t.historyRows;
}

double logL2(double l2) { return l2 >= 1e-8 ? std::log10(l2) : kLogL2Floor; }

int plotElasticNetL2(StepView* s, const SelectionState* sel, void* tuneData) {
  if (!s->settings.graphicsOn || !tuneData) return 0;
  const int32_t rows = tuningRowsFilled(sel->tuning);
  if (rows == 0) return 0;
  DisplayClock clock(&s->output);
  const DisplayOptions& o = s->display;
  // The chosen point: the last row that tried the final fit's L2.
  int32_t chosen = 0;
  for (int32_t k = 0; k < rows; ++k)
    if (sel->tuning.history[int64_t{7} * k] == sel->path.l2) chosen = k + 1;
  const OutputArgItem chosenStep = valueInt(chosen);
  const OutputArgItem chosenLog = valueDouble(logL2(sel->path.l2));
  const std::vector<OutputArgItem> byStep =
      tuningAxis("STEP", 3101, chosen > 0 ? &chosenStep : nullptr);
  const std::vector<OutputArgItem> byLog =
      tuningAxis("LogL2", 3001, chosen > 0 ? &chosenLog : nullptr);

  const CriterionCode c = l2JudgingCriterion(o);
  const int selected = criterionInfo(c).graph.selectedStep;
  const int graphs = o.externalCv ? kCvGraphs : static_cast<int>(std::size(kTuningGraphs));
  for (int i = 0; i < graphs; ++i) {
    const TuningGraph& t = kTuningGraphs[i];
    const AxisTexts a = t.label ? AxisTexts{t.label, t.shortLabel, false} : criterionTexts(c);
    const std::string yLabel = a.folds ? msgText(a.label, {o.cvFolds}) : msgText(a.label);
    HostString* label = labelText(s, a.label, a.folds);
    HostString* shortLabel = labelText(s, a.shortLabel, a.folds);
    GraphRequest g(t.name, msgStr(selected, {std::string_view(yLabel)}), shortLabel);
    g.setTemplate("ElasticNetL2TuningPlot");
    g.data(tuneData);
    g.var("_SELECTEDSTEPLABEL", valueString(msgStr(selected)));
    g.var("_CRITERION", valueString(hstr(t.column)));
    g.var("_YLABEL", valueString(label));
    g.var("_SHORTYLABEL", valueString(shortLabel));
    g.var("_DEPNAME", valueString(s->settings.responseName));
    g.var("_INTTICKS", valueString(hstr("FALSE")));
    g.list(i == 0 ? &byStep : &byLog);
    g.send(s);
  }
  return 0;
}

int plotCvExternal(StepView* s, const SelectionState* sel) {
  const TuningTables& tt = sel->tuning;
  if (!s->settings.graphicsOn || tt.gridCount <= 0 || !tt.grid || !tt.average) return 0;
  DisplayClock clock(&s->output);
  L1ChoiceCode mode = s->display.l1Choice;
  if (mode == kL1ChoiceNone) mode = kL1ChoiceRatio;  // the folds were aligned by ratio
  double l1 = 0, ase = 0;
  DataTable t(&s->output);
  t.create("CVExternalAverage");
  t.column(ctype::kDouble, "L1", &l1);
  t.column(ctype::kDouble, "ASEValidate", &ase);
  t.endColumns();
  void* data = nullptr;
  bindPhantom(s, t, "CVExternalAverage", &data);
  // The fit keeps the first of equal smallest averages; the mark is where the fit chose.
  double best = DBL_MAX, chosen = 0;
  for (int32_t g = 0; g < tt.gridCount; ++g) {
    const double x = tt.grid[g];
    l1 = mode == kL1ChoiceNorm ? x : x >= 1e-6 ? std::log10(x) : kLogL1Floor;
    ase = tt.average[g];
    if (ase < best) best = ase, chosen = l1;
    t.row();
  }
  t.close();
  t.release();

  const OutputArgItem chosenValue = valueDouble(chosen);
  const std::vector<OutputArgItem> axis =
      tuningAxis("L1", 3300 + static_cast<int>(mode), &chosenValue);
  GraphRequest g("L1VsASEPlot", msgStr(3203, {std::string_view(msgText(3202))}), msgStr(3202));
  g.setTemplate("CVEXTERNAL");
  g.data(data);
  g.var("_CRITERION", valueString(hstr("ASEValidate")));
  g.var("_YLABEL", valueString(msgStr(3202)));
  g.var("_SHORTYLABEL", valueString(msgStr(3202)));
  g.var("_DEPNAME", valueString(s->settings.responseName));
  g.var("_INTTICKS", valueString(hstr("FALSE")));
  g.list(&axis);
  g.send(s);
  return 0;
}

}  // namespace vsf
