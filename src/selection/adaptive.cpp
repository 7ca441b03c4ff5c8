// Adaptive weights of the path methods: one weight per parameter, the magnitude of a first
// estimate raised to gamma, kept in the state's weight array.
#include <cmath>

#include "selection/methods_internal.h"

namespace vsf {

namespace {

bool fitted(uint8_t state) { return state != effstate::kHeldOut && state != effstate::kIntercept; }

// |x| ^ gamma; gamma 1 takes the magnitude as it is.
int weightOf(double x, double gamma, double* out) {
  const double m = std::fabs(x);
  if (gamma == 1.0) {
    *out = m;
    return 0;
  }
  int status = 0;
  *out = zpowchk(m, gamma, &status);
  return status;
}

}  // namespace

int adaptiveWeightsFromFit(SelectionState* s) {
  const double gamma = s->options->adaptiveGamma;
  s->sweep.aliasedFound = 0;
  if (int rc = runDataPass(s, kernSscp, 0); rc != 0) return rc;
  const int32_t n = s->sweep.sscpOrder;
  copyDoubles(s->sweep.swept, s->sweep.sscp, tri(n));
  for (int32_t e = 0; e < s->layout.effectCount; ++e) {
    if (!fitted(s->sweep.states[e])) continue;
    for (int32_t j = 0; j < s->layout.columnCount[e]; ++j) {
      const int32_t g = s->sweep.firstColumn[e] + j;
      if (sweepWithRule(s, s->sweep.swept, s->sweep.sscp, s->sweep.flags, g))
        s->sweep.sweptColumns += 1;
      if (s->sweep.flags[g] != '1') s->sweep.aliasedFound = 1;
    }
  }
  for (int32_t e = 0; e < s->layout.effectCount; ++e) {
    if (!fitted(s->sweep.states[e])) continue;
    for (int32_t j = 0; j < s->layout.columnCount[e]; ++j) {
      const int32_t g = s->sweep.firstColumn[e] + j;
      if (s->sweep.flags[g] == '0') s->sweep.states[e] = effstate::kHeldOut;
      // The weight of an aliased column is its unswept entry, as the rule stands.
      if (int st = weightOf(s->sweep.swept[pk(g, 0)], gamma,
                            &s->sweep.weights[s->sweep.firstParam[e] + j]);
          st)
        return st;
    }
  }
  std::fill(s->sweep.sscp, s->sweep.sscp + tri(n), 0.0);
  std::fill(s->sweep.flags, s->sweep.flags + n, '0');
  s->sweep.sweptColumns = 0;
  return 0;
}

int adaptiveWeightsFromEstimates(SelectionState* s) {
  const double gamma = s->options->adaptiveGamma;
  for (int32_t e = 0; e < s->layout.effectCount; ++e) {
    if (!fitted(s->sweep.states[e])) continue;
    for (int32_t j = 0; j < s->layout.columnCount[e]; ++j) {
      const int32_t param = s->sweep.firstParam[e] + j;
      double x = s->initialEstimates[param];
      // Without an estimate the effect has no weight: it cannot enter.
      if (isAbsent(x)) {
        s->sweep.states[e] = effstate::kHeldOut;
        continue;
      }
      const double scale = s->layout.colScales ? s->layout.colScales[param] : 0.0;
      if (!isAbsent(scale) && scale != 0) x /= scale;
      if (int st = weightOf(x, gamma, &s->sweep.weights[param]); st != 0) return st;
    }
  }
  return 0;
}

}  // namespace vsf
