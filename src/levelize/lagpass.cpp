// The LAG passes of a BY group: the groups (subjects) of each LAG record numbered over one pass
// of the data, then each record's lag tables filled over another (the lagged variable's level
// per group and period), rejecting duplicate groups and periods.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "base/host.h"
#include "base/strings.h"
#include "design/design.h"
#include "levelize/levelize_internal.h"

namespace vsf {

namespace {

// A table keyed through a tree: several key variables, or two tables by the DESIGNROLE= value.
// The default table of one key variable is indexed by that variable's level.
bool keyed(const LagRecord* lag, const LagGroupTable* table) {
  return table != lag->tables[0] || lag->keyCount > 1 || lag->tables[1];
}

std::string_view nameOf(const ZDesignVar* v) {
  return std::string_view(v->name ? v->name : "", static_cast<size_t>(v->nameLength));
}

std::string_view switchName(const ZDesign* d, const LagRecord* lag) {
  const LevelVar* v = lag->switchVar >= 0 ? &d->modelVars[lag->switchVar] : nullptr;
  return v && v->desc ? std::string_view(v->desc->name) : std::string_view();
}

void resetTable(LagGroupTable* t) {
  if (!t) return;
  t->groupCount = 0;
  t->tree = nullptr;
  t->cells = nullptr;
}

// Counts the row into the table's tree: a new key is the next group.
void countRow(ZLevCtx* ctx, const LagRecord* lag, LagGroupTable* table) {
  LagKeyProbe probe(ctx, lag);
  if (probe.missing()) return;
  const int bytes = 4 * lag->keyCount;
  if (ZTreeNode* hit = ztrefind(&table->tree, probe.node(), bytes, kLagKeyOffset, &zidxcmp)) {
    reinterpret_cast<LagGroupNode*>(hit)->rows += 1;
    return;
  }
  auto* node = new (levAlloc(levAllocator(ctx), probe.bytes())) LagGroupNode();
  std::memcpy(reinterpret_cast<char*>(node) + kLagKeyOffset, probe.keys(),
              static_cast<size_t>(bytes));
  node->group = table->groupCount++;
  node->rows = 1;
  ztrebld(&table->tree, &node->link, bytes, kLagKeyOffset, &zidxcmp);
}

// Groups numbered 0, 1, 2 ... in key order.
void renumber(LagGroupTable* table) {
  if (!table || !table->tree) return;
  int32_t next = 0;
  for (ZTreeNode* n = ZTREORD(table->tree); n; n = ZTREORD(table->tree))
    reinterpret_cast<LagGroupNode*>(n)->group = next++;
}

// The data error of a duplicate group and period.
void duplicateMessage(const ZDesign* d, const ZDesignVar* var, const LagRecord* lag,
                      bool historyRow, const char* text1, const char* text2) {
  if (text1 && text2)
    hostMsg(174, 80, {nameOf(var), std::string_view(text1), std::string_view(text2)});
  else if (lag->tables[1])
    hostMsg(174, historyRow ? 79 : 78, {nameOf(var), switchName(d, lag)});
  else
    hostMsg(174, 77, {nameOf(var)});
}

}  // namespace

void zlagtables(ZLevCtx* ctx, int count, LagRecord* const* lags) {
  ZDesign* d = ctx->design;
  for (int i = 0; i < count; ++i) {
    LagRecord* lag = lags[i];
    for (LagGroupTable* t : lag->tables) resetTable(t);
    // The DESIGNROLE= value is read as it is.
    if (lag->tables[1] && lag->switchVar >= 0) {
      d->modelVars[lag->switchVar].center = 0.0;
      d->modelVars[lag->switchVar].halfRange = 1.0;
    }
  }
  ctx->start(ctx);
  while (ctx->next(ctx)) {
    (void)zreadobs(ctx, nullptr, nullptr, nullptr);
    for (int i = 0; i < count; ++i) {
      LagRecord* lag = lags[i];
      LagGroupTable* table = zlagtable(lag, ctx->values);
      if (table && keyed(lag, table)) countRow(ctx, lag, table);
    }
  }
  for (int i = 0; i < count; ++i)
    for (LagGroupTable* t : lags[i]->tables) renumber(t);
}

int zlagpass(ZLevCtx* ctx, ZDesignVar* var, const char* text1, const char* text2) {
  ZDesign* d = ctx->design;
  LagRecord* lag = var->lag;
  HostPool* pool = levAllocator(ctx);
  LagGroupTable* main = lag->tables[2] ? lag->tables[2] : lag->tables[0];
  LagGroupTable* second = lag->tables[2] ? nullptr : lag->tables[1];
  lag->stride = d->classVars[lag->time].levelCount;
  lag->result = -1;
  if (!keyed(lag, main))
    main->groupCount = lag->keyCount > 0 ? d->classVars[lag->keys[0]].levelCount : 0;
  if (main->groupCount <= 0) {
    if (text1 && text2)
      hostMsg(174, 84, {nameOf(var), std::string_view(text1), std::string_view(text2)});
    else if (second)
      hostMsg(174, 83, {nameOf(var), switchName(d, lag)});
    else
      hostMsg(174, 82, {nameOf(var)});
    return setupstatus::kNoLagTable;
  }
  for (LagGroupTable* t : {main, second}) {
    if (!t || t->groupCount <= 0) continue;
    t->cells = levArray<int32_t>(
        pool, static_cast<size_t>(t->groupCount) * static_cast<size_t>(lag->stride));
  }
  std::vector<double> responses(static_cast<size_t>(ctx->responseCount) + 1);
  ctx->start(ctx);
  while (ctx->next(ctx)) {
    (void)zreadobs(ctx, responses.data(), nullptr, nullptr);
    const int32_t t = ctx->levelIndexes[lag->time];
    if (t < 0) continue;
    LagGroupTable* table = zlagtable(lag, ctx->values);
    if (!table) continue;
    const bool history = second && table == second;
    // A scored data set's history rows may carry a response: it only meets their predictions.
    if (history && !text1 &&
        std::none_of(responses.begin(), responses.begin() + ctx->responseCount,
                     [](double y) { return znotfinite(y); })) {
      hostMsg(174, 92, {nameOf(var), switchName(d, lag)});
      return setupstatus::kNoLagTable;
    }
    const int32_t g = zlaggroup(ctx, lag, table);
    if (g < 0 || !table->cells) continue;
    int32_t& cell = table->cells[static_cast<size_t>(g) * lag->stride + t];
    if (cell != 0) {
      duplicateMessage(d, var, lag, history, text1, text2);
      return setupstatus::kNoLagTable;
    }
    const int32_t level = ctx->levelIndexes[lag->lagged];
    if (level >= 0) cell = level + 1;
  }
  return 0;
}

}  // namespace vsf
