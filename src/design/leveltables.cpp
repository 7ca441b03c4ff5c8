// Column level tables: for every design column of an effect, the member design variables'
// columns and the CLASS levels it stands for.
#include <vector>

#include "base/codes.h"
#include "design/design.h"
#include "design/design_internal.h"

namespace vsf {

namespace {

// The table the CLASS part of a column comes from: the coded combinations, or the observed
// ones of the one-column-per-combination layout.
int32_t* classTable(const ZDesign* d, const ZEffect& z) {
  return (d->flags & dflag::kFullRank) ? z.codedLevels : z.combinations;
}

// Decomposes v into mixed-radix digits, the last digit least significant.
void digitsOf(int v, const int32_t* radix, int count, int32_t* out) {
  for (int k = count - 1; k >= 0; --k) {
    out[k] = radix[k] ? v % radix[k] : 0;
    v = radix[k] ? v / radix[k] : 0;
  }
}

int fillMembers(ZDesign* d, HostPool* pool, ZEffect& z) {
  int members = z.constructedCount;
  int width = members + z.keyCount;
  const int32_t* table = classTable(d, z);
  std::vector<long long> stride(static_cast<size_t>(members));
  long long s = z.classColumnCount;
  for (int k = members - 1; k >= 0; --k) {
    stride[static_cast<size_t>(k)] = s;
    s *= d->designVars[z.constructed[k]].columnCount;
  }
  z.levelTableWidth = width;
  z.levelTable = nullptr;
  if (static_cast<long long>(z.columnCount) * width == 0) return 0;
  auto* rows = designArray<int32_t>(pool, static_cast<size_t>(z.columnCount) * width, kFlagsList);
  if (!rows) return rc::kMemory;
  for (int c = 0; c < z.columnCount; ++c) {
    int32_t* row = rows + static_cast<ptrdiff_t>(c) * width;
    for (int k = 0; k < members; ++k) {
      int count = d->designVars[z.constructed[k]].columnCount;
      row[k] = count ? static_cast<int32_t>((c / stride[static_cast<size_t>(k)]) % count) : 0;
    }
    if (table && z.classColumnCount > 0) {
      const int32_t* from = table + static_cast<ptrdiff_t>(c % z.classColumnCount) * z.keyCount;
      for (int k = 0; k < z.keyCount; ++k) row[members + k] = from[k];
    }
  }
  z.levelTable = rows;
  return 0;
}

}  // namespace

// zeffncols: the coded layout's CLASS combinations of one effect, one row per CLASS column:
// crossed levels in list order, then nesting levels; nesting outermost, the last variable of
// each part fastest. Crossed positions skip the reference level under codings 0, 2 and 7.
// With no intercept the first crossed variable of effect 0 runs over all its levels.
void zeffncols(ZDesign* d, HostPool* pool, ZEffect* z, int32_t* work) {
  z->codedLevels = nullptr;
  int nc = z->crossCount, nn = z->nestCount, keys = z->keyCount;
  if (keys == 0) return;
  std::vector<int32_t> own;
  if (!work || keys > d->classCount) {
    own.resize(static_cast<size_t>(3 * keys));
    work = own.data();
  }
  int32_t* radix = work;         // crossed, then nesting
  int32_t* digit = work + keys;  // their digits
  bool fullFirst = (d->flags & dflag::kNoIntercept) && z == d->effects;
  long long p1 = 1, p2 = 1;
  for (int k = 0; k < nc; ++k) {
    int levels = d->classVars[z->cross[k]].levelCount;
    radix[k] = (k == 0 && fullFirst) ? levels : levels - 1;
    p1 *= radix[k];
  }
  for (int k = 0; k < nn; ++k) {
    radix[nc + k] = d->classVars[z->nest[k]].levelCount;
    p2 *= radix[nc + k];
  }
  if (keys * p1 * p2 <= 0) return;
  auto* rows = designArray<int32_t>(pool, static_cast<size_t>(keys * p1 * p2), kFlagsTable);
  if (!rows) return;
  int32_t* out = rows;
  for (long long n = 0; n < p2; ++n) {
    digitsOf(static_cast<int>(n), radix + nc, nn, digit + nc);
    for (long long c = 0; c < p1; ++c) {
      digitsOf(static_cast<int>(c), radix, nc, digit);
      for (int k = 0; k < nc; ++k) {
        const LevelVar& v = d->classVars[z->cross[k]];
        bool full = k == 0 && fullFirst;
        *out++ = full ? digit[k] : codedColumnLevel(v, digit[k]);
      }
      for (int k = 0; k < nn; ++k) *out++ = digit[nc + k];
    }
  }
  z->codedLevels = rows;
}

// zncols: every effect's column level table for the current BY group. An effect without
// member design variables shares its CLASS table.
int zncols(ZLevCtx* ctx, int, const int32_t*) {
  ZDesign* d = ctx->design;
  HostPool* pool = contextPool(ctx);
  int rc = 0;
  std::vector<int32_t> work(static_cast<size_t>(3 * (d->classCount > 0 ? d->classCount : 1)));
  if (d->flags & dflag::kFullRank) {
    for (int e = 0; e < d->effectCount; ++e) {
      ZEffect& z = d->effects[e];
      if (z.keyCount == 0) continue;
      zeffncols(d, pool, &z, work.data());
      if (!z.codedLevels && z.classColumnCount > 0) rc = rc::kMemory;
    }
  }
  for (int e = 0; e < d->effectCount; ++e) {
    ZEffect& z = d->effects[e];
    if (d->designVarCount == 0 || z.constructedCount == 0) {
      z.levelTable = classTable(d, z);
      z.levelTableWidth = z.keyCount;
    } else if (fillMembers(d, pool, z)) {
      rc = rc::kMemory;
    }
  }
  return rc;
}

}  // namespace vsf
