// Poisson-weighted sums of tail probabilities, carried in logarithms.
#include <cmath>

#include "numerics/faults_internal.h"
#include "numerics/mixture_internal.h"
#include "numerics/numerics.h"

namespace vsf::num {

double logAdd(double a, double b) {
  if (a < b) std::swap(a, b);
  if (b <= kLogZero) return a;
  return a + zlog1p(std::exp(b - a));
}

bool poissonMixture(double lambda, long long k0, double tol,
                    const std::function<bool(long long, double*)>& logTerm, double* logSum) {
  double logLambda = std::log(lambda);
  auto logWeight = [&](long long k) {
    return k * logLambda - lambda - zlgamma(static_cast<double>(k) + 1);
  };
  double total = kLogZero;
  double lt;
  if (!logTerm(k0, &lt)) return false;
  total = logWeight(k0) + lt;
  double logTol = std::log(tol);
  bool upDone = false, downDone = k0 == 0;
  for (long long i = 1; i <= 1000 && !(upDone && downDone); ++i) {
    if (!upDone) {
      long long k = k0 + i;
      if (!logTerm(k, &lt)) return false;
      double t = logWeight(k) + lt;
      total = logAdd(total, t);
      if (t - total <= logTol && k > lambda) upDone = true;
    }
    if (!downDone) {
      long long k = k0 - i;
      if (!logTerm(k, &lt)) return false;
      double t = logWeight(k) + lt;
      total = logAdd(total, t);
      if ((t - total <= logTol && k < lambda) || k == 0) downDone = true;
    }
  }
  *logSum = total;
  return upDone && downDone;
}

}  // namespace vsf::num
