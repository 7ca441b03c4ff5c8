// Which candidate effects are stored sparse, and where every effect's columns lie in a stored
// row: dense effects first in candidate order, then the sparse ones.
#include <algorithm>

#include "base/codes.h"
#include "base/host.h"
#include "frame/groupdata_internal.h"

namespace vsf {

namespace {

template <typename T>
T* byArray(DataPass* p, int64_t n) {
  return static_cast<T*>(kernel().poolAlloc(
      p->s->group.byPool, sizeof(T) * static_cast<size_t>(n > 0 ? n : 1), kAllocZero));
}

// Indicator columns of CLASS codings are mostly zero: stored sparse past a few columns.
bool classSparse(const ZDesign* d, const ZEffect& z, int32_t columns) {
  if (z.keyCount == 0) return false;
  if (!(d->flags & dflag::kFullRank)) return true;
  for (int i = 0; i < z.keyCount; ++i) {
    const Coding& coding = codingOf(d->classVars[z.key[i]].coding);
    if (coding.orthogonal) continue;
    switch (coding.columns) {
      case LevelColumns::kDeviation:
      case LevelColumns::kIndicator:
        return true;
      case LevelColumns::kThermometer:
      case LevelColumns::kBathtub:
        if (columns > 6) return true;
        break;
      case LevelColumns::kPowers:
      case LevelColumns::kScaledPowers:
        break;
    }
  }
  return false;
}

// A B-spline basis of many columns has few nonzero values per row.
bool splineSparse(const ZDesign* d, const ZEffect& z) {
  for (int i = 0; i < z.constructedCount; ++i) {
    const ZDesignVar& v = d->designVars[z.constructed[i]];
    if (v.type == effkind::kSpline && v.columnCount > 10 && v.spline && v.spline->basis == 1 &&
        v.recordIndex == 0)
      return true;
  }
  return false;
}

bool storedSparse(const DataPass* p, const CandidateEntry& c) {
  const DataPassOptions& pass = p->s->res.dataPass;
  if (pass.allSparse) return true;
  if (pass.allDense || c.columns <= 4) return false;
  const ZEffect& z = p->d->effects[c.effect];
  return classSparse(p->d, z, c.columns) || splineSparse(p->d, z);
}

// The design's own effects in order, each whole: its row is the stored row's dense part.
bool identityCandidates(const DataPass* p) {
  if (p->E != p->d->effectCount) return false;
  for (int32_t e = 0; e < p->E; ++e) {
    const CandidateEntry& c = p->cand[e];
    if (c.effect != e || c.columnMap || c.columns != p->d->effects[e].columnCount) return false;
  }
  return true;
}

}  // namespace

void takeCandidates(DataPass* p) {
  const CandidateData& c = p->s->group.candidates;
  if (c.table && c.count > 0 && static_cast<int32_t>(c.table->size()) >= c.count) {
    p->cand = c.table->data();
    p->E = c.count;
    return;
  }
  p->identity.clear();
  for (int32_t e = 0; e < p->d->effectCount; ++e)
    p->identity.push_back(CandidateEntry{e, p->d->effects[e].columnCount, nullptr});
  p->cand = p->identity.data();
  p->E = static_cast<int32_t>(p->identity.size());
}

int layOutColumns(DataPass* p) {
  SelectionState& s = *p->sel;
  const int32_t E = p->E;
  if (E <= 0) return rc::kMemory;
  p->firstParam.assign(static_cast<size_t>(E), 0);
  p->p = 0;
  for (int32_t e = 0; e < E; ++e) {
    p->firstParam[static_cast<size_t>(e)] = p->p;
    p->p += p->cand[e].columns;
  }
  s.layout.sparseIndex = byArray<int32_t>(p, E);
  s.layout.layoutColumn = byArray<int32_t>(p, E);
  s.layout.denseOffset = byArray<int32_t>(p, E);
  s.layout.columnCount = byArray<int32_t>(p, E);
  s.layout.sparseEffects = byArray<int32_t>(p, E);
  s.layout.colMeans = byArray<double>(p, p->p);
  s.layout.colScales = byArray<double>(p, p->p);
  s.layout.colShifts = byArray<double>(p, p->p);
  s.layout.responseShift = 0;
  s.sweep.colSquares = byArray<double>(p, p->p);
  if (!s.layout.sparseIndex || !s.layout.layoutColumn || !s.layout.denseOffset ||
      !s.layout.columnCount || !s.layout.sparseEffects || !s.layout.colMeans ||
      !s.layout.colScales || !s.layout.colShifts || !s.sweep.colSquares)
    return rc::kMemory;

  int32_t dense = 0, sparse = 0, single = 0, largest = 0;
  for (int32_t e = 0; e < E; ++e) {
    const int32_t c = p->cand[e].columns;
    s.layout.columnCount[e] = c;
    single += c == 1;
    largest = c > largest ? c : largest;
    if (storedSparse(p, p->cand[e])) {
      s.layout.sparseIndex[e] = sparse;
      s.layout.denseOffset[e] = -1;
      s.layout.sparseEffects[sparse++] = e;
    } else {
      s.layout.sparseIndex[e] = -1;
      s.layout.denseOffset[e] = dense;
      s.layout.layoutColumn[e] = 1 + dense;
      dense += c;
    }
  }
  p->denseRuns.clear();
  for (int32_t e = 0; e < E; ++e) {
    if (s.layout.sparseIndex[e] >= 0) continue;
    const int32_t offset = s.layout.denseOffset[e], first = p->firstParam[static_cast<size_t>(e)];
    DataPass::DenseRun* last = p->denseRuns.empty() ? nullptr : &p->denseRuns.back();
    if (last && last->offset + last->count == offset && last->first + last->count == first)
      last->count += s.layout.columnCount[e];
    else
      p->denseRuns.push_back({offset, first, s.layout.columnCount[e]});
  }
  p->designRuns.clear();
  for (int32_t e = 0; e < E; ++e) {
    const CandidateEntry& c = p->cand[e];
    if (s.layout.sparseIndex[e] >= 0) continue;
    const int32_t from = p->d->effects[c.effect].startColumn, offset = s.layout.denseOffset[e];
    DataPass::DesignRun* last = p->designRuns.empty() ? nullptr : &p->designRuns.back();
    if (!c.columnMap && last && !last->map && last->offset + last->count == offset &&
        last->from + last->count == from)
      last->count += c.columns;
    else
      p->designRuns.push_back({from, offset, c.columns, c.columnMap});
  }
  int32_t column = 1 + dense;
  for (int32_t j = 0; j < sparse; ++j) {
    s.layout.layoutColumn[s.layout.sparseEffects[j]] = column;
    column += s.layout.columnCount[s.layout.sparseEffects[j]];
  }
  s.layout.effectCount = E;
  s.layout.paramCount = p->p;
  s.layout.denseValues = dense;
  s.layout.sparseEffectCount = sparse;
  s.layout.singleColumnEffects = single;
  s.layout.largestEffectColumns = largest;
  // The forced candidates come first (the intercept not counted under NOINT): as many as the
  // candidate table counts, which with split CLASS variables is more than the forced effects.
  const std::vector<CandidateEntry>* table = p->s->group.candidates.table;
  const bool fromTable = table && p->cand == table->data();
  s.layout.firstSelectable =
      std::min(fromTable ? p->s->group.firstCandidate : p->o->forcedEffects, E);
  p->direct = sparse == 0 && !p->o->designPerByGroup && identityCandidates(p);
  return 0;
}

}  // namespace vsf
