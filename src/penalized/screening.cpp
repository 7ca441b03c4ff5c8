// Screening of the path's candidates: sure independence screening (SIS) once before the path,
// and the safe rules, whose bounds say down to which lambda an effect surely stays out: the
// effects that may enter above a threshold are screened in, and the set is rebuilt when the
// path comes down to the threshold.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numeric>
#include <vector>

#include "base/host.h"
#include "numerics/numerics.h"
#include "penalized/path_internal.h"

namespace vsf {

namespace {

constexpr double kDivisorFloor = 1e-12;

// The column's sum of squares on the stored rows: from the crossproducts' diagonal (less the
// elastic net's ridge there) or from the data pass's sums.
double columnSquares(const SelectionState* s, int32_t e) {
  if (!crossproductsMode(s->sweep)) return s->sweep.colSquares[s->sweep.firstParam[e]];
  const int64_t c = s->sweep.firstColumn[e];
  return s->sweep.sscp[pk(c, c)] - (e > 0 ? ridgeOf(s) : 0.0);
}

double reach(const PathScreening& sc, int32_t i) {
  return std::sqrt(sc.squares[i] * sc.responseSquares);
}

// The basic two-sided bound at lambda L with the current gradient g; DPP$ without the factor
// 2. A bound never rises.
void basicBound(PathScreening& sc, int32_t i, double L, double g, double factor) {
  const double a = sc.reference[i], d = reach(sc, i);
  const double t1 = a + d >= kDivisorFloor ? factor * (1 - g / L) / (a + d) : DBL_MAX;
  const double t2 = d - a >= kDivisorFloor ? factor * (g / L + 1) / (d - a) : DBL_MAX;
  sc.bound[i] = std::min(sc.bound[i], 1 / (1 / L + std::min(t1, t2)));
}

// The ZANVI bound, refined by the fitted sums R = |yhat|^2 and T = y'yhat of the rebuild.
void zanviBound(PathScreening& sc, int32_t i, double L, double gradient) {
  const double R = sc.fittedSs, T = sc.responseFitted, Y = sc.responseSquares;
  const double si = sc.squares[i];
  double a = sc.reference[i], g = gradient;
  double d = a - g;
  const double v = si - d * d / R;
  double m = a - T * d / R;
  const double h = std::sqrt(std::max(0.0, (Y - T * T / R) * v));
  if (d < 0) d = -d, a = -a, m = -m, g = -g;
  const double t1 = h + m >= kDivisorFloor ? 2 * (1 - g / L) / (h + m) : DBL_MAX;
  double t2 = h - m >= kDivisorFloor ? 2 * (g / L + 1) / (h - m) : DBL_MAX;
  const double D = d * d * Y - si * T * T;
  if (D > 0) {
    const double t3 = ((v * T + h * d) * R / D) / L;
    if (t3 < t2 && t3 < t1) {
      const double u = (d + 2 * g) / L + 2, z = Y * si - a * a, p = T * si / L - a * u;
      t2 = (std::sqrt(std::max(0.0, p * p - (R * si / (L * L) - u * u) * z)) - p) / z;
    }
  }
  sc.bound[i] = 1 / (1 / L + std::min(t1, t2));
}

// Screens in, round by round, the free effects whose bound lies above a threshold falling from
// the reference lambda, until 10 are in; with fewer than 10 free effects, or after 5 rounds
// short of 10, every one. Then the lists.
void grow(SelectionState* s) {
  PathScreening& sc = s->path.screen;
  const int32_t E = s->layout.effectCount;
  const int32_t free =
      static_cast<int32_t>(std::count(sc.states, sc.states + E, EffectState::kFree));
  int32_t added = 0;
  if (free >= 10) {
    sc.thresholdLambda = sc.referenceLambda;
    for (int round = 0; round < 5 && added < 10; ++round) {
      sc.thresholdLambda *= sc.thresholdRatio;
      for (int32_t e = 0; e < E; ++e)
        if (sc.states[e] == EffectState::kFree && sc.bound[e] > sc.thresholdLambda) {
          sc.states[e] = EffectState::kScreenedIn;
          added += 1;
        }
    }
  }
  if (added < 10) {
    sc.thresholdLambda = 0;
    for (int32_t e = 0; e < E; ++e)
      if (sc.states[e] == EffectState::kFree) sc.states[e] = EffectState::kScreenedIn;
  }
  sc.inCount = sc.outCount = 0;
  for (int32_t e = 0; e < E; ++e) {
    if (sc.states[e] == EffectState::kScreenedIn) sc.inList[sc.inCount++] = e;
    if (sc.states[e] == EffectState::kFree) sc.outList[sc.outCount++] = e;
  }
}

template <typename Fn>
void eachFree(const SelectionState* s, Fn&& fn) {
  for (int32_t e = firstPathEffect(s); e < s->layout.effectCount; ++e)
    if (s->sweep.states[e] == EffectState::kFree) fn(e);
}

// The bounds of the run's rule at the step's lambda, from the fitted sums of a residual pass.
void rebuildBounds(SelectionState* s) {
  PathScreening& sc = s->path.screen;
  const double L = s->path.stepLambda;
  const double* g = s->path.gradient;
  if (sc.code == kScreenZanvi && sc.fittedSs > 0 && sc.responseFitted > 0) {
    eachFree(s, [&](int32_t e) { zanviBound(sc, e, L, g[e]); });
    grow(s);
    return;
  }
  if (sc.code == kScreenDpp) {
    eachFree(s, [&](int32_t e) { basicBound(sc, e, L, g[e], 1); });
    grow(s);
    return;
  }
  updateScreenSet(s);
}

// The direction products of the effects just screened in, then the step over the candidates.
int stepAgain(SelectionState* s, PathStep* t, int32_t* marker) {
  PathScreening& sc = s->path.screen;
  PathState& p = s->path;
  sc.newCount = 0;
  for (int32_t e = firstPathEffect(s); e < s->layout.effectCount; ++e) {
    if (sc.states[e] == EffectState::kScreenedIn && p.products[e] == 0)
      sc.newList[sc.newCount++] = e;
    if (sc.states[e] == EffectState::kFree) p.products[e] = 0;
  }
  if (sc.newCount > 0)
    if (int rc = runDataPass(s, kernDirectionCorr, 0); rc != 0) return rc;
  for (int32_t a = firstActivePosition(s->layout); a < s->sweep.effectsInModel; ++a)
    p.products[s->sweep.entryOrder[a]] = p.sign[s->sweep.entryOrder[a]] * t->q;
  const double gammaIn = entryStepLength(s, *t);
  *marker = gammaIn <= t->gammaDrop ? -1 : t->drop;
  t->gamma = std::min(gammaIn, t->gammaDrop);
  t->lambda = t->C - t->q * t->gamma;
  return 0;
}

}  // namespace

void rankSis(SelectionState* s) {
  PathScreening& sc = s->path.screen;
  const PathOptions* o = s->pathOptions;
  const double Y = s->sweep.sscp[0];
  std::vector<int32_t> effects;
  std::vector<double> r;
  eachFree(s, [&](int32_t e) {
    const double d = std::sqrt(columnSquares(s, e) * Y), g = std::fabs(s->path.gradient[e]);
    effects.push_back(e);
    r.push_back(d > g ? g / d : g);
  });
  std::vector<size_t> order(effects.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return r[a] > r[b]; });
  const int32_t n = static_cast<int32_t>(effects.size());
  int32_t k = o->keepRatio >= 0 ? static_cast<int32_t>(o->keepRatio * n) : std::min(n, o->keepNum);
  k = std::min(std::max(k, 1), n);
  for (int32_t i = 0; i < n; ++i) {
    sc.sisEffect[i] = effects[order[static_cast<size_t>(i)]];
    sc.sisCorrelation[i] = r[order[static_cast<size_t>(i)]];
    if (i >= k) s->sweep.states[sc.sisEffect[i]] = EffectState::kHeldOut;
  }
  sc.ranked = n;
  sc.kept = k;
  sc.keepFraction = o->keepRatio;
  s->path.largestModel = s->sweep.effectsInModel + k;
}

