// CLASS codings: the columns one level of a variable contributes, and the in-place Kronecker
// step that multiplies a block of columns out by a vector.
#include <cmath>

#include "design/design.h"
#include "design/design_internal.h"
#include "frame/host/dataset.h"
#include "numerics/numerics.h"

namespace vsf {

namespace {

inline void put(double* out, int n, int i, double w) {
  if (i >= 0 && i < n) out[i] = w;
}

// Row l of the coding matrix. The matrix has levels - 1 values per row whatever width the
// caller asks for, so the row is found with the matrix's own stride.
void matrixRow(const LevelVar* var, double* out, int l, int n, double w) {
  int stride = var->levelCount - 1;
  if (!var->codingMatrix || stride <= 0) return;
  int k = n < stride ? n : stride;
  zdscal(out, var->codingMatrix + static_cast<ptrdiff_t>(l) * stride, k, w);
}

}  // namespace

void codingColumns(const LevelVar& var, LevelColumns how, int l, double* out, int n, double w) {
  const int ref = var.refIndex;
  switch (how) {
    case LevelColumns::kDeviation:
    case LevelColumns::kIndicator:
      if (l < ref) {
        put(out, n, l, w);
      } else if (l > ref) {
        put(out, n, l - 1, w);
      } else if (how == LevelColumns::kDeviation) {
        for (int i = 0; i < n; ++i) out[i] = -w;
      }
      return;
    case LevelColumns::kPowers: {
      bool numeric = var.desc && var.desc->type == kVarNumeric;
      double v = numeric && var.levels ? var.levels[l].value : static_cast<double>(l + 1);
      if (v == 0.0) return;
      for (int k = 0; k < n; ++k) out[k] = w * std::pow(v, static_cast<double>(k + 1));
      return;
    }
    case LevelColumns::kScaledPowers: {
      bool character = var.desc && var.desc->type == kVarCharacter;
      double half = n / 2.0;
      double x = character ? (l - half) / half : var.levels[l].value;
      if (x == 0.0) return;
      double p = w;
      for (int k = 0; k < n; ++k) out[k] = (p *= x);
      return;
    }
    case LevelColumns::kThermometer:
      for (int i = 0; i < l && i < n; ++i) out[i] = w;
      return;
    case LevelColumns::kBathtub: {
      double m = static_cast<double>(n) + 1.0;
      double c = w * std::sqrt(1.5 * m / (m * m - 1.0));
      for (int i = 0; i < n; ++i) out[i] = i < l ? c : -c;
      return;
    }
  }
}

// zlvlcode: the columns of level l under the variable's coding, times w.
//   var    the CLASS variable (coding, reference index, coding matrix, level values)
//   out    n doubles, set to 0 first
//   level  0-based level index; a missing level (-1) or one beyond the levels gives zeros
void zlvlcode(const LevelVar* var, double* out, int level, int n, double w) {
  if (n <= 0) return;
  for (int i = 0; i < n; ++i) out[i] = 0.0;
  int l = level;
  if (l < 0 || l >= var->levelCount) return;
  const Coding& coding = codingOf(var->coding);
  if (coding.orthogonal)
    matrixRow(var, out, l, n, w);
  else
    codingColumns(*var, coding.columns, l, out, n, w);
}

// zkronexp: x holds m blocks of n; block j becomes v[j] times block 0, block 0 last.
void zkronexp(double* x, int n, const double* v, int m) {
  if (m <= 0 || n <= 0) return;
  for (int j = m - 1; j >= 0; --j) {
    double a = v[j];
    double* to = x + static_cast<ptrdiff_t>(j) * n;
    for (int i = 0; i < n; ++i) to[i] = a * x[i];
  }
}

}  // namespace vsf
