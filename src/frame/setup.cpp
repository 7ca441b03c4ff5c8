// setupAnalysis: once per step, after the statements and before any data is read. It settles
// what depends on more than one statement, binds the other data sets to the model's variables,
// seeds the random numbers and hands its settings to the bridge. A refusal stops it at once.
#include <new>

#include "base/codes.h"
#include "base/host.h"
#include "frame/phases.h"
#include "frame/setup_internal.h"
#include "frame/state.h"
#include "numerics/numerics.h"

namespace vsf {

namespace {

LevelVar* newRecord(VsfState* s, VarDescriptor* desc) {
  void* p = kernel().poolAlloc(s->res.mainPool, sizeof(LevelVar), kAllocZero);
  if (!p) return nullptr;
  auto* v = new (p) LevelVar();
  v->desc = desc;
  return v;
}

}  // namespace

int linkExtraVariables(VsfState* s) {
  ZLevCtx& ctx = s->lev;
  if (s->settings.responseCount > 0 && s->settings.response.number >= 0) {
    if (!(s->settings.responseRecord = newRecord(s, &s->settings.response))) return rc::kMemory;
    ctx.responses = s->settings.responseRecord;
    ctx.responseCount = 1;
  }
  if (s->settings.options.weightPresent) {
    if (!(s->settings.weightRecord = newRecord(s, &s->settings.weightVariable))) return rc::kMemory;
    ctx.weights = s->settings.weightRecord;
    ctx.weightCount = 1;
  }
  if (s->settings.options.freqPresent) {
    if (!(s->settings.freqRecord = newRecord(s, &s->settings.freqVariable))) return rc::kMemory;
    ctx.frequency = s->settings.freqRecord;
  }
  return 0;
}

int setupAnalysis(VsfState* s) {
  SelectionOptions& o = s->settings.options;
  s->settings.roleVariable.number = -1;
  o.noStandardize = s->settings.noStandardize;  // the runs that take their own moments read it
  if (int rc = linkExtraVariables(s); rc != 0) return rc;
  if (int rc = checkMethodAndEffects(s); rc != 0) return rc;
  findRoleVariable(s);
  settleCrossproducts(s);
  if (int rc = settleStatistics(s); rc != 0) return rc;
  if (int rc = settleRolesAndFolds(s); rc != 0) return rc;
  settleForcedEffects(s);
  if (int rc = wholeCrossproductsFit(s); rc != 0) return rc;
  if (int rc = startInputReader(s); rc != 0) return rc;
  if (int rc = buildRelations(s); rc != 0) return rc;

  // The settled seed (a value below 1 takes one from the clock) is the procedure's.
  s->settings.procedureSeed = s->settings.seedOption;
  zsysrand(&s->settings.procedureSeed, 1);

  if (int rc = bindHeldOutDataSets(s); rc != 0) return rc;
  if (int rc = bindScoreRequests(s); rc != 0) return rc;
  dropAveragingRequests(s);
  if (int rc = makeOutputMarks(s); rc != 0) return rc;
  handWriterThreads(s);
  if (int rc = setUpModelAveraging(s); rc != 0) return rc;
  if (int rc = keepAnalysisDescriptors(s); rc != 0) return rc;
  settleDataPassOptions(s);
  if (int rc = openOutDesignScratch(s); rc != 0) return rc;
  if (int rc = openObservationTags(s); rc != 0) return rc;
  announceProcedure(s);
  settleBridge(s);
  if (o.buildFullSscp && o.screen != kScreenNone) {
    hostMsg(848, 4001);
    o.screen = kScreenNone;
  }
  settleRunOptions(s);
  settleEngineOptions(s);
  settleDisplayOptions(s);
  return 0;
}

}  // namespace vsf
