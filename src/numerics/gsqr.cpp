// QR factorisation by modified Gram-Schmidt, counting the columns found dependent.
#include <cmath>

#include "numerics/numerics.h"

namespace vsf {

namespace {

double stridedDot(const double* a, const double* b, int n, int stride) {
  double s = 0;
  for (int i = 0; i < n; ++i)
    s += a[static_cast<long long>(i) * stride] * b[static_cast<long long>(i) * stride];
  return s;
}

void setColumn(double* q, int n, int p, int j, double value) {
  for (int i = 0; i < n; ++i) q[static_cast<long long>(i) * p + j] = value;
}

}  // namespace

int zgsqr(int n, int p, const double* x, double* q, double* r) {
  if (p < 1) return 0;
  for (long long i = 0; i < static_cast<long long>(p) * (p + 1) / 2; ++i) r[i] = 0;
  if (n < 1) return p;
  auto diag = [&](int j) -> double& { return r[zpkidx(j, j)]; };
  for (int j = 0; j < p; ++j) {
    double s = zdnrm2(n, p, x + j);
    if (s <= 1.491668147e-154) {
      setColumn(q, n, p, j, 0.0);
      continue;
    }
    diag(j) = s;
    for (int i = 0; i < n; ++i)
      q[static_cast<long long>(i) * p + j] = x[static_cast<long long>(i) * p + j] / s;
  }
  int dependent = 0;
  for (int j = 0; j < p; ++j) {
    double t = zdnrm2(n, p, q + j);
    // 500 times the double epsilon: the column is, relative to its own length, a combination
    // of the earlier ones.
    if (t <= 1.110223024625157e-13) {
      ++dependent;
      for (int k = j; k < p; ++k) r[zpkidx(k, j)] = 0;
      setColumn(q, n, p, j, 0.0);
      continue;
    }
    diag(j) *= t;
    for (int i = 0; i < n; ++i) q[static_cast<long long>(i) * p + j] /= t;
    for (int k = j + 1; k < p; ++k) {
      double c = stridedDot(q + j, q + k, n, p);
      r[zpkidx(k, j)] = c * diag(k);
      for (int i = 0; i < n; ++i) {
        long long row = static_cast<long long>(i) * p;
        q[row + k] -= c * q[row + j];
      }
    }
  }
  return dependent;
}

}  // namespace vsf
