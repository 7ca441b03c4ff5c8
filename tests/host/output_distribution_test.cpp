// The statistics the distribution plots draw equal numpy's on the same values
// (tests/reference/distribution_fixtures.py): the quartiles, the whiskers and the mean of a box,
// the bins and counts of a histogram; edge cases and the estimates the program exports.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "host/output/plot_internal.h"

namespace vsf::test {
namespace {

using host::output::boxStats;
using host::output::histogramOf;

std::vector<double> numbers(const std::string& text) {
  std::vector<double> out;
  std::istringstream in(text);
  for (std::string v; in >> v;) out.push_back(std::stod(v));
  return out;
}

void near(double got, double want, const std::string& what) {
  EXPECT_NEAR(got, want, 1e-12 * std::max(1.0, std::fabs(want))) << what;
}

TEST(OutputDistribution, BoxesAndHistogramsAsNumpyTakesThem) {
  const Csv ref = readCsv("graphs/distribution_stats.csv");
  ASSERT_GT(ref.rows.size(), 8u);
  for (size_t k = 0; k < ref.rows.size(); ++k) {
    const std::string set = ref.text(k, "set");
    SCOPED_TRACE(set);
    const std::vector<double> values = numbers(ref.text(k, "values"));
    const host::output::BoxStats b = boxStats(values);
    EXPECT_EQ(b.n, values.size());
    near(b.q1, ref.number(k, "q1"), "q1");
    near(b.median, ref.number(k, "median"), "median");
    near(b.q3, ref.number(k, "q3"), "q3");
    near(b.low, ref.number(k, "low"), "low whisker");
    near(b.high, ref.number(k, "high"), "high whisker");
    near(b.mean, ref.number(k, "mean"), "mean");
    const host::output::Histogram h = histogramOf(values);
    const std::vector<double> edges = numbers(ref.text(k, "edges"));
    ASSERT_EQ(h.edges.size(), edges.size());
    for (size_t i = 0; i < edges.size(); ++i) near(h.edges[i], edges[i], "edge");
    EXPECT_EQ(h.counts, numbers(ref.text(k, "counts")));
  }
  EXPECT_TRUE(std::isnan(boxStats({}).median));
  EXPECT_TRUE(histogramOf({}).counts.empty());
}

}  // namespace
}  // namespace vsf::test
