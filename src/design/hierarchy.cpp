// Effect containment: which effects contain which, from their continuous, CLASS and
// design-variable lists, for the hierarchy rules of the selection.
#include <algorithm>
#include <cstring>
#include <vector>

#include "base/codes.h"
#include "base/strings.h"
#include "design/design.h"
#include "design/design_internal.h"
#include "grammar/codes.h"

namespace vsf {

namespace {

// One effect's variable lists; polynomial members compared by their component variables.
struct EffectRelationEntry {
  std::vector<int32_t> classVars;
  std::vector<int32_t> continuous;  // a multiset
  std::vector<int32_t> designVars;  // a multiset
};

int relationOf(int k, int p, int q) {
  if (k >= p) return k < q ? kRelContained : kRelSame;
  return k < q ? kRelUnrelated : kRelContains;
}

// Relation of two multisets: each entry of a takes an equal entry of b not taken before, so an
// entry that occurs twice in a needs two in b.
int multisetRelation(const std::vector<int32_t>& a, const std::vector<int32_t>& b) {
  std::vector<char> taken(b.size(), 0);
  int k = 0;
  for (int32_t x : a) {
    for (size_t j = 0; j < b.size(); ++j) {
      if (!taken[j] && b[j] == x) {
        taken[j] = 1;
        ++k;
        break;
      }
    }
  }
  return relationOf(k, static_cast<int>(a.size()), static_cast<int>(b.size()));
}

EffectRelationEntry entryOf(const ZDesign* d, const ZEffect& z) {
  EffectRelationEntry r;
  r.classVars.assign(z.key, z.key + z.keyCount);
  r.continuous.assign(z.cont, z.cont + z.contCount);
  bool expanded = false;
  for (int k = 0; k < z.constructedCount; ++k) {
    const ZDesignVar& v = d->designVars[z.constructed[k]];
    if (v.type == effkind::kPolynomial && v.poly && v.poly->standardize == 0) {
      r.continuous.insert(r.continuous.end(), v.values, v.values + v.valueCount);
      expanded = true;
    } else {
      r.designVars.push_back(z.constructed[k]);
    }
  }
  if (expanded) {
    std::sort(r.continuous.begin(), r.continuous.end());
    std::sort(r.designVars.begin(), r.designVars.end());
  }
  return r;
}

int zeffcmp(int a, int b, const std::vector<EffectRelationEntry>& t) {
  if (a == b) return kRelSame;
  const EffectRelationEntry& x = t[static_cast<size_t>(a)];
  const EffectRelationEntry& y = t[static_cast<size_t>(b)];
  int rel[3] = {multisetRelation(x.continuous, y.continuous),
                znamelistrel(x.classVars.data(), static_cast<int>(x.classVars.size()),
                             y.classVars.data(), static_cast<int>(y.classVars.size()), 4),
                multisetRelation(x.designVars, y.designVars)};
  bool contained = false, contains = false;
  for (int r : rel) {
    if (r == kRelUnrelated) return kRelUnrelated;
    contained |= r == kRelContained;
    contains |= r == kRelContains;
  }
  if (contained && contains) return kRelUnrelated;
  for (int r : rel)
    if (r != kRelSame) return r;
  return kRelSame;
}

// Under the CLASS-only mode effects without CLASS variables take part in no relation.
int zeffcmpcls(int a, int b, const std::vector<EffectRelationEntry>& t) {
  if (t[static_cast<size_t>(a)].classVars.empty() && t[static_cast<size_t>(b)].classVars.empty())
    return a == b ? kRelSame : kRelUnrelated;
  return zeffcmp(a, b, t);
}

int32_t* listOf(HierarchyRelations* rel, int count) {
  HostPool* pool = rel->allocatorChoice ? rel->allocator : rel->pool;
  return static_cast<int32_t*>(designAlloc(pool, sizeof(int32_t) * static_cast<size_t>(count), 0));
}

}  // namespace

int znamelistrel(const void* a, int n, const void* b, int m, int width) {
  const char* pa = static_cast<const char*>(a);
  int k = 0;
  for (int i = 0; i < n; ++i)
    if (zleadeq(b, m, pa + static_cast<ptrdiff_t>(i) * width, width) < m) ++k;
  return relationOf(k, n, m);
}

// zhierrel: per effect the effects it contains (prerequisites) and the effects containing it
// (dependants). The intercept takes part in no relation. Mode 0 builds the lists only for
// BACKWARD, whose full-model build counts prerequisites.
int zhierrel(HierarchyRelations* rel) {
  const ZDesign* d = rel->owner ? rel->owner->design : nullptr;
  if (!d || d->effectCount <= 0) return rc::kMemory;
  int (*compare)(int, int, const std::vector<EffectRelationEntry>&) = zeffcmp;
  if (rel->mode == 2)
    compare = zeffcmpcls;
  else if (rel->mode == 0 && rel->method != kMethodBackward)
    return 0;
  std::vector<EffectRelationEntry> table;
  table.reserve(static_cast<size_t>(d->effectCount));
  for (int e = 0; e < d->effectCount; ++e) table.push_back(entryOf(d, d->effects[e]));

  int first = (d->flags & dflag::kNoIntercept) ? 0 : 1;
  int n = d->effectCount;
  std::vector<std::vector<int32_t>> contains(static_cast<size_t>(n));
  for (int a = first; a < n; ++a)
    for (int b = first; b < n; ++b)
      if (compare(a, b, table) == kRelContains) contains[static_cast<size_t>(a)].push_back(b);

  std::vector<int32_t> dependants(static_cast<size_t>(n), 0);
  for (const auto& list : contains)
    for (int32_t b : list) ++dependants[static_cast<size_t>(b)];
  for (int e = 0; e < n; ++e) {
    rel->prerequisiteCounts[e] = 0;
    rel->dependantCounts[e] = 0;
    rel->prerequisites[e] = nullptr;
    rel->dependants[e] = nullptr;
    int np = static_cast<int>(contains[static_cast<size_t>(e)].size());
    int nd = dependants[static_cast<size_t>(e)];
    if (np && !(rel->prerequisites[e] = listOf(rel, np))) return rc::kMemory;
    if (nd && !(rel->dependants[e] = listOf(rel, nd))) return rc::kMemory;
  }
  for (int a = first; a < n; ++a) {
    for (int32_t b : contains[static_cast<size_t>(a)]) {
      rel->prerequisites[a][rel->prerequisiteCounts[a]++] = b;
      rel->dependants[b][rel->dependantCounts[b]++] = a;
    }
  }
  return 0;
}

}  // namespace vsf
