// The test and validation data sets' rows: read through the model's row slots bound to their
// own variables, checked against the analysis data's levels and stored with their role.
#include <cmath>
#include <vector>

#include "base/host.h"
#include "frame/bindings.h"
#include "frame/groupdata_internal.h"
#include "levelize/levelize.h"

namespace vsf {

namespace {

// A CLASS value the analysis data of the group does not have.
bool unseenLevel(const DataPass* p) {
  for (int32_t c = 0; c < p->d->classCount; ++c)
    if (p->d->classVars[c].desc && p->ctx->levelIndexes[c] < 0) return true;
  return false;
}

// Effects whose level combination the analysis data never met.
void countUnseenCombinations(const DataPass* p, std::vector<int32_t>* counters) {
  if (p->d->flags & dflag::kFullRank) return;
  for (int32_t e = 0; e < p->d->effectCount; ++e) {
    const ZEffect& z = p->d->effects[e];
    if (z.keyCount > 0 && p->d->results[e].combination >= z.combinationCount)
      (*counters)[static_cast<size_t>(e)] += 1;
  }
}

void countHeldOut(DataPass* p, const Observation& obs, bool validation) {
  PassTotals& t = p->t;
  if (validation)
    t.validRows += 1, t.validFreq += obs.f, t.validWeight += obs.wf;
  else
    t.testRows += 1, t.testFreq += obs.f, t.testWeight += obs.wf;
}

// Why the held-out observations were left out, for the notes after the pass.
struct HeldOutLeftOut {
  bool missingLevel = false;
  UnseenLevels unseen;                // values that are none of the analysis levels
  std::vector<int32_t> combinations;  // per effect
};

// One observation; 0, or the code that ends the step.
int heldOutRow(DataPass* p, bool validation, double* freqRead, HeldOutLeftOut* left) {
  const SelectionOptions& o = *p->o;
  Observation obs;
  obs.status = zreadobs(p->ctx, &obs.y, &obs.w, &obs.f);
  if (!takeFrequency(p, &obs, freqRead)) return 0;
  if (obs.status & obs::kNeeded) {
    if (unseenLevel(p)) {
      if (!left->unseen.add(p->ctx, nullptr)) left->missingLevel = true;
      return 0;
    }
    countUnseenCombinations(p, &left->combinations);
  }
  if (obs.status & obs::kUnusable) return 0;
  obs.wf = o.freqOrWeight ? obs.w * obs.f : 1.0;
  if (o.freqOrWeight && !(obs.wf > 0 && std::isfinite(obs.wf))) return 0;
  if (!buildDesignValues(p)) return 0;
  countHeldOut(p, obs, validation);
  startRow(p, obs, validation ? role::kValidate : role::kTest, kNoFold);
  return storeRow(p);
}

int checkHeldOut(VsfState* s, const DataSetBinding* b, int message) {
  if (!b->inUse) return 0;
  int rc = hostv().ds->verify(s->settings.inputReader, b->dataSet);
  if (rc != 0) {
    std::string name = dataSetName(b->dataSet);
    hostMsg(848, message, {std::string_view(name)});
    raiseStepCode(s->stepCode, step::kWarning);
  }
  return rc;
}

}  // namespace

int checkTestDataSet(VsfState* s, const DataSetBinding* b) { return checkHeldOut(s, b, 178); }
int checkValidationDataSet(VsfState* s, const DataSetBinding* b) { return checkHeldOut(s, b, 177); }

int readHeldOutRows(DataPass* p, const DataSetBinding* b, bool validation) {
  if (!b->inUse || !b->dataSet || !p->roleSlot) return 0;
  if (b->verify && (validation ? checkValidationDataSet(p->s, b) : checkTestDataSet(p->s, b)) != 0)
    return 0;
  bindRowBuffers(p->s, *b);
  HeldOutLeftOut left;
  left.combinations.assign(static_cast<size_t>(p->d->effectCount), 0);
  double& obsRead = validation ? p->t.validObsRead : p->t.testObsRead;
  double& freqRead = validation ? p->t.validFreqRead : p->t.testFreqRead;
  ZLevCtx* ctx = p->ctx;
  ctx->start(ctx);
  while (ctx->next(ctx)) {
    obsRead += 1;
    p->s->heldOutRead[validation ? 0 : 1] += 1;
    if (int rc = heldOutRow(p, validation, &freqRead, &left); rc != 0) return rc;
  }
  restoreRowBuffers(p->s);
  left.unseen.report(p->d, dataSetName(b->dataSet), 6161, 6163);
  if (left.missingLevel) hostMsg(848, validation ? 196 : 195);
  for (int32_t e = 0; e < p->d->effectCount; ++e)
    if (left.combinations[static_cast<size_t>(e)] > 0)
      hostMsg(848, validation ? 181 : 180,
              {std::string_view(p->d->effects[e].name ? p->d->effects[e].name : "")});
  return 0;
}

}  // namespace vsf
