// The row walk shared by every row kernel: tags read backward, values forward.
#pragma once

#include <cstdint>
#include <cstring>

#include "base/codes.h"
#include "datapass/rowblock.h"
#include "datapass/utilfiles.h"
#include "frame/host/status.h"
#include "numerics/numerics.h"
#include "selection/selection.h"

namespace vsf {

// The engine's kernels are written for its state; these adapt them to the pass's record, of
// which the state is the only kind the engine hands to a pass.
template <int (*F)(SelectionState*, const PageView*)>
int asSeq(PassState* p, const PageView* v) {
  return F(static_cast<SelectionState*>(p), v);
}
template <int (*F)(SelectionState*, const PageView*, double*, uint32_t)>
int asMt(PassState* p, const PageView* v, double* buffer, uint32_t length) {
  return F(static_cast<SelectionState*>(p), v, buffer, length);
}
template <uint32_t (*F)(const SelectionState*, int32_t)>
uint32_t asLength(const PassState* p, int32_t count) {
  return F(static_cast<const SelectionState*>(p), count);
}
template <void (*F)(SelectionState*, const double*, uint32_t, int32_t)>
void asMerge(PassState* p, const double* sum, uint32_t length, int32_t count) {
  F(static_cast<SelectionState*>(p), sum, length, count);
}
template <int (*F)(SelectionState*, const PageView*, double*)>
int asWeigh(PassState* p, const PageView* v, double* values) {
  return F(static_cast<SelectionState*>(p), v, values);
}
template <int (*F)(SelectionState*, const PageView*, const double*, double*, uint32_t, uint32_t)>
int asColumns(PassState* p, const PageView* v, const double* values, double* buffer, uint32_t lo,
              uint32_t hi) {
  return F(static_cast<SelectionState*>(p), v, values, buffer, lo, hi);
}
template <int (*F)(SelectionState*, double*, uint32_t)>
int asFinish(PassState* p, double* buffer, uint32_t length) {
  return F(static_cast<SelectionState*>(p), buffer, length);
}

}  // namespace vsf

