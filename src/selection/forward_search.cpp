// The entry search of FORWARD and STEPWISE, and the statistics refreshed after every move.
#include <optional>
#include <vector>

#include "selection/methods_internal.h"

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
// its accumulated diagonal (a) and the reference its pivot is judged by (pivotReference).
struct ColumnStats {
  double r = 0, v = 0, a = 0, reference = 0;
};

ColumnStats fromSweptMatrix(const SelectionState* s, int32_t e) {
  const int64_t g = s->sweep.firstColumn[e];
  return {s->sweep.swept[pk(g, 0)], s->sweep.swept[pk(g, g)], s->sweep.sscp[pk(g, g)],
          pivotReference(s, s->sweep.sscp, s->sweep.flags, g)};
}

// Incremental mode: the candidate is not in A. With x its crossproducts with the model's
// swept columns M (from their store rows), w = A_MM^-1 x is read from the swept block and
// r = x'y - A_0M w, v = x'x - x'w.
class StoreScorer {
 public:
  explicit StoreScorer(const SelectionState* s) : s_(s) {
    for (int32_t pos = 0; pos < s->sweep.effectsInModel; ++pos) {
      const int32_t e = s->sweep.entryOrder[pos];
      for (int32_t j = 0; j < s->layout.columnCount[e]; ++j) {
        const int32_t u = s->sweep.firstColumn[e] + j;
        if (s->sweep.flags[u] != '1') continue;
        columns_.push_back(u);
        rows_.push_back(static_cast<int64_t>(s->sweep.storeSlot[e] + j) *
                        (s->layout.paramCount + 1));
        if (u == sweptInterceptColumn(s, s->sweep.flags)) intercept_ = rows_.back();
      }
    }
    x_.resize(columns_.size());
  }

  ColumnStats operator()(int32_t e) {
    const SelectionState* s = s_;
    const int32_t offset = s->sweep.fullOffset[e];
    const size_t m = columns_.size();
    for (size_t i = 0; i < m; ++i) x_[i] = s->sweep.store[rows_[i] + offset];
    ColumnStats c;
    c.a = s->sweep.effectBlocks[e][0];
    c.r = s->sweep.store[offset];
    c.v = c.a;
    c.reference = intercept_ < 0 ? c.a
                                 : centredSquares(c.a, s->sweep.store[intercept_ + offset],
                                                  s->sweep.effectBlocks[0][0]);
    for (size_t i = 0; i < m; ++i) {
      double w = 0;
      for (size_t j = 0; j < m; ++j) w += s->sweep.swept[pkAny(columns_[i], columns_[j])] * x_[j];
      c.r -= s->sweep.sscp[pk(columns_[i], 0)] * w;
      c.v -= x_[i] * w;
    }
    return c;
  }

 private:
  const SelectionState* s_;
  std::vector<int32_t> columns_;
  std::vector<int64_t> rows_;
  std::vector<double> x_;
  int64_t intercept_ = -1;  // the intercept's store row, when it is swept in
};

void setCandidateValue(SelectionState* s, int32_t e, double v) {
  if (s->rules->candidateValues && s->sweep.candidateValues) s->sweep.candidateValues[e] = v;
}

// Single-column effects by their SSE reduction r^2 / v; an equal reduction keeps the earlier
// effect. The winner's value goes into *best.
void fastSearch(SelectionState* s, double* best, int32_t* candidate) {
  const CriterionCode code = s->rules->select;
  const double sse = s->fit.trainSse;
  const int32_t p = s->sweep.sweptColumns;
  std::optional<StoreScorer> fromStore;
  if (!s->sweep.fullMode) fromStore.emplace(s);
  double largest = -1;
  int32_t winner = -1;
  for (int32_t e = 0; e < s->layout.effectCount; ++e) {
    if (s->sweep.states[e] != effstate::kFree || s->layout.columnCount[e] != 1 ||
        !prerequisitesIn(s->sweep, e))
      continue;
    const ColumnStats c = fromStore ? (*fromStore)(e) : fromSweptMatrix(s, e);
    const double d = pivotTolerance('0', c.reference, c.a);
    const double reduction = c.v > d ? c.r * c.r / c.v : -1;
    setCandidateValue(s, e,
                      reduction > 0
                          ? criterionFromStats(s, code, sse, sse - reduction, p, p + 1, 1, 1)
                          : absentValue());
    if (reduction > largest) {
      largest = reduction;
      winner = e;
    }
  }
  if (winner < 0 || !(largest > 0)) return;
  const double v = criterionFromStats(s, code, sse, sse - largest, p, p + 1, 1, 1);
  *best = v;
  if (criterionBetter(v, worstValue(code), code)) *candidate = winner;
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
  if (fast) fastSearch(s, &best, &candidate);

  const double baseSse = s->fit.trainSse;
  const int32_t baseP = s->sweep.sweptColumns;
  bool checkpointed = false;
  int rc = 0;
  for (int32_t e = 0; e < s->layout.effectCount && rc == 0; ++e) {
    if (s->sweep.states[e] != effstate::kFree || !prerequisitesIn(s->sweep, e)) continue;
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