void startSafeScreening(SelectionState* s) {
  PathScreening& sc = s->path.screen;
  const int32_t E = s->layout.effectCount;
  const double L = s->path.lambdaMax;
  sc.ratioSum = 0;
  copyDoubles(sc.reference, s->path.gradient, E);
  std::copy(s->sweep.states, s->sweep.states + E, sc.states);
  sc.responseSquares = s->sweep.sscp[0];
  for (int32_t e = 0; e < E; ++e) sc.squares[e] = columnSquares(s, e) + (e > 0 ? ridgeOf(s) : 0);
  sc.thresholdRatio = 0.9;
  sc.referenceLambda = L;
  for (int32_t e = firstPathEffect(s); e < E; ++e) sc.bound[e] = L;
  eachFree(s, [&](int32_t e) { basicBound(sc, e, L, sc.reference[e], 2); });
  grow(s);
}

void updateScreenSet(SelectionState* s) {
  PathScreening& sc = s->path.screen;
  eachFree(s, [&](int32_t e) { basicBound(sc, e, s->path.stepLambda, s->path.gradient[e], 2); });
  grow(s);
}

int rescreen(SelectionState* s, PathStep* t, int32_t* marker) {
  PathScreening& sc = s->path.screen;
  sc.referenceLambda = t->lambda;
  if (t->lambda > sc.thresholdLambda && sc.inCount >= 6) return 0;
  if (int rc = runDataPass(s, kernResidualCorr, 0); rc != 0) return rc;
  // The elastic net's fitted vector runs on into the ridge's rows.
  sc.fittedSs = s->path.fittedSquares + ridgeOf(s) * s->path.pathSecond * s->path.pathSecond;
  sc.responseFitted = s->path.fittedCross;
  std::copy(s->sweep.states, s->sweep.states + s->layout.effectCount, sc.states);
  const int32_t steps = s->steps.stepCount - (s->pathOptions->noInt ? 0 : 1);
  if (steps > 0 && sc.ratioSum > 0)
    sc.thresholdRatio = zpow(sc.ratioSum / steps, s->pathOptions->screenSteps);
  rebuildBounds(s);
  if (int rc = stepAgain(s, t, marker); rc != 0) return rc;
  if (s->pathOptions->showScreen)
    hostLogPrintf(">>>>>>>>>> {}, \t {}, \t {},  \t {:.5f}, \t {:.5f}, \t{:.5f}",
                  s->steps.stepCount, sc.inCount, sc.newCount, sc.thresholdRatio,
                  sc.thresholdLambda, s->path.stepLambda);
  return 0;
}

}  // namespace vsf
