// Kernels on the residuals of the current model: PRESS, the validation and test sums of
// squares, the k-fold cross-validation sums, and the fold tallies.
//
// The residual of a row under a swept matrix S with flags F is y + sum S(g, 0) x_g over the
// columns g of the model's effects whose flag is '1' (S(g, 0) is minus g's estimate), every
// value less its centre when the run's sums are about centres.
#include <cmath>

#include "selection/rows.h"
#include "selection/selection_internal.h"

namespace vsf {

namespace {

// Calls fn(g, x) for the row's values at the model's swept-in columns.
template <typename Fn>
void modelValues(const SelectionState* s, const rows::Row& r, const char* flags, Fn&& fn) {
  for (int32_t pos = 0; pos < s->sweep.effectsInModel; ++pos) {
    const int32_t e = s->sweep.entryOrder[pos];
    const int64_t first = s->sweep.firstColumn[e];
    rows::forCentredValues(s, r, e, [&](int32_t i, double x) {
      if (flags[first + i] == '1') fn(first + i, x);
    });
  }
}

double residual(const SelectionState* s, const rows::Row& r, const double* S, const char* F) {
  double e = rows::centredResponse(s, r);
  modelValues(s, r, F, [&](int64_t g, double x) { e += S[pk(g, 0)] * x; });
  return e;
}

uint32_t one(const SelectionState*, int32_t) { return 1; }
uint32_t two(const SelectionState*, int32_t) { return 2; }
uint32_t perFold(const SelectionState* s, int32_t) {
  return static_cast<uint32_t>(s->folds > 0 ? s->folds : 1);
}
uint32_t threePerFold(const SelectionState* s, int32_t) { return 3 * perFold(s, 0); }
// PRESS keeps the row's (column, value) pairs of the model in its scratch.
uint32_t pairs(const SelectionState* s, int32_t) {
  return static_cast<uint32_t>(2 * (s->layout.paramCount + 1));
}

// ---- PRESS: w f (r / (1 - h))^2 over the training rows, h = w x' S x on the model's columns.

int pressMt(SelectionState* s, const PageView* v, double* b, uint32_t) {
  const rows::Shape h = rows::shapeOf(s);
  const bool check = !blockAllFinite(*v);
  double* cols = b + 1;
  double* vals = cols + s->layout.paramCount + 1;
  const double* S = s->sweep.swept;
  double sum = 0;
  int rc = rows::forEachRow(s, h, *v, true, [&](const rows::Row& r) {
    if (!r.training() || r.skip || (check && rows::rowMissing(r, h))) return;
    int n = 0;
    double e = rows::centredResponse(s, r);
    modelValues(s, r, s->sweep.flags, [&](int64_t g, double x) {
      e += S[pk(g, 0)] * x;
      cols[n] = static_cast<double>(g);
      vals[n++] = x;
    });
    double q = 0;
    for (int a = 0; a < n; ++a) {
      const int64_t ga = static_cast<int64_t>(cols[a]);
      double t = 0;
      for (int c = 0; c < a; ++c) t += S[pkAny(ga, static_cast<int64_t>(cols[c]))] * vals[c];
      q += vals[a] * (S[pk(ga, ga)] * vals[a] + 2 * t);
    }
    const double lev = r.w * q;
    if (std::fabs(1 - lev) > 1e-8) {  // a NaN fails the test
      const double u = e / (1 - lev);
      sum += r.w * r.f * u * u;
    }
  });
  b[0] += sum;
  return rc;
}

void pressMerge(SelectionState* s, const double* sum, uint32_t, int32_t) { s->fit.press += sum[0]; }

// ---- Validation and test rows: [0] validation, [1] test. The resample frequency is not used.

int holdoutMt(SelectionState* s, const PageView* v, double* b, uint32_t) {
  const rows::Shape h = rows::shapeOf(s);
  const bool check = !blockAllFinite(*v);
  return rows::forEachRow(s, h, *v, false, [&](const rows::Row& r) {
    if (r.role != 2 && r.role != 4) return;
    if (check && rows::rowMissing(r, h)) return;
    const double e = residual(s, r, s->sweep.swept, s->sweep.flags);
    b[r.role == 2 ? 0 : 1] += r.w * r.freq * e * e;
  });
}

void holdoutMerge(SelectionState* s, const double* sum, uint32_t, int32_t) {
  s->fit.validAse += sum[0];
  s->fit.testAse += sum[1];
}

// ---- k-fold: [f] the squared residuals of fold f's rows under the fit without them.

int foldCvMt(SelectionState* s, const PageView* v, double* b, uint32_t) {
  const rows::Shape h = rows::shapeOf(s);
  const bool check = !blockAllFinite(*v);
  return rows::forEachRow(s, h, *v, true, [&](const rows::Row& r) {
    if (!rows::validFold(r.fold, s->folds) || !r.training() || r.skip) return;
    if (check && rows::rowMissing(r, h)) return;
    const FoldRecord& fr = s->foldRecs[r.fold];
    const double e = residual(s, r, fr.swept, fr.flags);
    b[r.fold] += r.a * e * e;
  });
}

void foldCvMerge(SelectionState* s, const double* sum, uint32_t, int32_t) {
  for (int32_t f = 0; f < s->folds; ++f) s->foldRecs[f].sse += sum[f];
}

// ---- Fold tallies: [f] rows, [K + f] frequencies, [2K + f] weight times frequency.

int talliesMt(SelectionState* s, const PageView* v, double* b, uint32_t) {
  const rows::Shape h = rows::shapeOf(s);
  const int64_t K = s->folds;
  return rows::forEachRow(s, h, *v, true, [&](const rows::Row& r) {
    if (!rows::validFold(r.fold, s->folds) || !r.training() || r.skip) return;
    b[r.fold] += 1;
    b[K + r.fold] += r.f;
    b[2 * K + r.fold] += r.w * r.f;
  });
}

void talliesMerge(SelectionState* s, const double* sum, uint32_t, int32_t) {
  const int64_t K = s->folds;
  for (int32_t f = 0; f < s->folds; ++f) {
    s->foldRecs[f].rows += sum[f];
    s->foldRecs[f].freq += sum[K + f];
    s->foldRecs[f].weightFreq += sum[2 * K + f];
  }
}

}  // namespace

const RowKernel kernPress = {"kernPress",   nullptr,         asMt<pressMt>,
                             asLength<one>, asLength<pairs>, asMerge<pressMerge>};
const RowKernel kernHoldoutSse = {"kernHoldoutSse", nullptr, asMt<holdoutMt>,
                                  asLength<two>,    nullptr, asMerge<holdoutMerge>};
const RowKernel kernFoldCvSse = {"kernFoldCvSse",   nullptr, asMt<foldCvMt>,
                                 asLength<perFold>, nullptr, asMerge<foldCvMerge>};
const RowKernel kernGroupTallies = {"kernGroupTallies",     nullptr, asMt<talliesMt>,
                                    asLength<threePerFold>, nullptr, asMerge<talliesMerge>};

}  // namespace vsf
