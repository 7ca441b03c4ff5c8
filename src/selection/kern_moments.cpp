// Sums for standardization and for the incremental totals: column moments, sums of squares
// and each fold's response sum of squares. Columns are numbered in effect order.
#include <cmath>

#include "selection/rows.h"
#include "selection/selection_internal.h"

namespace vsf {

namespace {

// Every stored value of the row with its column number in effect order.
template <typename Fn>
void everyColumn(const SelectionState* s, const rows::Row& r, Fn&& fn) {
  for (int32_t e = 0; e < s->layout.effectCount; ++e) {
    const int32_t first = s->sweep.firstParam[e];
    rows::forEffectValues(s, r, e, [&](int32_t i, double x) { fn(first + i, x); });
  }
}

// ---- kernStdMoments: [0] sum a y, [1..m] sum a d, [m+1..2m] sum a d^2 with d the value less
// its column's shift, then with external cross validation training weight, training
// frequency, held-out weight, held-out frequency.

uint32_t momentsLength(const SelectionState* s, int32_t) {
  return static_cast<uint32_t>(2 * s->layout.paramCount + 1 + (s->cv->externalCv ? 4 : 0));
}

int momentsMt(SelectionState* s, const PageView* v, double* b, uint32_t) {
  const rows::Shape h = rows::shapeOf(s);
  const bool check = !blockAllFinite(*v), ext = s->cv->externalCv;
  const int64_t m = s->layout.paramCount;
  const double* shifts = s->layout.colShifts;  // the data pass's: fixed through the pass
  double* tail = b + 2 * m + 1;
  return rows::forEachRow(s, h, *v, true, [&](const rows::Row& r) {
    if (r.skip || (check && rows::rowMissing(r, h))) return;
    if (!r.training()) {
      if (ext && r.role == 2 && s->path.heldOutFold == s->path.extCvFolds) {
        tail[2] += r.w;  // weight times 1
        tail[3] += 1;
      }
      return;
    }
    if (ext && r.held == s->path.heldOutFold) {
      tail[2] += r.a;
      tail[3] += r.f;
      return;
    }
    if (ext) {
      tail[0] += r.a;
      tail[1] += r.f;
    }
    b[0] += r.a * r.y;
    everyColumn(s, r, [&](int64_t c, double x) {
      const double d = x - (shifts ? shifts[c] : 0.0), ad = r.a * d;
      b[1 + c] += ad;
      b[1 + m + c] += ad * d;
    });
  });
}

void momentsMerge(SelectionState* s, const double* sum, uint32_t, int32_t) {
  const int64_t m = s->layout.paramCount;
  s->totals.sumWy = sum[0];
  copyDoubles(s->layout.colMeans, sum + 1, m);
  copyDoubles(s->layout.colScales, sum + 1 + m, m);
  if (s->cv->externalCv) {
    const double* t = sum + 2 * m + 1;
    s->totals.trainWeight += t[0];
    s->totals.trainFreq += t[1];
    s->path.heldOutWeight += t[2];
    s->path.heldOutFreq += t[3];
  }
}

// ---- kernSumSquares: [0] y'y, [1..m] the columns' sums of squares, [m+1] y'y about the
// response's centre.

uint32_t squaresLength(const SelectionState* s, int32_t) {
  return static_cast<uint32_t>(s->layout.paramCount + 2);
}

int squaresMt(SelectionState* s, const PageView* v, double* b, uint32_t) {
  const rows::Shape h = rows::shapeOf(s);
  const bool check = !blockAllFinite(*v), ext = s->cv->externalCv;
  return rows::forEachRow(s, h, *v, true, [&](const rows::Row& r) {
    if (!r.training() || r.skip || (ext && r.held == s->path.heldOutFold)) return;
    if (check && rows::rowMissing(r, h)) return;
    const double y = rows::centredResponse(s, r);
    b[0] += r.a * r.y * r.y;
    everyColumn(s, r, [&](int64_t c, double x) { b[1 + c] += r.a * x * x; });
    b[s->layout.paramCount + 1] += r.a * y * y;
  });
}

void squaresMerge(SelectionState* s, const double* sum, uint32_t, int32_t) {
  s->totals.sumWyy = sum[0];
  copyDoubles(s->sweep.colSquares, sum + 1, s->layout.paramCount);
  s->totals.centredWyy = sum[s->layout.paramCount + 1];
}

// ---- kernFoldResponseSS: [f] fold f's response sum of squares (about the response's centre).

uint32_t foldsLength(const SelectionState* s, int32_t) {
  return static_cast<uint32_t>(s->folds > 0 ? s->folds : 1);
}

int foldResponseMt(SelectionState* s, const PageView* v, double* b, uint32_t) {
  const rows::Shape h = rows::shapeOf(s);
  const bool check = !blockAllFinite(*v);
  return rows::forEachRow(s, h, *v, true, [&](const rows::Row& r) {
    if (!r.training() || r.skip || !rows::validFold(r.fold, s->folds)) return;
    if (check && rows::rowMissing(r, h)) return;
    const double y = rows::centredResponse(s, r);
    b[r.fold] += r.a * y * y;
  });
}

void foldResponseMerge(SelectionState* s, const double* sum, uint32_t, int32_t) {
  for (int32_t f = 0; f < s->folds; ++f) s->foldRecs[f].sscp[0] = sum[f];
}

}  // namespace

void scalesFromMoments(SelectionState* s, const double* squares, double W, double F) {
  ColumnLayout& L = s->layout;
  const bool noInt = s->engine->noInt, unscaled = s->engine->noStandardize;
  for (int32_t c = 0; c < L.paramCount; ++c) {
    const double sum = L.colMeans[c], sq = squares[c];
    const double shift = L.colShifts ? L.colShifts[c] : 0.0;
    double variance = missingValue('.');
    if (F > 1) variance = (noInt ? sq : sq - sum * sum / W) / (F - 1);
    L.colScales[c] = unscaled                                ? 1.0
                     : !znotfinite(variance) && variance > 0 ? 1.0 / std::sqrt(variance)
                                                             : missingValue('.');
    L.colMeans[c] = shift + sum / W;
  }
}

const RowKernel kernStdMoments = {"kernStdMoments",        nullptr, asMt<momentsMt>,
                                  asLength<momentsLength>, nullptr, asMerge<momentsMerge>};
const RowKernel kernSumSquares = {"kernSumSquares",        nullptr, asMt<squaresMt>,
                                  asLength<squaresLength>, nullptr, asMerge<squaresMerge>};
const RowKernel kernFoldResponseSS = {"kernFoldResponseSS",  nullptr, asMt<foldResponseMt>,
                                      asLength<foldsLength>, nullptr, asMerge<foldResponseMerge>};

}  // namespace vsf
