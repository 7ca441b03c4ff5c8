// Crossproducts about provisional centres. Summed raw, the crossproducts of a column far from 0
// carry its mean squared, which the intercept's sweep cancels with the digits it takes: on
// Longley's data the estimates kept about 7.5 significant digits. Summed about centres c (the
// data pass's shifts: the first training row's values), the matrix is that of the columns
// x - c, whose span with the intercept is the same. Every sweep, criterion and residual then
// works in that basis as it stands; only the intercept's row differs from the data's, and it is
// carried back where it is read.
#include <vector>

#include "base/codes.h"
#include "selection/selection_internal.h"

namespace vsf {

namespace {

// The centre of column g of the matrices: the response's for column 0.
double columnCentre(const SelectionState* s, int64_t g) {
  if (g == 0) return s->sweep.centres[0];
  const int32_t n = s->sweep.fullMode ? s->layout.effectCount : s->sweep.effectsInModel;
  for (int32_t k = 0; k < n; ++k) {
    const int32_t e = s->sweep.fullMode ? k : s->sweep.entryOrder[k];
    const int64_t first = s->sweep.firstColumn[e];
    if (g < first || g >= first + s->layout.columnCount[e]) continue;
    const double* c = effectCentres(s, e);
    return c ? c[g - first] : 0.0;
  }
  return 0.0;
}

}  // namespace

int settleCentres(SelectionState* s) {
  s->sweep.centres = nullptr;
  const ColumnLayout& L = s->layout;
  if (s->engine->noInt || methodFamily(s->runFlags.method).penalized() || !L.colShifts) return 0;
  double* c = poolArray<double>(s, int64_t{L.denseValues} + 1);
  if (!c) return rc::kMemory;
  c[0] = L.responseShift;
  for (int32_t e = 1; e < L.effectCount; ++e) {  // the intercept's column stays 1
    if (L.sparseIndex[e] >= 0) continue;
    for (int32_t i = 0; i < L.columnCount[e]; ++i)
      c[1 + L.denseOffset[e] + i] = L.colShifts[s->sweep.firstParam[e] + i];
  }
  s->sweep.centres = c;
  return 0;
}

// With X = Xc T, T = I + e1 c' (e1 the intercept, c the centres), the inverse of X'X is
// T^-1 (Xc'Xc)^-1 T^-T and the estimates T^-1 (bc + e1 c0): only the intercept's row changes,
// to b1 = bc1 + c0 - sum c_g b_g and, over the swept columns, v11 = (e1 - c)' S (e1 - c).
void interceptFromCentres(const SelectionState* s, const double* S, const char* F, double* estimate,
                          double* invDiag) {
  if (!s->sweep.centres) return;
  const int64_t one = sweptInterceptColumn(s, F);
  if (one < 0) return;
  std::vector<std::pair<int64_t, double>> moved;  // swept columns with a nonzero centre
  int64_t columns = 0;  // room for them at once: this runs at every step of every BY group
  for (int32_t pos = 0; pos < s->sweep.effectsInModel; ++pos)
    columns += s->layout.columnCount[s->sweep.entryOrder[pos]];
  moved.reserve(static_cast<size_t>(columns));
  for (int32_t pos = 0; pos < s->sweep.effectsInModel; ++pos) {
    const int32_t e = s->sweep.entryOrder[pos];
    const double* c = effectCentres(s, e);
    if (!c) continue;
    for (int32_t i = 0; i < s->layout.columnCount[e]; ++i) {
      const int64_t g = s->sweep.firstColumn[e] + i;
      if (F[g] == '1' && c[i] != 0 && g != one) moved.emplace_back(g, c[i]);
    }
  }
  double b = -S[pk(one, 0)] + s->sweep.centres[0];
  for (const auto& [g, c] : moved) b += c * S[pk(g, 0)];
  *estimate = b;
  if (!invDiag) return;
  double cross = 0, quadratic = 0;
  for (size_t a = 0; a < moved.size(); ++a) {
    const auto& [g, c] = moved[a];
    cross += c * S[pkAny(g, one)];
    double row = 0;
    for (size_t k = 0; k < a; ++k) row += moved[k].second * S[pkAny(g, moved[k].first)];
    quadratic += c * (c * S[pk(g, g)] + 2 * row);
  }
  *invDiag = S[pk(one, one)] - 2 * cross + quadratic;
}

double plainCrossproduct(const SelectionState* s, const double* A, int64_t i, int64_t j) {
  const double a = A[pkAny(i, j)];
  // The intercept's column is in A from the start in the full mode, once entered otherwise.
  const bool entered = s->sweep.effectsInModel > 0 && s->sweep.entryOrder[0] == 0;
  if (!s->sweep.centres || !(s->sweep.fullMode || entered)) return a;
  const int64_t one = s->sweep.firstColumn[0];
  const double ci = columnCentre(s, i), cj = columnCentre(s, j);
  return a + ci * A[pkAny(one, j)] + cj * A[pkAny(one, i)] + ci * cj * A[pk(one, one)];
}

}  // namespace vsf
