// Adaptive weights of the path methods: one weight per parameter, the magnitude of a first
// estimate raised to gamma, kept in the state's weight array.
#include <cmath>
#include <string_view>

#include "base/codes.h"
#include "base/host.h"
#include "selection/methods_internal.h"

namespace vsf {

namespace {

bool fitted(EffectState state) {
  return state != EffectState::kHeldOut && state != EffectState::kIntercept;
}

std::string_view effectLabel(const SelectionState* s, int32_t e) {
  const auto* table = candidateData(s).table;
  if (!table || e < 0 || e >= static_cast<int32_t>(table->size())) return "an effect";
  return std::string_view((*table)[e].label, (*table)[e].labelLength);
}

// |x| ^ gamma of effect e's estimate x; gamma 1 takes the magnitude as it is, and gamma 0
// gives 1 even for an estimate of 0 (the plain LASSO; as a power 0^0 had no value and the
// step ended on "internal code 3"). A weight beyond double precision ends the step with an
// error that names the effect and GAMMA= (it ended on "internal code 1").
int weightOf(SelectionState* s, int32_t e, double x, double* out) {
  const double gamma = s->engine->adaptiveGamma;
  const double m = std::fabs(x);
  if (gamma == 1.0 || gamma == 0.0) {
    *out = gamma == 0.0 ? 1.0 : m;
    return 0;
  }
  int status = 0;
  *out = zpowchk(m, gamma, &status);
  if (status == 0) return 0;
  hostMsg(848, 6140, {effectLabel(s, e), m, gamma});
  if (s->stepCode) raiseStepCode(*s->stepCode, step::kInternal);
  return rc::kAdaptiveWeight;
}

}  // namespace

int adaptiveWeightsFromFit(SelectionState* s) {
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
      if (s->sweep.flags[g] == '0') s->sweep.states[e] = EffectState::kHeldOut;
      // The weight of an aliased column is its unswept entry, as the rule stands.
      if (int rc = weightOf(s, e, s->sweep.swept[pk(g, 0)],
                            &s->sweep.weights[s->sweep.firstParam[e] + j]);
          rc != 0)
        return rc;
    }
  }
  std::fill(s->sweep.sscp, s->sweep.sscp + tri(n), 0.0);
  std::fill(s->sweep.flags, s->sweep.flags + n, '0');
  s->sweep.sweptColumns = 0;
  return 0;
}

int adaptiveWeightsFromEstimates(SelectionState* s) {
  for (int32_t e = 0; e < s->layout.effectCount; ++e) {
    if (!fitted(s->sweep.states[e])) continue;
    for (int32_t j = 0; j < s->layout.columnCount[e]; ++j) {
      const int32_t param = s->sweep.firstParam[e] + j;
      double x = s->initialEstimates[param];
      // Without an estimate the effect has no weight: it cannot enter.
      if (isAbsent(x)) {
        s->sweep.states[e] = EffectState::kHeldOut;
        continue;
      }
      const double scale = s->layout.colScales ? s->layout.colScales[param] : 0.0;
      if (!isAbsent(scale) && scale != 0) x /= scale;
      if (int rc = weightOf(s, e, x, &s->sweep.weights[param]); rc != 0) return rc;
    }
  }
  return 0;
}

}  // namespace vsf
