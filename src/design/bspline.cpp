// The B-spline basis at one value: de Boor's recurrence over the knots around it.
#include <algorithm>

#include "design/design.h"

namespace vsf {

// zbspline: see design.h. The knot interval [t(i-1), t(i)) holds x, i = *index; the
// recurrence only reaches t(i-k) .. t(i+k-1), so the first and last columns need no knots
// beyond the sequence. Past the boundary knots the recurrence of the end interval goes on: its
// polynomial pieces continue, so that a prediction does not jump at the range's ends.
int zbspline(double x, int k, int n, int* index, const double* t, double* out, double* right,
             double* left) {
  const int cap = n - std::max(k, 1);
  int i = *index;
  while (i < cap && x >= t[i]) ++i;
  *index = i;
  if (cap < k || i < k) {  // too few knots for the degree
    std::fill(out, out + k + 1, 0.0);
    out[k] = 1.0;
    return 1;
  }
  const int position = x > t[i] ? 1 : k > 0 && x < t[k - 1] ? -1 : 0;
  // At or past a boundary knot that repeats interior ones, the end interval is the nearest one
  // that is not empty.
  if (position < 0)
    while (i < cap && t[i] <= t[k - 1]) ++i;
  if (i == cap && x >= t[cap])
    while (i > k && t[i - 1] >= t[cap]) --i;
  *index = i;
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
  return position;
}

}  // namespace vsf
