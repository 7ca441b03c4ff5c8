// The BLAS's crossproduct of a panel: the upper triangle of P P', and the room for the BLAS's
// buffers, which under a limit bounds how many calls run at once and, where there is none,
// leaves the panel to the caller.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "numerics/numerics.h"

namespace vsf {
namespace {

constexpr int kN = 7, kK = 40;

std::vector<double> panel() {
  std::vector<double> p(kN * kK);
  for (size_t i = 0; i < p.size(); ++i) p[i] = std::sin(0.37 * static_cast<double>(i + 1));
  return p;
}

// True when the call was made and gave the upper triangle of P P'.
bool crossproductRight(const std::vector<double>& p) {
  std::vector<double> square(kN * kN, -1.0);
  if (!blasSyrk(kN, kK, p.data(), square.data())) return false;
  for (int j = 0; j < kN; ++j)
    for (int i = 0; i <= j; ++i) {
      double want = 0;
      for (int r = 0; r < kK; ++r) want += p[r * kN + i] * p[r * kN + j];
      EXPECT_NEAR(square[j * kN + i], want, 1e-12 * std::fabs(want) + 1e-14) << i << "," << j;
    }
  return true;
}

// `threads` threads making `calls` calls each at once: how many calls were made.
int callsMadeAtOnce(int threads, int calls) {
  const std::vector<double> p = panel();
  std::atomic<int> made{0};
  std::vector<std::thread> team;
  for (int t = 0; t < threads; ++t)
    team.emplace_back([&] {
      for (int c = 0; c < calls; ++c) made += crossproductRight(p);
    });
  for (std::thread& t : team) t.join();
  return made;
}

TEST(Blas, CallsWaitForABufferAndWithoutAnyAreNotMade) {
  // No room for a buffer at all: the caller adds the rows itself, without waiting.
  limitBlasBuffers(0);
  reserveBlasBuffers(4);
  EXPECT_EQ(callsMadeAtOnce(4, 5), 0);
  EXPECT_EQ(blasBuffersHeld(), 0);
  // Room for two, reserved for eight callers: eight threads at once share the two, every call
  // made.
  limitBlasBuffers(2);
  reserveBlasBuffers(8);
  EXPECT_EQ(blasBuffersHeld(), 2);
  EXPECT_EQ(callsMadeAtOnce(8, 50), 400);
  EXPECT_EQ(blasBuffersHeld(), 2);
  // The room back: no call waits for another, and a buffer once mapped serves again.
  limitBlasBuffers(-1);
  EXPECT_EQ(callsMadeAtOnce(8, 50), 400);
  const int held = blasBuffersHeld();
  EXPECT_LE(held, 8);
  EXPECT_EQ(callsMadeAtOnce(1, 10), 10);
  EXPECT_EQ(blasBuffersHeld(), held);
}

}  // namespace
}  // namespace vsf
