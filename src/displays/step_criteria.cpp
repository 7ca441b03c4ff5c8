// The step at which each criterion is best.
#include "displays/displays_internal.h"
#include "selection/group.h"

namespace vsf {

int32_t firstSummaryStep(const StepView* s, const SelectionState* sel) {
  if (s->settings.options.method == kMethodBackward) return 0;
  return sel->layout.firstSelectable > 0 ? sel->layout.firstSelectable - 1 : 0;
}

// The first step with the best value, over the steps the summary lists from the model
// before the first selection step on. The CHOOSE criterion's best step is the one the run
// chose, so that its marker and the selected model agree.
void computeBestSteps(const StepView* s, const SelectionState* sel, BestSteps* best) {
  for (int32_t& b : best->step) b = -1;
  const int32_t first = firstSummaryStep(s, sel);
  for (CriterionCode c : kAllCriterionCodes) {
    double bestValue = missingValue('.');
    for (int32_t i = first; i < sel->steps.stepCount; ++i) {
      double v = stepCriterion(sel, c, i);
      if (isMissing(v)) continue;
      if (best->step[codeIndex(c)] < 0 || criterionBetter(v, bestValue, c)) {
        best->step[codeIndex(c)] = i;
        bestValue = v;
      }
    }
  }
  const CriterionCode choose = s->settings.options.choose;
  if (choose != kCritNone && sel->run.chosenStep >= 0 && sel->run.chosenStep < sel->steps.stepCount)
    best->step[codeIndex(choose)] = sel->run.chosenStep;
}

}  // namespace vsf
