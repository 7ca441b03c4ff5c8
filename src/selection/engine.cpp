// Entering and removing effects by sweeping their columns.
#include <algorithm>
#include <cmath>

#include "base/codes.h"
#include "numerics/numerics.h"
#include "selection/engine_internal.h"

namespace vsf {

namespace {

void setHierarchy(SelectionState* s, int32_t k, int delta) {
  const CandidateData& c = candidateData(s);
  if (!s->sweep.hierarchyOn || !s->sweep.missingPrerequisites || !c.dependants || !c.prerequisites)
    return;
  for (int32_t i = 0; i < c.dependantCount[k]; ++i)
    s->sweep.missingPrerequisites[c.dependants[k][i]] += delta;
  for (int32_t i = 0; i < c.prerequisiteCount[k]; ++i)
    s->sweep.absentDependants[c.prerequisites[k][i]] += delta;
}

void refreshSse(SelectionState* s) {
  invalidateDataCriteria(s);
  s->fit.trainSse = std::max(0.0, s->sweep.swept[0]);
}

// Full mode, trial entry: the working matrices are the compact copies of the checkpoint; the
// candidate's rows come from the saved full matrices, already swept on the model. A stored
// entry (i, j), i > j, is the swept matrix's element in row j, column i: when a pair changes
// order between the layouts, its S entry changes sign unless both columns share a flag.
void copyCandidateRows(SelectionState* s, int32_t k, int32_t o, const double* fullA,
                       const double* fullS, const char* fullFlags, double* A, double* S) {
  const Checkpoint& c = s->ck;
  const int32_t ck = colsOf(s->layout, k), fk = c.firstColumn[k];
  for (int32_t i = 0; i < ck; ++i) {
    const int64_t cf = fk + i, r = o + i;
    A[pk(r, 0)] = fullA[pk(cf, 0)];
    S[pk(r, 0)] = fullS[pk(cf, 0)];
    for (int32_t pos = 0; pos < s->sweep.effectsInModel; ++pos) {
      const int32_t e = s->sweep.entryOrder[pos];
      if (e == k) continue;
      for (int32_t j = 0; j < colsOf(s->layout, e); ++j) {
        const int64_t mf = c.firstColumn[e] + j, mc = firstCol(s->sweep, e) + j;
        A[pk(r, mc)] = fullA[pkAny(cf, mf)];
        double v = fullS[pkAny(cf, mf)];
        if (cf < mf && fullFlags[cf] != fullFlags[mf]) v = -v;
        S[pk(r, mc)] = v;
      }
    }
    for (int32_t j = 0; j <= i; ++j) {
      A[pk(r, o + j)] = fullA[pk(cf, fk + j)];
      S[pk(r, o + j)] = fullS[pk(cf, fk + j)];
    }
  }
}

void sweepNewColumns(SelectionState* s, int32_t o, int32_t n, bool eliminate) {
  if (eliminate) {
    s->sweep.sweptColumns += eliminateNewColumns(s, s->sweep.swept, s->sweep.sscp, o, n);
    for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f) {
      FoldRecord& r = s->foldRecs[f];
      eliminateNewColumns(s, r.swept, r.sscp, o, n);
    }
    return;
  }
  for (int32_t j = o; j < n; ++j) sweepModelColumn(s, j);
}

void resweepEverything(SelectionState* s) {
  SweepMatrices& w = s->sweep;
  w.sweptColumns = resweepMatrix(s, &w.resweep, w.sscp, w.swept, w.flags);
  for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f) {
    FoldRecord& r = s->foldRecs[f];
    resweepMatrix(s, &r.resweep, r.sscp, r.swept, r.flags);
  }
}

int enterFull(SelectionState* s, int32_t k, bool fromTrial, bool exact) {
  const int32_t c = colsOf(s->layout, k);
  if (!fromTrial) {
    for (int32_t j = 0; j < c; ++j) sweepModelColumn(s, firstCol(s->sweep, k) + j);
    return 0;
  }
  const int32_t o = s->sweep.sscpOrder;
  s->sweep.firstColumn[k] = o;
  s->sweep.sscpOrder = o + c;
  copyCandidateRows(s, k, o, s->ck.sscp, s->ck.swept, s->ck.flags, s->sweep.sscp, s->sweep.swept);
  std::fill(s->sweep.flags + o, s->sweep.flags + o + c, '0');
  for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f) {
    FoldRecord& r = s->foldRecs[f];
    copyCandidateRows(s, k, o, r.savedSscp, r.savedSwept, r.savedFlags, r.sscp, r.swept);
    std::fill(r.flags + o, r.flags + o + c, '0');
  }
  sweepNewColumns(s, o, o + c, !exact && !s->engine->generalSearch);
  return 0;
}

