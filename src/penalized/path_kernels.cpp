// Row kernels of the path in data-pass mode: the sums of squared errors of every class of rows
// with the gradient, the fitted sums and gradients of a screening rebuild, and the products of
// the direction with the candidates' columns. Each effect is one dense column of the row.
#include "penalized/path_internal.h"
#include "selection/rows.h"

namespace vsf {

namespace {

enum class RowClass { kSkip, kTraining, kHeldOut, kValidation, kTest };

// A training row left out by external cross validation is held out.
RowClass classOf(const SelectionState* s, const rows::Row& r) {
  if (r.skip) return RowClass::kSkip;
  if (r.role == 1)
    return s->cv->externalCv && r.held == s->path.heldOutFold ? RowClass::kHeldOut
                                                              : RowClass::kTraining;
  if (r.role == 2) return RowClass::kValidation;
  return r.role == 4 ? RowClass::kTest : RowClass::kSkip;
}

double columnOf(const SelectionState* s, const rows::Row& r, int32_t e) {
  const int32_t at = s->layout.denseOffset[e];
  return at >= 0 ? r.dense[at] : 0.0;
}

// The row's fits over the active set: the path's sum b x, the direction u = sum w x, and the
// least-squares fit of the active set, -sum S(c, 0) x.
struct RowFit {
  double path = 0, direction = 0, leastSquares = 0;
};

RowFit fitOf(const SelectionState* s, const rows::Row& r, bool direction, bool ls) {
  RowFit f;
  for (int32_t pos = firstActivePosition(s->layout); pos < s->sweep.effectsInModel; ++pos) {
    const int32_t e = s->sweep.entryOrder[pos];
    const double x = columnOf(s, r, e);
    f.path += s->path.coef[e] * x;
    if (direction) f.direction += s->path.direction[e] * x;
    if (ls) f.leastSquares -= s->sweep.swept[pk(s->sweep.firstColumn[e], 0)] * x;
  }
  return f;
}

// Squared errors by class into b[0] training, b[1] validation, b[2] test, b[held] held out and
// b[held + 1] the held-out direction's sum of squares. The errors are those of the reported
// model; fn(row, path residual) then sees every training row.
template <typename Fn>
int classSums(SelectionState* s, const PageView* v, double* b, uint32_t held, Fn&& fn) {
  const rows::Shape h = rows::shapeOf(s);
  const bool check = !blockAllFinite(*v);
  const bool ls = reportsLeastSquares(s->runFlags.method);
  const double scale = reportScale(s);
  return rows::forEachRow(s, h, *v, true, [&](const rows::Row& r) {
    const RowClass c = classOf(s, r);
    if (c == RowClass::kSkip || (check && rows::rowMissing(r, h))) return;
    const RowFit f = fitOf(s, r, c == RowClass::kHeldOut && !ls, ls);
    const double e = ls ? r.y - f.leastSquares : r.y - scale * f.path;
    const double sq = r.a * e * e;
    switch (c) {
      case RowClass::kTraining:
        b[0] += sq;
        fn(r, r.y - f.path);
        break;
      case RowClass::kHeldOut:
        b[held] += sq;
        b[held + 1] += r.a * scale * scale * f.direction * f.direction;
        break;
      case RowClass::kValidation:
        b[1] += sq;
        break;
      default:
        b[2] += sq;
    }
  });
}

void takeClassSums(SelectionState* s, const double* sum, uint32_t held) {
  s->fit.trainSse = sum[0];
  s->path.validSse = sum[1];
  s->path.testSse = sum[2];
  if (s->cv->externalCv) {
    s->path.heldOutSse = sum[held];
    s->path.heldOutDirection = sum[held + 1];
  }
}

// ---- kernPathSseGrad: [0..2] SSE by class, [3 + j] gradient of effect j, [E + 3] held-out
// SSE, [E + 4] held-out direction. The gradient is the unscaled path's, so that it is the one
// the crossproducts give.

uint32_t effectsAndSums(const SelectionState* s, int32_t) {
  return static_cast<uint32_t>(s->layout.effectCount + 5);
}

int sseGradMt(SelectionState* s, const PageView* v, double* b, uint32_t) {
  const int32_t E = s->layout.effectCount;
  const uint32_t held = static_cast<uint32_t>(E + 3);
  double* g = b + 3;
  return classSums(s, v, b, held, [&](const rows::Row& r, double residual) {
    const double ar = r.a * residual;
    for (int32_t j = 0; j < E; ++j)
      if (s->sweep.states[j] != EffectState::kIntercept) g[j] += ar * columnOf(s, r, j);
  });
}

void sseGradMerge(SelectionState* s, const double* sum, uint32_t, int32_t) {
  const int32_t E = s->layout.effectCount;
  takeClassSums(s, sum, static_cast<uint32_t>(E + 3));
  copyDoubles(s->path.gradient, sum + 3, E);
}

// ---- kernPathSse: [0..2] SSE by class, [3] held-out SSE, [4] held-out direction.

uint32_t five(const SelectionState*, int32_t) { return 5; }

int sseMt(SelectionState* s, const PageView* v, double* b, uint32_t) {
  return classSums(s, v, b, 3, [](const rows::Row&, double) {});
}

void sseMerge(SelectionState* s, const double* sum, uint32_t, int32_t) { takeClassSums(s, sum, 3); }

// ---- kernResidualCorr: [0] sum w yhat^2, [1] sum w y yhat, [2 + j] the correlation of a
// screened-out effect j with the residual (coefficients unscaled).

uint32_t effectsAndTwo(const SelectionState* s, int32_t) {
  return static_cast<uint32_t>(s->layout.effectCount + 2);
}

int residualMt(SelectionState* s, const PageView* v, double* b, uint32_t) {
  const rows::Shape h = rows::shapeOf(s);
  const bool check = !blockAllFinite(*v);
  const PathScreening& sc = s->path.screen;
  return rows::forEachRow(s, h, *v, true, [&](const rows::Row& r) {
    if (classOf(s, r) != RowClass::kTraining || (check && rows::rowMissing(r, h))) return;
    const double fitted = fitOf(s, r, false, false).path;
    b[0] += r.a * fitted * fitted;
    b[1] += r.a * r.y * fitted;
    const double ar = r.a * (r.y - fitted);
    for (int32_t k = 0; k < sc.outCount; ++k)
      b[2 + sc.outList[k]] += ar * columnOf(s, r, sc.outList[k]);
  });
}

void residualMerge(SelectionState* s, const double* sum, uint32_t, int32_t) {
  s->path.fittedSquares = sum[0];
  s->path.fittedCross = sum[1];
  const PathScreening& sc = s->path.screen;
  for (int32_t k = 0; k < sc.outCount; ++k)
    s->path.gradient[sc.outList[k]] = sum[2 + sc.outList[k]];
}

// ---- kernDirectionCorr and kernDirectionCorrAll: [j] the product of the direction with the
// column of effect j, for the newly screened effects, or for every candidate.

uint32_t effects(const SelectionState* s, int32_t) {
  return static_cast<uint32_t>(s->layout.effectCount);
}

template <typename Each>
int directionSums(SelectionState* s, const PageView* v, double* b, Each&& each) {
  const rows::Shape h = rows::shapeOf(s);
  const bool check = !blockAllFinite(*v);
  return rows::forEachRow(s, h, *v, true, [&](const rows::Row& r) {
    if (classOf(s, r) != RowClass::kTraining || (check && rows::rowMissing(r, h))) return;
    const double au = r.a * fitOf(s, r, true, false).direction;
    each([&](int32_t j) { b[j] += au * columnOf(s, r, j); });
  });
}

int directionNewMt(SelectionState* s, const PageView* v, double* b, uint32_t) {
  const PathScreening& sc = s->path.screen;
  return directionSums(s, v, b, [&](auto&& add) {
    for (int32_t k = 0; k < sc.newCount; ++k) add(sc.newList[k]);
  });
}

void directionNewMerge(SelectionState* s, const double* sum, uint32_t, int32_t) {
  const PathScreening& sc = s->path.screen;
  for (int32_t k = 0; k < sc.newCount; ++k) s->path.products[sc.newList[k]] = sum[sc.newList[k]];
}

// The free effects, or under safe screening those screened in.
int directionAllMt(SelectionState* s, const PageView* v, double* b, uint32_t) {
  const PathScreening& sc = s->path.screen;
  const int32_t E = s->layout.effectCount, first = firstPathEffect(s);
  const bool safe = safeScreening(sc.code);
  return directionSums(s, v, b, [&](auto&& add) {
    if (safe) {
      for (int32_t k = 0; k < sc.inCount; ++k) add(sc.inList[k]);
      return;
    }
    for (int32_t j = first; j < E; ++j)
      if (s->sweep.states[j] == EffectState::kFree) add(j);
  });
}

void directionAllMerge(SelectionState* s, const double* sum, uint32_t, int32_t) {
  copyDoubles(s->path.products, sum, s->layout.effectCount);
}

// ---- The rewrites: centre and scale, and the adaptive weights. A training row that a
// resample drew 0 times is left as it is.

template <typename Fn>
int rewriteRows(SelectionState* s, const PageView* v, Fn&& fn) {
  const rows::Shape h = rows::shapeOf(s);
  return rows::forEachRow(s, h, *v, true, [&](const rows::Row& r) {
    if (r.skip && r.training()) return;
    fn(const_cast<double*>(r.x));  // the pass hands the block over to be rewritten
  });
}

int standardizeMt(SelectionState* s, const PageView* v, double*, uint32_t) {
  const bool noInt = s->pathOptions->noInt;
  const double mean = responseCentre(s);
  const ColumnLayout& L = s->layout;
  return rewriteRows(s, v, [&](double* x) {
    if (!noInt) x[0] -= mean;
    for (int32_t e = 1; e < L.effectCount; ++e) {
      if (L.columnCount[e] != 1 || L.denseOffset[e] < 0) continue;
      double& z = x[1 + L.denseOffset[e]];
      const int32_t c = s->sweep.firstParam[e];
      const double f = L.colScales[c];
      if (isAbsent(z)) continue;
      z = isAbsent(f) ? 0.0 : noInt ? z * f : (z - L.colMeans[c]) * f;
    }
  });
}

int unscaleColumnsMt(SelectionState* s, const PageView* v, double*, uint32_t) {
  const ColumnLayout& L = s->layout;
  return rewriteRows(s, v, [&](double* x) {
    for (int32_t e = 1; e < L.effectCount; ++e) {
      const double w = s->sweep.weights[s->sweep.firstParam[e]];
      if (L.columnCount[e] == 1 && L.denseOffset[e] >= 0 && !isAbsent(w))
        x[1 + L.denseOffset[e]] *= w;
    }
  });
}

RowKernel rewriting(const char* name, MtKernel mt) {
  RowKernel k{name, nullptr, mt};
  k.rewritesRows = 1;
  return k;
}

}  // namespace

const RowKernel kernPathSseGrad = {"kernPathSseGrad",        nullptr, asMt<sseGradMt>,
                                   asLength<effectsAndSums>, nullptr, asMerge<sseGradMerge>};
const RowKernel kernPathSse = {"kernPathSse",  nullptr, asMt<sseMt>,
                               asLength<five>, nullptr, asMerge<sseMerge>};
const RowKernel kernResidualCorr = {"kernResidualCorr",      nullptr, asMt<residualMt>,
                                    asLength<effectsAndTwo>, nullptr, asMerge<residualMerge>};
const RowKernel kernDirectionCorr = {"kernDirectionCorr", nullptr, asMt<directionNewMt>,
                                     asLength<effects>,   nullptr, asMerge<directionNewMerge>};
const RowKernel kernDirectionCorrAll = {
    "kernDirectionCorrAll", nullptr, asMt<directionAllMt>,
    asLength<effects>,      nullptr, asMerge<directionAllMerge>};
const RowKernel kernStandardize = rewriting("kernStandardize", asMt<standardizeMt>);
const RowKernel kernUnscaleColumns = rewriting("kernUnscaleColumns", asMt<unscaleColumnsMt>);

}  // namespace vsf
