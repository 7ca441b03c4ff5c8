// The fits that the optimizer extension solves: the problem on the standardized columns taken
// from the crossproducts of the rows as stored (no rewrite of the rows), the callbacks the
// solver calls, the model a coefficient vector makes, and its estimates on the data's scale.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "penalized/optimizer_internal.h"

namespace vsf {

namespace {

SelectionState* stateOf(SolverObject* o) {
  return static_cast<SelectionState*>(o->state->userData);
}

template <typename T>
bool take(SelectionState* s, T** p, int64_t n) {
  *p = static_cast<T*>(kernel().poolAlloc(
      s->modelPool, sizeof(T) * static_cast<size_t>(std::max<int64_t>(n, 1)), kAllocZero));
  return *p != nullptr;
}

// Calls fn(parameter, crossproducts column) for every column of effect e.
template <typename Fn>
void forColumns(const SelectionState* s, int32_t e, Fn&& fn) {
  for (int32_t i = 0; i < s->layout.columnCount[e]; ++i)
    fn(s->sweep.firstParam[e] + i, int64_t{s->sweep.firstColumn[e]} + i);
}

// Whether every column of the effect whose columns start at position `from` of cols repeats
// a column before it, up to its centre and scale (the raw column under NOINT).
template <typename Centred>
bool repeatsColumns(const std::vector<std::pair<int32_t, int64_t>>& cols, size_t from,
                    Centred&& centred) {
  if (cols.size() == from) return false;
  for (size_t a = from; a < cols.size(); ++a) {
    const int64_t c = cols[a].second;
    bool repeated = false;
    for (size_t b = 0; b < from && !repeated; ++b) {
      const int64_t d = cols[b].second;
      const double cd = centred(c, d);
      repeated = 1 - cd / centred(c, c) * cd / centred(d, d) <= kPivotRelative;
    }
    if (!repeated) return false;
  }
  return true;
}

double gradientAt(const OptimizerState& p, const double* x, int32_t j) {
  if (p.scale[j] == 0) return 0.0;
  const double* row = p.gram + int64_t{j} * p.dimension;
  double g = -p.cross[j];
  for (int32_t k = 0; k < p.dimension; ++k) g += row[k] * x[k];
  return g;
}

double lossAt(const OptimizerState& p, const double* x) {
  double f = p.responseSquares;
  for (int32_t j = 0; j < p.dimension; ++j)
    if (x[j] != 0) f += x[j] * (gradientAt(p, x, j) - p.cross[j]);
  return 0.5 * std::max(f, 0.0);
}

int objective(SolverObject* o, const double* x, double* f) {
  *f = lossAt(stateOf(o)->optim, x);
  return 0;
}

int objectiveGradient(SolverObject* o, const double* x, double* g, double* f) {
  const OptimizerState& p = stateOf(o)->optim;
  for (int32_t j = 0; j < p.dimension; ++j) g[j] = gradientAt(p, x, j);
  *f = lossAt(p, x);
  return 0;
}

}  // namespace

int buildOptimizerProblem(SelectionState* s) {
  OptimizerState& p = s->optim;
  const ColumnLayout& L = s->layout;
  const int32_t n = L.paramCount;
  p.dimension = n;
  if (!take(s, &p.coef, n) || !take(s, &p.mean, n) || !take(s, &p.scale, n) ||
      !take(s, &p.gram, int64_t{n} * n) || !take(s, &p.cross, n) ||
      !take(s, &p.penalized, L.effectCount))
    return rc::kMemory;
  const double* A = s->sweep.sscp;
  const bool noInt = s->pathOptions->noInt;
  const int64_t one = noInt ? -1 : s->sweep.firstColumn[0];
  const double W = noInt ? 0 : A[pk(one, one)];
  p.weight = W;
  p.responseMean = W > 0 ? A[pk(one, 0)] / W : 0.0;
  // Crossproducts about the weighted means (raw ones under NOINT).
  auto centred = [&](int64_t a, int64_t b) {
    return noInt || W <= 0 ? A[pkAny(a, b)]
                           : A[pkAny(a, b)] - A[pkAny(a, one)] * A[pkAny(b, one)] / W;
  };
  p.responseSquares = centred(0, 0);
  const double dof = s->totals.trainFreq - 1;
  // The solver converges by an absolute test on the coefficients: with the response in units
  // of its standard deviation the coefficients are free of the data's units (with the response
  // as it came, y times 1e-8 moved the path and estimates by up to 63%).
  const double sdY = dof > 0 ? std::sqrt(std::max(p.responseSquares, 0.0) / dof) : 0.0;
  p.responseScale = sdY > 0 && std::isfinite(sdY) ? sdY : 1.0;
  p.responseSquares /= p.responseScale * p.responseScale;
  std::vector<std::pair<int32_t, int64_t>> cols;
  for (int32_t e = 1; e < L.effectCount; ++e) {
    if (s->sweep.states[e] == EffectState::kHeldOut) continue;
    p.penalized[e] = e >= firstPathEffect(s) ? 1 : 0;  // the forced effects carry no penalty
    const size_t from = cols.size();
    forColumns(s, e, [&](int32_t j, int64_t c) {
      const double var = dof > 0 ? centred(c, c) / dof : 0.0;
      p.mean[j] = noInt || W <= 0 ? 0.0 : A[pkAny(c, one)] / W;
      p.scale[j] = var > 0 && std::isfinite(var) ? 1 / std::sqrt(var) : 0.0;
      if (p.scale[j] > 0) cols.emplace_back(j, c);
    });
    // An effect that only repeats columns already in the problem (the variable hp and a
    // polynomial's term hp) would split their coefficients with them: like a constant column,
    // it stays out, as the sweep leaves it out of the other methods' models.
    if (repeatsColumns(cols, from, centred)) {
      for (size_t a = from; a < cols.size(); ++a) p.scale[cols[a].first] = 0;
      cols.resize(from);
    }
  }
  for (const auto& [j, c] : cols) {
    p.cross[j] = p.scale[j] * centred(c, 0) / p.responseScale;
    for (const auto& [k, d] : cols)
      p.gram[int64_t{j} * n + k] = p.scale[j] * p.scale[k] * centred(c, d);
  }
  return 0;
}

void rebuildModel(SelectionState* s, const double* x, int32_t kept) {
  const ColumnLayout& L = s->layout;
  for (int32_t e = 1; e < L.effectCount; ++e)
    if (s->sweep.states[e] != EffectState::kHeldOut && s->sweep.states[e] != EffectState::kForced)
      s->sweep.states[e] = EffectState::kFree;
  int32_t columns = 0;
  for (int32_t a = 0; a < kept; ++a) columns += L.columnCount[s->sweep.entryOrder[a]];
  int32_t count = kept;
  for (int32_t e = firstPathEffect(s); e < L.effectCount; ++e) {
    if (s->sweep.states[e] == EffectState::kHeldOut) continue;
    int32_t nonzero = 0;
    forColumns(s, e, [&](int32_t j, int64_t) { nonzero += x[j] != 0 ? 1 : 0; });
    if (nonzero == 0) continue;
    columns += nonzero;
    s->sweep.entryOrder[count++] = e;
    s->sweep.states[e] = EffectState::kSelected;
  }
  s->sweep.effectsInModel = count;
  s->sweep.sweptColumns = columns;
}

void optimizerEstimates(SelectionState* s, const double* x) {
  const OptimizerState& p = s->optim;
  const double dof = s->totals.trainFreq - 1;
  const bool sdY = dof > 0 && p.responseSquares > 0;  // x is then in its units already
  const double ys = p.responseScale;
  double* est = s->sweep.estimates;
  double* std = s->sweep.stdEstimates;
  std::fill(est, est + p.dimension, 0.0);
  double shift = 0;
  for (int32_t a = 0; a < s->sweep.effectsInModel; ++a) {
    const int32_t e = s->sweep.entryOrder[a];
    if (e == 0) continue;
    forColumns(s, e, [&](int32_t j, int64_t) {
      if (sdY) std[j] = x[j];
      est[j] = x[j] * p.scale[j] * ys;
      shift += est[j] * p.mean[j];
    });
  }
  est[0] = s->pathOptions->noInt ? 0.0 : p.responseMean - shift;
  s->fit.trainSse = 2 * lossAt(p, x) * ys * ys;
}

SolverObject* startSolver(HxSolve** ext) {
  *ext = static_cast<HxSolve*>(kernel().extensionLoad("hxsolve"));
  if (!*ext) return nullptr;
  SolverObject* o = (*ext)->create();
  if (!o) (*ext)->release();
  return o;
}

int configureSolver(SelectionState* s, SolverObject* o, int option) {
  const SolverMethods& m = *o->methods;
  if (int rc = m.setDimension(o, s->optim.dimension); rc != 0) return rc;
  if (int rc = m.setOption(o, option); rc != 0) return rc;
  if (int rc = m.accept(o); rc != 0) return rc;
  m.setUserData(o, s);
  o->callbacks->objective = objective;
  o->callbacks->objectiveGradient = objectiveGradient;
  if (option == solveropt::kGroupPenalty) {
    o->callbacks->penalty = groupPenalty;
    o->callbacks->proximal = groupSoftThreshold;
    o->callbacks->lambdaMax = groupLambdaMax;
  }
  const double tol = s->pathOptions->tolerance > 0 ? s->pathOptions->tolerance : 1e-6;
  if (int rc = m.setTolerance(o, tol); rc != 0) return rc;
  m.setStart(o, nullptr);
  return m.prepare(o);
}

void stopSolver(HxSolve* ext, SolverObject* o) {
  o->methods->finish(o);
  if (o->methods->destroy) o->methods->destroy(&o);
  ext->release();
}

// Each group's norm over the root of its size is the penalty at which it leaves the zero
// vector; the largest is lambda-max.
int groupLambdaMax(SolverObject* o) {
  SolverState& st = *o->state;
  if (st.lambdaMax > 0) return 0;
  if (!o->callbacks->objectiveGradient) return 201;
  SelectionState* s = stateOf(o);
  std::fill(st.work, st.work + st.dimension, 0.0);
  double f = 0;
  if (int rc = o->callbacks->objectiveGradient(o, st.work, st.gradient, &f); rc != 0) return rc;
  double most = 0;
  for (int32_t e = 1; e < s->layout.effectCount; ++e) {
    if (!s->optim.penalized[e] || s->layout.columnCount[e] == 0) continue;
    double ss = 0;
    forColumns(s, e, [&](int32_t j, int64_t) { ss += st.gradient[j] * st.gradient[j]; });
    most = std::max(most, std::sqrt(ss / s->layout.columnCount[e]));
  }
  st.lambdaMax = most;
  return 0;
}

int groupPenalty(SolverObject* o, const double* x, double* penalty) {
  SelectionState* s = stateOf(o);
  double sum = 0;
  for (int32_t e = 1; e < s->layout.effectCount; ++e) {
    if (!s->optim.penalized[e]) continue;
    double ss = 0;
    forColumns(s, e, [&](int32_t j, int64_t) { ss += x[j] * x[j]; });
    sum += std::sqrt(s->layout.columnCount[e] * ss);
  }
  *penalty = sum;
  return 0;
}

// Each penalized group shrunk towards 0 by tau sqrt(p(g)), to 0 at or below it; the intercept,
// the forced groups and the parameters held at 0 pass as they are.
int groupSoftThreshold(SolverObject* o, const double* x, double* y, double* penalty,
                       uint32_t* nonzero, double* norm) {
  const SolverState& st = *o->state;
  SelectionState* s = stateOf(o);
  const double tau = st.penalty * (st.relativePenalty ? st.lambdaMax : 1.0) / st.stepConstant;
  std::copy(x, x + st.dimension, y);
  for (int32_t j = 0; j < st.dimension; ++j)
    if (s->optim.scale[j] == 0) y[j] = 0;
  *penalty = 0, *nonzero = 0;
  double all = 0;
  for (int32_t e = 1; e < s->layout.effectCount; ++e) {
    if (!s->optim.penalized[e]) continue;
    double ss = 0;
    forColumns(s, e, [&](int32_t j, int64_t) { ss += y[j] * y[j]; });
    const double size = std::sqrt(ss),
                 root = std::sqrt(static_cast<double>(s->layout.columnCount[e]));
    const double shrink = size - tau * root;
    const double factor = shrink > 0 ? shrink / size : 0.0;
    forColumns(s, e, [&](int32_t j, int64_t) { y[j] *= factor; });
    if (shrink > 0) *nonzero += 1, *penalty += root * shrink;
  }
  for (int32_t j = 0; j < st.dimension; ++j) all += y[j] * y[j];
  *norm = std::sqrt(all);
  return 0;
}

int runOptimizerFit(SelectionState* s) {
  if (int rc = buildOptimizerProblem(s); rc != 0) return rc;
  const int32_t kept = s->sweep.effectsInModel;
  HxSolve* ext = nullptr;
  SolverObject* o = startSolver(&ext);
  if (!o) return 0;
  // Only the group-LASSO path takes the group penalty: HXGLASSO$ is a single fit of the plain
  // L1 penalty over every column of the column layout, HXLASSO$ over the effect layout's.
  const MethodCode m = s->runFlags.method;
  int rc = configureSolver(
      s, o, m == kMethodGroupLasso ? solveropt::kGroupPenalty : solveropt::kPlainPenalty);
  if (rc == 0) rc = o->methods->setPenalty(o, s->fit.penalty);
  if (rc == 0) rc = o->methods->solve(o);
  if (rc == 0) {
    o->methods->solution(o, s->optim.coef);
    o->methods->lambdaMax(o, &s->optim.lambdaMax);
    s->optim.lambdaMax *= s->optim.responseScale;  // in the response's own units, as the path's
    rebuildModel(s, s->optim.coef, kept);
    optimizerEstimates(s, s->optim.coef);
    rc = computePartitionAse(s);
  }
  stopSolver(ext, o);
  return rc;
}

}  // namespace vsf
