// The statistics the distribution plots draw: a sample's box and its histogram, each as the
// reference tools take them (numpy's percentile and histogram, the usual 1.5 IQR whiskers),
// so that a picture can be checked against them.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "host/output/plot_internal.h"

namespace vsf::host::output {

namespace {

// numpy's percentile (method "linear") of sorted values: between the order statistics at
// p (n - 1), the interpolation taken from the nearer one as numpy does.
double percentile(const std::vector<double>& v, double p) {
  const double at = p * static_cast<double>(v.size() - 1);
  const size_t lo = static_cast<size_t>(std::floor(at));
  const size_t hi = std::min(lo + 1, v.size() - 1);
  const double t = at - static_cast<double>(lo), d = v[hi] - v[lo];
  return t >= 0.5 ? v[hi] - d * (1 - t) : v[lo] + d * t;
}

}  // namespace

BoxStats boxStats(std::vector<double> values) {
  BoxStats b;
  if (values.empty()) return b;
  std::sort(values.begin(), values.end());
  b.n = values.size();
  b.q1 = percentile(values, 0.25);
  b.median = percentile(values, 0.5);
  b.q3 = percentile(values, 0.75);
  b.mean = std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(b.n);
  const double reach = 1.5 * (b.q3 - b.q1);
  b.low = b.q1, b.high = b.q3;
  for (double v : values)
    if (v >= b.q1 - reach) {
      b.low = std::min(v, b.q1);
      break;
    }
  for (auto it = values.rbegin(); it != values.rend(); ++it)
    if (*it <= b.q3 + reach) {
      b.high = std::max(*it, b.q3);
      break;
    }
  return b;
}

std::vector<double> boxOutliers(const std::vector<double>& values, const BoxStats& b) {
  std::vector<double> out;
  for (double v : values)
    if (v < b.low || v > b.high) out.push_back(v);
  std::sort(out.begin(), out.end());
  return out;
}

Histogram histogramOf(const std::vector<double>& values) {
  Histogram h;
  if (values.empty()) return h;
  const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
  double first = *lo, last = *hi;
  const double n = static_cast<double>(values.size());
  // Sturges: a bin as wide as the range over log2(n) + 1; one bin for a single value.
  const double width = (last - first) / (std::log2(n) + 1.0);
  const size_t bins =
      width > 0 ? static_cast<size_t>(std::ceil((last - first) / width)) : size_t{1};
  if (first == last) first -= 0.5, last += 0.5;
  const double step = (last - first) / static_cast<double>(bins);
  for (size_t k = 0; k < bins; ++k) h.edges.push_back(first + static_cast<double>(k) * step);
  h.edges.push_back(last);
  h.counts.assign(bins, 0.0);
  for (double v : values) {
    // The bin whose edges hold v, the last edge in the last bin.
    size_t k =
        static_cast<size_t>(std::upper_bound(h.edges.begin(), h.edges.end(), v) - h.edges.begin());
    k = std::clamp<size_t>(k, 1, bins) - 1;
    h.counts[k] += 1;
  }
  return h;
}

}  // namespace vsf::host::output
