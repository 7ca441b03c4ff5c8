// The entry search of FORWARD and STEPWISE, and the statistics refreshed after every move.
#include <algorithm>
#include <cmath>

#include "selection/methods_internal.h"
#include "selection/registry.h"

namespace vsf {

namespace {

// Single-column candidates are scored from the crossproducts when the swept matrix holds
// them (full mode) or the store holds every model effect's rows (incremental mode).
bool fastSearchPossible(const SelectionState* s) {
  if (s->sweep.fullMode) return true;
  if (!s->sweep.storeOn) return false;
  for (int32_t pos = 0; pos < s->sweep.effectsInModel; ++pos)
    if (s->sweep.storeSlot[s->sweep.entryOrder[pos]] < 0) return false;
  return true;
}

// A candidate column's crossproduct with the residual (r), its residual sum of squares (v),
// its accumulated diagonal (a) and the reference its pivot is judged by (pivotReference): read
// from the swept matrix in full mode, from the running scores in the incremental mode.
struct ColumnStats {
  double r = 0, v = 0, a = 0, reference = 0;
};

ColumnStats fromSweptMatrix(const SelectionState* s, int32_t e) {
  const int64_t g = s->sweep.firstColumn[e];
  return {s->sweep.swept[pk(g, 0)], s->sweep.swept[pk(g, g)], s->sweep.sscp[pk(g, g)],
          pivotReference(s, s->sweep.sscp, s->sweep.flags, g)};
}

ColumnStats fromRunningScores(const SelectionState* s, const RunningScores& g, int32_t e) {
  const double a = s->sweep.effectBlocks[e][0];
  const double reference =
      g.interceptRow < 0
          ? a
          : centredSquares(a, s->sweep.store[g.interceptRow + s->sweep.fullOffset[e]],
                           s->sweep.effectBlocks[0][0]);
  return {g.r[e], g.v[e], a, reference};
}

void setCandidateValue(SelectionState* s, int32_t e, double v) {
  if (s->rules->candidateValues && s->sweep.candidateValues) s->sweep.candidateValues[e] = v;
}

// Scores followed through a removal or a re-entry differ from those worked out afresh by
// rounding, far below these margins: a reduction relative to the winner's, v and the criterion
// relative to the candidate's accumulated diagonal and to the winner's reduction.
constexpr double kTieMargin = 1e-6, kPivotMargin = 1e-10;

// The best two reductions and the winner of one scan of the single-column candidates, and
// whether a candidate's v lies near its pivot tolerance.
struct Scan {
  double largest = -1, second = -1;
  int32_t winner = -1;
  bool borderline = false;
};

// Single-column effects by their SSE reduction r^2 / v; an equal reduction keeps the earlier
// effect.
Scan scanCandidates(SelectionState* s, const RunningScores* running) {
  const CriterionCode code = s->rules->select;
  const double sse = s->fit.trainSse;
  const int32_t p = s->sweep.sweptColumns;
  Scan k;
  for (int32_t e = 0; e < s->layout.effectCount; ++e) {
    if (s->sweep.states[e] != EffectState::kFree || s->layout.columnCount[e] != 1 ||
        !prerequisitesIn(s->sweep, e))
      continue;
    const ColumnStats c = running ? fromRunningScores(s, *running, e) : fromSweptMatrix(s, e);
    const double d = pivotTolerance('0', c.reference, c.a);
    const double reduction = c.v > d ? c.r * c.r / c.v : -1;
    if (running) k.borderline |= std::fabs(c.v - d) <= kPivotMargin * c.a;
    if (s->rules->candidateValues)
      setCandidateValue(s, e,
                        reduction > 0
                            ? criterionFromStats(s, code, sse, sse - reduction, p, p + 1, 1, 1)
                            : absentValue());
    if (reduction > k.largest) {
      k.second = k.largest;
      k.largest = reduction;
      k.winner = e;
    } else if (reduction > k.second) {
      k.second = reduction;
    }
  }
  return k;
}

// Where rounding could change the pick: two reductions that close, a v by its tolerance, or the
// winner's value by the current model's (the model criteria STEPWISE compares it with).
bool nearTie(SelectionState* s, const Scan& k) {
  if (k.borderline) return true;
  if (!(k.largest > 0)) return false;
  if (k.largest - k.second <= kTieMargin * k.largest) return true;
  const CriterionCode code = s->rules->select;
  if (!criterionOfModel(code)) return false;
  const double sse = s->fit.trainSse;
  const int32_t p = s->sweep.sweptColumns;
  auto value = [&](double reduction) {
    return criterionFromStats(s, code, sse, sse - reduction, p, p + 1, 1, 1);
  };
  const double now = criterionFromStats(s, code, sse, sse, p, p, 1, 1);
  const double a = value(k.largest * (1 - kTieMargin)), b = value(k.largest * (1 + kTieMargin));
  return std::min(a, b) - s->rules->fuzz <= now && now <= std::max(a, b) + s->rules->fuzz;
}

// The winner's value goes into *best. Scores followed from the store rows are worked out
// afresh where the pick is near a tie. 0 or rc::kMemory.
int fastSearch(SelectionState* s, double* best, int32_t* candidate) {
  const CriterionCode code = s->rules->select;
  const RunningScores* running = nullptr;
  if (!s->sweep.fullMode)
    if (int rc = currentScores(s, &running); rc != 0) return rc;
  Scan k = scanCandidates(s, running);
  if (running && running->fromStore && nearTie(s, k)) {
    if (int rc = currentScores(s, &running, true); rc != 0) return rc;
    k = scanCandidates(s, running);
  }
  if (k.winner < 0 || !(k.largest > 0)) return 0;
  const double sse = s->fit.trainSse;
  const int32_t p = s->sweep.sweptColumns;
  const double v = criterionFromStats(s, code, sse, sse - k.largest, p, p + 1, 1, 1);
  *best = v;
  if (criterionBetter(v, worstValue(code), code)) *candidate = k.winner;
  return 0;
}

}  // namespace

int searchEntry(SelectionState* s, EntryChoice* out) {
  const SelectionRules* r = s->rules;
  const CriterionCode code = r->select;
  double best = worstValue(code);
  int32_t candidate = -1;
  if (r->candidateValues && s->sweep.candidateValues)
    std::fill(s->sweep.candidateValues, s->sweep.candidateValues + s->layout.effectCount,
              absentValue());
  const bool byPass = selectByPass(r);
  const bool fast = !r->generalSearch && !byPass && fastSearchPossible(s);
  if (fast)
    if (int rc = fastSearch(s, &best, &candidate); rc != 0) return rc;

  const double baseSse = s->fit.trainSse;
  const int32_t baseP = s->sweep.sweptColumns;
  bool checkpointed = false;
  int rc = 0;
  for (int32_t e = 0; e < s->layout.effectCount && rc == 0; ++e) {
    if (s->sweep.states[e] != EffectState::kFree || !prerequisitesIn(s->sweep, e)) continue;
    if (fast && s->layout.columnCount[e] == 1) continue;
    double value = absentValue(), sse = 0;
    int32_t df = 0;
    if (s->sweep.blockScoring && !byPass) {
      candidateEffectSse(s, e, &sse, &df);
      if (df >= 1) value = criterionFromStats(s, code, baseSse, sse, baseP, baseP + df, 1, 1);
    } else {
      if (!checkpointed) {
        saveModelState(s, 0);
        if (s->run.status < 0) return s->run.status;
        checkpointed = true;
      }
      rc = trialEntryValue(s, e, code, &value, &sse, &df);
      if (rc != 0 || df < 1) value = absentValue();
    }
    if (df < 1) continue;
    setCandidateValue(s, e, value);
    if (!isAbsent(value) && criterionBetter(value, best, code)) {
      best = value;
      candidate = e;
    }
  }
  if (checkpointed) restoreModelState(s);
  if (rc != 0) return rc;
  out->effect = candidate;
  out->value = best;
  return 0;
}

int refreshStatistics(SelectionState* s, double searchValue, bool entry) {
  const SelectionRules* r = s->rules;
  const bool found = !isAbsent(searchValue);  // else every statistic is computed
  if (pressWanted(r)) {
    if (r->select == kCritPress && found)
      s->fit.press = searchValue;
    else if (int rc = computePress(s); rc != 0)
      return rc;
  }
  if (kfoldOn(s)) {
    if (r->select == kCritCv && found && !(entry && foldDetails(s->cv)))
      s->fit.cvPress = searchValue;
    else if (int rc = computeCvPress(s); rc != 0)
      return rc;
  }
  if (holdoutWanted(r))
    if (int rc = computeHoldoutAse(s); rc != 0) return rc;
  return 0;
}

}  // namespace vsf
