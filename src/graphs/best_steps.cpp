// The step at which each criterion is best, and the hidden one-row BestStep table from which
// the criterion plots draw each optimum: its step on every kind of step axis and its value.
#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "graphs/graphs_internal.h"

namespace vsf {

namespace {

bool usable(double v) { return !isMissing(v) && std::isfinite(v); }

// Equal within the selection's relative tolerance, in thousandths as the selection compares.
bool tied(double v, double best, double tol) {
  const double a = v / 1000, b = best / 1000;
  return std::fabs(a - b) <= std::fabs(a) * tol;
}

// Among the steps tied with the best value: fewest effects, then fewest parameters, then the
// later step.
int32_t breakTie(const SelectionState* sel, CriterionCode c, int32_t first, double best) {
  const StepHistory& h = sel->steps;
  const int32_t* parms = h.sweptColumns ? h.sweptColumns : h.parameters;
  int32_t at = -1;
  for (int32_t i = first; i < h.stepCount; ++i) {
    const double v = stepCriterion(sel->steps, c, i);
    if (!usable(v) || !tied(v, best, sel->fit.tol)) continue;
    if (at < 0 || h.effects[i] < h.effects[at] ||
        (h.effects[i] == h.effects[at] && parms[i] <= parms[at]))
      at = i;
  }
  return at;
}

}  // namespace

void computeBestSteps(const StepView* s, const SelectionState* sel, BestSteps* best) {
  for (int32_t& b : best->step) b = -1;
  const int32_t first = firstSummaryStep(s, sel);
  for (CriterionCode c : kAllCriterionCodes) {
    if (criterionInfo(c).direction == CriterionDirection::kNone) continue;
    int32_t at = -1;
    double value = 0;
    for (int32_t i = first; i < sel->steps.stepCount; ++i) {
      const double v = stepCriterion(sel->steps, c, i);
      if (isMissing(v) || std::isnan(v)) continue;
      if (at < 0 || criterionBetter(v, value, c)) at = i, value = v;
    }
    // A perfect fit's -DBL_MAX (and +DBL_MAX) keeps the first step that reached it.
    if (at >= 0 && usable(value) && std::fabs(value) != DBL_MAX)
      at = breakTie(sel, c, first, value);
    best->step[codeIndex(c)] = at;
  }
  const CriterionCode choose = s->display.choose;
  if (choose != kCritNone && sel->run.chosenStep >= 0 && sel->run.chosenStep < sel->steps.stepCount)
    best->step[codeIndex(choose)] = sel->run.chosenStep;
}

int32_t chosenDisplayStep(const StepView* s, const SelectionState* sel, const BestSteps& best) {
  const CriterionCode choose = s->display.choose;
  if (choose == kCritNone || best.step[codeIndex(choose)] < 0) return lastDisplayStep(s, sel);
  return std::max(displayStep(s, sel, best.step[codeIndex(choose)]), 0);
}

namespace {

// The criteria of the BestStep columns, in their order, when the fit has their values; each
// column's prefix is the registry's.
std::vector<CriterionCode> bestColumns(const StepView* s, const SelectionState* sel) {
  const DisplayOptions& o = s->display;
  std::vector<CriterionCode> c = {kCritAic, kCritAicc, kCritSbc, kCritAdjRsq};
  if (o.pressPerStep) c.push_back(kCritPress);
  if (o.validAsePerStep) c.push_back(kCritValidate);
  if (o.kfold) c.push_back(kCritCv);
  if (sel->fit.sigma2Full != 0) {
    c.push_back(kCritBic);
    c.push_back(kCritCp);
  }
  // The external cross validation's plot names these columns too.
  if (o.externalCv) c.push_back(kCritCvExternal);
  return c;
}

// One criterion's bound values.
struct BestValues {
  int32_t step = 0;
  std::string label;
  double normBeta = 0, value = 0;
};

}  // namespace

int printBestStep(StepView* s, const SelectionState* sel, const BestSteps& best, StepMarks* marks,
                  void** bestData) {
  DisplayClock clock(&s->output);
  *bestData = nullptr;
  StepMarks& m = *marks;
  for (CriterionCode c : kAllCriterionCodes)
    m.optimalStep[codeIndex(c)] = std::max(displayStep(s, sel, best.step[codeIndex(c)]), 0);
  if (sel->steps.stepCount <= 0) return 0;
  const int32_t chosen = chosenDisplayStep(s, sel, best);
  m.chosenStep = chosen;
  m.chosenLabel = hstr(stepLabelText(s, m, chosen));
  const double* norms = s->display.coefNormPerStep ? stepNorms(sel) : nullptr;
  if (norms) {
    m.normBase = norms[sel->steps.stepCount - 1];
    const int32_t at = historyIndex(s, sel, chosen);
    m.chosenNorm = m.normBase != 0 && at >= 0 ? norms[at] / m.normBase : 1.0;
  }

  const std::vector<CriterionCode> columns = bestColumns(s, sel);
  std::vector<BestValues> values(columns.size());
  char optLabel[13];
  fillField(optLabel, 13, "Optimal Value");
  DataTable t(&s->output);
  t.create("BestStep");
  t.column(ctype::kText, "OptLabel", optLabel, {argInt(dkey::kTextWidth, 13)});
  const std::vector<OutputArgItem> whole = {argInt(dkey::kDecimals, 0)};
  for (size_t k = 0; k < columns.size(); ++k) {
    const int32_t at = best.step[codeIndex(columns[k])];
    BestValues& v = values[k];
    v.step = m.optimalStep[codeIndex(columns[k])];
    v.label = std::string(stepLabelText(s, m, v.step));
    if (v.label.empty()) v.label = " ";
    // An exact fit's -Infty shows as the summary shows it, not as the number standing in for it.
    v.value =
        at >= 0 ? infinityAsSpecial(stepCriterion(sel->steps, columns[k], at)) : missingValue('.');
    v.normBeta = norms && at >= 0 && m.normBase > 0 ? norms[at] / m.normBase : missingValue('.');
    const std::string p = criterionInfo(columns[k]).graph.prefix;
    t.column(ctype::kInt, p + "Step", &v.step, whole);
    t.column(ctype::kText, p + "StepLabel", v.label.data(),
             {argInt(dkey::kTextWidth, static_cast<int32_t>(v.label.size()))});
    if (norms) t.column(ctype::kDouble, p + "NormBeta", &v.normBeta);
    t.column(ctype::kDouble, p + "Val", &v.value, whole);
  }
  t.endColumns();
  bindPhantom(s, t, "BestStep", bestData);
  t.row();
  t.close();
  t.release();
  return 0;
}

}  // namespace vsf
