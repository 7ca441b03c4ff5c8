// Cross validation's and the engine's own records, filled from the settled settings so that
// the data pass, the engine and the paths read what they need of the step through const.
#include "frame/setup_internal.h"
#include "frame/state.h"
#include "selection/criteria.h"

namespace vsf {

CvOptions cvOptionsOf(const SelectionOptions& o) {
  CvOptions cv;
  cv.method = o.cvMethod, cv.requestedFolds = o.cvFolds, cv.indexVariable = o.cvIndexVariable;
  cv.folds = o.folds, cv.kfold = o.kfold;
  cv.foldStats = o.foldStats, cv.foldEstimates = o.foldEstimates;
  cv.externalCv = o.externalCv, cv.linearCvEx = o.linearCvEx;
  return cv;
}

EngineOptions engineOptionsOf(const StepSettings& settings) {
  const SelectionOptions& o = settings.options;
  EngineOptions e;
  e.method = o.method, e.select = o.select, e.stop = o.stop, e.choose = o.choose;
  e.noInt = o.noInt, e.noStandardize = o.noStandardize, e.hierarchy = o.hierarchy;
  e.forcedEffects = o.forcedEffects, e.maxSteps = o.maxSteps, e.maxEffects = o.maxEffects;
  e.buildFullSscp = o.buildFullSscp, e.effectStore = o.effectStore;
  e.designPerByGroup = o.designPerByGroup, e.generalSearch = o.generalSearch;
  e.candidateValues = o.candidateValues, e.pressPerStep = o.pressPerStep;
  e.validAsePerStep = o.validAsePerStep, e.testAsePerStep = o.testAsePerStep;
  e.fifthPerStep = o.fifthPerStep;
  // The step details and the per-step plots read every step's estimates from the stream.
  e.stepRecords = o.detailsBeyondSummary != 0 || o.detailsBits != 0;
  e.fullModelWanted = fullModelWanted(&o);
  e.adaptive = o.adaptive, e.adaptiveGamma = o.adaptiveGamma;
  e.rolesPresent = o.rolesPresent, e.weightPresent = o.weightPresent;
  e.freqPresent = o.freqPresent, e.modelAveragingRun = o.modelAveragingRun;
  e.resampling = o.resampling;
  e.utilBuffers = o.utilBuffers, e.requestedWorkers = settings.threads.requestedWorkers;
  return e;
}

void settleEngineOptions(VsfState* s) {
  s->cv = cvOptionsOf(s->settings.options);
  s->engine = engineOptionsOf(s->settings);
}

}  // namespace vsf
