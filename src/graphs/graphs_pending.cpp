// Graphs that draw nothing until the graphs exist.
#include "graphs/graphs.h"

namespace vsf {

int makeStepLabels(VsfState*, SelectionState*) { return 0; }
int printBestStep(VsfState*, SelectionState*, BestSteps*, int32_t* plotSteps, void** bestData) {
  *plotSteps = 0;
  *bestData = nullptr;
  return 0;
}
int plotCoefficients(VsfState*, int, SelectionState*, int64_t, ScratchFileObject*) { return 0; }
int plotCriteria(VsfState*, SelectionState*, const BestSteps*, int32_t, void*, void*) { return 0; }
int plotAse(VsfState*, SelectionState*, int32_t, void*) { return 0; }
int plotElasticNetL2(VsfState*, SelectionState*) { return 0; }
int plotCvExternal(VsfState*, SelectionState*) { return 0; }
int plotCandidates(VsfState*, SelectionState*) { return 0; }
int plotParmDistributions(VsfState*, ScratchFileObject*, void*) { return 0; }
int plotEffectSelectPct(VsfState*, ScratchFileObject*, void*) { return 0; }

}  // namespace vsf
