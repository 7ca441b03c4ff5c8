// The design row of an observation: every effect's columns, in effect order. Within an effect
// the member design variables vary slowest and the CLASS part fastest.
#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "base/strings.h"
#include "design/design.h"
#include "design/design_internal.h"

namespace vsf {

namespace {

// The coding scratch row; a context without one (or with one too short) borrows a row of the
// thread's own, grown once.
double* scratchRow(ZLevCtx* ctx, int length) {
  if (ctx->levelScratch && ctx->largestLevelCount >= length)
    return reinterpret_cast<double*>(ctx->levelScratch);
  thread_local std::vector<double> own;
  if (static_cast<int>(own.size()) < length) own.resize(static_cast<size_t>(length));
  return own.data();
}

int scratchLength(const ZLevCtx* ctx, int length) {
  return ctx->levelScratch && ctx->largestLevelCount >= length ? ctx->largestLevelCount : length;
}

bool usesLevelWeights(const ZLevCtx* ctx, const ZEffect& z) {
  if (!ctx->levelWeights) return false;
  for (int k = 0; k < z.keyCount; ++k)
    if (ctx->levelWeights[z.key[k]]) return true;
  return false;
}

// One CLASS variable's factor on column c of the level-weight path.
void weighColumn(ZLevCtx* ctx, const LevelVar& var, const double* vec, int observed, int l,
                 bool crossed, double* col) {
  if (vec) {
    if (znotfinite(*col) || znotfinite(vec[l]))
      *col = kMissingDot();
    else
      *col *= vec[l];
    return;
  }
  if (observed != l) {
    *col = 0.0;
    return;
  }
  if (!crossed) return;
  // Each variable codes with its own width: the effect's width would read the coding
  // matrix at the wrong stride.
  int n = var.levelCount - 1;
  int len = scratchLength(ctx, var.levelCount);
  double* s = scratchRow(ctx, len);
  std::fill(s, s + len, 0.0);
  zlvlcode(&var, s, observed, n, 1.0);
  double f = observed >= 0 ? s[observed] : kMissingDot();
  if (observed < 0 || znotfinite(*col) || znotfinite(f))
    *col = kMissingDot();
  else
    *col *= f;
}

// Effects whose CLASS variables carry level weights: each column starts at the weight and is
// multiplied by every variable's factor for the level its level-table row stands for.
void levelWeightPath(ZLevCtx* ctx, const ZEffect& z, double w, double* cols) {
  const ZDesign* d = ctx->design;
  int width = z.classColumnCount;
  for (int c = 0; c < width; ++c) cols[c] = w;
  if (!z.levelTable || z.levelTableWidth < z.keyCount) return;
  int base = z.levelTableWidth - z.keyCount;
  auto apply = [&](int slot, int var, bool crossed) {
    const LevelVar& v = d->classVars[var];
    const double* vec = ctx->levelWeights[var];
    int observed = ctx->levelIndexes[var];
    for (int c = 0; c < width; ++c) {
      int l = z.levelTable[static_cast<ptrdiff_t>(c) * z.levelTableWidth + slot];
      weighColumn(ctx, v, vec, observed, l, crossed, cols + c);
    }
  };
  for (int k = z.nestCount - 1; k >= 0; --k) apply(base + z.crossCount + k, z.nest[k], false);
  for (int k = 0; k < z.crossCount; ++k) apply(base + k, z.cross[k], true);
}

// Multiplies the cur values at the block's start out by the scratch row of wk values: value i
// becomes the wk columns from i * wk, the first variable varying slowest.
void crossInto(double* block, int cur, const double* scratch, int wk) {
  for (int i = cur - 1; i >= 1; --i) block[static_cast<ptrdiff_t>(i) * wk] = block[i];
  for (int i = 0; i < cur; ++i) {
    double* to = block + static_cast<ptrdiff_t>(i) * wk;
    double a = to[0];
    for (int j = 0; j < wk; ++j) to[j] = scratch[j] * a;
  }
}

}  // namespace

// zeffrow: the CLASS part of effect e, written at cols (the effect's first column). A missing
// level of any of the effect's CLASS variables leaves the part untouched (zeros in a row).
void zeffrow(ZLevCtx* ctx, int e, double* cols) {
  ZDesign* d = ctx->design;
  const ZEffect& z = d->effects[e];
  const EffectResult& cell = d->results[e];
  double w = cell.product;
  if (usesLevelWeights(ctx, z)) return levelWeightPath(ctx, z, w, cols);

  if (!(d->flags & dflag::kFullRank)) {
    if (cell.combination >= 0 && cell.combination < z.classColumnCount) cols[cell.combination] = w;
    return;
  }
  const int32_t* lv = ctx->levelIndexes;
  int offset = 0, multiplier = 1;
  for (int k = z.nestCount - 1; k >= 0; --k) {
    const LevelVar& v = d->classVars[z.nest[k]];
    int l = lv[z.nest[k]];
    if (l < 0 || l >= v.levelCount) return;
    offset += l * multiplier;
    multiplier *= v.levelCount;
  }
  if (z.crossCount == 0) {
    if (offset < z.classColumnCount) cols[offset] = w;
    return;
  }
  bool fullFirst = (d->flags & dflag::kNoIntercept) && e == 0;
  int width = 1;
  for (int k = 0; k < z.crossCount; ++k) {
    const LevelVar& v = d->classVars[z.cross[k]];
    int l = lv[z.cross[k]];
    if (l < 0 || l >= v.levelCount) return;
    width *= (k == 0 && fullFirst) ? v.levelCount : v.levelCount - 1;
  }
  if (width <= 0 || static_cast<long long>(offset + 1) * width > z.classColumnCount) return;

  double* block = cols + static_cast<ptrdiff_t>(offset) * width;
  const LevelVar& first = d->classVars[z.cross[0]];
  int l0 = lv[z.cross[0]];
  int cur = fullFirst ? first.levelCount : first.levelCount - 1;
  if (fullFirst) {
    std::fill(block, block + cur, 0.0);
    block[l0] = w;
  } else {
    zlvlcode(&first, block, l0, cur, w);
  }
  for (int k = 1; k < z.crossCount; ++k) {
    const LevelVar& v = d->classVars[z.cross[k]];
    int wk = v.levelCount - 1;
    int len = scratchLength(ctx, wk);
    double* scratch = scratchRow(ctx, len);
    std::fill(scratch, scratch + len, 0.0);
    zlvlcode(&v, scratch, lv[z.cross[k]], wk, 1.0);
    if (wk && cur) crossInto(block, cur, scratch, wk);
    cur *= wk;
  }
}

// The cells of a design whose effects each hold continuous variables alone (one column each,
// no CLASS variable, no constructed effect): its rows copy the effects' products into their
// columns. Made once per layout of the design, which the keys tell apart.
struct RowPlan {
  const ZDesign* design = nullptr;
  const ZEffect* effects = nullptr;
  const ModelUsageMask* mask = nullptr;
  int32_t effectCount = 0, columnCount = 0, designVarCount = 0;
  uint32_t flags = 0;
  bool plain = false;
  std::vector<std::pair<int32_t, int32_t>> cells;  // column, effect
};

namespace {

const RowPlan& rowPlan(ZLevCtx* ctx, const ZDesign* d, const ModelUsageMask* mask) {
  const RowPlan* p = ctx->rowPlan.get();
  if (p && p->design == d && p->effects == d->effects && p->mask == mask &&
      p->effectCount == d->effectCount && p->columnCount == d->columnCount &&
      p->designVarCount == d->designVarCount && p->flags == d->flags)
    return *p;
  auto plan = std::make_shared<RowPlan>();
  plan->design = d;
  plan->effects = d->effects;
  plan->mask = mask;
  plan->effectCount = d->effectCount;
  plan->columnCount = d->columnCount;
  plan->designVarCount = d->designVarCount;
  plan->flags = d->flags;
  plan->plain = d->designVarCount == 0;
  for (int e = 0; e < d->effectCount && plan->plain; ++e) {
    if (mask && mask->effects && mask->effects[e] == '0') continue;
    const ZEffect& z = d->effects[e];
    plan->plain = z.constructedCount == 0 && z.keyCount == 0;
    if (z.classColumnCount > 0) plan->cells.emplace_back(z.startColumn, e);
  }
  ctx->rowPlan = plan;
  return *plan;
}

}  // namespace

// zxrow: the design row of the current observation.
//   values  one double per model variable, copied into the context's values (or null)
//   levels  one level index per CLASS variable, copied into the context's levels (or null)
//   row     ZDesign::columnCount doubles; null writes the context's designRow
void zxrow(ZLevCtx* ctx, const double* values, const int32_t* levels, double* row) {
  ZDesign* d = ctx->design;
  if (!row) row = ctx->designRow;
  if (!d || !row) return;
  if (values && ctx->values && values != ctx->values && d->modelVarCount > 0)
    std::memcpy(ctx->values, values, sizeof(double) * static_cast<size_t>(d->modelVarCount));
  if (levels && ctx->levelIndexes && levels != ctx->levelIndexes && d->classCount > 0)
    std::memcpy(ctx->levelIndexes, levels, sizeof(int32_t) * static_cast<size_t>(d->classCount));

  const ModelUsageMask* mask = d->usageMask && d->usageMask->marker == '1' ? d->usageMask : nullptr;
  const bool coded = d->flags & dflag::kFullRank;
  if (!ctx->rowHook) {
    // Most designs are of continuous effects alone: their cells, without a walk of the effects.
    const RowPlan& plan = rowPlan(ctx, d, mask);
    if (plan.plain) {
      std::fill(row, row + d->columnCount, 0.0);
      for (const auto& [column, e] : plan.cells) {
        const EffectResult& cell = d->results[e];
        if (coded || cell.combination == 0) row[column] = cell.product;
      }
      return;
    }
  }
  for (int i = 0; i < d->designVarCount; ++i) d->designVars[i].computed = 0;
  for (int i = 0; i < d->designVarCount; ++i) {
    if (mask && mask->designVars && mask->designVars[i] == '0') continue;
    zcterm(ctx, &d->designVars[i]);
  }
  if (ctx->rowHook) ctx->rowHook(ctx);

  std::fill(row, row + d->columnCount, 0.0);
  for (int e = 0; e < d->effectCount; ++e) {
    if (mask && mask->effects && mask->effects[e] == '0') continue;
    const ZEffect& z = d->effects[e];
    double* cols = row + z.startColumn;
    int members = z.constructedCount;
    // Most effects are continuous: one column holding the product of their variables.
    if (members == 0 && z.keyCount == 0) {
      const EffectResult& cell = d->results[e];
      if (z.classColumnCount > 0 && (coded || cell.combination == 0)) cols[0] = cell.product;
      continue;
    }
    long long width;
    if (z.contCount == 0 && z.keyCount == 0 && members > 0) {
      const ZDesignVar& last = d->designVars[z.constructed[members - 1]];
      width = std::min(last.columnCount, z.columnCount);
      if (last.columnValues) std::copy(last.columnValues, last.columnValues + width, cols);
      --members;
    } else {
      zeffrow(ctx, e, cols);
      width = z.classColumnCount;
    }
    for (int k = members - 1; k >= 0; --k) {
      const ZDesignVar& v = d->designVars[z.constructed[k]];
      int m = v.columnCount;
      if (width * m > z.columnCount) break;
      if (m && width && v.columnValues) zkronexp(cols, static_cast<int>(width), v.columnValues, m);
      width *= m;
    }
  }
}

}  // namespace vsf
