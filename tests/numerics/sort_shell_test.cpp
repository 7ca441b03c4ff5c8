#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <random>
#include <vector>

#include "numerics/numerics.h"

namespace vsf {
namespace {

// Inputs that break weak gap sequences: sorted, reversed, equal, organ pipe, sawtooth,
// few distinct values, and random ones.
std::vector<std::vector<double>> adversarialInputs() {
  std::mt19937 rng(2024);
  std::vector<std::vector<double>> out = {{}, {4.0}, {2.0, 1.0}, {1.0, 1.0}};
  for (int n : {10, 17, 64, 65, 1000, 4097}) {
    std::vector<double> v(n);
    std::iota(v.begin(), v.end(), 0.0);
    out.push_back(v);
    out.emplace_back(v.rbegin(), v.rend());
    out.emplace_back(n, 3.5);
    std::vector<double> pipe(n), saw(n), few(n), rnd(n);
    for (int i = 0; i < n; ++i) {
      pipe[i] = std::min(i, n - 1 - i);
      saw[i] = i % 7;
      few[i] = static_cast<double>(rng() % 3) - 1.0;
      rnd[i] = std::ldexp(static_cast<double>(rng()), -16) - 32768.0;
    }
    out.push_back(pipe);
    out.push_back(saw);
    out.push_back(few);
    out.push_back(rnd);
  }
  return out;
}

TEST(ShellSort, DoublesMatchStdSortBothWays) {
  for (const auto& input : adversarialInputs()) {
    for (int8_t ascending : {1, 0, 2}) {
      std::vector<double> mine = input, ref = input;
      shellSortDoubles(mine.data(), static_cast<uint32_t>(mine.size()), nullptr, ascending);
      if (ascending == 1)
        std::sort(ref.begin(), ref.end());
      else
        std::sort(ref.begin(), ref.end(), std::greater<double>());
      ASSERT_EQ(mine, ref) << "n=" << input.size() << " ascending=" << int(ascending);
    }
  }
}

TEST(ShellSort, IndexSortLeavesTheValuesAlone) {
  for (const auto& input : adversarialInputs()) {
    for (int8_t ascending : {1, 0}) {
      std::vector<double> values = input;
      std::vector<uint32_t> index(values.size());
      std::iota(index.begin(), index.end(), 0u);
      shellSortDoubles(values.data(), static_cast<uint32_t>(values.size()), index.data(),
                       ascending);
      ASSERT_EQ(values, input);
      std::vector<uint32_t> seen = index;
      std::sort(seen.begin(), seen.end());
      for (size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], i);
      for (size_t i = 1; i < index.size(); ++i) {
        double a = values[index[i - 1]], b = values[index[i]];
        ASSERT_TRUE(ascending == 1 ? a <= b : a >= b) << "n=" << input.size() << " i=" << i;
      }
    }
  }
}

TEST(ShellSort, IntsMatchStdSort) {
  std::mt19937 rng(7);
  for (int n : {0, 1, 2, 3, 10, 100, 1023, 1024, 1025}) {
    std::vector<int32_t> v(n);
    for (auto& x : v) x = static_cast<int32_t>(rng());  // full range, negatives included
    for (int8_t ascending : {1, 0}) {
      std::vector<int32_t> mine = v, ref = v;
      shellSortInts(mine.data(), static_cast<uint32_t>(n), nullptr, ascending);
      if (ascending == 1)
        std::sort(ref.begin(), ref.end());
      else
        std::sort(ref.begin(), ref.end(), std::greater<int32_t>());
      ASSERT_EQ(mine, ref) << n;
      std::vector<uint32_t> index(n);
      std::iota(index.begin(), index.end(), 0u);
      std::vector<int32_t> values = v;
      shellSortInts(values.data(), static_cast<uint32_t>(n), index.data(), ascending);
      ASSERT_EQ(values, v);
      for (int i = 0; i < n; ++i) ASSERT_EQ(values[index[i]], ref[i]);
    }
  }
}

// Equal entries are never exchanged: with an index array, two equal values of a pair that
// is already in order keep their index order.
TEST(ShellSort, EqualEntriesAreNotExchanged) {
  std::vector<double> v = {1.0, 1.0};
  std::vector<uint32_t> index = {0, 1};
  shellSortDoubles(v.data(), 2, index.data(), 1);
  EXPECT_EQ(index, (std::vector<uint32_t>{0, 1}));
  shellSortDoubles(v.data(), 2, index.data(), 0);
  EXPECT_EQ(index, (std::vector<uint32_t>{0, 1}));
}

// A NaN never compares greater: the sort ends and keeps every value.
TEST(ShellSort, NanDoesNotDerailTheSort) {
  std::vector<double> v = {3.0, std::nan(""), 1.0, 2.0, std::nan(""), 0.0};
  shellSortDoubles(v.data(), static_cast<uint32_t>(v.size()), nullptr, 1);
  EXPECT_EQ(std::count_if(v.begin(), v.end(), [](double x) { return std::isnan(x); }), 2);
  std::vector<double> finite;
  for (double x : v)
    if (!std::isnan(x)) finite.push_back(x);
  std::sort(finite.begin(), finite.end());
  EXPECT_EQ(finite, (std::vector<double>{0.0, 1.0, 2.0, 3.0}));
}

}  // namespace
}  // namespace vsf
