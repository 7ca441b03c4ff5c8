// The design columns of a BY group: each effect's start column and column count, its level
// table (one row per column) and the parameter names, made unique.
#include <cstring>
#include <vector>

#include "base/host.h"
#include "base/strings.h"
#include "design/design.h"
#include "levelize/levelize_internal.h"

namespace vsf {

namespace {

// The CLASS columns of an effect under full-rank codings: levels - 1 per crossed variable
// (all levels for the first crossed variable of the first effect without an intercept),
// times the levels of each nesting variable.
int64_t codedClassColumns(const ZDesign* d, const ZEffect& z, bool firstEffect) {
  int64_t c = 1;
  for (int i = 0; i < z.crossCount; ++i) {
    int64_t levels = d->classVars[z.cross[i]].levelCount;
    bool full = i == 0 && firstEffect && (d->flags & dflag::kNoIntercept);
    c *= full ? levels : levels - 1;
  }
  for (int i = 0; i < z.nestCount; ++i) c *= d->classVars[z.nest[i]].levelCount;
  return c;
}

int64_t memberColumns(const ZDesign* d, const ZEffect& z) {
  int64_t m = 1;
  for (int i = 0; i < z.constructedCount; ++i) m *= d->designVars[z.constructed[i]].columnCount;
  return m;
}

int decimalDigits(int64_t x) {
  int n = 1;
  while (x >= 10) {
    x /= 10;
    ++n;
  }
  return n;
}

// A name record of the uniqueness tree: its counter, then the name, NUL-terminated.
struct NameRecord {
  ZTreeNode link;
  int32_t counter = 1;
};
constexpr int kNameKeyOffset = static_cast<int>(sizeof(NameRecord));
char* recordName(NameRecord* r) { return reinterpret_cast<char*>(r) + kNameKeyOffset; }

}  // namespace

void levColumnCounts(ZDesign* d) {
  int64_t total = 0;
  for (int e = 0; e < d->effectCount; ++e) {
    ZEffect& z = d->effects[e];
    z.startColumn = static_cast<int32_t>(total);
    int64_t c =
        (d->flags & dflag::kFullRank) ? codedClassColumns(d, z, e == 0) : z.combinationCount;
    z.classColumnCount = static_cast<int32_t>(c);
    z.columnCount = static_cast<int32_t>(c * memberColumns(d, z));
    total += z.columnCount;
  }
  d->columnCount = static_cast<int32_t>(total);
}

void levLevelTables(ZLevCtx* ctx) {
  ZDesign* d = ctx->design;
  HostPool* pool = levAllocator(ctx);
  for (int e = 0; e < d->effectCount; ++e) {
    ZEffect& z = d->effects[e];
    const int32_t* rows = (d->flags & dflag::kFullRank) ? z.codedLevels : z.combinations;
    const int k = z.keyCount;
    const int m = z.constructedCount;
    if (d->designVarCount == 0 || m == 0) {
      z.levelTable = const_cast<int32_t*>(rows);
      z.levelTableWidth = k;
      continue;
    }
    // One row per column: the members' sub-indexes (last member fastest), then the levels of
    // the column's CLASS combination.
    const int width = m + k;
    const int64_t c = z.classColumnCount;
    z.levelTableWidth = width;
    z.levelTable = levArray<int32_t>(pool, static_cast<size_t>(z.columnCount) * width);
    for (int64_t r = 0; r < z.columnCount; ++r) {
      int32_t* out = z.levelTable + r * width;
      int64_t digits = c > 0 ? r / c : r;
      for (int i = m - 1; i >= 0; --i) {
        int64_t radix = d->designVars[z.constructed[i]].columnCount;
        out[i] = static_cast<int32_t>(radix > 0 ? digits % radix : 0);
        digits = radix > 0 ? digits / radix : 0;
      }
      if (k > 0 && rows && c > 0)
        std::memcpy(out + m, rows + (r % c) * k, sizeof(int32_t) * static_cast<size_t>(k));
    }
  }
}

void levParameterNames(ZLevCtx* ctx) {
  ZDesign* d = ctx->design;
  d->nameCounters[0] = d->nameCounters[1] = 0;
  if (d->labelStyle == 0) {
    zdsgnnames(ctx);
    return;
  }
  HostPool* pool = levAllocator(ctx);
  d->parmNames[0] = levArray<char*>(pool, static_cast<size_t>(d->columnCount));
  d->parmNames[1] = levArray<char*>(pool, static_cast<size_t>(d->columnCount));
  int longest = 0;
  for (int e = 0; e < d->effectCount; ++e)
    if (d->effects[e].name) longest = zimax(longest, zstrlen(d->effects[e].name));
  for (int e = 0; e < d->effectCount; ++e) zeffparmnames(d, pool, e, longest);
}

void levUniqueNames(ZDesign* d, HostPool* allocator) {
  char** names = d->parmNames[0];
  if (!names || d->columnCount <= 0) return;
  int longest = 0;
  for (int j = 0; j < d->columnCount; ++j)
    if (names[j]) longest = zimax(longest, zstrlen(names[j]));
  const int w = zimin(32, longest + decimalDigits(static_cast<int64_t>(d->columnCount) + 1));
  HostPool* heap = levHeapNew(0);
  ZTreeNode* root = nullptr;
  const size_t recordBytes = static_cast<size_t>(kNameKeyOffset) + static_cast<size_t>(w) + 1;
  for (int j = 0; j < d->columnCount; ++j) {
    if (!names[j]) continue;
    auto* rec = new (levAlloc(heap, recordBytes)) NameRecord();
    char* text = recordName(rec);
    // The counter goes after the name's last nonblank character (names compare blank-padded).
    const int n = zimin(ztrimlen(names[j], zstrlen(names[j])), w);
    std::memcpy(text, names[j], static_cast<size_t>(n));
    bool changed = false;
    if (j > 0) {
      while (ZTreeNode* hit = ztrefind(&root, rec, 0, kNameKeyOffset, &znamecmp)) {
        auto* found = reinterpret_cast<NameRecord*>(hit);
        rec->counter = ++found->counter;
        char digits[16];
        const int nd = decimalDigits(rec->counter);
        zitoa(rec->counter, digits, nd);
        const int at = nd > w - n ? w - nd : n;
        std::memcpy(text + at, digits, static_cast<size_t>(nd));
        text[at + nd] = '\0';
        changed = true;
      }
    }
    ztrebld(&root, &rec->link, 0, kNameKeyOffset, &znamecmp);
    if (!changed) continue;
    d->flags |= dflag::kNamesUnique;
    const int len = zstrlen(text);
    if (len > zstrlen(names[j]))
      names[j] = static_cast<char*>(levAlloc(allocator, static_cast<size_t>(len) + 1));
    std::memcpy(names[j], text, static_cast<size_t>(len) + 1);
  }
  levHeapFree(heap);
}

}  // namespace vsf
