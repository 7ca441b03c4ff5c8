// The columns of a constructed design variable for the current row: MULTIMEMBER weighted level
// counts, COLLECTION values and level blocks, SPLINE bases (B-spline, truncated power, natural
// cubic), POLYNOMIAL terms; LAG columns are in lag.cpp.
#include <algorithm>
#include <cmath>

#include "base/strings.h"
#include "design/design.h"
#include "design/design_internal.h"
#include "numerics/numerics.h"

namespace vsf {

namespace {

constexpr double kZeroSum = 1.110223024625157e-12;  // a STDIZE sum this small counts as 0

void multimember(const ZLevCtx* ctx, ZDesignVar* v) {
  double sum = 0.0;
  for (int k = 0; k < v->classCount; ++k) {
    const int32_t level = ctx->levelIndexes[v->classMembers[k]];
    if (level < 0 || !v->levelMaps || !v->levelMaps[k]) continue;
    const double w = v->valueCount > 0 ? ctx->values[v->values[k]] : 1.0;
    sum += w;
    v->columnValues[v->levelMaps[k][level]] += w;
  }
  v->weightSum = sum;
  if (!v->weightedSum || sum == 0.0) return;
  if (std::fabs(sum) <= kZeroSum)
    std::fill(v->columnValues, v->columnValues + v->columnCount, 0.0);
  else
    zdscal(v->columnValues, v->columnValues, v->columnCount, 1.0 / sum);
}

void collection(const ZLevCtx* ctx, ZDesignVar* v) {
  const ZDesign* d = ctx->design;
  const bool coded = d->flags & dflag::kFullRank;
  double* cols = v->columnValues;
  for (int k = 0; k < v->valueCount; ++k) *cols++ = ctx->values[v->values[k]];
  for (int k = 0; k < v->classCount; ++k) {
    const int32_t c = v->classMembers[k];
    const LevelVar& var = d->classVars[c];
    const int n = coded ? var.levelCount - 1 : var.levelCount;
    const int32_t level = ctx->levelIndexes[c];
    if (const double* weights = ctx->levelWeights ? ctx->levelWeights[c] : nullptr)
      zlevelweights(var, weights, coded, cols);
    else if (level >= 0 && coded)
      zlvlcode(&var, cols, level, n, 1.0);
    else if (level >= 0 && level < n)
      cols[level] = 1.0;
    cols += std::max(n, 0);
  }
}

// (x - t)^e above the knot, else 0; e counts down over a repeated knot.
// x to a small whole power by repeated squaring, as zpowchk takes it, without its logarithm:
// an overflow gives infinity, which leaves the row out as a missing value would.
double power(double x, int e) {
  double r = 1.0, base = x;
  for (unsigned k = static_cast<unsigned>(e); k; k >>= 1) {
    if (k & 1) r *= base;
    base *= base;
  }
  return r;
}

double truncatedPower(double x, double t, int e) { return x > t ? power(x - t, e) : 0.0; }

// The exponent of knot j: the degree, one less than the previous knot's when it repeats it.
int knotExponent(const double* t, int j, int degree, int previous) {
  return j > 0 && t[j] == t[j - 1] ? std::max(previous - 1, 0) : degree;
}

void truncatedPowerBasis(const SplineOptions& s, const double* t, int K, double x, double* out) {
  if (s.extraTerms >= 2) *out++ = 1.0;
  if (s.extraTerms >= 1)
    for (int p = 1; p <= s.degree; ++p) *out++ = power(x, p);
  int e = s.degree;
  for (int j = 0; j < K; ++j) {
    e = knotExponent(t, j, s.degree, e);
    *out++ = truncatedPower(x, t[j], e);
  }
}

// Natural cubic splines with knots t(1..K), linear beyond them: 1, x and, per knot j < K - 1,
// d(j) - d(K-1) with d(j) = ((x - t(j))+^3 - (x - t(K))+^3) / (t(K) - t(j)).
void naturalCubicBasis(const SplineOptions& s, const double* t, int K, double x, double* out) {
  if (s.extraTerms >= 2) *out++ = 1.0;
  if (s.extraTerms >= 1) *out++ = x;
  if (K <= 2) return;
  const double tK = t[K - 1], tK1 = t[K - 2];
  const double dK = truncatedPower(x, tK, 3), dK1 = truncatedPower(x, tK1, 3);
  const double last = (dK1 - dK) / (tK - tK1);
  int e = 3;
  for (int j = 0; j < K - 2; ++j) {
    e = knotExponent(t, j, 3, e);
    *out++ = (truncatedPower(x, t[j], e) - dK) / (tK - t[j]) - last;
  }
}

void spline(const ZLevCtx* ctx, ZDesignVar* v) {
  SplineOptions& s = *v->spline;
  const int m = s.basisColumns, k = s.degree;
  for (int j = 0; j < v->valueCount && j < s.varCount; ++j) {
    const double x = ctx->values[v->values[j]];
    const double* t = s.knots[j];
    const int n = s.knotCounts[j];
    double* block = v->columnValues + static_cast<ptrdiff_t>(j) * m;
    if (!t) continue;
    if (s.basis == 1) {
      int index = k;
      double* values = s.basisWork + 2 * k;
      zbspline(x, k, n, &index, t, values, s.basisWork, s.basisWork + k);
      const int first = index - k;
      for (int r = 0; r <= k; ++r)
        if (first + r >= 0 && first + r < m) block[first + r] = values[r];
    } else if (s.basisKind) {
      naturalCubicBasis(s, t, n, x, block);
    } else {
      truncatedPowerBasis(s, t, n, x, block);
    }
  }
}

// All monomials of the standardized variables up to the degree, in term order: the variables,
// then for each degree d and variable i, i times each term of degree d - 1 from the first one
// without a variable before i.
void polynomial(const ZLevCtx* ctx, ZDesignVar* v) {
  const PolyRecord& p = *v->poly;
  const int m = p.varCount;
  double* x = p.work;
  for (int i = 0; i < m; ++i) {
    double value = ctx->values[p.vars[i]];
    if (p.center) value -= p.centers[i];
    if (p.scale) value /= p.scales[i];
    x[i] = value;
  }
  double* cols = v->columnValues;
  std::copy(x, x + m, cols);
  int32_t next = m;
  for (int d = 2; d <= p.degree; ++d) {
    for (int i = 0; i < m; ++i) {
      const int32_t from = p.starts[static_cast<ptrdiff_t>(d - 2) * m + i];
      for (int32_t t = from; t < p.cumulative[d - 1]; ++t) {
        const double a = x[i], b = cols[t];
        cols[next++] = znotfinite(a) || znotfinite(b) ? kMissingDot() : a * b;
      }
    }
  }
}

// The record whose columns a design variable shows: itself, or the one it copies.
ZDesignVar* evaluated(ZLevCtx* ctx, ZDesignVar* var) {
  if (!var->copy || var->copyOf < 0) return var;
  return &ctx->design->designVars[var->copyOf];
}

int valueLength(const ZDesignVar* v) {
  return v->type == effkind::kPolynomial && v->poly ? v->poly->termCount : v->valueLength;
}

}  // namespace

void zlevelweights(const LevelVar& var, const double* weights, bool coded, double* block) {
  if (!coded) {
    std::copy(weights, weights + var.levelCount, block);
    return;
  }
  int k = 0;
  for (int l = 0; l < var.levelCount && k < var.levelCount - 1; ++l)
    if (l != var.refIndex) block[k++] = weights[l];
}

void zcterm(ZLevCtx* ctx, ZDesignVar* var) {
  ZDesignVar* v = evaluated(ctx, var);
  if (v->computed) return;
  if (v->columnValues) std::fill(v->columnValues, v->columnValues + valueLength(v), 0.0);
  if (v->columnValues) {
    switch (v->type) {
      case effkind::kMultimember:
        multimember(ctx, v);
        break;
      case effkind::kCollection:
        collection(ctx, v);
        break;
      case effkind::kSpline:
        if (v->spline) spline(ctx, v);
        break;
      case effkind::kPolynomial:
        if (v->poly) polynomial(ctx, v);
        break;
      case effkind::kLag:
        if (v->lag) zlagcolumns(ctx, v);
        break;
      default:
        break;
    }
  }
  v->computed = 1;
}

}  // namespace vsf
