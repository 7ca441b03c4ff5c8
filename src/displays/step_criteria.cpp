// Criterion values of a recorded step and the step at which each criterion is best.
#include "displays/displays_internal.h"
#include "selection/group.h"

namespace vsf {

double stepCriterion(const StepView* s, const SelectionState* sel, uint8_t code, int32_t i) {
  const StepHistory& h = sel->steps;
  const double dot = missingValue('.');
  if (i < 0 || i >= sel->stepCount || !h.sse) return dot;
  const double sse = h.sse[i], n = sel->trainFreq;
  const int32_t p = h.sweptColumns ? h.sweptColumns[i] : h.parameters[i];
  auto at = [&](const double* a) { return a ? a[i] : dot; };
  switch (code) {
    case kCritAic:
      return critAIC(sse, n, p);
    case kCritAicc:
      return critAICC(sse, n, p);
    case kCritSbc:
      return critSBC(sse, n, p);
    case kCritRsquare:
      return critRSquare(sse, rSquareTotal(s, sel));
    case kCritAdjRsq:
      return critAdjRSquare(sse, rSquareTotal(s, sel), n, p, s->settings.options.noInt);
    case kCritCp:
      return critCP(sse, n, p, sel->sigma2Full);
    case kCritBic:
      return critBIC(sse, n, p, sel->sigma2Full);
    case kCritPress:
      return at(h.press);
    case kCritValidate:
      return at(h.validAse);
    case kCritCv:
      return at(h.cvPress);
    case kCritCvExternal:
      return at(h.extCv);
    default:
      return dot;
  }
}

int32_t firstSummaryStep(const StepView* s, const SelectionState* sel) {
  if (s->settings.options.method == kMethodBackward) return 0;
  return sel->firstSelectable > 0 ? sel->firstSelectable - 1 : 0;
}

// The first step with the best value, over the steps the summary lists from the model
// before the first selection step on. The CHOOSE criterion's best step is the one the run
// chose, so that its marker and the selected model agree.
void computeBestSteps(const StepView* s, const SelectionState* sel, BestSteps* best) {
  for (int32_t& b : best->step) b = -1;
  static const uint8_t kCodes[] = {kCritAic,      kCritAicc, kCritSbc,       kCritRsquare,
                                   kCritAdjRsq,   kCritCp,   kCritBic,       kCritPress,
                                   kCritValidate, kCritCv,   kCritCvExternal};
  const int32_t first = firstSummaryStep(s, sel);
  for (uint8_t c : kCodes) {
    double bestValue = missingValue('.');
    for (int32_t i = first; i < sel->stepCount; ++i) {
      double v = stepCriterion(s, sel, c, i);
      if (isMissing(v)) continue;
      if (best->step[c] < 0 || criterionBetter(v, bestValue, c)) {
        best->step[c] = i;
        bestValue = v;
      }
    }
  }
  const uint8_t choose = s->settings.options.choose;
  if (choose != kCritNone && choose < 16 && sel->chosenStep >= 0 &&
      sel->chosenStep < sel->stepCount)
    best->step[choose] = sel->chosenStep;
}

}  // namespace vsf
