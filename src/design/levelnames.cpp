// Level names: a short text per column of a constructed design variable, and the per-variable
// level texts or values of one design column for the parameter tables.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "design/design.h"
#include "design/design_internal.h"
#include "frame/host/dataset.h"

namespace vsf {

namespace {

// Collects the names of one design variable into its arrays, never past its column count.
class LevelNames {
 public:
  LevelNames(HostPool* pool, ZDesignVar* var) : pool_(pool), var_(var) {}
  bool full() const { return next_ >= var_->columnCount; }
  void add(std::string_view text) {
    if (full()) return;
    var_->labels[next_] = designText(pool_, text, kFlagsList);
    int n = var_->labels[next_] ? static_cast<int>(text.size()) : 0;
    var_->labelLengths[next_] = n;
    if (n > var_->longestLabel) var_->longestLabel = n;
    ++next_;
  }

 private:
  HostPool* pool_;
  ZDesignVar* var_;
  int next_ = 0;
};

// The level part of a CLASS level: the coded name, or the level's text.
std::string levelPart(const LevelVar& v, int level) {
  if (codingOf(v.coding).codedNames()) return codedLevelName(v.coding, level + 1);
  return std::string(levelText(v, level));
}

// The levels a CLASS member's block of columns stands for, one per column: in the coded layout
// the reference is stepped over as the plain CLASS effects step over it.
std::vector<int> blockLevels(const ZDesign* d, const LevelVar& v) {
  const bool coded = d->flags & dflag::kFullRank;
  std::vector<int> levels;
  for (int c = 0; c < (coded ? v.levelCount - 1 : v.levelCount); ++c)
    levels.push_back(coded ? codedColumnLevel(v, c) : c);
  return levels;
}

void collectionNames(const ZDesign* d, const ZDesignVar* var, LevelNames& out) {
  for (int i = 0; i < var->valueCount; ++i) out.add(varName(&d->modelVars[var->values[i]]));
  for (int i = 0; i < var->classCount; ++i) {
    const LevelVar& v = d->classVars[var->classMembers[i]];
    std::string prefix = std::string(varName(&v)) + ":";
    for (int l : blockLevels(d, v)) out.add(prefix + levelPart(v, l));
  }
}

// SPLIT and per-column spline records carry no names of their own.
void splineNames(const ZDesign* d, const ZDesignVar* var, LevelNames& out) {
  const SplineOptions* s = var->spline;
  if (!s || s->split || var->perColumn) return;
  for (int i = 0; i < var->valueCount; ++i) {
    std::string prefix =
        var->valueCount > 1 ? std::string(varName(&d->modelVars[var->values[i]])) + ":" : "";
    for (int k = 1; k <= s->basisColumns; ++k) out.add(prefix + std::to_string(k));
  }
}

void lagNames(const ZDesign* d, const ZDesignVar* var, LevelNames& out) {
  if (!var->lag || var->lag->lagged < 0 || var->lag->lagged >= d->classCount) return;
  const LevelVar& v = d->classVars[var->lag->lagged];
  for (int l : blockLevels(d, v)) out.add(levelPart(v, l));
}

}  // namespace

// zlvlname: the level names of one design variable, made once. POLYNOMIAL terms and
// MULTIMEMBER variables get empty names here (their labels come with their records).
void zlvlname(ZLevCtx* ctx, ZDesignVar* var) {
  if (var->labels) return;
  HostPool* pool = contextPool(ctx);
  var->longestLabel = 0;
  if (var->columnCount <= 0) return;
  var->labels = designArray<char*>(pool, static_cast<size_t>(var->columnCount), kFlagsList);
  var->labelLengths = designArray<int32_t>(pool, static_cast<size_t>(var->columnCount), kFlagsList);
  if (!var->labels || !var->labelLengths) {
    var->labels = nullptr;
    var->labelLengths = nullptr;
    return;
  }
  LevelNames out(pool, var);
  const ZDesign* d = ctx->design;
  switch (var->type) {
    case effkind::kCollection:
      collectionNames(d, var, out);
      break;
    case effkind::kSpline:
      splineNames(d, var, out);
      break;
    case effkind::kLag:
      lagNames(d, var, out);
      break;
    default:
      break;
  }
}

void zlvlnameout(ZLevCtx* ctx, int count, const int32_t* list) {
  ZDesign* d = ctx->design;
  if (count <= 0 || !list) {
    for (int i = 0; i < d->designVarCount; ++i) zlvlname(ctx, &d->designVars[i]);
    return;
  }
  for (int i = 0; i < count; ++i)
    if (list[i] >= 0 && list[i] < d->designVarCount) zlvlname(ctx, &d->designVars[list[i]]);
}

// zorthname: for one column's level row, each CLASS variable's coded name (text slot), numeric
// level value (value slot) or character level text (text slot, not terminated), by variable.
void zorthname(const ZDesign* d, const ZEffect* z, const int32_t* row, char (*texts)[32],
               double* values) {
  const int32_t* levels = classPart(*z, row);
  if (!levels) return;
  for (int k = 0; k < z->keyCount; ++k) {
    int c = z->key[k];
    const LevelVar& v = d->classVars[c];
    int l = levels[k];
    if (l < 0 || l >= v.levelCount) continue;
    if (codingOf(v.coding).codedNames()) {
      std::snprintf(texts[c], 32, "%s", codedLevelName(v.coding, l + 1).c_str());
    } else if (v.desc && v.desc->type == kVarNumeric) {
      if (v.levels) values[c] = v.levels[l].value;
    } else if (v.levels && v.levels[l].text) {
      int n = v.levels[l].length < 32 ? v.levels[l].length : 32;
      std::memcpy(texts[c], v.levels[l].text, static_cast<size_t>(n));
    }
  }
}

}  // namespace vsf
