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
  if (!s->options->noInt && L.effectCount > 0) s->sweep.states[0] = effstate::kIntercept;
  for (int32_t e = 1; e < L.effectCount; ++e)
    if (L.columnCount[e] != 1 || isAbsent(L.colScales[s->sweep.firstParam[e]]))
      s->sweep.states[e] = effstate::kHeldOut;
}

// A fold held out by external cross validation: the moments of the fold's own training rows,
// as the data pass works out the group's, with the held-out fold's weight.
int foldMoments(SelectionState* s) {
  RunTotals& t = s->totals;
  ColumnLayout& L = s->layout;
  t.trainWeight = t.trainFreq = 0;
  s->path.heldOutWeight = s->path.heldOutFreq = 0;
  if (int rc = runDataPass(s, kernStdMoments, 0); rc != 0) return rc;
  if (!s->tuning.foldMoments) {
    std::fill(L.colMeans, L.colMeans + L.paramCount, 0.0);
    std::fill(L.colScales, L.colScales + L.paramCount, 1.0);
    t.responseMean = 0;
    return 0;
  }
  const double W = t.trainWeight, F = t.trainFreq;
  const bool noInt = s->options->noInt;
  for (int32_t c = 0; c < L.paramCount; ++c) {
    const double sum = L.colMeans[c], squares = L.colScales[c];
    double variance = absentValue();
    if (F > 1 && W > 0) variance = (noInt ? squares : squares - sum * sum / W) / (F - 1);
    L.colScales[c] =
        std::isfinite(variance) && variance > 0 ? 1 / std::sqrt(variance) : absentValue();
    L.colMeans[c] = W > 0 ? sum / W : absentValue();
  }
  t.responseMean = W > 0 ? t.sumWy / W : 0.0;
  return 0;
}

}  // namespace

int standardizeRows(SelectionState* s) {
  const SelectionOptions* o = s->options;
  // The optimizer works on the crossproducts of the rows as stored, standardized by algebra.
  if (o->method >= kMethodHxLasso) return 0;
  pathStates(s);
  if (!o->firstFit) return 0;  // a later run of a series finds them rewritten
  // Centring cannot be undone by arithmetic bit for bit: the rows are kept first when they
  // must go back.
  if (o->modelAveragingRun || o->foldFit)
    if (int rc = keepStoredRows(s); rc != 0) return rc;
  if (o->foldFit && o->externalCv)
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
