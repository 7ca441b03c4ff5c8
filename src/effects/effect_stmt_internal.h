// One EFFECT statement as the expansion reads it, and the per-type builders.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "effects/effects.h"
#include "frame/host/parse.h"
#include "grammar/slots.h"

namespace vsf {

// The EFFECT record as the grammar writes it.
namespace es = slots::effect;
namespace ef = flags::effect;

// The counts of a SPLINE statement worked out in the first pass.
struct SplineCount {
  int32_t degree = 3;
  int32_t knots = 3;
  int32_t interior = 3;  // interior knots the basis will have: listed values thinned, the
                         // boundary knots of LISTWITHBOUNDARY left out
  int32_t start = 0, end = 0, scales = 1;
  bool natural = false, tpf = false, noInt = false, noPowers = false;
  bool split = false, separate = false, multiscale = false;
  int32_t splitColumns = 0;  // design variables per variable and scale under SPLIT (no MULTISCALE)
  int32_t designVars = 1;
};

struct EffectStatement {
  const StatementRecord* s;
  int32_t number;  // position among the step's EFFECT statements
  std::string name;
  int32_t type = 0;
  int32_t members = 0;  // distinct variables
  int32_t designVars = 0;
  bool lagTable = false;
  SplineCount spline;

  EffectStatement(const StatementRecord* record, int32_t n);
  bool flag(int f) const { return s->flag(f); }
  bool given(int slot) const;
  int32_t integer(int slot, int32_t fallback) const;
  double real(int slot, double fallback) const;
  const std::string& text(int slot) const;
  const std::vector<int>& list(int slot) const;
  const std::vector<double>& numbers(int slot) const;
  const std::vector<int>& vars() const { return list(es::kVars); }
};

// What a design variable costs: its record, its label, its effect and the selection's arrays
// of that effect (about 3 KB measured for the terms of a polynomial).
constexpr double kDesignVarBytes = sizeof(ZDesignVar) + 2048.0;
// The memory one statement asks for, held to what the step may use before anything is made:
// the records of its design variables and the crossproducts of its widest effect, of
// `columns`. 0, or 1 after an error naming `option`=`value`, which made them, and the step
// refused.
[[nodiscard]] int statementFitsMemory(ZDesign* d, const EffectStatement& e, std::string_view kind,
                                      std::string_view option, std::string_view value,
                                      int64_t designVars, int64_t columns);

ZDesignVar* startDesignVar(ZDesignVar* v, const EffectStatement& e, int32_t index,
                           std::string_view name);
[[nodiscard]] int countSpline(ZDesign* d, const EffectStatement& e, SplineCount* c);
[[nodiscard]] int buildSpline(ZDesign* d, HostDataSet* ds, const EffectStatement& e, ZDesignVar* v);
[[nodiscard]] int buildPolynomial(ZDesign* d, HostDataSet* ds, const EffectStatement& e,
                                  ZDesignVar* v);
// The moment sums that standardized polynomials need, listing their variables.
void makeMomentSums(ZDesign* d);
// The terms of a polynomial of the given degree over m variables: every multiset of positions,
// by degree, then in lexicographic order.
std::vector<std::vector<int32_t>> polynomialTerms(int32_t m, int32_t degree);

}  // namespace vsf