int enterIncremental(SelectionState* s, int32_t k, bool resweepAll, bool fromTrial, bool exact) {
  const int32_t c = colsOf(s->layout, k), o = s->sweep.sscpOrder;
  if (o + c > s->sweep.orderCapacity) {
    int32_t cap = std::max(2 * s->sweep.orderCapacity, o + c);
    cap = std::min(cap, s->layout.paramCount + 1);
    if (int rc = growSweepStore(s, cap); rc != 0) return rc;
  }
  s->sweep.firstColumn[k] = o;
  if (int rc = assembleNewRows(s, k, o, fromTrial); rc != 0) return rc;
  if (elasticNet(s) && s->sweep.states[k] == EffectState::kSelected)
    for (int32_t j = o; j < o + c; ++j) s->sweep.sscp[pk(j, j)] += ridgeOf(s);
  if (resweepAll) {
    s->sweep.sscpOrder = o + c;
    resweepEverything(s);
    return 0;
  }
  s->sweep.sscpOrder = o + c;
  std::fill(s->sweep.flags + o, s->sweep.flags + o + c, '0');
  borderNewRows(s, s->sweep.swept, s->sweep.sscp, s->sweep.flags, o, o + c);
  for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f) {
    FoldRecord& r = s->foldRecs[f];
    std::fill(r.flags + o, r.flags + o + c, '0');
    borderNewRows(s, r.swept, r.sscp, r.flags, o, o + c);
  }
  sweepNewColumns(s, o, o + c, fromTrial && !exact && !s->engine->generalSearch);
  return 0;
}

int32_t entryPosition(const SelectionState* s, int32_t k) {
  for (int32_t i = 0; i < s->sweep.effectsInModel; ++i)
    if (s->sweep.entryOrder[i] == k) return i;
  return rc::kNotFound;
}

void sweepOut(SelectionState* s, int32_t k) {
  for (int32_t j = firstCol(s->sweep, k) + colsOf(s->layout, k) - 1; j >= firstCol(s->sweep, k);
       --j) {
    if (s->sweep.flags[j] == '1') {
      if (sweepWithRule(s, s->sweep.swept, s->sweep.sscp, s->sweep.flags, j))
        s->sweep.sweptColumns -= 1;
    }
    sweepFoldColumn(s, j, '1');
  }
}

// Columns of the other model effects that stayed out (aliased) are tried again: one that was
// aliased to the removed effect comes back.
void readmit(SelectionState* s, int32_t k) {
  const bool holdsIntercept = methodFamily(s->engine->method).splitsEffects() && !s->engine->noInt;
  for (int32_t pos = holdsIntercept ? 1 : 0; pos < s->sweep.effectsInModel; ++pos) {
    const int32_t e = s->sweep.entryOrder[pos];
    if (e == k) continue;
    for (int32_t j = firstCol(s->sweep, e); j < firstCol(s->sweep, e) + colsOf(s->layout, e); ++j) {
      if (s->sweep.flags[j] == '0' &&
          sweepWithRule(s, s->sweep.swept, s->sweep.sscp, s->sweep.flags, j))
        s->sweep.sweptColumns += 1;
      sweepFoldColumn(s, j, '0');
    }
  }
}

void compactAway(SelectionState* s, int32_t k, int32_t pos) {
  const int32_t f0 = firstCol(s->sweep, k), c = colsOf(s->layout, k), n = s->sweep.sscpOrder;
  auto closeUp = [&](double* A, double* S, char* flags) {
    dropColumns(A, n, f0, c);
    dropColumns(S, n, f0, c);
    std::copy(flags + f0 + c, flags + n, flags + f0);
    std::fill(flags + n - c, flags + n, '0');
  };
  closeUp(s->sweep.sscp, s->sweep.swept, s->sweep.flags);
  for (int32_t f = 0; f < s->folds && kfoldOn(s); ++f)
    closeUp(s->foldRecs[f].sscp, s->foldRecs[f].swept, s->foldRecs[f].flags);
  for (int32_t i = pos + 1; i < s->sweep.effectsInModel; ++i)
    s->sweep.firstColumn[s->sweep.entryOrder[i]] -= c;
  s->sweep.sscpOrder = n - c;
}

}  // namespace

int64_t sweptInterceptColumn(const SelectionState* s, const char* flags) {
  if (s->engine->noInt || s->sweep.effectsInModel == 0 || s->sweep.entryOrder[0] != 0) return -1;
  const int64_t one = s->sweep.firstColumn[0];
  return one < s->sweep.sscpOrder && flags[one] == '1' ? one : -1;
}

double pivotReference(const SelectionState* s, const double* A, const char* flags, int64_t j) {
  const int64_t one = sweptInterceptColumn(s, flags);
  if (one < 0 || one == j) return A[pk(j, j)];
  return centredSquares(A[pk(j, j)], A[pkAny(j, one)], A[pk(one, one)]);
}

bool sweepWithRule(SelectionState* s, double* S, const double* A, char* flags, int32_t k) {
  const char before = flags[k];
  const double t = pivotTolerance(before, pivotReference(s, A, flags, k), A[pk(k, k)]);
  zsweep(S, k, s->sweep.sscpOrder, flags, s->sweep.work, t);
  return flags[k] != before;
}

