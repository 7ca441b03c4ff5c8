// One step of the LAR, LASSO and elastic-net path: the removal the previous step marked or the
// entry of the candidate most correlated with the residual, the equiangular direction of the
// active set, the step to the next knot, and the coefficients, gradient and statistics there.
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "penalized/path_internal.h"

namespace vsf {

namespace {

// Ties are judged relative to the correlation level: an absolute 1e-8 would hold out real
// effects of a response measured in small units.
constexpr double kRelativeTie = 1e-8;
// A step length at most this part of the whole least-squares step C / q counts as none.
constexpr double kPositiveFloor = 1.110223024625157e-16;
// A step that reaches the least-squares fit ends at lambda 0: what C - q gamma leaves there is
// rounding noise of the step's correlation level C (3.6E-18 and 1.07E-13 were shown as ratios).
constexpr double kLambdaNoise = 1e-10;

void leaveScreenedIn(PathScreening& sc, int32_t e) {
  sc.states[e] = EffectState::kSelected;
  for (int32_t k = 0; k < sc.inCount; ++k)
    if (sc.inList[k] == e) {
      sc.inList[k] = sc.inList[--sc.inCount];
      return;
    }
}

void removeMarked(SelectionState* s, int32_t e) {
  removeEffect(s, e, Removal::kPath);
  PathScreening& sc = s->path.screen;
  if (!safeScreening(sc.code)) return;
  sc.states[e] = EffectState::kScreenedIn;
  sc.inList[sc.inCount++] = e;
}

// The candidate with the largest |g| (-1 none, *C its |g|): a later one must beat the best so
// far by the relative tolerance. The others tied with it are held out for the rest of the run.
int32_t bestCandidate(SelectionState* s, double* C) {
  const double* g = s->path.gradient;
  int32_t best = -1;
  double c = 0;
  for (int32_t j = firstPathEffect(s); j < s->layout.effectCount; ++j)
    if (pathCandidate(s, j) && std::fabs(g[j]) > c * (1 + s->fit.tol)) {
      best = j;
      c = std::fabs(g[j]);
    }
  *C = c;
  if (best < 0) return best;
  for (int32_t j = firstPathEffect(s); j < s->layout.effectCount; ++j)
    if (j != best && pathCandidate(s, j) && std::fabs(std::fabs(g[j]) - c) < kRelativeTie * c) {
      s->sweep.states[j] = EffectState::kHeldOut;
      if (safeScreening(s->path.screen.code)) s->path.screen.states[j] = EffectState::kHeldOut;
    }
  return best;
}

bool sweptIn(const SelectionState* s, int32_t e) {
  return s->sweep.flags[s->sweep.firstColumn[e]] == '1';
}

// Enters the best candidate. One whose column lies in the span of the model's is held out
// instead, and the next best is tried.
int enterBest(SelectionState* s, int32_t* best, double* C) {
  for (;;) {
    if ((*best = bestCandidate(s, C)) < 0) return 0;
    if (int rc = enterEffect(s, *best, 0, 0); rc != 0) return rc;
    if (sweptIn(s, *best)) break;
    removeEffect(s, *best, Removal::kPath);
    s->sweep.states[*best] = EffectState::kHeldOut;
    if (safeScreening(s->path.screen.code)) s->path.screen.states[*best] = EffectState::kHeldOut;
  }
  if (safeScreening(s->path.screen.code)) leaveScreenedIn(s->path.screen, *best);
  return 0;
}

// Signs and the equiangular direction w = q S_AA s of the active set (S_AA the inverse of its
// crossproducts), and the rate at which the L1 norm of the coefficients grows along it.
void equiangularDirection(SelectionState* s, PathStep* t) {
  const int32_t first = firstActivePosition(s->layout), m = s->sweep.effectsInModel;
  const int32_t* list = s->sweep.entryOrder;
  const int32_t* col = s->sweep.firstColumn;
  PathState& p = s->path;
  for (int32_t a = first; a < m; ++a) p.sign[list[a]] = p.gradient[list[a]] < 0 ? -1 : 1;
  double Q = 0;
  for (int32_t a = first; a < m; ++a) {
    double w = 0;
    for (int32_t b = first; b < m; ++b)
      w += p.sign[list[b]] * s->sweep.swept[pkAny(col[list[a]], col[list[b]])];
    p.direction[list[a]] = w;
    Q += std::fabs(w);
  }
  t->q = 1 / std::sqrt(Q);
  double rate = 0;
  for (int32_t a = first; a < m; ++a) {
    const int32_t e = list[a];
    p.direction[e] *= t->q;
    rate += p.coef[e] * p.direction[e] < 0 ? -std::fabs(p.direction[e]) : std::fabs(p.direction[e]);
  }
  t->l1Rate = std::max(rate, 0.0);
}

// The products of the direction u = X_A w with the columns: from the crossproducts for every
// effect the path may still see, else by a pass for the candidates (the active ones have s q).
int directionProducts(SelectionState* s, const PathStep& t) {
  PathState& p = s->path;
  const int32_t first = firstActivePosition(s->layout), m = s->sweep.effectsInModel;
  const int32_t* list = s->sweep.entryOrder;
  if (crossproductsMode(s->sweep)) {
    const int32_t* col = s->sweep.firstColumn;
    for (int32_t j = firstPathEffect(s); j < s->layout.effectCount; ++j) {
      if (s->sweep.states[j] == EffectState::kHeldOut) continue;
      double a = 0;
      for (int32_t b = first; b < m; ++b)
        a += p.direction[list[b]] * s->sweep.sscp[pkAny(col[j], col[list[b]])];
      p.products[j] = a;
    }
    return 0;
  }
  if (int rc = runDataPass(s, kernDirectionCorrAll, 0); rc != 0) return rc;
  for (int32_t b = first; b < m; ++b) p.products[list[b]] = p.sign[list[b]] * t.q;
  return 0;
}

// The first active coefficient to reach 0 along the direction, for the methods that drop.
void dropStep(const SelectionState* s, PathStep* t) {
  t->drop = -1;
  t->gammaDrop = DBL_MAX;
  if (!dropsEffects(s->runFlags.method)) return;
  const double floor = kPositiveFloor * t->C / t->q;
  for (int32_t a = firstActivePosition(s->layout); a < s->sweep.effectsInModel; ++a) {
    const int32_t e = s->sweep.entryOrder[a];
    const double w = s->path.direction[e];
    const double v = w == 0 ? DBL_MAX : -s->path.coef[e] / w;
    if (v > floor && v < t->gammaDrop) {
      t->gammaDrop = v;
      t->drop = e;
    }
  }
}

// STOP=L1: a step that would pass the target of L1CHOICE= ends on it.
void truncateAtL1(const SelectionState* s, PathStep* t) {
  const PathOptions* o = s->pathOptions;
  const double value = s->fit.penalty;
  if (o->stop != kCritL1 || o->l1Choice == kL1ChoiceNone || value < 0) return;
  if (o->l1Choice == kL1ChoiceNorm) {
    if (t->l1Rate > 0 && value < t->gamma * t->l1Rate + s->path.l1Norm) {
      t->gamma = std::max((value - s->path.l1Norm) / t->l1Rate, 0.0);
      t->lambda = t->C - t->q * t->gamma;
      t->truncated = true;
    }
    return;
  }
  const double target = o->l1Choice == kL1ChoiceRatio ? value * s->path.lambdaMax : value;
  if (t->lambda < target) {
    t->gamma = std::max((t->C - target) / t->q, 0.0);
    t->lambda = t->C - t->q * t->gamma;
    t->truncated = true;
  }
}

// A step that changes the correlation level by a relative 1e-8 or less, or after which lambda
// has not come down: the path cannot go on (stop reasons 16 and 17).
uint8_t forcedStop(const SelectionState* s, const PathStep& t) {
  if (t.q * t.gamma <= kRelativeTie * t.C) return stopreason::kStepTooSmall;
  const int32_t n = s->steps.stepCount;
  if (n > 1 &&
      s->steps.lambdaRatio[n - 1] * s->path.lambdaMax + s->fit.tol * t.C <= s->path.stepLambda)
    return stopreason::kLambdaFlat;
  return 0;
}

void moveCoefficients(SelectionState* s, const PathStep& t, int32_t marker) {
  PathState& p = s->path;
  double l1 = 0, l2 = 0;
  for (int32_t a = firstActivePosition(s->layout); a < s->sweep.effectsInModel; ++a) {
    const int32_t e = s->sweep.entryOrder[a];
    p.coef[e] += t.gamma * p.direction[e];
    if (e == marker) p.coef[e] = 0;  // exactly, so that it leaves at 0
    l1 += std::fabs(p.coef[e]);
    l2 += p.coef[e] * p.coef[e];
  }
  p.l1Norm = l1;
  p.pathSecond = std::sqrt(l2);
}

// The coefficients the step reports on the standardized columns: the active set's least
// squares, else the path's (rescaled for the elastic net).
const double* reportedCoefficients(SelectionState* s) {
  double* buffer = s->path.reported;
  const bool ls = reportsLeastSquares(s->runFlags.method);
  const double scale = reportScale(s);
  for (int32_t a = firstActivePosition(s->layout); a < s->sweep.effectsInModel; ++a) {
    const int32_t e = s->sweep.entryOrder[a];
    buffer[e] = ls ? -s->sweep.swept[pk(s->sweep.firstColumn[e], 0)] : scale * s->path.coef[e];
  }
  return buffer;
}

void partitionAse(SelectionState* s) {
  if (!s->pathOptions->rolesPresent) return;
  const RunTotals& r = s->totals;
  s->fit.validAse = r.validWeight != 0 ? s->path.validSse / r.validWeight : absentValue();
  s->fit.testAse = r.testWeight != 0 ? s->path.testSse / r.testWeight : absentValue();
}

// The gradient at the new coefficients and the SSE of every class of rows. The SSE is the
// reported model's; the gradient that of the coefficients the path moves.
int refreshStatistics(SelectionState* s, const PathStep& t) {
  PathState& p = s->path;
  const int32_t first = firstPathEffect(s), E = s->layout.effectCount;
  p.validSse = p.testSse = p.heldOutSse = p.heldOutDirection = 0;
  const bool recompute = !crossproductsMode(s->sweep) && p.screen.code == kScreenNone;
  if (recompute) {
    if (int rc = runDataPass(s, kernPathSseGrad, 0); rc != 0) return rc;
    const double ridge = ridgeOf(s);
    for (int32_t a = firstActivePosition(s->layout); a < s->sweep.effectsInModel && ridge > 0; ++a)
      p.gradient[s->sweep.entryOrder[a]] -= p.coef[s->sweep.entryOrder[a]] * ridge;
  } else {
    for (int32_t j = first; j < E; ++j)
      if (s->sweep.states[j] != EffectState::kHeldOut) p.gradient[j] -= t.gamma * p.products[j];
  }
  if (!crossproductsMode(s->sweep) && !recompute) {
    if (int rc = runDataPass(s, kernPathSse, 0); rc != 0) return rc;
  } else if (crossproductsMode(s->sweep)) {
    // The training SSE needs no pass; the other classes' do.
    if (s->pathOptions->rolesPresent || s->cv->externalCv)
      if (int rc = heldOutStatistics(s, true); rc != 0) return rc;
    s->fit.trainSse = modelSse(s, reportedCoefficients(s));
  }
  partitionAse(s);
  return 0;
}

}  // namespace

double entryStepLength(const SelectionState* s, const PathStep& t) {
  const double whole = t.C / t.q;
  if (s->sweep.effectsInModel >= s->path.largestModel) return whole;
  const double floor = kPositiveFloor * whole;
  auto term = [&](double num, double den) {
    if (den == 0) return DBL_MAX;
    const double v = num / den;
    return v < floor ? DBL_MAX : v;
  };
  double gamma = DBL_MAX;
  for (int32_t j = firstPathEffect(s); j < s->layout.effectCount; ++j) {
    if (!pathCandidate(s, j)) continue;
    const double g = s->path.gradient[j], a = s->path.products[j];
    gamma = std::min({gamma, term(t.C - g, t.q - a), term(t.C + g, t.q + a)});
  }
  // Past the whole step the active set's correlation would turn negative: none goes further.
  return std::min(gamma, whole);
}

int larStep(SelectionState* s, int32_t* entered, int32_t* marker) {
  PathStep t;
  const bool removal = *marker != -1;
  if (removal) {
    removeMarked(s, *marker);
    *entered = *marker;
  }
  int32_t best = -1;
  if (removal) {
    best = bestCandidate(s, &t.C);
  } else {
    if (int rc = enterBest(s, &best, &t.C); rc != 0) return rc;
    if (best < 0) {
      s->run.stop.reason = s->sweep.effectsInModel >= s->path.largestModel
                               ? stopreason::kAllIn
                               : stopreason::kNoCandidate;
      return 0;
    }
    *entered = best;
  }
  *marker = -1;
  if (s->sweep.effectsInModel <= firstActivePosition(s->layout)) {
    s->run.stop.reason = stopreason::kAllIn;
    return 0;
  }

  equiangularDirection(s, &t);
  if (int rc = directionProducts(s, t); rc != 0) return rc;
  const double gammaIn = entryStepLength(s, t);
  dropStep(s, &t);
  t.gamma = gammaIn <= t.gammaDrop ? gammaIn : t.gammaDrop;
  if (gammaIn > t.gammaDrop) *marker = t.drop;
  t.lambda = t.C - t.q * t.gamma;
  const double lambdaBefore = s->path.stepLambda;
  if (safeScreening(s->path.screen.code)) {
    if (int rc = rescreen(s, &t, marker); rc != 0) return rc;
    if (lambdaBefore > 0) s->path.screen.ratioSum += t.lambda / lambdaBefore;
  }
  truncateAtL1(s, &t);
  if (t.truncated) *marker = -1;  // the step ends before the coefficient reaches 0
  s->path.stepLambda = t.lambda <= kLambdaNoise * t.C ? 0.0 : t.lambda;
  if (*marker == -1 && !t.truncated)
    if (uint8_t reason = forcedStop(s, t); reason != 0) {
      s->run.stop.reason = reason;
      return 0;
    }

  moveCoefficients(s, t, *marker);
  if (int rc = refreshStatistics(s, t); rc != 0) return rc;
  // The held-out residual moves by the direction's fit times gamma, and lambda by q gamma.
  s->path.heldOutCurvature = t.q != 0 ? s->path.heldOutDirection / (t.q * t.q) : 0.0;
  takeHeldOutValue(s->path, &s->fit);
  backTransformEstimates(s, reportedCoefficients(s));
  return 0;
}

}  // namespace vsf
