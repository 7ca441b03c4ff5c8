// Candidate labels: a whole effect is shown by its name; a cell of an effect with split CLASS
// variables by its variables' names, each split one with its level ("x*A_a2", "A_a1(B_b2)").
#include <algorithm>
#include <cstring>
#include <string>

#include "base/codes.h"
#include "base/host.h"
#include "design/design.h"
#include "design/design_internal.h"

namespace vsf {

namespace {

std::string_view modelVarName(const ZDesign* d, int i) { return varName(&d->modelVars[i]); }
std::string_view designVarName(const ZDesign* d, int i) {
  const ZDesignVar& v = d->designVars[i];
  return v.name ? std::string_view(v.name, static_cast<size_t>(v.nameLength)) : std::string_view();
}

// The level part of a split variable: the coded name or the level's text.
std::string splitLevel(const LevelVar& v, int level) {
  if (codingOf(v.coding).codedNames()) return codedLevelName(v.coding, level + 1);
  return std::string(levelText(v, level));
}

// The label of a split entry, built whole and stored at its own length, so that coded level
// names of any length fit.
class SplitLabel {
 public:
  SplitLabel(const ZDesign* d, const CandidateEntry& entry) : d_(d), entry_(entry) {}
  std::string build() {
    const ZEffect& z = d_->effects[entry_.effect];
    std::string out;
    auto joined = [&](std::string_view name) {
      if (!out.empty()) out += '*';
      out.append(name);
    };
    for (int k = 0; k < z.contCount; ++k) joined(modelVarName(d_, z.cont[k]));
    for (int k = 0; k < z.constructedCount; ++k) joined(designVarName(d_, z.constructed[k]));
    for (int k = 0; k < z.crossCount; ++k) {
      joined(varName(&d_->classVars[z.cross[k]]));
      out += splitPart(z.cross[k]);
    }
    if (z.nestCount > 0) {
      out += '(';
      for (int k = 0; k < z.nestCount; ++k) {
        if (k) out += '*';
        out.append(varName(&d_->classVars[z.nest[k]]));
        out += splitPart(z.nest[k]);
      }
      out += ')';
    }
    return out;
  }

 private:
  // "_" and the level of a split variable, its levels taken in the entry's order.
  std::string splitPart(int var) {
    const LevelVar& v = d_->classVars[var];
    if (!v.split || !entry_.levels || next_ >= entry_.splitCount) return std::string();
    return "_" + splitLevel(v, entry_.levels[next_++]);
  }

  const ZDesign* d_;
  const CandidateEntry& entry_;
  int next_ = 0;
};

}  // namespace

// nameDesignColumns: the label of every candidate entry, and the longest label.
int nameDesignColumns(ZDesign* d, std::vector<CandidateEntry>* table, int count, HostPool* pool,
                      int32_t* longestLabel) {
  if (!d || !table) return 0;
  count = std::min(count, static_cast<int>(table->size()));
  int rc = 0, longest = 0;
  for (int i = 0; i < count; ++i) {
    CandidateEntry& entry = (*table)[static_cast<size_t>(i)];
    if (entry.effect < 0 || entry.effect >= d->effectCount) continue;
    const ZEffect& z = d->effects[entry.effect];
    if (entry.splitCount == 0) {
      entry.label = z.name;
      entry.labelLength = z.name ? static_cast<int32_t>(std::strlen(z.name)) : 0;
    } else {
      std::string text = SplitLabel(d, entry).build();
      char* label = text.empty() ? nullptr : static_cast<char*>(designAlloc(pool, text.size(), 0));
      if (label) std::memcpy(label, text.data(), text.size());
      entry.label = label;
      entry.labelLength = label ? static_cast<int32_t>(text.size()) : 0;
      if (!label) rc = rc::kMemory;
    }
    longest = std::max(longest, static_cast<int>(entry.labelLength));
  }
  *longestLabel = longest;
  return rc;
}

}  // namespace vsf
