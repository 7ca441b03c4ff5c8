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
  s->aliasedFound = 0;
  if (int rc = runDataPass(s, kernSscp, 0); rc != 0) return rc;
  const int32_t n = s->sscpOrder;
  copyDoubles(s->swept, s->sscp, tri(n));
  for (int32_t e = 0; e < s->effectCount; ++e) {
    if (!fitted(s->states[e])) continue;
    for (int32_t j = 0; j < s->columnCount[e]; ++j) {
      const int32_t g = s->firstColumn[e] + j;
      if (sweepWithRule(s, s->swept, s->sscp, s->flags, g)) s->sweptColumns += 1;
      if (s->flags[g] != '1') s->aliasedFound = 1;
    }
  }
  for (int32_t e = 0; e < s->effectCount; ++e) {
    if (!fitted(s->states[e])) continue;
    for (int32_t j = 0; j < s->columnCount[e]; ++j) {
      const int32_t g = s->firstColumn[e] + j;
      if (s->flags[g] == '0') s->states[e] = effstate::kHeldOut;
      // The weight of an aliased column is its unswept entry, as the rule stands.
      if (int st = weightOf(s->swept[pk(g, 0)], gamma, &s->weights[s->firstParam[e] + j]); st)
        return st;
    }
  }
  std::fill(s->sscp, s->sscp + tri(n), 0.0);
  std::fill(s->flags, s->flags + n, '0');
  s->sweptColumns = 0;
  return 0;
}

int adaptiveWeightsFromEstimates(SelectionState* s) {
  const double gamma = s->options->adaptiveGamma;
  for (int32_t e = 0; e < s->effectCount; ++e) {
    if (!fitted(s->states[e])) continue;
    for (int32_t j = 0; j < s->columnCount[e]; ++j) {
      const int32_t param = s->firstParam[e] + j;
      double x = s->initialEstimates[param];
      const double scale = s->colScales ? s->colScales[param] : 0.0;
      if (!isAbsent(scale) && scale != 0) x /= scale;
      if (int st = weightOf(x, gamma, &s->weights[param]); st != 0) return st;
    }
  }
  return 0;
}

}  // namespace vsf
