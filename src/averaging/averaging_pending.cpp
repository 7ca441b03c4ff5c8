// Model-averaging and output services that write nothing until that subsystem exists. The
// output data sets asked for say so once per step, and OUTPUT leaves no empty data set behind.
#include "averaging/averaging.h"
#include "base/host.h"
#include "selection/group.h"

namespace vsf {

namespace {

void notWritten(const char* what) { hostMsg(848, 4903, {what}); }

}  // namespace

int averageOverSamples(StepView*) { return 0; }
int defineOutDesignVariables(StepView* s) {
  if (s->settings.outDesignDataSet && s->byGroupCount <= 1) notWritten("OUTDESIGN data set");
  return 0;
}
int defineOutputVariables(StepView*, HostDataSet** output) {
  if (!*output) return 0;
  notWritten("OUTPUT data set");
  hostv().ds->outClose(*output, false);
  *output = nullptr;
  return 0;
}
int defineScoreVariables(StepView* s) {
  notWritten("SCORE output");
  return 0;
}
void freeResampleWork(ResampleSet*) {}
int initResampleWork(ResampleSet*, int32_t, uint8_t) { return 0; }
int printModelAverageInfo(StepView*) { return 0; }
int refitAverage(StepView*) { return 0; }
void scoreRequests(StepView*, SelectionState*) {}
int setEffectsMacroVars(StepView*, int) { return 0; }
int setModelMacroVars(StepView*, SelectionState*) { return 0; }
int writeOutDesignPass(StepView*) { return 0; }
int writeOutputByGroup(StepView*, SelectionState*, void*, int) { return 0; }
int32_t resampleSampleCount(const ResampleSet*, int32_t) { return 0; }
ScratchFileObject* resampleFile(const ResampleSet*, int32_t) { return nullptr; }
int printEffectSelectPct(StepView*, ScratchFileObject*, void*, int) { return 0; }
int printModelSelectFreq(StepView*, ScratchFileObject*, void*) { return 0; }
int printAvgParmEst(StepView*, ScratchFileObject*, void*, int) { return 0; }
void* averagingTables(StepView*) { return nullptr; }

}  // namespace vsf
