// The combination pass: reads the group once more and keeps, per effect with a level key,
// the distinct tuples of level indexes its observations meet, as a table in key order.
#include <cstring>
#include <vector>

#include "base/host.h"
#include "levelize/levelize_internal.h"

namespace vsf {

namespace {

constexpr int kComboKeyOffset = static_cast<int>(sizeof(ZTreeNode));

int32_t* comboKey(ZTreeNode* node) {
  return reinterpret_cast<int32_t*>(reinterpret_cast<char*>(node) + kComboKeyOffset);
}

// The observation's key of an effect: nesting levels, then crossed ones. False when a level is
// missing and missing levels are kept out.
bool fillKey(const ZEffect& z, const int32_t* levels, int32_t* key, bool skipMissing) {
  int at = 0;
  for (int i = 0; i < z.nestCount; ++i) key[at++] = levels[z.nest[i]];
  for (int i = 0; i < z.crossCount; ++i) key[at++] = levels[z.cross[i]];
  if (skipMissing)
    for (int i = 0; i < at; ++i)
      if (key[i] < 0) return false;
  return true;
}

// Rows of the table: crossed levels first, then nesting ones.
void layOut(ZEffect& z, HostPool* pool) {
  const int k = z.keyCount;
  z.combinations = levArray<int32_t>(pool, static_cast<size_t>(z.combinationCount) * k);
  int32_t* row = z.combinations;
  for (ZTreeNode* p = ZTREORD(z.combinationTree); p; p = ZTREORD(z.combinationTree)) {
    const int32_t* key = comboKey(p);
    std::memcpy(row, key + z.nestCount, sizeof(int32_t) * static_cast<size_t>(z.crossCount));
    std::memcpy(row + z.crossCount, key, sizeof(int32_t) * static_cast<size_t>(z.nestCount));
    row += k;
  }
  z.combinationTree = nullptr;
}

}  // namespace

void levCombinations(ZLevCtx* ctx) {
  ZDesign* d = ctx->design;
  for (int e = 0; e < d->effectCount; ++e) {
    ZEffect& z = d->effects[e];
    z.combinationCount = z.keyCount == 0 ? 1 : 0;
    z.combinations = nullptr;
    z.combinationTree = nullptr;
  }
  if (d->classCount == 0) return;
  HostPool* temp = levHeapNew(0);
  std::vector<ZTreeNode*> spare(static_cast<size_t>(d->effectCount), nullptr);
  std::vector<LevHashIndex> met(static_cast<size_t>(d->effectCount));
  for (int e = 0; e < d->effectCount; ++e)
    levHashInit(&met[static_cast<size_t>(e)], temp, 4 * d->effects[e].keyCount, kComboKeyOffset);
  const bool reads = !(d->flags & dflag::kNoResponseRead);
  std::vector<double> responses(static_cast<size_t>(ctx->responseCount) + 1);
  double weight = 0.0, frequency = 0.0;
  const bool keepMissing = (d->flags & dflag::kKeepMissing) != 0;

  if (ctx->threaded && zlevthreads(ctx)) {
    // The workers' trees were merged by the threaded levelization.
  } else {
    if (ctx->threaded) zlevthrfree(ctx);
    ctx->start(ctx);
    while (ctx->next(ctx)) {
      uint32_t s = zreadobs(ctx, reads ? responses.data() : nullptr, reads ? &weight : nullptr,
                            reads ? &frequency : nullptr);
      if (!keepMissing && (s & ~(obs::kClassMissing | obs::kAllMissing)) != 0) continue;
      for (int e = 0; e < d->effectCount; ++e) {
        ZEffect& z = d->effects[e];
        const int k = z.keyCount;
        if (k == 0) continue;
        ZTreeNode*& node = spare[static_cast<size_t>(e)];
        if (!node)
          node = static_cast<ZTreeNode*>(
              levAlloc(temp, static_cast<size_t>(kComboKeyOffset) + 4 * static_cast<size_t>(k)));
        if (!fillKey(z, ctx->levelIndexes, comboKey(node), keepMissing)) continue;
        LevHashIndex& seen = met[static_cast<size_t>(e)];
        const uint64_t hash = levHashBytes(comboKey(node), 4 * k);
        if (levHashFind(&seen, comboKey(node), hash)) continue;
        if (ztrebld(&z.combinationTree, node, 4 * k, kComboKeyOffset, &zidxcmp) == node) {
          ++z.combinationCount;
          levHashAdd(&seen, node, hash);
          node = nullptr;
        }
      }
    }
  }
  HostPool* pool = levAllocator(ctx);
  for (int e = 0; e < d->effectCount; ++e)
    if (d->effects[e].keyCount > 0) layOut(d->effects[e], pool);
  levHeapFree(temp);
}

}  // namespace vsf
