// Step recording: the current model appended to the step history, with its estimates.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "base/hostcalls.h"
#include "selection/criteria.h"
#include "selection/methods_internal.h"

namespace vsf {

namespace {

// The response's standard deviation; 0 without degrees of freedom.
double responseScale(const SelectionState* s) {
  const double n1 = s->totals.trainFreq - 1;
  if (!(n1 > 0)) return 0;
  const double css = s->totals.correctedSS > 0 ? s->totals.correctedSS : 0;
  return std::sqrt(css / n1);
}

// The L1 norm of the standardized estimates of the previous record, on the response's scale.
double fifthStatistic(const SelectionState* s, double sy) {
  if (sy == 0) return absentValue();
  double sum = 0;
  for (int32_t e = 0; e < s->layout.effectCount; ++e) {
    if (!inModel(s->sweep.states[e])) continue;
    for (int32_t j = 0; j < s->layout.columnCount[e]; ++j)
      sum += std::fabs(s->sweep.stdEstimates[s->sweep.firstParam[e] + j]);
  }
  return sum / sy;
}

// An estimate in units of its column's and the response's standard deviations; 0 without them.
double standardized(const SelectionState* s, int32_t param, double b, double sy) {
  const double scale = s->layout.colScales ? s->layout.colScales[param] : 0.0;
  return sy > 0 && !isAbsent(scale) && scale > 0 ? b / (scale * sy) : 0.0;
}

// Estimates, standardized estimates and inverse diagonal of the swept model.
void sweptEstimates(SelectionState* s, double sy) {
  const int64_t p = s->layout.paramCount;
  std::fill(s->sweep.estimates, s->sweep.estimates + p, 0.0);
  std::fill(s->sweep.stdEstimates, s->sweep.stdEstimates + p, 0.0);
  for (int32_t e = 0; e < s->layout.effectCount; ++e) {
    if (!inModel(s->sweep.states[e])) continue;
    for (int32_t j = 0; j < s->layout.columnCount[e]; ++j) {
      const int32_t param = s->sweep.firstParam[e] + j;
      const int64_t g = s->sweep.firstColumn[e] + j;
      const bool in = g < s->sweep.sscpOrder && s->sweep.flags[g] == '1';
      const double b = in ? -s->sweep.swept[pk(g, 0)] : 0.0;
      s->sweep.estimates[param] = b;
      s->sweep.stdEstimates[param] = standardized(s, param, b, sy);
      s->sweep.invDiag[param] = in ? s->sweep.swept[pk(g, g)] : -1.0;
    }
  }
  if (s->layout.effectCount > 0 && inModel(s->sweep.states[0])) {
    const int32_t one = s->sweep.firstParam[0];
    interceptFromCentres(s, s->sweep.swept, s->sweep.flags, &s->sweep.estimates[one],
                         &s->sweep.invDiag[one]);
    s->sweep.stdEstimates[one] = standardized(s, one, s->sweep.estimates[one], sy);
  }
}

// Each fold's estimates from its own swept matrix, when the folds keep them.
void foldEstimates(SelectionState* s) {
  if (!kfoldOn(s) || !s->cv->foldEstimates) return;
  const int64_t p = s->layout.paramCount;
  for (int32_t f = 0; f < s->folds; ++f) {
    FoldRecord& r = s->foldRecs[f];
    if (!r.estimates) continue;
    std::fill(r.estimates, r.estimates + p, 0.0);
    for (int32_t e = 0; e < s->layout.effectCount; ++e) {
      if (!inModel(s->sweep.states[e])) continue;
      for (int32_t j = 0; j < s->layout.columnCount[e]; ++j) {
        const int64_t g = s->sweep.firstColumn[e] + j;
        if (g < s->sweep.sscpOrder && r.flags[g] == '1')
          r.estimates[s->sweep.firstParam[e] + j] = -r.swept[pk(g, 0)];
      }
    }
    if (s->layout.effectCount > 0 && inModel(s->sweep.states[0]))
      interceptFromCentres(s, r.swept, r.flags, &r.estimates[s->sweep.firstParam[0]], nullptr);
  }
}

void keepChosen(SelectionState* s) {
  if (!s->run.chosenEstimates) return;
  const int64_t p = s->layout.paramCount;
  copyDoubles(s->run.chosenEstimates, s->sweep.estimates, p);
  copyDoubles(s->run.chosenStdEstimates, s->sweep.stdEstimates, p);
  copyDoubles(s->run.chosenInvDiag, s->sweep.invDiag, p);
  std::copy(s->sweep.entryOrder, s->sweep.entryOrder + s->layout.effectCount, s->run.chosenEffects);
  std::copy(s->sweep.states, s->sweep.states + s->layout.effectCount, s->run.chosenStates);
  if (s->run.chosenFoldSse && kfoldOn(s))
    for (int32_t f = 0; f < s->folds; ++f) s->run.chosenFoldSse[f] = s->foldRecs[f].sse;
  if (s->run.chosenFoldEstimates && kfoldOn(s))
    for (int32_t f = 0; f < s->folds; ++f)
      if (s->foldRecs[f].estimates)
        copyDoubles(s->run.chosenFoldEstimates + int64_t{f} * p, s->foldRecs[f].estimates, p);
}

// The step on the progress line: its number, its move and its SELECT (else STOP) criterion.
void showStep(const SelectionState* s, int32_t i) {
  if (!zprogressshown()) return;
  const EngineOptions* o = s->engine;
  const int32_t e = s->steps.effect[i];
  std::string_view name = "the model";
  const std::vector<CandidateEntry>* table = candidateData(s).table;
  if (table && e >= 0 && e < static_cast<int32_t>(table->size()))
    name = std::string_view((*table)[e].label, (*table)[e].labelLength);
  const bool removed = i > 0 && s->steps.effects[i] < s->steps.effects[i - 1];
  const CriterionCode c = o->select != kCritNone ? o->select : o->stop;
  const double v = stepCriterion(s->steps, c, i);
  const char* label = criterionInfo(c).candidate.label;
  const std::string value =
      !label || c == kCritSl || isAbsent(v) ? "" : fmt::format(", {} {:.7g}", label, v);
  char line[160];
  zlogfmt(line, sizeof line, "selection step {1}: {2} {3}{4}",
          {i, name, removed ? "removed" : "entered", std::string_view(value)});
  showWorkProgress(s, line);
}

}  // namespace

int32_t changeListStart(const SelectionState* s, int32_t i) {
  int32_t k = 0;
  for (int32_t j = 0; j < i; ++j)
    k += j < s->layout.firstSelectable ? 1 : std::max(s->steps.effect[j], 0);
  return k;
}

int initSelectionState(SelectionState* s, int32_t effect, int32_t changes) {
  const EngineOptions* o = s->engine;
  if (effect != -1 && effect != -100 && s->sweep.states[effect] == EffectState::kHeldOut) return 0;
  if (s->steps.stepCount >= s->steps.historyCapacity)
    if (int rc = growStepHistory(s, std::max(2 * s->steps.stepCount, 1)); rc != 0) return rc;
  StepHistory& h = s->steps;
  const int32_t i = s->steps.stepCount;
  if (methodFamily(o->method).keepsPathHistory()) {
    h.lambdaRatio[i] = s->path.lambdaMax > 0 ? s->path.stepLambda / s->path.lambdaMax : 1.0;
    h.l1Norm[i] = s->path.l1Norm;
    h.pathSecond[i] = s->path.pathSecond;
  }
  if (h.heldOutSse) {
    h.heldOutSse[i] = s->path.heldOutSse;
    h.pathExtra[i] = s->path.heldOutCurvature;
  }

  int32_t params = 0;
  for (int32_t pos = 0; pos < s->sweep.effectsInModel; ++pos)
    params += s->layout.columnCount[s->sweep.entryOrder[pos]];
  h.effect[i] = changes >= 0 ? changes : effect;
  // The change list of a several-effects method opens with the starting block's effects.
  if (groupedStandardization(o) && effect >= 0) {
    if (h.changeListLength >= h.changeListCapacity)
      if (int rc = growChangeList(s, std::max(2 * h.changeListCapacity, 16)); rc != 0) return rc;
    h.changes[h.changeListLength++] = effect;
  }
  h.sweptColumns[i] = s->sweep.sweptColumns;
  h.parameters[i] = params;
  h.effects[i] = s->sweep.effectsInModel;
  h.sse[i] = fuzzToZero(s->fit.trainSse, negligibleSumOfSquares(s));
  if (h.testAse) h.testAse[i] = fuzzToZero(s->fit.testAse, negligibleMeanSquare(s));
  if (h.criteria) recordStepCriteria(&h, i, recordedFit(s, i));

  // The path methods' estimates come from their own back-transform. Group LASSO's starting
  // block is fitted by the sweep: its intercept is the response's mean (it showed 0).
  if (!methodFamily(o->method).keepsPathHistory() || (groupedStandardization(o) && effect >= 0)) {
    const double sy = responseScale(s);
    if (h.fifth) h.fifth[i] = fifthStatistic(s, sy);
    sweptEstimates(s, sy);
    foldEstimates(s);
  }
  if (i == s->run.chosenStep) keepChosen(s);
  s->steps.stepCount = i + 1;
  showStep(s, i);
  if (o->stepRecords && s->streamFile) return writeStepHistory(s);
  return 0;
}

}  // namespace vsf
