// Random variates: parameter checks, the algorithms' edge paths on scripted uniforms, fills and
// the sample moments of each distribution on a fixed MT19937 stream.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "base/host.h"
#include "base/strings.h"
#include "common/test_host.h"
#include "numerics/numerics.h"

namespace vsf {
namespace {

// A uniform source that replays a script, then 0.25 for ever.
std::vector<double> gScript;
size_t gAt = 0;
double scripted(RngState*) { return gAt < gScript.size() ? gScript[gAt++] : 0.25; }

std::unique_ptr<RngState> scriptedRng(std::vector<double> u) {
  auto r = std::make_unique<RngState>();
  r->uniform = scripted;
  gScript = std::move(u);
  gAt = 0;
  return r;
}

std::unique_ptr<RngState> mtRng(int seed) {
  test::ensureHost();
  kernel().nameValueSetText("OSENV.ZAN_RNG_METHOD", "MT2002");
  auto r = std::make_unique<RngState>();
  r->seed = seed;
  EXPECT_EQ(zrnginit(r.get()), 0);
  return r;
}

bool isDot(double v) { return bitsOf(v) == bitsOf(missingValue('.')); }

TEST(Variates, InvalidParametersGiveMissing) {
  auto r = mtRng(11);
  RngState* g = r.get();
  const double nan = std::nan("");
  std::function<double()> cases[] = {
      [&] { return zrngbern(g, 1.5); },        [&] { return zrngbern(g, nan); },
      [&] { return zrnggeom(g, 0); },          [&] { return zrnggeom(g, -0.2); },
      [&] { return zrngbeta(g, 0, 1); },       [&] { return zrngbeta(g, 1, -2); },
      [&] { return zrngbeta(g, 0, 0.5); },     [&] { return zrngbeta(g, 3, 0); },
      [&] { return zrnggamma(g, -1); },        [&] { return zrnggamma(g, nan); },
      [&] { return zrngbinom(g, 10, 1.5); },   [&] { return zrngbinom(g, -1, 0.5); },
      [&] { return zrngbinom(g, 500, -0.1); }, [&] { return zrngpois(g, -1); },
      [&] { return zrngpois(g, -100); },       [&] { return zrngchisq(g, 0); },
      [&] { return zrngt(g, 0.05); },          [&] { return zrngf(g, 0, 3); },
      [&] { return zrngtri(g, 1.5); },         [&] { return zrngweib(g, 0, 1); },
      [&] { return zrnghyper(g, 0, 0, 0); },   [&] { return zrnghyper(g, 5, 6, 1); },
      [&] { return zrngnegbin(g, 0, 2); },     [&] { return zrngnegbin(g, 0.5, 0); },
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_TRUE(isDot(cases[i]())) << i;
  // The ends of the valid ranges still draw.
  EXPECT_EQ(zrngbinom(g, 290, 0.0), 0);
  EXPECT_EQ(zrngbinom(g, 290, 1.0), 290);
  EXPECT_EQ(zrngpois(g, 0), 0);
  EXPECT_EQ(zrnggeom(g, 1), 1);
  EXPECT_EQ(zrngnegbin(g, 1, 2), 0);
}

TEST(Variates, ScriptedEdgePaths) {
  auto r = scriptedRng({0.5, 0.5});
  EXPECT_TRUE(isDot(zrngcauchy(r.get())));  // y = 0: no ratio
  r = scriptedRng({0.3});
  EXPECT_DOUBLE_EQ(zrnggamma(r.get(), 1), -std::log(0.3));
  EXPECT_EQ(zrnggamma(r.get(), 0), 0);
  r = scriptedRng({0.7});
  EXPECT_EQ(zrngtable(r.get(), 2, std::vector<double>{0.2, 0.3}.data()), 3);  // sum below U
  r = scriptedRng({0.1, 0.2});
  EXPECT_EQ(zrngbern(r.get(), 0), 0);
  EXPECT_EQ(zrngbern(r.get(), 1), 1);
  r = scriptedRng({0.6, 0.6, 0.6, 0.01});
  EXPECT_EQ(zrnggeom(r.get(), 0.5), 4);
  // Two normals use one polar pair; a lognormal after one normal takes the spare.
  r = scriptedRng({0.75, 0.375});  // x = 0.5, y = -0.25
  double s = 0.5 * 0.5 + 0.25 * 0.25, f = std::sqrt(-2 * std::log(s) / s);
  EXPECT_DOUBLE_EQ(zrngnorm(r.get()), 0.5 * f);
  EXPECT_NEAR(zrnglognorm(r.get()), std::exp(-0.25 * f), 1e-15);
  EXPECT_EQ(gAt, 2u);
  // Poisson: method 0 below 8, mode search plus a remainder at 84.5, normal at 85.
  r = scriptedRng({0.5});
  double p0 = std::exp(-3.5), cdf = p0;
  int k = 0;
  while (cdf < 0.5) cdf += p0 *= 3.5 / ++k;
  EXPECT_EQ(zrngpois(r.get(), 3.5), k);
  r = scriptedRng({0.999, 0.5});
  EXPECT_EQ(zrngpois(r.get(), 85),
            std::floor(85.5 + std::cos(M_PI) * std::sqrt(-2 * 85 * std::log(0.999))));
  r = scriptedRng({0.5, 0.1});
  double v = zrngpois(r.get(), 84.5);
  EXPECT_GE(v, 80);
  EXPECT_LE(v, 86);
  EXPECT_EQ(gAt, 2u);  // one uniform for the mode search, one for the remainder
}

TEST(Variates, FillsWriteCountValues) {
  auto r = mtRng(99);
  std::vector<double> out(6, -1);
  EXPECT_EQ(zrngnormf(r.get()), 1);  // no array
  r->fillArray = out.data();
  r->fillCount = 0;
  EXPECT_EQ(zrngnormf(r.get()), 1);
  r->fillCount = 6;
  EXPECT_EQ(zrngbernf(r.get(), 2.0), 0);
  for (double v : out) EXPECT_TRUE(isDot(v));
  EXPECT_EQ(zrngbinomf(r.get(), 10, 0.3), 0);
  auto twin = mtRng(99);
  for (double v : out) EXPECT_EQ(v, zrngbinom(twin.get(), 10, 0.3));
  // The tables hold the routines by slot.
  using Draw1 = double (*)(RngState*, double);
  auto pois = reinterpret_cast<Draw1>(r->draw[rngslot::kPoisson]);
  EXPECT_EQ(pois, &zrngpois);
  using Fill0 = int (*)(RngState*);
  EXPECT_EQ(reinterpret_cast<Fill0>(r->fill[rngslot::kUniform]), &zrnguniff);
}

TEST(Variates, SampleMomentsOnAFixedStream) {
  auto r = mtRng(20240601);
  RngState* g = r.get();
  struct Case {
    const char* name;
    std::function<double()> draw;
    double mean, var;
  } cases[] = {
      {"normal", [&] { return zrngnorm(g); }, 0, 1},
      {"exponential", [&] { return zrngexp(g); }, 1, 1},
      {"gamma 0.4", [&] { return zrnggamma(g, 0.4); }, 0.4, 0.4},
      {"gamma 3.5", [&] { return zrnggamma(g, 3.5); }, 3.5, 3.5},
      {"beta 2,3", [&] { return zrngbeta(g, 2, 3); }, 0.4, 0.04},
      {"beta 0.5,4", [&] { return zrngbeta(g, 0.5, 4); }, 0.5 / 4.5, 2.0 / (4.5 * 4.5 * 5.5)},
      {"beta 0.3,0.6", [&] { return zrngbeta(g, 0.3, 0.6); }, 1.0 / 3, 0.18 / (0.81 * 1.9)},
      {"beta 1,3", [&] { return zrngbeta(g, 1, 3); }, 0.25, 3.0 / 80},
      {"binomial 50", [&] { return zrngbinom(g, 50, 0.3); }, 15, 10.5},
      {"binomial 1000", [&] { return zrngbinom(g, 1000, 0.5); }, 500, 250},
      {"binomial 40 0.8", [&] { return zrngbinom(g, 40, 0.8); }, 32, 6.4},
      {"poisson 3.5", [&] { return zrngpois(g, 3.5); }, 3.5, 3.5},
      {"poisson 20", [&] { return zrngpois(g, 20); }, 20, 20},
      {"poisson 40.5", [&] { return zrngpois(g, 40.5); }, 40.5, 40.5},
      {"geometric 0.2", [&] { return zrnggeom(g, 0.2); }, 5, 20},
      {"geometric 0.0005", [&] { return zrnggeom(g, 0.0005); }, 2000, 0.9995 / 2.5e-7},
      {"chi-square 4", [&] { return zrngchisq(g, 4); }, 4, 8},
      {"weibull 2,1", [&] { return zrngweib(g, 2, 1); }, 0.886226925452758, 0.214601836602552},
      {"triangle 0.3", [&] { return zrngtri(g, 0.3); }, 1.3 / 3, (1 + 0.09 - 0.3) / 18},
      {"hypergeometric", [&] { return zrnghyper(g, 50, 20, 10); }, 4, 10 * 0.4 * 0.6 * 40 / 49},
      {"negative binomial", [&] { return zrngnegbin(g, 0.4, 3); }, 4.5, 11.25},
      {"F 5,20", [&] { return zrngf(g, 5, 20); }, 20.0 / 18, 2 * 400 * 23 / (5 * 324 * 16.0)},
  };
  const int n = 40000;
  for (const Case& c : cases) {
    double s = 0, ss = 0;
    for (int i = 0; i < n; ++i) {
      double v = c.draw();
      s += v, ss += v * v;
    }
    double mean = s / n, var = ss / n - mean * mean;
    EXPECT_LE(std::fabs(mean - c.mean), 5 * std::sqrt(c.var / n)) << c.name;
    EXPECT_LE(std::fabs(var / c.var - 1), 0.08) << c.name;
  }
}

}  // namespace
}  // namespace vsf
