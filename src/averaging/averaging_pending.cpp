// Model-averaging and output services that write nothing until that subsystem exists. The
// output data sets asked for say so once per step, and OUTPUT leaves no empty data set behind.
#include "averaging/averaging.h"
#include "base/host.h"
#include "frame/state.h"

namespace vsf {

namespace {

void notWritten(const char* what) { hostMsg(848, 4903, {what}); }

}  // namespace

int averageOverSamples(VsfState*) { return 0; }
int defineOutDesignVariables(VsfState* s) {
  if (s->settings.outDesignDataSet && s->byGroupCount <= 1) notWritten("OUTDESIGN data set");
  return 0;
}
int defineOutputVariables(VsfState* s) {
  if (!s->settings.outputDataSet) return 0;
  notWritten("OUTPUT data set");
  hostv().ds->outClose(s->settings.outputDataSet, false);
  s->settings.outputDataSet = nullptr;
  return 0;
}
int defineScoreVariables(VsfState* s) {
  notWritten("SCORE output");
  return 0;
}
void freeResampleWork(ResampleSet*) {}
int initResampleWork(ResampleSet*, int32_t, uint8_t) { return 0; }
int printModelAverageInfo(VsfState*) { return 0; }
int refitAverage(VsfState*) { return 0; }
void scoreRequests(VsfState*, SelectionState*) {}
int setEffectsMacroVars(VsfState*, int) { return 0; }
int setModelMacroVars(VsfState*, SelectionState*) { return 0; }
int writeOutDesignPass(VsfState*) { return 0; }
int writeOutputByGroup(VsfState*, SelectionState*, void*, int) { return 0; }
int32_t resampleSampleCount(const ResampleSet*, int32_t) { return 0; }
ScratchFileObject* resampleFile(const ResampleSet*, int32_t) { return nullptr; }
int printEffectSelectPct(VsfState*, ScratchFileObject*, void*, int) { return 0; }
int printModelSelectFreq(VsfState*, ScratchFileObject*, void*) { return 0; }
int printAvgParmEst(VsfState*, ScratchFileObject*, void*, int) { return 0; }
void* averagingTables(VsfState*) { return nullptr; }

}  // namespace vsf
