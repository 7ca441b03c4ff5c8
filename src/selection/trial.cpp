// Trial moves judged by the criterion value of the trial model itself.
#include "base/codes.h"
#include "selection/engine_internal.h"

namespace vsf {

int trialEntryValue(SelectionState* s, int32_t k, CriterionCode code, double* value, double* sse,
                    int32_t* df) {
  if (!s->ck.active) return s->run.status < 0 ? s->run.status : rc::kMemory;
  const double baseSse = s->fit.trainSse;
  const int32_t baseP = s->sweep.sweptColumns, baseE = s->sweep.effectsInModel;
  const EffectState state = s->sweep.states[k];
  // A data-based value reads the whole swept matrix: the columns go in for real.
  int rc = enterEffectImpl(s, k, false, true, criterionByPass(code));
  if (rc == 0) {
    *sse = s->fit.trainSse;
    *df = s->sweep.sweptColumns - baseP;
    *value = criterionByPass(code)
                 ? criterionValue(s, code)
                 : criterionFromStats(s, code, baseSse, s->fit.trainSse, baseP,
                                      s->sweep.sweptColumns, baseE, s->sweep.effectsInModel);
  }
  s->sweep.states[k] = state;
  copyModelArrays(s, 0);
  return rc;
}

int trialRemovalValue(SelectionState* s, int32_t k, CriterionCode code, double* value,
                      double* sse) {
  if (!s->ck.active) return s->run.status < 0 ? s->run.status : rc::kMemory;
  const double baseSse = s->fit.trainSse;
  const int32_t baseP = s->sweep.sweptColumns, baseE = s->sweep.effectsInModel;
  const EffectState state = s->sweep.states[k];
  removeEffect(s, k, Removal::kTrial);
  *sse = s->fit.trainSse;
  *value = criterionByPass(code) ? criterionValue(s, code)
                                 : criterionFromStats(s, code, baseSse, s->fit.trainSse, baseP,
                                                      s->sweep.sweptColumns, baseE, baseE - 1);
  s->sweep.states[k] = state;
  copyModelArrays(s, 1);
  return s->run.status < 0 ? s->run.status : 0;
}

}  // namespace vsf
