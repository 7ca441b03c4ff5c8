// LAG effects in a row: the lag table a row goes to, the lagged variable's level at the row's
// group NLAG periods back, and the LAG columns.
#include <algorithm>
#include <cstring>
#include <vector>

#include "base/strings.h"
#include "design/design.h"
#include "design/design_internal.h"

namespace vsf {

LagKeyProbe::LagKeyProbe(const ZLevCtx* ctx, const LagRecord* lag)
    : bytes_(kLagKeyOffset + 4 * static_cast<size_t>(lag->keyCount)) {
  if (bytes_ > sizeof local_) heap_.resize(bytes_ / 8 + 1);
  int32_t* key = keys();
  for (int k = 0; k < lag->keyCount; ++k) {
    key[k] = ctx->levelIndexes[lag->keys[k]];
    if (key[k] < 0) missing_ = true;
  }
}

int32_t zlaggroup(const ZLevCtx* ctx, const LagRecord* lag, LagGroupTable* table) {
  int32_t g = -1;
  if (!table->tree) {
    g = lag->keyCount > 0 ? ctx->levelIndexes[lag->keys[0]] : -1;
    return g < table->groupCount ? g : -1;
  }
  LagKeyProbe probe(ctx, lag);
  if (probe.missing()) return -1;
  ZTreeNode* hit = ztrefind(&table->tree, probe.node(), 4 * lag->keyCount, kLagKeyOffset, &zidxcmp);
  if (hit) g = reinterpret_cast<LagGroupNode*>(hit)->group;
  return g < table->groupCount ? g : -1;
}

LagGroupTable* zlagtable(const LagRecord* lag, const double* values) {
  if (lag->tables[2]) return lag->tables[2];
  if (!lag->tables[1]) return lag->tables[0];
  const double s = lag->switchVar >= 0 && values ? values[lag->switchVar] : missingValue('.');
  if (znotfinite(s)) return nullptr;
  return s == 0.0 ? lag->tables[1] : lag->tables[0];
}

// The lagged variable's level for the current row: -1 none, -2 a period before the lag.
int32_t zlaglevel(const ZLevCtx* ctx, const LagRecord* lag) {
  if (lag->notAvailable) return -1;
  LagGroupTable* table = zlagtable(lag, ctx->values);
  if (!table || !table->cells) return -1;
  const int32_t g = zlaggroup(ctx, lag, table);
  const int32_t t = ctx->levelIndexes[lag->time];
  if (g < 0 || t < 0) return -1;
  if (t < lag->distance) return -2;
  return table->cells[static_cast<size_t>(g) * lag->stride + (t - lag->distance)] - 1;
}

void zlagcolumns(ZLevCtx* ctx, ZDesignVar* var) {
  const ZDesign* d = ctx->design;
  LagRecord* lag = var->lag;
  const LevelVar& lagged = d->classVars[lag->lagged];
  const int32_t t = ctx->levelIndexes[lag->time];
  const int32_t level = lag->result != -1 ? lag->result : zlaglevel(ctx, lag);
  lag->result = -1;
  if (t < 0 || t < lag->distance || level == -2) return;
  double* cols = var->columnValues;
  const bool coded = d->flags & dflag::kFullRank;
  const int n = coded ? lagged.levelCount - 1 : lagged.levelCount;
  if (const double* weights = ctx->levelWeights ? ctx->levelWeights[lag->lagged] : nullptr) {
    zlevelweights(lagged, weights, coded, cols);
  } else if (level < 0) {
    std::fill(cols, cols + n, kMissingDot());
  } else if (coded) {
    zlvlcode(&lagged, cols, level, n, 1.0);
  } else {
    cols[level] = 1.0;
  }
}

}  // namespace vsf
