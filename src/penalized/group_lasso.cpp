// The group-LASSO path: the optimizer solves the group-penalized least squares at the ratios
// rho, rho^2, ... of lambda-max, each step warm-started from the one before, and every
// solution becomes a step of the selection, judged by its STOP and CHOOSE criteria. Under
// external cross validation a path per fold chooses the ratio first.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "penalized/optimizer_internal.h"
#include "penalized/tuning_internal.h"
#include "selection/rows.h"

namespace vsf {

namespace {

enum class Class { kSkip, kTraining, kHeldOut, kValidation, kTest };

Class classOf(const SelectionState* s, const rows::Row& r) {
  if (r.skip) return Class::kSkip;
  if (r.role == 1)
    return s->cv->externalCv && r.held == s->path.heldOutFold ? Class::kHeldOut : Class::kTraining;
  if (r.role == 2) return Class::kValidation;
  return r.role == 4 ? Class::kTest : Class::kSkip;
}

// [0] validation, [1] test, [2] held-out SSE of the current estimates, [3] held-out weight.
int partitionMt(SelectionState* s, const PageView* v, double* b, uint32_t) {
  const rows::Shape h = rows::shapeOf(s);
  const bool check = !blockAllFinite(*v);
  const double* est = s->sweep.estimates;
  return rows::forEachRow(s, h, *v, true, [&](const rows::Row& r) {
    const Class c = classOf(s, r);
    if (c == Class::kSkip || c == Class::kTraining || (check && rows::rowMissing(r, h))) return;
    double e = r.y - est[0];
    for (int32_t a = 0; a < s->sweep.effectsInModel; ++a) {
      const int32_t eff = s->sweep.entryOrder[a];
      if (eff == 0) continue;
      const int32_t first = s->sweep.firstParam[eff];
      rows::forEffectValues(s, r, eff, [&](int32_t i, double x) { e -= est[first + i] * x; });
    }
    b[c == Class::kValidation ? 0 : c == Class::kTest ? 1 : 2] += r.a * e * e;
    if (c == Class::kHeldOut) b[3] += r.a;
  });
}

uint32_t four(const SelectionState*, int32_t) { return 4; }

void partitionMerge(SelectionState* s, const double* sum, uint32_t, int32_t) {
  s->path.validSse += sum[0];
  s->path.testSse += sum[1];
  s->path.heldOutSse += sum[2];
  s->path.heldOutWeight = sum[3];
}

const RowKernel kernPartitionSse = {"kernPartitionSse", nullptr, asMt<partitionMt>,
                                    asLength<four>,     nullptr, asMerge<partitionMerge>};

// A step of the group path may move several effects: the list of changes gets each one,
// signed (negative: removed), before the step is recorded with their number.
int appendChanges(SelectionState* s, std::vector<uint8_t>* was, int32_t* count) {
  StepHistory& h = s->steps;
  std::vector<uint8_t> now(was->size(), 0);
  for (int32_t a = 0; a < s->sweep.effectsInModel; ++a) now[s->sweep.entryOrder[a]] = 1;
  *count = 0;
  for (size_t e = 1; e < now.size(); ++e) {
    if (now[e] == (*was)[e]) continue;
    if (h.changeListLength >= h.changeListCapacity)
      if (int rc = growChangeList(s, std::max(2 * h.changeListCapacity, 16)); rc != 0) return rc;
    h.changes[h.changeListLength++] = now[e] ? static_cast<int32_t>(e) : -static_cast<int32_t>(e);
    *count += 1;
  }
  was->swap(now);
  return 0;
}

bool l1Reached(const SelectionState* s, double r) {
  const double target = s->fit.penalty * s->path.lambdaMax / 1000;
  return std::fabs(r / 1000) * s->fit.tol >= std::fabs(r / 1000 - target);
}

}  // namespace

int computePartitionAse(SelectionState* s) {
  PathState& p = s->path;
  p.validSse = p.testSse = p.heldOutSse = 0;
  const PathOptions* o = s->pathOptions;
  if (o->rolesPresent || s->cv->externalCv)
    if (int rc = runDataPass(s, kernPartitionSse, 0); rc != 0) return rc;
  const RunTotals& t = s->totals;
  s->fit.validAse = t.validWeight != 0 ? p.validSse / t.validWeight : absentValue();
  s->fit.testAse = t.testWeight != 0 ? p.testSse / t.testWeight : absentValue();
  // A fold's run judges its steps by the held-out SSE; the final run by the folds' averages.
  if (s->path.heldOutFold != s->path.extCvFolds)
    s->fit.extCvValue = p.heldOutSse;
  else if (s->runFlags.cvPerPathStep && s->path.extCvValues &&
           s->steps.stepCount < s->path.extCvCount)
    s->fit.extCvValue = s->path.extCvValues[s->steps.stepCount];
  return 0;
}

int runGroupLassoPath(SelectionState* s) {
  const PathOptions* o = s->pathOptions;
  if (int rc = buildOptimizerProblem(s); rc != 0) return rc;
  const int64_t p = s->layout.paramCount;
  auto take = [&](double** v) {
    *v = static_cast<double*>(
        kernel().poolAlloc(s->modelPool, sizeof(double) * (p + 1), kAllocZero));
    return *v != nullptr;
  };
  if (!take(&s->path.savedEstimates) || !take(&s->path.savedStdEstimates)) return rc::kMemory;
  const int32_t kept = s->sweep.effectsInModel;
  HxSolve* ext = nullptr;
  SolverObject* solver = startSolver(&ext);
  if (!solver) return 0;
  const SolverMethods& m = *solver->methods;
  int rc = configureSolver(s, solver, solveropt::kGroupPenalty);
  // The steps recorded before the path (the intercept, the forced effects) stand at its start,
  // with the swept model's estimates.
  if (rc == 0) rc = computePartitionAse(s);
  for (int32_t i = 0; rc == 0 && i < s->steps.stepCount && s->steps.heldOutSse; ++i)
    s->steps.heldOutSse[i] = s->path.heldOutSse;
  double a = 0, b = 0;
  evalStepCriteria(s, &a, &b, nullptr);
  s->path.l1Norm = s->path.pathSecond = 0;
  s->path.lambdaMax = 1.0;  // every penalty of the path is a ratio
  const double rho = o->rho > 0 && o->rho < 1 ? o->rho : 0.9;
  double r = rho;
  int32_t k = o->noInt ? 0 : 1;
  const bool stopL1 = o->stop == kCritL1;
  std::vector<uint8_t> was(static_cast<size_t>(s->layout.effectCount), 0);
  for (int32_t i = 0; i < kept; ++i) was[s->sweep.entryOrder[i]] = 1;
  bool go = rc == 0 && checkStopRules(s, k) != 0;
  while (go) {
    if (stopL1) r = std::max(r, s->fit.penalty);
    if (o->stop != kCritNone) saveStepEstimates(s, false);
    if ((rc = m.setPenalty(solver, r)) != 0 || (rc = m.solve(solver)) != 0) break;
    m.solution(solver, s->optim.coef);
    rebuildModel(s, s->optim.coef, kept);
    optimizerEstimates(s, s->optim.coef);
    if ((rc = computePartitionAse(s)) != 0) break;
    int stop = 0;
    if ((rc = checkStopCriterion(s, -100, 1, 0.0, &a, &stop)) != 0) break;
    if (s->run.stop.reason == stopreason::kCriterion) {
      saveStepEstimates(s, true);
      // The model of the step before: the effects whose estimates it had.
      rebuildModel(s, s->sweep.estimates, kept);
    }
    if (stop == -1) break;
    updateChooseStep(s, a, a, &b, 1);
    s->path.stepLambda = r;
    int32_t changes = 0;
    if ((rc = appendChanges(s, &was, &changes)) != 0) break;
    if ((rc = initSelectionState(s, -100, changes)) != 0) break;
    if (stopL1 && l1Reached(s, r)) {
      s->run.stop.reason = stopreason::kL1Reached;
      break;
    }
    m.setStart(solver, s->optim.coef);
    k += 1;
    r *= rho;
    go = checkStopRules(s, k) != 0;
  }
  if (rc == 0) {
    m.lambdaMax(solver, &s->optim.lambdaMax);
    s->optim.lambdaMax *= s->optim.responseScale;  // in the response's own units, as the path's
    s->path.lambdaMax = s->optim.lambdaMax;
  }
  stopSolver(ext, solver);
  return rc;
}

int runOptimizerMethod(SelectionState* s) {
  return s->runFlags.method == kMethodGroupLasso ? runGroupLassoPath(s) : runOptimizerFit(s);
}

int choosePenaltyByCV(SelectionState* s) {
  const PathOptions* o = s->pathOptions;
  RunFlags& flags = s->runFlags;
  TuningTables& t = s->tuning;
  int32_t K = o->maxSteps > 0 ? o->maxSteps : o->forcedEffects + 100;
  if (o->steps > 0) K = std::min(K, o->forcedEffects + o->steps);
  const int32_t folds = s->path.extCvFolds;
  // The folds the data cannot fill are refused before anything is made for them.
  if (const int32_t status = externalFoldsStatus(s); status != 0) {
    s->run.status = status;
    return 0;
  }
  std::vector<double> sum(static_cast<size_t>(std::max(K, 0)), 0.0), ratio(sum.size(), -1.0);
  t.points = 0;
  if (!t.foldEnd) {
    const size_t n = static_cast<size_t>(folds) + 1;
    t.foldEnd = static_cast<int32_t*>(kernel().poolAlloc(t.pool, 4 * n, kAllocZero));
    t.foldLambdaMax = static_cast<double*>(kernel().poolAlloc(t.pool, 8 * n, kAllocZero));
    if (!t.foldEnd || !t.foldLambdaMax) return rc::kMemory;
  }
  t.foldCount = folds;
  for (int32_t f = 0; f < folds; ++f) {
    const FoldStopRules unstopped(s, true);
    s->path.heldOutFold = f;
    flags.firstFit = 1, flags.foldFit = 1;
    if (int rc = buildModelPool(s); rc != 0) return rc;
    if (int rc = runSelection(s); rc != 0) return rc;
    // A fold's run that ended without a model leaves its status for the displays to name
    // (it came back as -1, "A memory pool could not be created").
    if (s->run.status != 0) return 0;
    const StepHistory& h = s->steps;
    const double w = s->path.heldOutWeight;
    const int32_t steps = std::min(h.stepCount, K);
    if (int rc = reservePoints(&t, steps); rc != 0) return rc;
    for (int32_t i = 0; i < steps; ++i, ++t.points) {
      const double ase = w != 0 ? h.heldOutSse[i] / w : h.heldOutSse[i];
      sum[i] += ase;
      if (ratio[i] < 0) ratio[i] = h.lambdaRatio[i];
      int32_t* n = t.pointInts + 3 * int64_t{t.points};
      double* v = t.pointValues + 6 * int64_t{t.points};
      n[0] = f, n[1] = i, n[2] = h.parameters[i];
      std::fill(v, v + 6, 0.0);
      v[0] = h.lambdaRatio[i], v[1] = ase;
    }
    // A fold whose path ended early counts with its last value at the later ratios.
    for (int32_t i = steps; i < K && steps > 0; ++i)
      sum[i] += w != 0 ? h.heldOutSse[steps - 1] / w : h.heldOutSse[steps - 1];
    t.foldEnd[f] = t.points;
    t.foldLambdaMax[f] = s->path.lambdaMax;
    resetSelectionState(s);
    freeSelectionState(s);
  }
  // The chosen ratio is the one its step recorded; steps no fold reached are not candidates.
  t.chosenAlignment = 1.0;
  double best = DBL_MAX;
  if (int rc = reservePoints(&t, K); rc != 0) return rc;
  for (int32_t i = 0; i < K; ++i) {
    t.average[i] = folds > 0 ? sum[i] / folds : 0.0;
    if (ratio[i] >= 0 && t.average[i] < best) best = t.average[i], t.chosenAlignment = ratio[i];
  }
  t.gridCount = K;
  s->path.heldOutFold = folds;
  flags.firstFit = 1, flags.foldFit = 0;
  if (int rc = buildModelPool(s); rc != 0) return rc;
  flags.cvPerPathStep = 1;
  s->path.extCvValues = t.average;
  s->path.extCvCount = K;
  return runSelection(s);
}

}  // namespace vsf
