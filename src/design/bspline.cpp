// The B-spline basis at one value: de Boor's recurrence over the knots around it.
#include <algorithm>

#include "design/design.h"

namespace vsf {

// zbspline: see design.h. The knot interval [t(i-1), t(i)) holds x, i = *index; the
// recurrence only reaches t(i-k) .. t(i+k-1), so the first and last columns need no knots
// beyond the sequence.
int zbspline(double x, int k, int n, int* index, const double* t, double* out, double* right,
             double* left) {
  const int cap = n - std::max(k, 1);
  int i = *index;
  while (i < cap && x >= t[i]) ++i;
  *index = i;
  if (i < 0 || i >= n || x > t[i]) {
    std::fill(out, out + k + 1, 0.0);
    out[k] = 1.0;
    return 1;
  }
  if (k > 0 && x < t[k - 1]) {
    std::fill(out, out + k + 1, 0.0);
    out[0] = 1.0;
    return -1;
  }
  out[0] = 1.0;
  for (int j = 1; j <= k; ++j) {
    right[j - 1] = t[i + j - 1] - x;
    left[j - 1] = x - t[i - j];
    double saved = 0.0;
    for (int r = 0; r < j; ++r) {
      const double d = right[r] + left[j - 1 - r];
      // A zero-length interval (repeated knots) contributes nothing.
      const double temp = d != 0.0 ? out[r] / d : 0.0;
      out[r] = saved + right[r] * temp;
      saved = left[j - 1 - r] * temp;
    }
    out[j] = saved;
  }
  return 0;
}

}  // namespace vsf
