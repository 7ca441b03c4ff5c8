// The graphs of the elastic net's tuning, external cross validation and model averaging: they
// draw nothing until their methods exist.
#include "graphs/graphs.h"

namespace vsf {

int plotElasticNetL2(StepView*, SelectionState*) { return 0; }
int plotCvExternal(StepView*, SelectionState*) { return 0; }
int plotParmDistributions(StepView*, ScratchFileObject*, void*) { return 0; }
int plotEffectSelectPct(StepView*, ScratchFileObject*, void*) { return 0; }

}  // namespace vsf
