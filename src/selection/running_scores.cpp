// The entry search's running scores in the incremental mode: every single-column candidate's
// crossproduct with the residual (r) and residual sum of squares (v), kept up to date as
// columns enter and leave. With u the entering column, u~ its residual on the model and
// c = X'u~ (summed by the pass of u's store rows), each candidate's r -= c r_u / v_u and
// v -= c^2 / v_u; a column that leaves adds back its part along its residual on the model
// left. Where u's store rows were summed before (a removed effect), c is worked from them.
#include <algorithm>
#include <vector>

#include "base/codes.h"
#include "selection/methods_internal.h"

namespace vsf {

namespace {

// Afresh, from the store rows of the model's effects: with x a candidate's crossproducts with
// the model's swept columns M, w = A_MM^-1 x is read from the swept block and
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
      }
    }
    x_.resize(columns_.size());
  }

  void operator()(int32_t e, double* r, double* v) {
    const SelectionState* s = s_;
    const int32_t offset = s->sweep.fullOffset[e];
    const size_t m = columns_.size();
    for (size_t i = 0; i < m; ++i) x_[i] = s->sweep.store[rows_[i] + offset];
    *r = s->sweep.store[offset];
    *v = s->sweep.effectBlocks[e][0];
    for (size_t i = 0; i < m; ++i) {
      double w = 0;
      for (size_t j = 0; j < m; ++j) w += s->sweep.swept[pkAny(columns_[i], columns_[j])] * x_[j];
      *r -= s->sweep.sscp[pk(columns_[i], 0)] * w;
      *v -= x_[i] * w;
    }
  }

 private:
  const SelectionState* s_;
  std::vector<int32_t> columns_;
  std::vector<int64_t> rows_;
  std::vector<double> x_;
};

bool sameModel(const SelectionState* s, const RunningScores& g, int32_t length) {
  return g.modelLength == length && std::equal(g.model, g.model + length, s->sweep.entryOrder);
}

// The scores hold for the current model.
bool holdsModel(const SelectionState* s, const RunningScores& g) {
  return g.sweptColumns == s->sweep.sweptColumns && sameModel(s, g, s->sweep.effectsInModel);
}

// The current model is the scores' with the effect of the last pass's update entered last.
bool followsUpdate(const SelectionState* s, const RunningScores& g) {
  const int32_t n = s->sweep.effectsInModel, u = g.entering;
  return u >= 0 && n > 0 && s->sweep.entryOrder[n - 1] == u && sameModel(s, g, n - 1);
}

int allocateScores(SelectionState* s, RunningScores* g) {
  if (g->r) return 0;
  const int64_t E = s->layout.effectCount, L = s->layout.paramCount + 1;
  if (!(g->r = poolArray<double>(s, E)) || !(g->v = poolArray<double>(s, E)) ||
      !(g->model = poolArray<int32_t>(s, E)) || !(g->weights = poolArray<double>(s, L)) ||
      !(g->denseAt = poolArray<int32_t>(s, L)) || !(g->denseWeight = poolArray<double>(s, L)) ||
      !(g->sparseModel = poolArray<int32_t>(s, E)) || !(g->cross = poolArray<double>(s, L))) {
    g->r = nullptr;
    return rc::kMemory;
  }
  return 0;
}

void holdFor(const SelectionState* s, RunningScores* g) {
  g->modelLength = s->sweep.effectsInModel;
  std::copy(s->sweep.entryOrder, s->sweep.entryOrder + g->modelLength, g->model);
  g->sweptColumns = s->sweep.sweptColumns;
  g->entering = -1;
}

// The current model is the scores' less one single-column effect, *removed.
bool followsRemoval(const SelectionState* s, const RunningScores& g, int32_t* removed) {
  const int32_t n = s->sweep.effectsInModel;
  if (g.modelLength != n + 1) return false;
  const int32_t at = static_cast<int32_t>(
      std::mismatch(s->sweep.entryOrder, s->sweep.entryOrder + n, g.model).first -
      s->sweep.entryOrder);
  *removed = g.model[at];
  return s->layout.columnCount[*removed] == 1 && s->sweep.storeSlot[*removed] >= 0 &&
         std::equal(g.model + at + 1, g.model + n + 1, s->sweep.entryOrder + at);
}

