// Model averaging's services that do nothing until model averaging exists (a MODELAVERAGE
// statement ends the step before any of them runs). The output writers ask them for the
// sample models' predictions: the per-sample values, mean, standard deviation, median and
// bounds will come from here.
#include "averaging/averaging.h"
#include "base/host.h"
#include "selection/group.h"

namespace vsf {

int averageOverSamples(StepView*) { return 0; }
void freeResampleWork(ResampleSet*) {}
int initResampleWork(ResampleSet*, int32_t, uint8_t) { return 0; }
int printModelAverageInfo(StepView*) { return 0; }
int refitAverage(StepView*) { return 0; }
bool predictWithSampleModels(StepView*, const double*, OutputSlots*) { return false; }
int32_t outputSampleCount(const StepView* s) {
  const ModelAverageOptions& m = s->settings.modelAverage;
  if (!m.on) return 0;
  return m.refit ? m.refitSamples : m.samples;
}
int32_t resampleSampleCount(const ResampleSet*, int32_t) { return 0; }
ScratchFileObject* resampleFile(const ResampleSet*, int32_t) { return nullptr; }
int printEffectSelectPct(StepView*, ScratchFileObject*, void*, int) { return 0; }
int printModelSelectFreq(StepView*, ScratchFileObject*, void*) { return 0; }
int printAvgParmEst(StepView*, ScratchFileObject*, void*, int) { return 0; }
void* averagingTables(StepView*) { return nullptr; }

}  // namespace vsf
