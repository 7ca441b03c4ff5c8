// The hxsolve extension: an accelerated proximal-gradient solver (FISTA with backtracking on
// the step and a restart of the momentum whenever the objective rises) for a smooth loss plus
// a penalty, warm-started from any point. The loss, its gradient, lambda-max and the group
// penalty's proximal step are the procedure's callbacks; the plain penalty is the L1 norm.
#include <algorithm>
#include <cmath>
#include <vector>

#include "host/extensions.h"

namespace vsf::host {

namespace {

constexpr int kBadDimension = 201;
constexpr int kNoObjective = 202;
constexpr int64_t kMaxIterations = 1000000;

struct Solver {
  SolverObject object;
  SolverState state;
  SolverCallbacks callbacks;
  int option = solveropt::kPlainPenalty;
  double tolerance = 1e-6;
  double lipschitz = 1;  // kept from solve to solve: warm starts keep their step
  std::vector<double> x, start, y, next, grad, work, gradient;
  double loss = 0;
};

Solver* of(SolverObject* o) { return reinterpret_cast<Solver*>(o); }

double threshold(const Solver& s) {
  const double scale = s.state.relativePenalty ? s.state.lambdaMax : 1.0;
  return s.state.penalty * scale;
}

// The proximal step at v with the step 1 / L: the penalty of the result (before its factor)
// goes to *penalty.
int proximal(Solver& s, const double* v, double* out, double* penalty) {
  s.state.stepConstant = s.lipschitz;
  if (s.option == solveropt::kGroupPenalty) {
    if (!s.callbacks.proximal) return kNoObjective;
    uint32_t groups = 0;
    double norm = 0;
    return s.callbacks.proximal(&s.object, v, out, penalty, &groups, &norm);
  }
  const double tau = threshold(s) / s.lipschitz;
  double sum = 0;
  for (int64_t j = 0; j < s.state.dimension; ++j) {
    const double a = std::fabs(v[j]) - tau;
    out[j] = a > 0 ? std::copysign(a, v[j]) : 0.0;
    sum += std::fabs(out[j]);
  }
  *penalty = sum;
  return 0;
}

int lambdaMaxOf(Solver& s) {
  if (s.state.lambdaMax > 0) return 0;
  if (s.callbacks.lambdaMax) return s.callbacks.lambdaMax(&s.object);
  std::fill(s.work.begin(), s.work.end(), 0.0);
  double f = 0;
  if (int rc = s.callbacks.objectiveGradient(&s.object, s.work.data(), s.gradient.data(), &f))
    return rc;
  double most = 0;
  for (double g : s.gradient) most = std::max(most, std::fabs(g));
  s.state.lambdaMax = most;
  return 0;
}

// Minimises loss + threshold * penalty from the start point.
int solve(SolverObject* o) {
  Solver& s = *of(o);
  const int64_t n = s.state.dimension;
  if (n <= 0) return kBadDimension;
  if (!s.callbacks.objective || !s.callbacks.objectiveGradient) return kNoObjective;
  if (int rc = lambdaMaxOf(s); rc != 0) return rc;
  const double lambda = threshold(s);
  s.x = s.start;
  s.y = s.x;
  double fx = 0, px = 0;
  if (int rc = s.callbacks.objective(o, s.x.data(), &fx); rc != 0) return rc;
  if (s.option == solveropt::kGroupPenalty) {
    if (s.callbacks.penalty)
      if (int rc = s.callbacks.penalty(o, s.x.data(), &px); rc != 0) return rc;
  } else {
    for (double v : s.x) px += std::fabs(v);
  }
  double objective = fx + lambda * px, t = 1;
  for (int64_t it = 0; it < kMaxIterations; ++it) {
    double fy = 0;
    if (int rc = s.callbacks.objectiveGradient(o, s.y.data(), s.grad.data(), &fy); rc != 0)
      return rc;
    double fn = 0, pn = 0;
    for (;;) {
      for (int64_t j = 0; j < n; ++j) s.work[j] = s.y[j] - s.grad[j] / s.lipschitz;
      if (int rc = proximal(s, s.work.data(), s.next.data(), &pn); rc != 0) return rc;
      if (int rc = s.callbacks.objective(o, s.next.data(), &fn); rc != 0) return rc;
      double model = fy, move = 0;
      for (int64_t j = 0; j < n; ++j) {
        const double d = s.next[j] - s.y[j];
        model += s.grad[j] * d;
        move += d * d;
      }
      model += 0.5 * s.lipschitz * move;
      // The quadratic model bounds the loss once the step is short enough; the slack absorbs
      // rounding at the solution.
      if (fn <= model + 1e-12 * std::fabs(fy) || move == 0 || s.lipschitz > 1e300) break;
      s.lipschitz *= 2;
    }
    const double candidate = fn + lambda * pn;
    if (candidate > objective && t > 1) {  // the momentum overshot: start again from x
      t = 1;
      s.y = s.x;
      continue;
    }
    double change = 0, size = 0;
    for (int64_t j = 0; j < n; ++j) {
      change = std::max(change, std::fabs(s.next[j] - s.x[j]));
      size = std::max(size, std::fabs(s.next[j]));
    }
    const double tn = (1 + std::sqrt(1 + 4 * t * t)) / 2;
    for (int64_t j = 0; j < n; ++j) s.y[j] = s.next[j] + (t - 1) / tn * (s.next[j] - s.x[j]);
    s.x.swap(s.next);
    t = tn;
    objective = candidate;
    s.loss = fn;
    if (change <= s.tolerance * std::max(1.0, size)) break;
  }
  return s.callbacks.objective(o, s.x.data(), &s.loss);
}

const SolverMethods kMethods = {
    .setUserData = [](SolverObject* o, void* d) { of(o)->state.userData = d; },
    .destroy =
        [](SolverObject** o) {
          delete of(*o);
          *o = nullptr;
        },
    .setDimension =
        [](SolverObject* o, int64_t n) {
          if (n <= 0) return kBadDimension;
          Solver& s = *of(o);
          s.state.dimension = n;
          for (auto* v : {&s.x, &s.start, &s.y, &s.next, &s.grad, &s.work, &s.gradient})
            v->assign(static_cast<size_t>(n), 0.0);
          s.state.work = s.work.data();
          s.state.gradient = s.gradient.data();
          return 0;
        },
    .setPenalty =
        [](SolverObject* o, double p) {
          of(o)->state.penalty = p;
          return p >= 0 ? 0 : kBadDimension;
        },
    .setOption =
        [](SolverObject* o, int option) {
          Solver& s = *of(o);
          s.option = option;
          s.state.relativePenalty = 1;
          return option == solveropt::kPlainPenalty || option == solveropt::kGroupPenalty
                     ? 0
                     : kBadDimension;
        },
    .accept = [](SolverObject* o) { return of(o)->state.dimension > 0 ? 0 : kBadDimension; },
    .setTolerance =
        [](SolverObject* o, double tol) {
          of(o)->tolerance = tol > 0 ? tol : 1e-6;
          return 0;
        },
    .setStart =
        [](SolverObject* o, const double* start) {
          Solver& s = *of(o);
          if (start)
            std::copy(start, start + s.state.dimension, s.start.begin());
          else
            std::fill(s.start.begin(), s.start.end(), 0.0);
        },
    .prepare = [](SolverObject* o) { return lambdaMaxOf(*of(o)); },
    .solve = solve,
    .finish = [](SolverObject*) {},
    .solution = [](SolverObject* o,
                   double* out) { std::copy(of(o)->x.begin(), of(o)->x.end(), out); },
    .lambdaMax = [](SolverObject* o, double* out) { *out = of(o)->state.lambdaMax; },
    .loss = [](SolverObject* o, double* out) { *out = of(o)->loss; },
};

// One extension for the session: a fit keeps its handle after releasing it.
class Solve final : public HxSolve {
 public:
  std::string_view name() const override { return "hxsolve"; }
  void release() override {}
  SolverObject* create() override {
    auto* s = new Solver;
    s->object.state = &s->state;
    s->object.methods = &kMethods;
    s->object.callbacks = &s->callbacks;
    return &s->object;
  }
};

}  // namespace

HostExtension* makeSolver() {
  static Solve solve;
  return &solve;
}

}  // namespace vsf::host