void sweepFoldColumn(SelectionState* s, int32_t column, char oldFlag) {
  if (!kfoldOn(s)) return;
  for (int32_t f = 0; f < s->folds; ++f) {
    FoldRecord& r = s->foldRecs[f];
    if (r.flags[column] == oldFlag) sweepWithRule(s, r.swept, r.sscp, r.flags, column);
  }
}

void sweepModelColumn(SelectionState* s, int32_t k) {
  const char old = s->sweep.flags[k];
  if (sweepWithRule(s, s->sweep.swept, s->sweep.sscp, s->sweep.flags, k))
    s->sweep.sweptColumns += old == '0' ? 1 : -1;
  sweepFoldColumn(s, k, old);
}

int enterEffectImpl(SelectionState* s, int32_t k, bool resweepAll, bool fromTrial, bool exact) {
  if (s->sweep.states[k] == EffectState::kHeldOut) return 0;
  s->sweep.entryOrder[s->sweep.effectsInModel++] = k;
  if (s->sweep.states[k] != EffectState::kIntercept && s->sweep.states[k] != EffectState::kForced)
    s->sweep.states[k] = EffectState::kSelected;
  int rc = s->sweep.fullMode ? enterFull(s, k, fromTrial, exact)
                             : enterIncremental(s, k, resweepAll, fromTrial, exact);
  if (rc != 0) return rc;
  refreshSse(s);
  if (!fromTrial) setHierarchy(s, k, -1);
  return 0;
}

int enterEffect(SelectionState* s, int32_t effect, uint8_t resweepAll, uint8_t fromTrial) {
  return enterEffectImpl(s, effect, resweepAll != 0, fromTrial != 0, false);
}

void removeEffect(SelectionState* s, int32_t k, Removal how) {
  if (s->sweep.states[k] == EffectState::kHeldOut) return;
  const int32_t pos = entryPosition(s, k);
  if (pos < 0) return;  // not in the model
  sweepOut(s, k);
  readmit(s, k);
  refreshSse(s);
  switch (how) {
    case Removal::kTrial:
      return;
    case Removal::kPath:
    case Removal::kStep:
      break;
  }
  if (!s->sweep.fullMode) compactAway(s, k, pos);
  std::copy(s->sweep.entryOrder + pos + 1, s->sweep.entryOrder + s->sweep.effectsInModel,
            s->sweep.entryOrder + pos);
  s->sweep.effectsInModel -= 1;
  s->sweep.states[k] = EffectState::kFree;
  if (how == Removal::kStep) setHierarchy(s, k, +1);
}

void candidateEffectSse(SelectionState* s, int32_t k, double* sse, int32_t* df) {
  const int32_t c = colsOf(s->layout, k), f0 = firstCol(s->sweep, k);
  double* T = s->sweep.trialBlock;
  T[0] = s->sweep.swept[0];
  for (int32_t i = 1; i <= c; ++i) {
    const int64_t g = f0 + i - 1;
    T[pk(i, 0)] = s->sweep.swept[pk(g, 0)];
    for (int32_t j = 1; j <= i; ++j) T[pk(i, j)] = s->sweep.swept[pkAny(g, f0 + j - 1)];
  }
  int32_t accepted = 0;
  for (int32_t i = 1; i <= c; ++i) {
    const int64_t g = f0 + i - 1;
    const double* A = s->sweep.sscp;
    const double t = pivotTolerance('0', pivotReference(s, A, s->sweep.flags, g), A[pk(g, g)]);
    const double d = T[pk(i, i)];
    if (!(d > t)) continue;
    accepted += 1;
    T[0] -= T[pk(i, 0)] * T[pk(i, 0)] / d;
    for (int32_t l = i + 1; l <= c; ++l) {
      const double li = T[pk(l, i)] / d;
      T[pk(l, 0)] -= li * T[pk(i, 0)];
      for (int32_t m = i + 1; m <= l; ++m) T[pk(l, m)] -= li * T[pk(m, i)];
    }
  }
  *sse = std::max(0.0, T[0]);
  *df = accepted;
}

int sscpSweepColumn(double* a, int32_t k, int32_t order, char* flags, double* work, double tol,
                    double* record, int32_t stride) {
  zsweep(a, k, order, flags, work, tol);
  if (flags[k] == '1') {
    if (record) record[k + static_cast<int64_t>(k) * stride] = 1.0;
    return 1;
  }
  // An unswept pivot is copied out and then taken out of the triangle, inside its order.
  double* row = a + tri(k);
  if (record)
    for (int32_t i = 0; i < k; ++i)
      if (std::fabs(row[i]) > tol) record[k + static_cast<int64_t>(i) * stride] = row[i];
  for (int32_t i = 0; i < k && i < order; ++i) row[i] = 0;
  for (int32_t i = k + 1; i < order; ++i) a[pk(i, k)] = 0;
  return 0;
}

void dropColumns(double* m, int32_t n, int32_t first, int32_t c) {
  int64_t dst = tri(first);
  for (int64_t i = first + c; i < n; ++i)
    for (int64_t j = 0; j <= i; ++j)
      if (j < first || j >= first + c) m[dst++] = m[pk(i, j)];
}

}  // namespace vsf
