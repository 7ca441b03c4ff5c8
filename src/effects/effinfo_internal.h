// Shared by the effect information records (effinfo.cpp) and the EFFECT statement expansion
// (effect_stmt*.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "effects/effects.h"

namespace vsf {

struct StatementRecord;

// A host descriptor kept for the rest of the step; null when the variable is unknown.
VarDescriptor* effDescriptor(HostDataSet* ds, int number);

inline void raiseBuildCode(ZDesign* d, int code) {
  if (code > d->buildCode) d->buildCode = code;
}

// Fills the lookup table and the design variables of the step's EFFECT statements: 0; 1 after
// the message (the build code says why); or zsplopts's nonzero result.
[[nodiscard]] int expandEffects(ZDesign* d, HostDataSet* ds, DesignVarLookup** lookup);

// The distinct variable numbers of a list, in first-seen order.
std::vector<int> distinctVars(const std::vector<int>& list);
int32_t zeffvarcount(const std::vector<int>& list);
// CLASS-list index of a variable number, or -1.
int32_t zclassfind(const ZDesign* d, int number);
bool zanyclass(const ZDesign* d, const std::vector<int>& list);
// The name of the first listed variable that is character and not a CLASS variable (a
// continuous member would read its text as numbers); empty when there is none.
std::string zcharactervar(HostDataSet* ds, const ZDesign* d, const std::vector<int>& list);
// Model-variable index of each listed variable that is not a CLASS variable (added when new;
// -1 for CLASS variables); false when a descriptor cannot be had.
bool zaddmodelvars(HostDataSet* ds, ZDesign* d, const std::vector<int>& list,
                   std::vector<int32_t>* indexes);
// Adds one variable to the CLASS list; its index, or -1 when it has no descriptor.
int32_t zaddclassvar(HostDataSet* ds, ZDesign* d, int number);
// Sets the options and formatted width of a CLASS variable from the design's defaults.
void initClassVar(ZDesign* d, LevelVar* v);
std::string varName(const LevelVar& v);
// The name of a polynomial term: its variables in order, equal ones adjacent.
std::string znumname(const PolyRecord& p, const ZDesign* d, const std::vector<int32_t>& term);

}  // namespace vsf
