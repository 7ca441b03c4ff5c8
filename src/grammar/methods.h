// A selection method's family: what kind of fit it is, and the questions every layer from the
// statements up decides by. It lives below the statements, which read it; the selection
// registry (selection/registry.h) adds each method's keyword, moves, texts and routine.
#pragma once

#include <cstdint>

#include "grammar/codes.h"

namespace vsf {

enum class MethodKind : uint8_t {
  kNone,       // SELECTION=NONE: the full model
  kClassical,  // FORWARD, BACKWARD, STEPWISE
  kPath,       // LAR, LASSO and the elastic nets, by their path
  kOptimizer,  // the optimizer's LASSO and group LASSO
  kGroup,      // group LASSO on its own path
};

struct MethodFamily {
  MethodKind kind = MethodKind::kNone;
  bool grouped = false;       // an effect's columns enter or leave together
  bool leastSquares = false;  // reports the least-squares estimates of the path's models

  // A penalty, not SELECT=, orders the effects: SBC stops it unless told otherwise; it takes
  // no INCLUDE= nor HIERARCHY=, reads dense rows and writes its stored rows back.
  constexpr bool penalized() const {
    return kind == MethodKind::kPath || kind == MethodKind::kOptimizer ||
           kind == MethodKind::kGroup;
  }
  // A penalty on single columns: CLASS variables and splines are split into an effect per
  // column, the intercept alone is the response's centre, and the selected model is not
  // stored. LAR, LASSO, the elastic nets and the optimizer's LASSO.
  constexpr bool splitsEffects() const { return penalized() && !grouped; }
  // Fitted by the optimizer from the whole crossproducts matrix, the rows as stored (RHO=,
  // TOL=); group LASSO's path too.
  constexpr bool byOptimizer() const {
    return kind == MethodKind::kOptimizer || kind == MethodKind::kGroup;
  }
  // Its steps keep the path's lambda ratio and norms.
  constexpr bool keepsPathHistory() const {
    return kind == MethodKind::kPath || kind == MethodKind::kGroup;
  }
};

namespace method_rows {
using K = MethodKind;
// By method code, from kMethodNone.
constexpr MethodFamily kFamilies[] = {
    {K::kNone, false, false},       // NONE
    {K::kClassical, false, false},  // FORWARD
    {K::kClassical, false, false},  // BACKWARD
    {K::kClassical, false, false},  // STEPWISE
    {K::kPath, false, false},       // LAR
    {K::kPath, false, false},       // LASSO
    {K::kPath, false, true},        // LAR with LSCOEFFS
    {K::kPath, false, true},        // LASSO with LSCOEFFS
    {K::kPath, false, false},       // ELASTICNET
    {K::kPath, false, true},        // the elastic net's least-squares variant
    {K::kOptimizer, false, false},  // HXLASSO
    {K::kOptimizer, true, false},   // HXGLASSO
    {K::kGroup, true, false},       // GROUPLASSO
};
constexpr int kRows = static_cast<int>(sizeof(kFamilies) / sizeof(kFamilies[0]));
static_assert(kRows == codeIndex(kMethodGroupLasso) - codeIndex(kMethodNone) + 1);
}  // namespace method_rows

// The family of a code; codes outside the table get SELECTION=NONE's.
constexpr const MethodFamily& methodFamily(MethodCode code) {
  const int i = codeIndex(code) - codeIndex(kMethodNone);
  return method_rows::kFamilies[i >= 0 && i < method_rows::kRows ? i : 0];
}

}  // namespace vsf
