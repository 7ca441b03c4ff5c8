// Level-combination index tables: per effect one row per CLASS cell with the level of each of
// its CLASS variables, for the per-parameter candidates of split CLASS variables.
#include <algorithm>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "design/design.h"
#include "design/design_internal.h"

namespace vsf {

namespace {

void digitsOf(long long v, const std::vector<int32_t>& radix, int from, int count, int32_t* out) {
  for (int k = count - 1; k >= 0; --k) {
    int32_t r = radix[static_cast<size_t>(from + k)];
    out[k] = static_cast<int32_t>(r ? v % r : 0);
    v = r ? v / r : 0;
  }
}

// Without a full-rank parametrization every level combination met in the data is a column of
// its own: the cells are those combinations, in column order.
int metCells(ZEffect& z, HostPool* pool) {
  z.cellIndex = nullptr;
  const size_t n = static_cast<size_t>(z.combinationCount) * static_cast<size_t>(z.keyCount);
  if (n == 0 || !z.combinations) return 0;
  auto* table = static_cast<int32_t*>(designAlloc(pool, sizeof(int32_t) * n, 0x80000000u));
  if (!table) return rc::kMemory;
  std::copy(z.combinations, z.combinations + n, table);
  z.cellIndex = table;
  return 0;
}

// Crossed variables run over their non-reference columns (a coding whose columns are its
// levels' own skips the reference level; the others keep the columns' numbers), nesting
// variables over all their levels; nesting outermost. The first crossed variable of the first
// effect of a model without intercept keeps all its levels, as its columns do.
int cellTable(const ZDesign* d, ZEffect& z, bool firstEffect, HostPool* pool) {
  if (!(d->flags & dflag::kFullRank)) return metCells(z, pool);
  int nc = z.crossCount, nn = z.nestCount, keys = z.keyCount;
  std::vector<int32_t> radix(static_cast<size_t>(keys));
  const bool allLevels = firstEffect && (d->flags & dflag::kNoIntercept);
  long long pc = 1, pn = 1;
  for (int k = 0; k < nc; ++k)
    pc *= radix[static_cast<size_t>(k)] =
        d->classVars[z.cross[k]].levelCount - (k == 0 && allLevels ? 0 : 1);
  for (int k = 0; k < nn; ++k)
    pn *= radix[static_cast<size_t>(nc + k)] = d->classVars[z.nest[k]].levelCount;
  z.cellIndex = nullptr;
  if (pc <= 0 || pn <= 0) return 0;
  auto* table = static_cast<int32_t*>(
      designAlloc(pool, sizeof(int32_t) * static_cast<size_t>(keys * pc * pn), 0x80000000u));
  if (!table) return rc::kMemory;
  std::vector<int32_t> nest(static_cast<size_t>(nn > 0 ? nn : 1));
  int32_t* out = table;
  for (long long r = 0; r < pn; ++r) {
    digitsOf(r, radix, nc, nn, nest.data());
    for (long long c = 0; c < pc; ++c) {
      digitsOf(c, radix, 0, nc, out);
      for (int k = 0; k < nc; ++k) {
        const LevelVar& v = d->classVars[z.cross[k]];
        bool skip = codingOf(v.coding).levelsOwnColumns() && !(k == 0 && allLevels);
        if (skip && out[k] >= v.refIndex) ++out[k];
      }
      for (int k = 0; k < nn; ++k) out[nc + k] = nest[static_cast<size_t>(k)];
      out += keys;
    }
  }
  z.cellIndex = table;
  return 0;
}

}  // namespace

// buildEffectCellIndex: the cell tables of every effect, or of the effects of the current
// model's candidates when sel is given. The effects done keep their tables after a failure.
int buildEffectCellIndex(ZDesign* d, const std::vector<int32_t>* list, HostPool* pool) {
  if (!d || d->classCount <= 0) return rc::kMemory;
  std::vector<int32_t> effects;
  if (list)
    effects = *list;
  else
    for (int e = 0; e < d->effectCount; ++e) effects.push_back(e);
  for (int32_t e : effects) {
    if (e < 0 || e >= d->effectCount || d->effects[e].keyCount == 0) continue;
    if (cellTable(d, d->effects[e], e == 0, pool)) return rc::kMemory;
  }
  return 0;
}

}  // namespace vsf
