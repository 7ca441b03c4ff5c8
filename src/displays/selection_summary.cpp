// SelectionSummary: one row per step of the selection with the effect that moved, the model's
// size and its criteria, a marker on the step where each criterion is best.
#include <algorithm>
#include <cstring>
#include <string>

#include "base/codes.h"
#include "base/host.h"
#include "displays/displays_internal.h"
#include "selection/group.h"

namespace vsf {

namespace {

struct SummaryRow {
  int32_t step = 0, nEffects = 0, nParms = 0;
  double normBeta = 0, f = 0, probF = 0, ase = 0, test = 0, l1 = 0;
  double value[kCriterionCodes] = {};  // by criterion code, as the step recorded them
  int32_t opt[kCriterionCodes] = {};   // 1 on the criterion's best step
  char control = ' ';
};

struct Buffers {
  char* entered = nullptr;
  char* removed = nullptr;
  char* label = nullptr;
  int width = 0, labelWidth = 0;
};

// The summary's layout decided once from the options and the selection.
struct Plan {
  DisplayFlags f;
  MethodCode method = kMethodNone;
  bool backward = false, entered = false, removed = false, stepLabel = false, normBeta = false;
  L1ChoiceCode l1Column = kL1ChoiceNone;
};

Plan planOf(const StepView* s, const SelectionState* sel) {
  Plan p;
  p.f = displayFlags(s, sel);
  p.method = s->display.method;
  p.backward = p.method == kMethodBackward;
  const MethodMoves moves = methodInfo(p.method).moves;
  p.entered = p.f.severalPerStep || !p.backward;
  p.removed = p.f.severalPerStep || moves == MethodMoves::kDrops || moves == MethodMoves::kBoth;
  p.stepLabel = s->settings.graphicsOn;
  p.normBeta = s->settings.graphicsOn && p.f.stepNorm;
  if (s->display.showStepL1) p.l1Column = s->display.l1Choice;
  return p;
}

int labelWidth(const StepView* s, const SelectionState* sel, bool several) {
  int longest = s->group.longestCandidateLabel;
  for (int32_t e = 0; e < sel->layout.effectCount; ++e)
    longest = std::max(longest, static_cast<int>(candidateLabel(s, e).size()));
  if (!several) return std::max(longest, 1);
  int most = 1;
  for (int32_t i = 0; i < sel->steps.stepCount; ++i) most = std::max(most, sel->steps.effect[i]);
  return (longest + 1) * most;
}

// The statistics every row shows, for step i.
void fillValues(const SelectionState* sel, const Plan& p, const BestSteps* b, int32_t i,
                SummaryRow* r) {
  const StepHistory& h = sel->steps;
  const double dot = missingValue('.');
  auto at = [&](const double* a) { return a ? a[i] : dot; };
  r->nParms = h.parameters[i];
  // A perfect fit's -DBL_MAX shows as the special missing value M.
  for (CriterionCode c : kAllCriterionCodes) {
    r->value[codeIndex(c)] = infinityAsSpecial(stepCriterion(sel->steps, c, i));
    r->opt[codeIndex(c)] = b && b->step[codeIndex(c)] == i ? 1 : 0;
  }
  r->test = at(h.testAse);
  r->ase = sel->totals.trainWeight != 0 ? h.sse[i] / sel->totals.trainWeight : dot;
  const double prevSse = i == 0 ? criterionTotal(sel) : h.sse[i - 1];
  const int32_t* cols = h.sweptColumns ? h.sweptColumns : h.parameters;
  double f = 0;
  r->probF = effectFTestPValue(prevSse, cols[i - 1], h.sse[i], cols[i], h.effects[i - 1],
                               h.effects[i], sel->totals.trainFreq, &f, sel->fit.tol);
  r->f = infinityAsSpecial(f);
  if (p.normBeta) {
    const double* norm = h.fifth ? h.fifth : h.l1Norm;
    const double last = norm ? norm[sel->steps.stepCount - 1] : 0;
    r->normBeta = norm && last > 0 ? norm[i] / last : dot;
  }
  if (p.l1Column == kL1ChoiceRatio) r->l1 = at(h.lambdaRatio);
  if (p.l1Column == kL1ChoiceNorm) r->l1 = at(h.l1Norm);
  if (p.l1Column == kL1ChoiceValue)
    r->l1 = h.lambdaRatio ? sel->path.lambdaMax * h.lambdaRatio[i] : dot;
}

void defineColumns(DataTable& t, const SelectionState* sel, const Plan& p, SummaryRow& r,
                   const Buffers& b) {
  const bool* st = p.f.stat;
  auto shown = [](const char* name, bool on) {
    std::vector<OutputArgItem> d;
    addDynamic(d, name, valueFlag(on));
    return d;
  };
  const std::vector<OutputArgItem> count = {argInt(dkey::kDecimals, 0)};
  t.column(ctype::kInt, "Step", &r.step, count);
  if (p.normBeta) t.column(ctype::kDouble, "NormBeta", &r.normBeta);
  if (p.stepLabel)
    t.column(ctype::kText, "StepLabel", b.label, {argInt(dkey::kTextWidth, b.labelWidth)});
  if (p.entered)
    t.column(ctype::kText, "EffectEntered", b.entered, {argInt(dkey::kTextWidth, b.width)});
  if (p.removed)
    t.column(ctype::kText, "EffectRemoved", b.removed, {argInt(dkey::kTextWidth, b.width)});
  t.column(ctype::kInt, "nEffectsIn", &r.nEffects, count);
  std::vector<OutputArgItem> parms = count;
  addDynamic(parms, "showNParmsIn",
             valueFlag(sel->layout.singleColumnEffects != sel->layout.effectCount));
  t.column(ctype::kInt, "nParmsIn", &r.nParms, parms);
  // A criterion's column, shown by its STATS= column (validation ASE by ASE's), and the column
  // of its best-step marker.
  auto criterion = [&](CriterionCode c, bool marker) {
    const CriterionInfo& info = criterionInfo(c);
    const std::string name = info.column;
    std::vector<OutputArgItem> more;
    if (info.statsColumn >= 0) {
      const std::string flag = "show" + (info.statsColumn == kStatsAse ? "ASE" : name);
      more = shown(flag.c_str(), st[info.statsColumn]);
    }
    t.column(ctype::kDouble, name, &r.value[codeIndex(c)], more);
    if (marker) t.column(ctype::kInt, "Opt" + name, &r.opt[codeIndex(c)]);
  };
  criterion(kCritRsquare, false);
  criterion(kCritAdjRsq, true);
  criterion(kCritAic, true);
  criterion(kCritAicc, true);
  if (p.f.fullModelVariance) {
    criterion(kCritBic, true);
    criterion(kCritCp, true);
  }
  criterion(kCritSbc, true);
  if (p.f.press) criterion(kCritPress, true);
  t.column(ctype::kDouble, "FValue", &r.f, shown("showFValue", st[kStatsFValue]));
  t.column(ctype::kDouble, "ProbF", &r.probF, shown("showProbF", st[kStatsSl]));
  t.column(ctype::kDouble, "ASE", &r.ase, shown("showASE", st[kStatsAse]));
  if (p.f.validationShown) criterion(kCritValidate, true);
  if (p.f.testShown) t.column(ctype::kDouble, "TestASE", &r.test, shown("showASE", st[kStatsAse]));
  if (p.f.kfold) criterion(kCritCv, true);
  if (p.f.externalCv) criterion(kCritCvExternal, true);
  static const char* const kL1Names[] = {"", "StepL1Ratio", "StepL1Norm", "StepL1Value"};
  if (p.l1Column != kL1ChoiceNone) t.column(ctype::kDouble, kL1Names[codeIndex(p.l1Column)], &r.l1);
  t.column(ctype::kChar, "Control", &r.control);
}

// A marker column is worth a footnote only when it is shown.
bool anyOptShown(const Plan& p) {
  const bool* st = p.f.stat;
  return st[kStatsAdjRsq] || st[kStatsAic] || st[kStatsAicc] || st[kStatsSbc] ||
         (p.f.fullModelVariance && (st[kStatsBic] || st[kStatsCp])) ||
         (p.f.press && st[kStatsPress]) || (p.f.validationShown && st[kStatsAse]) || p.f.kfold ||
         p.f.externalCv;
}

void putLabel(char* field, int width, int* used, std::string_view label) {
  if (*used + static_cast<int>(label.size()) + 1 > width) return;
  std::memcpy(field + *used, label.data(), label.size());
  *used += static_cast<int>(label.size()) + 1;
}

}  // namespace

// Returns 0, or -2 when a text buffer cannot be had.
int printSelectionSummary(StepView* s, const SelectionState* sel, HostPool* allocator,
                          const BestSteps* best, const StepMarks& marks, void** dataOut) {
  DisplayClock clock(&s->output);
  const Plan p = planOf(s, sel);
  Buffers b;
  b.width = labelWidth(s, sel, p.f.severalPerStep);
  b.labelWidth = std::max(marks.labelWidth, 1);
  auto take = [&](int n) {
    return allocator ? static_cast<char*>(kernel().poolAlloc(allocator, n, kAllocZero)) : nullptr;
  };
  if (!(b.entered = take(b.width)) || !(b.removed = take(b.width)) ||
      !(b.label = take(b.labelWidth)))
    return rc::kMemory;

  SummaryRow r;
  DataTable t(&s->output);
  const MethodCode method = p.method;
  t.create("SelectionSummary", {argString(key::kLabel2, msgStr(methodInfo(method).summaryTitle)),
                                argInt(dkey::kSummaryFlag, 1)});
  defineColumns(t, sel, p, r, b);
  t.endColumns();

  // The rows are written before the bind would be too late for the footnote flag, so the
  // flag is known from the step count and the forced block alone.
  const int32_t k0 = sel->layout.firstSelectable;
  const int32_t blockEnd = p.backward ? 1 : std::max(k0, 0);
  const bool selectionRows = sel->steps.stepCount > blockEnd;
  std::vector<OutputArgItem> dyn;
  addDynamic(dyn, "titleText", valueString(msgStr(methodInfo(method).summaryTitle)));
  addDynamic(dyn, "printFootnote", valueInt(selectionRows && anyOptShown(p) ? 1 : 0));
  t.bind("Stat.VARSIFTER.SelectionSummary", dyn, false, s->settings.graphicsOn ? dataOut : nullptr);

  auto clearTexts = [&] {
    std::memset(b.entered, ' ', b.width);
    std::memset(b.removed, ' ', b.width);
    std::memset(b.label, ' ', b.labelWidth);
  };
  auto stepLabel = [&](int32_t i) {
    if (p.stepLabel)
      fillField(b.label, b.labelWidth,
                stepLabelText(s, marks, std::max(displayStep(s, sel, i), 0)));
  };

  int32_t shownEffects = 0;
  bool blockWritten = false;
  if (!p.backward) {
    for (int32_t i = 0; i < k0 && i < sel->steps.stepCount; ++i) {
      clearTexts();
      fillValues(sel, p, best, i, &r);
      r.step = 0;
      r.nEffects = ++shownEffects;
      r.control = ' ';
      fillField(b.entered, b.width, candidateLabel(s, sel->steps.effect[i]));
      stepLabel(i);
      t.row();
      blockWritten = true;
    }
  } else if (sel->steps.stepCount > 0) {
    clearTexts();
    fillValues(sel, p, best, 0, &r);
    r.step = 0;
    r.nEffects = shownEffects = sel->layout.effectCount - (s->display.noInt ? 1 : 0);
    r.f = r.probF = missingLowest();
    r.control = ' ';
    stepLabel(0);
    t.row();
    for (int32_t a = 0; a < sel->sweep.aliasedCount && sel->sweep.aliasedList; ++a) {
      clearTexts();
      fillField(b.removed, b.width, candidateLabel(s, sel->sweep.aliasedList[a]));
      r.nEffects = --shownEffects;
      t.row();
    }
    blockWritten = true;
  }

  for (int32_t i = blockEnd; i < sel->steps.stepCount; ++i) {
    const int32_t step = p.backward ? i : i - k0 + 1;
    if (step < 0) continue;
    clearTexts();
    fillValues(sel, p, best, i, &r);
    r.step = step;
    r.control = blockWritten && i == blockEnd ? '-' : ' ';
    const StepHistory& h = sel->steps;
    if (p.f.severalPerStep && h.changes) {
      int in = 0, out = 0;
      const int32_t from = changeListStart(sel, i);
      for (int32_t c = 0; c < std::max(h.effect[i], 0); ++c) {
        const int32_t e = h.changes[from + c];
        if (e >= 0)
          putLabel(b.entered, b.width, &in, candidateLabel(s, e));
        else
          putLabel(b.removed, b.width, &out, candidateLabel(s, -e));
      }
      r.nEffects = shownEffects = h.effects[i];
    } else if (h.effects[i] < h.effects[i - 1]) {
      fillField(b.removed, b.width, candidateLabel(s, h.effect[i]));
      r.nEffects = --shownEffects;
    } else {
      fillField(b.entered, b.width, candidateLabel(s, h.effect[i]));
      r.nEffects = ++shownEffects;
    }
    stepLabel(i);
    t.row();
  }
  t.close();
  t.release(sel->sweep.aliasedCount > 0 ? msgStr(628) : nullptr);
  return 0;
}

}  // namespace vsf
