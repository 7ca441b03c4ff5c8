// Pieces of the incomplete beta function shared by the distribution and quantile routines.
#pragma once

namespace vsf::num {

// Orientation of an incomplete beta evaluation: true when 1 - I_{1-x}(b,a) is evaluated.
bool betaSwap(double x, double a, double b);

// The continued fraction K in the odds ratio (1-y)/y for shapes p, q; false when it did not
// settle within 399 steps (k then holds the last convergent).
bool betaFraction(double y, double p, double q, double tol, double* k);

// W such that I_y(p,q) = y * density * W, from the fraction evaluated at p (or p + 1 when
// shifted).
double betaW(double y, double p, double q, double k, bool shifted);

}  // namespace vsf::num

namespace vsf {
struct BetaDistRec;
// The fallback quantile search of zbetainv.
int zbetainvx(BetaDistRec* rec);
}  // namespace vsf