void scoreAfresh(SelectionState* s, RunningScores* g) {
  StoreScorer score(s);
  for (int32_t e = 0; e < s->layout.effectCount; ++e)
    if (s->layout.columnCount[e] == 1) score(e, &g->r[e], &g->v[e]);
  holdFor(s, g);
  g->afresh += 1;
  g->fromStore = 0;
}

// Every candidate's scores less (an entry) or plus (a removal) their part along u~, from
// c = X'u~ with c_0 = y'u~ and c_u = u'u~ = u~'u~.
bool moveAlong(SelectionState* s, RunningScores* g, int32_t u, bool entry) {
  const double ru = g->cross[0], vu = g->cross[s->sweep.fullOffset[u]];
  if (!(vu > 0)) return false;
  for (int32_t e = 0; e < s->layout.effectCount; ++e) {
    if (s->layout.columnCount[e] != 1) continue;
    const double c = g->cross[s->sweep.fullOffset[e]], t = entry ? c / vu : -(c / vu);
    g->r[e] -= t * ru;
    g->v[e] -= t * c;
  }
  holdFor(s, g);
  return true;
}

// The entry of u. A column the sweep left out (aliased with the model's, though its running v
// passed the search's tolerance) changes neither the residual nor the swept columns: the
// scores stand as they are.
bool followEntry(SelectionState* s, RunningScores* g) {
  const int32_t u = g->entering;
  const bool swept = s->sweep.flags[s->sweep.firstColumn[u]] == '1';
  if (!swept && g->sweptColumns == s->sweep.sweptColumns) {
    holdFor(s, g);
    return true;
  }
  if (!swept || g->sweptColumns + 1 != s->sweep.sweptColumns) return false;
  return moveAlong(s, g, u, true);
}

// The regression of single-column effect k on the model's swept columns, A_MM^-1 x, from the
// swept block and the store: its weights by store offset, and those columns where a row
// holds them (dense values and their weights, sparse effects).
void regressOnModel(const SelectionState* s, RunningScores& g, int32_t k) {
  const SweepMatrices& w = s->sweep;
  const int64_t L = s->layout.paramCount + 1;
  // The model's swept columns, their store places and their crossproducts with column k.
  std::vector<int32_t> columns, places;
  std::vector<double> x;
  g.sparseCount = 0;
  for (int32_t pos = 0; pos < w.effectsInModel; ++pos) {
    const int32_t e = w.entryOrder[pos];
    std::fill(g.weights + w.fullOffset[e], g.weights + w.fullOffset[e] + colsOf(s->layout, e), 0.0);
    if (s->layout.sparseIndex[e] >= 0) g.sparseModel[g.sparseCount++] = e;
    for (int32_t j = 0; j < colsOf(s->layout, e); ++j) {
      if (w.flags[w.firstColumn[e] + j] != '1') continue;
      columns.push_back(w.firstColumn[e] + j);
      places.push_back(w.fullOffset[e] + j);
      x.push_back(w.store[(w.storeSlot[e] + j) * L + w.fullOffset[k]]);
    }
  }
  // The regression of column k on them, A_MM^-1 x, from the swept block.
  g.denseCount = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    double t = 0;
    for (size_t j = 0; j < columns.size(); ++j) t += w.swept[pkAny(columns[i], columns[j])] * x[j];
    g.weights[places[i]] = t;
  }
  for (int32_t pos = 0; pos < w.effectsInModel; ++pos) {
    const int32_t e = w.entryOrder[pos];
    if (s->layout.sparseIndex[e] >= 0) continue;
    for (int32_t j = 0; j < colsOf(s->layout, e); ++j) {
      if (w.flags[w.firstColumn[e] + j] != '1') continue;
      g.denseAt[g.denseCount] = s->layout.denseOffset[e] + j;
      g.denseWeight[g.denseCount++] = g.weights[w.fullOffset[e] + j];
    }
  }
}

