// Trial moves judged by the criterion value of the trial model itself.
#include "base/codes.h"
#include "selection/engine_internal.h"

namespace vsf {

int trialEntryValue(SelectionState* s, int32_t k, uint8_t code, double* value, double* sse,
                    int32_t* df) {
  if (!s->ck.active) return s->status < 0 ? s->status : rc::kMemory;
  const double baseSse = s->trainSse;
  const int32_t baseP = s->sweptColumns, baseE = s->effectsInModel;
  const uint8_t state = s->states[k];
  // A data-based value reads the whole swept matrix: the columns go in for real.
  int rc = enterEffectImpl(s, k, false, true, criterionByPass(code));
  if (rc == 0) {
    *sse = s->trainSse;
    *df = s->sweptColumns - baseP;
    *value = criterionByPass(code) ? criterionValue(s, code)
                                   : criterionFromStats(s, code, baseSse, s->trainSse, baseP,
                                                        s->sweptColumns, baseE, s->effectsInModel);
  }
  s->states[k] = state;
  copyModelArrays(s, 0);
  return rc;
}

int trialRemovalValue(SelectionState* s, int32_t k, uint8_t code, double* value, double* sse) {
  if (!s->ck.active) return s->status < 0 ? s->status : rc::kMemory;
  const double baseSse = s->trainSse;
  const int32_t baseP = s->sweptColumns, baseE = s->effectsInModel;
  const uint8_t state = s->states[k];
  removeEffect(s, k, 0);
  *sse = s->trainSse;
  *value = criterionByPass(code) ? criterionValue(s, code)
                                 : criterionFromStats(s, code, baseSse, s->trainSse, baseP,
                                                      s->sweptColumns, baseE, baseE - 1);
  s->states[k] = state;
  copyModelArrays(s, 1);
  return s->status < 0 ? s->status : 0;
}

}  // namespace vsf
