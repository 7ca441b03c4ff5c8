// Poisson mixtures behind the noncentral F and chi-square tails.
#pragma once

#include <functional>

namespace vsf::num {

// Sums w_k T_k over k >= 0 with w_k the Poisson(lambda) weights and ln T_k = logTerm(k),
// outward from k0 in both directions, until the newest terms are at most tol times the sum.
// Returns false when it gave up (1,000 terms a side, or a failed term); *logSum is ln of the sum.
bool poissonMixture(double lambda, long long k0, double tol,
                    const std::function<bool(long long, double*)>& logTerm, double* logSum);

// ln(e^a + e^b) without overflow.
double logAdd(double a, double b);

}  // namespace vsf::num