namespace vsf::rows {

// What a block's rows hold, from the options and the state; fixed for a pass.
struct Shape {
  bool fold = false, held = false, role = false;
  int weightAt = -1, freqAt = -1, resampleAt = -1;  // positions among a row's doubles
  int yAt = 0;
  int d = 0;  // dense values
  int s = 0;  // sparse effects
  bool resampling = false;
  bool feed = false;  // resample frequencies from the resample file
};

inline Shape shapeOf(const SelectionState* st) {
  const EngineOptions* o = st->engine;
  Shape h;
  h.fold = st->cv->kfold;
  h.held = st->cv->externalCv;
  h.role = o->rolesPresent;
  int at = 0;
  if (o->weightPresent) h.weightAt = at++;
  if (o->freqPresent) h.freqAt = at++;
  if (o->modelAveragingRun) h.resampleAt = at++;
  h.yAt = at;
  h.d = st->layout.denseValues;
  h.s = st->layout.sparseEffectCount;
  h.resampling = o->resampling;
  h.feed = o->resampling && st->resampleFeed;
  return h;
}

// One row as the kernels read it.
struct Row {
  int32_t fold = 0, held = 0, role = 1;
  double w = 1;         // weight (1 without WEIGHT)
  double freq = 1;      // the FREQ value (1 without FREQ)
  double f = 1, a = 1;  // frequency in use (the resample frequency when resampling), w f
  bool skip = false;    // resampled away (r = 0)
  double y = 0;
  const double* x = nullptr;  // the response followed by the dense values, in the block
  const double* dense = nullptr;
  const double* sparse = nullptr;  // K values
  int32_t K = 0;
  const int32_t* group = nullptr;  // the row's sparse tags: group[-1 - j] is the end of
                                   // sparse effect j, group[-1 - s - k] value k's index
  // Values [begin, end) of sparse effect j.
  int32_t sparseBegin(int j) const { return j == 0 ? 0 : group[-j]; }
  int32_t sparseEnd(int j) const { return group[-1 - j]; }
  int32_t index(int s, int k) const { return group[-1 - s - k]; }
  bool training() const { return role == 1; }
};

// Reads one block's resample frequencies from the resample file; rc::kPageIo when the read
// fails.
[[nodiscard]] inline int readFeed(SelectionState* st, int64_t n) {
  ResampleFeed* f = st->resampleFeed;
  if (!f) return rc::kPageIo;
  return streamReadAt(f->file, f->frequencies, 8 * n, &f->position) == 0 ? 0 : rc::kPageIo;
}

// Calls fn(row) for every row of the block, weights already worked out (a = w f, or w r
// with resampling). 0, or rc::kPageIo when the block's resample frequencies cannot be read.
template <typename Fn>
[[nodiscard]] int forEachRow(SelectionState* st, const Shape& h, const PageView& view,
                             bool weighted, Fn&& fn) {
  const int64_t n = blockRowCount(view);
  if (weighted && h.feed)
    if (int rc = readFeed(st, n); rc != 0) return rc;
  const double* v = blockFirstRow(view);
  const int32_t* t = blockTagEnd(view);
  Row r;
  for (int64_t i = 0; i < n; ++i) {
    r.fold = h.fold ? *--t : 0;
    r.held = h.held ? *--t : 0;
    r.role = h.role ? *--t : 1;
    r.group = t;
    r.K = h.s > 0 ? t[-h.s] : 0;
    t -= h.s + r.K;
    r.w = h.weightAt >= 0 ? v[h.weightAt] : 1.0;
    r.freq = h.freqAt >= 0 ? v[h.freqAt] : 1.0;
    double f = r.freq;
    r.skip = false;
    if (h.resampling && weighted) {
      f = h.feed ? st->resampleFeed->frequencies[i] : v[h.resampleAt];
      r.skip = f == 0;
    }
    r.f = f;
    r.a = r.w * f;
    r.x = v + h.yAt;
    r.y = *r.x;
    r.dense = r.x + 1;
    r.sparse = r.dense + h.d;
    v = r.sparse + r.K;
    fn(r);
  }
  return 0;
}

// Fold slices: a fold tag outside 0 .. folds-1 (never drawn: -999) names no fold.
inline bool validFold(int32_t fold, int32_t folds) { return fold >= 0 && fold < folds; }

// The host's missing value (top 16 bits all ones).
inline bool isMissing(double x) {
  uint64_t u;
  std::memcpy(&u, &x, 8);
  return (u >> 48) == 0xFFFF;
}

// Calls fn(local column, value) for the stored values of effect e in the row: every column
// of a dense effect, the stored values of a sparse one.
template <typename Fn>
inline void forEffectValues(const SelectionState* st, const Row& r, int32_t e, Fn&& fn) {
  const int32_t j = st->layout.sparseIndex[e];
  if (j < 0) {
    const double* x = r.dense + st->layout.denseOffset[e];
    for (int32_t i = 0; i < st->layout.columnCount[e]; ++i) fn(i, x[i]);
    return;
  }
  const int s = st->layout.sparseEffectCount;
  for (int32_t k = r.sparseBegin(j); k < r.sparseEnd(j); ++k) fn(r.index(s, k), r.sparse[k]);
}

// forEffectValues with each dense value less its column's centre when the run's sums are
// about centres (a sparse column's centre is 0).
template <typename Fn>
inline void forCentredValues(const SelectionState* st, const Row& r, int32_t e, Fn&& fn) {
  const double* c = effectCentres(st, e);
  if (!c) {
    forEffectValues(st, r, e, fn);
    return;
  }
  const double* x = r.dense + st->layout.denseOffset[e];
  for (int32_t i = 0; i < st->layout.columnCount[e]; ++i) fn(i, x[i] - c[i]);
}

// The row's response less its centre.
inline double centredResponse(const SelectionState* st, const Row& r) {
  return st->sweep.centres ? r.y - st->sweep.centres[0] : r.y;
}

// A row with a missing value among its doubles; tested only where its block is not marked
// finite.
inline bool rowMissing(const Row& r, const Shape& h) {
  for (int i = 0; i <= h.d; ++i)
    if (isMissing(r.x[i])) return true;
  for (int32_t k = 0; k < r.K; ++k)
    if (isMissing(r.sparse[k])) return true;
  return isMissing(r.a);
}

}  // namespace vsf::rows
