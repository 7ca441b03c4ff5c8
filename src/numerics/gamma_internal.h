// Pieces of the incomplete gamma function shared by the tails, the quadrature fallback and the
// quantile searches.
#pragma once

namespace vsf {

struct GammaDistRec;
struct RootSolveRec;

// ln(1 + d) - d, accurate also where the two nearly cancel (d > -1).
double log1pmx(double d);
// Log density of shape a at x > 0 (the Stirling form near the mode of a large shape).
double gammaLogDensity(double x, double a);
// ln(1 - e^l), the log-of-zero floor when e^l rounds to 1.
double logOneMinusExp(double l);
// Tails of request 1 at the record's x and a (x > 0): the direct methods, then the quadrature.
int gammaTails(GammaDistRec* rec);
// Requests 4 and 8.
int gammaQuantileLower(GammaDistRec* rec);
int gammaQuantileUpper(GammaDistRec* rec);
int zgammaqstart(RootSolveRec* solver);
int zgammaqeval(RootSolveRec* solver);
int zgammaterm(double t, void* context, double* value);

}  // namespace vsf
