// What a path step reports: the SSE of its coefficients from the crossproducts, and its
// estimates on the scale of the data.
#include <algorithm>
#include <cmath>

#include "penalized/path_internal.h"

namespace vsf {

// With Q(b) = |y - X b|^2 + r |b|^2 (r the ridge, in A's diagonal) and bhat the model's own
// estimates in the swept matrix, Q(b) = S(0, 0) + (b - bhat)' A (b - bhat). The forced
// effects' coefficient is 0 on the centred rows. No cancellation against |y|^2: the SSE keeps
// its digits however well the model fits.
double modelSse(const SelectionState* s, const double* beta) {
  const double* S = s->sweep.swept;
  const double* A = s->sweep.sscp;
  const int32_t* list = s->sweep.entryOrder;
  const int32_t* col = s->sweep.firstColumn;
  const int32_t first = firstActivePosition(s->layout), m = s->sweep.effectsInModel;
  double* d = s->path.work;
  for (int32_t a = 0; a < m; ++a) {
    const int32_t e = list[a];
    d[e] = s->sweep.flags[col[e]] == '1' ? (a >= first ? beta[e] : 0.0) + S[pk(col[e], 0)] : 0.0;
  }
  double q = 0, ridge = 0;
  for (int32_t a = 0; a < m; ++a) {
    const int32_t e = list[a];
    double row = 0;
    for (int32_t b = 0; b < m; ++b) row += A[pkAny(col[e], col[list[b]])] * d[list[b]];
    q += d[e] * row;
    if (a >= first) ridge += beta[e] * beta[e];
  }
  return std::max(0.0, S[0] + q - ridgeOf(s) * ridge);
}

void backTransformEstimates(SelectionState* s, const double* coef) {
  const int64_t p = s->layout.paramCount;
  double* est = s->sweep.estimates;
  double* std = s->sweep.stdEstimates;
  std::fill(est, est + p, 0.0);
  std::fill(std, std + p, 0.0);
  const double n1 = s->totals.trainFreq - 1;
  const double sdY = n1 > 0 ? std::sqrt(std::max(s->totals.correctedSS, 0.0) / n1) : 0.0;
  const ColumnLayout& L = s->layout;
  double sum = 0;
  for (int32_t a = firstActivePosition(s->layout); a < s->sweep.effectsInModel; ++a) {
    const int32_t e = s->sweep.entryOrder[a];
    const int32_t c = s->sweep.firstParam[e];
    double b = coef[e];
    if (s->pathOptions->adaptive) b *= s->sweep.weights[c];
    const double f = L.colScales[c];
    est[c] = b * f;
    sum += est[c] * L.colMeans[c];
    if (sdY > 0 && !isAbsent(f) && f > 0) std[c] = est[c] / (f * sdY);
  }
  est[0] = s->pathOptions->noInt ? 0.0 : responseCentre(s) - sum;
}

}  // namespace vsf