// c = X'u~ from the store rows summed when u first entered: u's row less the rows of the
// model's swept columns by the weights of regressOnModel.
void crossFromStore(const SelectionState* s, RunningScores& g, int32_t u) {
  const SweepMatrices& w = s->sweep;
  const int64_t L = s->layout.paramCount + 1;
  const double* row = w.store + int64_t{w.storeSlot[u]} * L;
  std::copy(row, row + L, g.cross);
  for (int32_t pos = 0; pos < w.effectsInModel; ++pos) {
    const int32_t e = w.entryOrder[pos];
    for (int32_t j = 0; j < colsOf(s->layout, e); ++j) {
      const double t = g.weights[w.fullOffset[e] + j];
      if (w.flags[w.firstColumn[e] + j] != '1' || t == 0) continue;
      const double* m = w.store + (int64_t{w.storeSlot[e]} + j) * L;
      for (int64_t x = 0; x < L; ++x) g.cross[x] -= t * m[x];
    }
  }
  g.fromStore = 1;
}

// Following a removal or an entry again pays where working the scores out afresh (candidates
// times the square of the model's swept columns) costs more than a pass over the rows (rows
// times a store row, what any entry costs). Below, they are worked out afresh as before, and the
// values a search reports there stay the same to the last bit.
bool worthFollowing(const SelectionState* s, const RunningScores& g) {
  const double m = s->sweep.sweptColumns, E = s->layout.effectCount;
  return g.followAlways || E * m * m > s->totals.rowsStored * (s->layout.paramCount + 1.0);
}

// The removal of u, where the model left has one swept column less, u~ being u's residual on
// its swept columns. With as many (u was left out, or a column aliased with it came back, which
// spans what u did only to the sweep's tolerance) they are worked out afresh.
bool followRemoval(SelectionState* s, RunningScores* g, int32_t u) {
  if (g->sweptColumns != s->sweep.sweptColumns + 1 || !worthFollowing(s, *g)) return false;
  regressOnModel(s, *g, u);
  crossFromStore(s, *g, u);
  return moveAlong(s, g, u, false);
}

// The scores brought to the current model where they follow from the model they hold.
bool follow(SelectionState* s, RunningScores* g) {
  if (holdsModel(s, *g)) return true;
  if (followsUpdate(s, *g)) return followEntry(s, g);
  int32_t u = -1;
  return followsRemoval(s, *g, &u) && followRemoval(s, g, u);
}

}  // namespace

int currentScores(SelectionState* s, const RunningScores** out, bool afresh) {
  RunningScores* g = &s->sweep.running;
  if (int rc = allocateScores(s, g); rc != 0) return rc;
  if (afresh || !follow(s, g)) scoreAfresh(s, g);
  const int64_t one = sweptInterceptColumn(s, s->sweep.flags);
  g->interceptRow = one < 0 ? -1 : int64_t{s->sweep.storeSlot[0]} * (s->layout.paramCount + 1);
  *out = g;
  return 0;
}

void keepScores(SelectionState* s) {
  RunningScores* g = &s->sweep.running;
  if (g->r && g->modelLength >= 0) follow(s, g);
}

bool prepareScoreUpdate(SelectionState* s, int32_t k) {
  RunningScores& g = s->sweep.running;
  g.entering = -1;
  if (!g.r || s->layout.columnCount[k] != 1 || !holdsModel(s, g)) return false;
  const bool stored = s->sweep.storeSlot[k] >= 0;
  if (stored && !worthFollowing(s, g)) return false;
  regressOnModel(s, g, k);
  g.entering = k;
  if (stored) crossFromStore(s, g, k);
  return !stored;
}

}  // namespace vsf
