// Graphs that draw nothing until the graphs exist.
#include "graphs/graphs.h"

namespace vsf {

int makeStepLabels(StepView*, SelectionState*) { return 0; }
int printBestStep(StepView*, SelectionState*, BestSteps*, int32_t* plotSteps, void** bestData) {
  *plotSteps = 0;
  *bestData = nullptr;
  return 0;
}
int plotCoefficients(StepView*, int, SelectionState*, int64_t, ScratchFileObject*) { return 0; }
int plotCriteria(StepView*, SelectionState*, const BestSteps*, int32_t, void*, void*) { return 0; }
int plotAse(StepView*, SelectionState*, int32_t, void*) { return 0; }
int plotElasticNetL2(StepView*, SelectionState*) { return 0; }
int plotCvExternal(StepView*, SelectionState*) { return 0; }
int plotCandidates(StepView*, SelectionState*) { return 0; }
int plotParmDistributions(StepView*, ScratchFileObject*, void*) { return 0; }
int plotEffectSelectPct(StepView*, ScratchFileObject*, void*) { return 0; }

}  // namespace vsf
