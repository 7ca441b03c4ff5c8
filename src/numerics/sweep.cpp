// Kernels on packed symmetric matrices (lower triangle by rows): SWEEP with a pivot tolerance,
// quadratic forms, one row of a Cholesky factor, and the symmetric rank-one update.
#include <cmath>

#include "base/strings.h"
#include "numerics/faults_internal.h"
#include "numerics/numerics.h"
#include "numerics/vector_internal.h"

namespace vsf {

using namespace num;

namespace {

inline long long rowStart(int i) { return static_cast<long long>(i) * (i + 1) / 2; }
inline bool swept(const char* flags, int i) { return flags[i] == '1'; }

}  // namespace

void zsweep(double* a, int k, int n, char* flags, double* work, double tol) {
  if (k < 0 || k >= n) return;
  double* pivotRow = a + rowStart(k);
  double d = pivotRow[k];
  if (nonFinite(d)) return;  // a missing or infinite pivot is never divided by
  if (tol >= 0 ? d <= tol : std::fabs(d) <= -tol) return;
  bool s = swept(flags, k);

  // work = the old pivot row of the full matrix, read through the sign rule.
  for (int j = 0; j < k; ++j) work[j] = pivotRow[j];
  work[k] = 0;
  for (int j = k + 1; j < n; ++j) {
    double v = a[rowStart(j) + k];
    work[j] = swept(flags, j) == s ? v : -v;
  }
  double inv = 1 / d;
  for (int i = 0; i < n; ++i) {
    if (i == k) continue;
    double* row = a + rowStart(i);
    // M(i,k) / d, with M(i,k) = +-M(k,i) by the flags of i and k
    double c = (swept(flags, i) == s ? work[i] : -work[i]) * inv;
    if (c == 0) continue;
    int last = i < k ? i : k - 1;
    for (int j = 0; j <= last; ++j) row[j] -= c * work[j];
    for (int j = k + 1; j <= i; ++j) row[j] -= c * work[j];
  }
  for (int j = 0; j < k; ++j) pivotRow[j] = -pivotRow[j] * inv;
  for (int i = k + 1; i < n; ++i) a[rowStart(i) + k] *= inv;
  pivotRow[k] = inv;
  flags[k] = s ? '0' : '1';
}

void zquadform(const double* a, int n, const double* x, int m, double* b, double* work,
               int accumulate) {
  if (m < 1) return;
  if (m == 1) {
    double q = 0;
    for (int i = 0; i < n; ++i) {
      const double* row = a + rowStart(i);
      double t = 0;
      for (int j = 0; j < i; ++j) t += row[j] * x[j];
      q += x[i] * (row[i] * x[i] + 2 * t);
    }
    b[0] = accumulate ? b[0] + q : q;
    return;
  }
  long long at = 0;
  for (int c = 0; c < m; ++c) {
    const double* xc = x + static_cast<long long>(c) * n;
    // work = A x(c) in one pass over the triangle
    for (int i = 0; i < n; ++i) work[i] = 0;
    for (int i = 0; i < n; ++i) {
      const double* row = a + rowStart(i);
      double t = row[i] * xc[i];
      for (int j = 0; j < i; ++j) {
        t += row[j] * xc[j];
        work[j] += row[j] * xc[i];
      }
      work[i] += t;
    }
    for (int d = 0; d <= c; ++d, ++at) {
      double v = n < 1 ? 0.0 : zddot(work, x + static_cast<long long>(d) * n, n);
      b[at] = accumulate ? b[at] + v : v;
    }
  }
}

void zcholrow(int k, double* l, double tol) {
  if (k < 0) return;
  double* rowK = l + rowStart(k);
  for (int j = 0; j <= k; ++j) {
    const double* rowJ = l + rowStart(j);
    double r = rowK[j] - zddot(rowJ, rowK, j);
    if (j < k)
      rowK[j] = rowJ[j] == 0 ? 0.0 : r / rowJ[j];  // a dependent column contributes nothing
    else
      rowK[k] = r <= tol ? 0.0 : std::sqrt(r);
  }
}

int zdspr(const double* x, int n, double a, double* ap) {
  if (zanymiss(x, n) || (bits(a) >> 48) == 0xFFFF || a == 0) return 0;
  // x and a are checked once for all rows; the rows then go straight to the library update.
  bool finite = !nonFinite(a) && allFinite(x, n);
  NearestRounding nearest;
  for (int i = 0; i < n; ++i) {
    if (x[i] == 0) continue;
    double* row = ap + rowStart(i);
    double c = a * x[i];
    if (finite && i >= 2 && !nonFinite(c))
      axpyInPlaceFinite(row, x, i + 1, c);
    else
      zdaxpy(row, row, x, i + 1, c);
  }
  return 1;
}

}  // namespace vsf
