// Bracketing root solver on the log-odds scale, used by the quantile requests with an
// upper-tail target: geometric bracketing, then interpolation in the log-odds (Illinois
// weighting, so that one end cannot stall the search).
#include <cmath>

#include "numerics/faults_internal.h"
#include "numerics/numerics.h"

namespace vsf {

using namespace num;

namespace {

constexpr int kMissingStatus = 12345677;

double logOdds(const RootSolveRec* s, double v) {
  if (s->scaleMode == 0) {
    v = v < 1.110223024625157e-16 ? 1.110223024625157e-16 : (v > 0.999999999 ? 0.999999999 : v);
    return std::log(v / (1 - v));
  }
  if (v > -2.220446049250314e-16) v = -2.220446049250314e-16;
  double l = v - std::log(-zexpm1(v));
  return s->scaleMode == 2 ? -l : l;
}

// Evaluates at s->point; 0, 1 (callback failure) or the missing status.
int evaluate(RootSolveRec* s, double* l) {
  if (s->eval(s) != 0) return 1;
  double v = *s->value;
  if (isNan(v)) return kMissingStatus;
  s->clamped = v;
  *l = logOdds(s, v);
  s->logOdds = *l;
  if (s->scaleMode == 0) return 0;
  return 0;
}

bool close(const RootSolveRec* s, double v, double l) {
  if (s->scaleMode == 0) return std::fabs(v - s->target) < std::fabs(s->target) * s->tol;
  return std::fabs(l - s->targetLogOdds) < s->tol * std::fmax(1.0, std::fabs(s->targetLogOdds));
}

int fail(RootSolveRec* s, int status) {
  s->status = status;
  return 1;
}

}  // namespace

int zrootsolve(RootSolveRec* s) {
  if (!s->value || !s->eval) return fail(s, 1);
  s->target = *s->value;
  if (!(s->tol >= 1.053671212772351e-08)) s->tol = 1.053671212772351e-08;
  s->targetLogOdds = logOdds(s, s->target);
  s->converged = 0;
  if (s->start && s->start(s) != 0) return fail(s, 1);
  double goal = s->targetLogOdds, l;
  int rc;
  double x = s->point;
  if (s->stepKind == 1) {
    s->point = 0;
    if ((rc = evaluate(s, &l)) != 0) return fail(s, rc);
    s->xLo = 0, s->lLo = l;
    s->point = x;
  }
  if ((rc = evaluate(s, &l)) != 0) return fail(s, rc);
  if (close(s, s->clamped, l)) return s->converged = 1, s->status = 0, 0;

  // Bracketing: the log-odds rise with the point.
  double xA = x, lA = l;
  bool bracketed = s->stepKind == 1 && l > goal && s->lLo <= goal;
  double xB = bracketed ? 0.0 : x, lB = bracketed ? s->lLo : l;
  for (int i = 0; i < 70 && !bracketed; ++i) {
    double next = lA < goal ? xA * s->growth : xA * s->shrink;
    s->step = std::fabs(next - xA);
    if (s->smallestStep > 0 && s->step < s->smallestStep) return fail(s, kMissingStatus);
    xB = xA, lB = lA;
    s->point = xA = next;
    if ((rc = evaluate(s, &lA)) != 0) return fail(s, rc);
    if (close(s, s->clamped, lA)) return s->converged = 1, s->status = 0, 0;
    bracketed = (lA - goal) * (lB - goal) < 0;
  }
  if (!bracketed) return fail(s, 1);
  if (xA > xB) std::swap(xA, xB), std::swap(lA, lB);
  s->xLo = xA, s->lLo = lA, s->xHi = xB, s->lHi = lB;

  // Refinement between the bracket ends.
  double wLo = lA - goal, wHi = lB - goal;
  int lastSide = 0;
  for (int i = 0; i < 70; ++i) {
    double xNew;
    if (s->bisect) {
      xNew = (s->xLo + s->xHi) / 2;
    } else if (s->stepKind == 2 && s->xLo > 0) {
      double u0 = std::log(s->xLo), u1 = std::log(s->xHi);
      double u = u0 - wLo * (u1 - u0) / (wHi - wLo);
      double ref = std::log(s->point);
      if (u - ref > 5) u = ref + 5;
      if (u - ref < -5) u = ref - 5;
      xNew = std::exp(u);
    } else {
      xNew = s->xLo - wLo * (s->xHi - s->xLo) / (wHi - wLo);
    }
    s->step = std::fabs(xNew - s->point);
    s->point = xNew;
    if ((rc = evaluate(s, &l)) != 0) return fail(s, rc);
    double w = l - goal;
    bool done = s->step < s->tol * std::fabs(xNew) ||
                std::fabs(w) <= s->tol2 * std::fmax(std::fabs(goal), std::fabs(l)) ||
                close(s, s->clamped, l);
    if (done) return s->converged = 1, s->status = 0, 0;
    if (w < 0) {
      s->xLo = xNew, s->lLo = l, wLo = w;
      if (lastSide == -1) wHi /= 2;
      lastSide = -1;
    } else {
      s->xHi = xNew, s->lHi = l, wHi = w;
      if (lastSide == 1) wLo /= 2;
      lastSide = 1;
    }
  }
  return fail(s, 1);
}

}  // namespace vsf
