// The stored rows of a path run: centred and scaled before the crossproducts, multiplied by
// the adaptive weights, and put back as stored when other fits of the group read them.
#include <algorithm>
#include <cmath>

#include "base/codes.h"
#include "datapass/utilfiles.h"
#include "penalized/path_internal.h"

namespace vsf {

namespace {

// The path moves effects of one column whose scale exists; the intercept stays in.
void pathStates(SelectionState* s) {
  const ColumnLayout& L = s->layout;
  if (!s->pathOptions->noInt && L.effectCount > 0) s->sweep.states[0] = EffectState::kIntercept;
  for (int32_t e = 1; e < L.effectCount; ++e)
    if (L.columnCount[e] != 1 || isAbsent(L.colScales[s->sweep.firstParam[e]]))
      s->sweep.states[e] = EffectState::kHeldOut;
}

// A fold held out by external cross validation: the moments of the fold's own training rows,
// as the data pass works out the group's, with the held-out fold's weight.
int foldMoments(SelectionState* s) {
  RunTotals& t = s->totals;
  ColumnLayout& L = s->layout;
  t.trainWeight = t.trainFreq = 0;
  s->path.heldOutWeight = s->path.heldOutFreq = 0;
  if (int rc = runDataPass(s, kernStdMoments, 0); rc != 0) return rc;
  const double W = t.trainWeight;
  if (!(W > 0)) {
    std::fill(L.colMeans, L.colMeans + L.paramCount, absentValue());
    std::fill(L.colScales, L.colScales + L.paramCount, absentValue());
    t.responseMean = 0;
    return 0;
  }
  scalesFromMoments(s, L.colScales, W, t.trainFreq);
  t.responseMean = t.sumWy / W;
  return 0;
}

}  // namespace

// A sample centres and scales by its own drawn rows, as a fit of those rows alone would: the
// full data's moments would leave the path's intercept off the sample's means.
int sampleMoments(SelectionState* s) {
  if (!s->resample || (s->runFlags.foldFit && s->cv->externalCv)) return 0;
  // Under external cross validation the pass sums the training totals again; they equal the
  // draw's, which must not count twice.
  if (s->cv->externalCv) {
    s->totals.trainWeight = s->totals.trainFreq = 0;
    s->path.heldOutWeight = s->path.heldOutFreq = 0;
  }
  if (int rc = runDataPass(s, kernStdMoments, 0); rc != 0) return rc;
  const double W = s->totals.trainWeight;
  if (!(W > 0)) return 0;  // nothing drawn: the run ends on its data status
  scalesFromMoments(s, s->layout.colScales, W, s->totals.trainFreq);
  s->totals.responseMean = s->totals.sumWy / W;
  return 0;
}

int standardizeRows(SelectionState* s) {
  const PathOptions* o = s->pathOptions;
  if (s->runFlags.firstFit)
    if (int rc = sampleMoments(s); rc != 0) return rc;
  pathStates(s);
  if (!s->runFlags.firstFit) return 0;  // a later run of a series finds them rewritten
  // Centring cannot be undone by arithmetic bit for bit: the rows are kept first when they
  // must go back.
  if (o->modelAveragingRun || s->runFlags.foldFit)
    if (int rc = keepStoredRows(s); rc != 0) return rc;
  if (s->runFlags.foldFit && s->cv->externalCv)
    if (int rc = foldMoments(s); rc != 0) return rc;
  if (int rc = runDataPass(s, kernStandardize, 0); rc != 0) return rc;
  if (!o->adaptive) return 0;
  // The weights come from the standardized columns, and the columns are then multiplied by
  // them: the path's coefficient of a column is its estimate divided by the weight.
  const int rc = o->initialEstimatesGiven && s->initialEstimates ? adaptiveWeightsFromEstimates(s)
                                                                 : adaptiveWeightsFromFit(s);
  if (rc != 0) return rc;
  return runDataPass(s, kernUnscaleColumns, 0);
}

int restoreRows(SelectionState* s) {
  return s->utilFiles && s->utilFiles->rowsKept ? restoreStoredRows(s) : 0;
}

}  // namespace vsf
