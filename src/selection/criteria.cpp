// The criterion library: fit criteria from a model's SSE, n and p; the F test of a change of
// model; the comparisons of criterion values. A missing argument gives
// a missing result and a missing operand never wins a comparison.
#include <cfloat>
#include <cmath>

#include "base/codes.h"
#include "numerics/numerics.h"
#include "selection/selection_internal.h"

namespace vsf {

namespace {

constexpr double kLogPZero = -708.3964185;  // log p of an F statistic without bound
constexpr double kSseFuzz = 1.110223024625157e-14;

bool anyAbsent(double a, double b = 0, double c = 0) {
  return isAbsent(a) || isAbsent(b) || isAbsent(c);
}

}  // namespace

double critAIC(double sse, double n, int32_t p) {
  if (anyAbsent(sse, n)) return absentValue();
  if (sse <= 0) return -DBL_MAX;
  return n * std::log(sse / n) + 2.0 * p + n + 2;
}

// The small-sample correction has no meaning once p + 2 reaches n.
double critAICC(double sse, double n, int32_t p) {
  if (anyAbsent(sse, n) || n <= p + 2.0) return absentValue();
  if (sse <= 0) return -DBL_MAX;
  return n * (std::log(sse / n) + 1 + 2.0 * (p + 1) / (n - 2 - p));
}

double critSBC(double sse, double n, int32_t p) {
  if (anyAbsent(sse, n)) return absentValue();
  if (sse <= 0) return -DBL_MAX;
  return n * std::log(sse / n) + p * std::log(n);
}

double critRSquare(double sse, double sst) {
  if (anyAbsent(sse, sst) || sst <= 0) return absentValue();
  if (sse <= 0) return 1;
  double r = 1 - sse / sst;
  return r > 0 ? r : 0;
}

// Without residual degrees of freedom (n at most p) there is no adjusted value.
double critAdjRSquare(double sse, double sst, double n, int32_t p, int noInt) {
  if (anyAbsent(sse, sst, n) || sst <= 0 || n <= p) return absentValue();
  if (sse <= 0) return 1;
  return 1 - (noInt ? n : n - 1) * sse / ((n - p) * sst);
}

double critCP(double sse, double n, int32_t p, double sigma2) {
  if (anyAbsent(sse, n, sigma2) || sigma2 <= 0) return absentValue();
  if (sse <= 0) return 2.0 * p - n;
  return sse / sigma2 - n + 2.0 * p;
}

double critBIC(double sse, double n, int32_t p, double sigma2) {
  if (anyAbsent(sse, n, sigma2) || sse <= 0) return absentValue();
  const double q = n * sigma2 / sse;
  return n * std::log(sse / n) + 2 * q * (p + 2 - q);
}

namespace {

// 0 for a result, 1 when F is without bound (p = 0), 2 for an unchanged model (p = 1), -1
// missing. *logp and *f are set for 0, 1 and 2.
int fTest(double sseA, int32_t pA, double sseB, int32_t pB, int32_t eA, int32_t eB, double n,
          double* f, double tol, double* logp) {
  *f = absentValue();
  if (eA > eB && pA == pB) {
    const double a = sseA / 1000, b = sseB / 1000;
    if (tol * std::fabs(a) >= std::fabs(a - b)) {
      *f = 0;
      *logp = 0;
      return 2;
    }
  }
  // No parameter changed: there is nothing to test.
  if (pA == pB || anyAbsent(sseA, sseB, n)) return rc::kMissing;
  const double a = sseA > 0 ? sseA : 0, b = sseB > 0 ? sseB : 0;
  double d, df1, den, df2;
  if (pB <= pA) {
    d = b - a, df1 = pA - pB, den = a * df1, df2 = n - pA;
  } else {
    d = a - b, df1 = pB - pA, den = b * df1, df2 = n - pB;
  }
  if (a > 0 && d / a < kSseFuzz) d = 0;
  const double num = d * df2;
  if (num < 0 || den < 0) return rc::kMissing;
  if (den == 0) {
    if (!(num > 0)) return rc::kMissing;
    *f = DBL_MAX;
    *logp = kLogPZero;
    return 1;
  }
  *f = num / den;
  if (df2 <= 0) return rc::kMissing;
  double lower = 0, upper = 0;
  if (zfdistnc(*f, df1, df2, 0, &lower, &upper) != 0) return rc::kMissing;
  *logp = upper;
  return 0;
}

}  // namespace

double effectFTestLogPValue(double sseA, int32_t pA, double sseB, int32_t pB, int32_t eA,
                            int32_t eB, double n, double* f, double tol) {
  double logp = 0, fs;
  if (!f) f = &fs;
  return fTest(sseA, pA, sseB, pB, eA, eB, n, f, tol, &logp) < 0 ? absentValue() : logp;
}

double effectFTestPValue(double sseA, int32_t pA, double sseB, int32_t pB, int32_t eA, int32_t eB,
                         double n, double* f, double tol) {
  double logp = 0, fs;
  if (!f) f = &fs;
  switch (fTest(sseA, pA, sseB, pB, eA, eB, n, f, tol, &logp)) {
    case rc::kMissing:
      return absentValue();
    case 1:
      return 0;
    case 2:
      return 1;
    default:
      return logp >= kLogPZero ? zexp(logp) : 0;
  }
}

double criterionOf(CriterionCode code, const FitSummary& f) { return criterionInfo(code).value(f); }

bool criterionByPass(CriterionCode code) { return criterionInfo(code).pass != nullptr; }

bool fullModelWanted(CriterionCode select, CriterionCode stop, CriterionCode choose,
                     const uint8_t* statsShown) {
  for (CriterionCode c : kAllCriterionCodes) {
    const CriterionInfo& info = criterionInfo(c);
    if (!info.fullModel) continue;
    if (select == c || stop == c || choose == c || statsShown[info.statsColumn]) return true;
  }
  return false;
}

bool criterionKeptPerStep(CriterionCode code, const EngineOptions& engine, const CvOptions& cv) {
  const CriterionInfo& c = criterionInfo(code);
  if (c.kind == CriterionKind::kClosedForm) return !c.fullModel || engine.fullModelWanted;
  return c.kind == CriterionKind::kDataBased && c.perStep && c.perStep(engine, cv);
}

// A criterion without a direction compares as a minimized one.
int criterionIsMaximized(CriterionCode code) {
  return criterionInfo(code).direction == CriterionDirection::kMaximized;
}
int criterionIsMinimized(CriterionCode code) { return !criterionIsMaximized(code); }

int criterionBetter(double a, double b, CriterionCode code) {
  if (anyAbsent(a, b)) return 0;
  return criterionIsMaximized(code) ? a > b : a < b;
}

// Data-based values are sums or means of squares, so their fuzz follows their scale; the
// others are logarithms or ratios, whose differences do not depend on the data's scale.
int criterionBetterFuzz(double a, double b, CriterionCode code, double fuzz) {
  if (anyAbsent(a, b)) return 0;
  const double margin =
      criterionInfo(code).kind == CriterionKind::kDataBased ? fuzz * std::fabs(b) : fuzz;
  return criterionIsMaximized(code) ? a > b + margin : a < b - margin;
}

// Values are compared in thousandths so that huge values cannot overflow the difference; the
// tolerance is relative to the first.
int criterionBetterTol(double a, double b, CriterionCode code, int mode, double tol) {
  if (anyAbsent(a, b)) return 0;
  const double A = a / 1000, B = b / 1000;
  const bool equal = tol * std::fabs(A) >= std::fabs(A - B);
  const bool max = criterionIsMaximized(code);
  if (mode == 1) return !equal && (max ? a > b : a < b);
  return !(!equal && (max ? a < b : a > b));
}

}  // namespace vsf
