// The candidates of a selection: one per model effect, or, with split CLASS variables, one
// per level combination of the split variables within each effect.
#include <algorithm>
#include <vector>

#include "base/codes.h"
#include "design/design.h"
#include "effects/effects.h"
#include "selection/group.h"
#include "selection/selection_internal.h"

namespace vsf {

namespace {

struct KeyedCell {
  int64_t key = 0;
  int32_t cell = 0;
};

// Shell sort with gaps from the smallest power of two not below n, halving; each pass moves
// an element back while the key before it is larger (the order equal keys end in is fixed).
void shellSortCells(std::vector<KeyedCell>& v) {
  const int64_t n = static_cast<int64_t>(v.size());
  int64_t gap = 1;
  while (gap < n) gap *= 2;
  for (; gap >= 1; gap /= 2)
    for (int64_t i = gap; i < n; ++i)
      for (int64_t j = i; j >= gap && v[j - gap].key > v[j].key; j -= gap)
        std::swap(v[j - gap], v[j]);
}

// The split CLASS variables of an effect: their CLASS-list indexes, level counts and their
// positions in the effect's level key.
struct SplitVars {
  std::vector<int32_t> vars, levels, positions;
};

SplitVars splitVarsOf(const ZDesign* d, const ZEffect& z) {
  SplitVars s;
  for (int32_t k = 0; k < z.keyCount; ++k) {
    const LevelVar& v = d->classVars[z.key[k]];
    if (!v.split) continue;
    s.vars.push_back(z.key[k]);
    s.levels.push_back(v.levelCount);
    s.positions.push_back(k);
  }
  return s;
}

template <typename T>
T* listFrom(HostPool* pool, size_t n) {
  return static_cast<T*>(kernel().poolAlloc(pool, sizeof(T) * std::max<size_t>(n, 1), 0));
}

// The entries of one effect with split variables: one per run of cells with equal levels of
// the split variables; none when the effect has no columns. 0 or -2.
int splitEntries(const ZDesign* d, int32_t e, const SplitVars& sv, HostPool* pool,
                 std::vector<CandidateEntry>* out) {
  const ZEffect& z = d->effects[e];
  const int64_t C = z.classColumnCount;  // the cell table has a row per CLASS column
  if (z.columnCount == 0 || C == 0) return 0;
  if (z.columnCount < 0 || C < 0 || !z.cellIndex || z.columnCount % C != 0) return rc::kMemory;
  const int32_t blocks = static_cast<int32_t>(z.columnCount / C);
  const int32_t nsplit = static_cast<int32_t>(sv.vars.size());
  std::vector<KeyedCell> cells(static_cast<size_t>(C));
  for (int64_t c = 0; c < C; ++c) {
    const int32_t* row = z.cellIndex + c * z.keyCount;
    int64_t key = 0;
    for (int32_t j = 0; j < nsplit; ++j) key = key * sv.levels[j] + row[sv.positions[j]];
    cells[c] = {key, static_cast<int32_t>(c)};
  }
  shellSortCells(cells);
  for (size_t begin = 0; begin < cells.size();) {
    size_t end = begin;
    while (end < cells.size() && cells[end].key == cells[begin].key) ++end;
    const int32_t g = static_cast<int32_t>(end - begin);
    std::vector<KeyedCell> run(cells.begin() + begin, cells.begin() + end);
    for (KeyedCell& k : run) k.key = k.cell;
    shellSortCells(run);
    CandidateEntry entry;
    entry.effect = e;
    entry.splitCount = nsplit;
    entry.columns = blocks * g;
    auto* columns = listFrom<int32_t>(pool, static_cast<size_t>(entry.columns));
    auto* vars = listFrom<int32_t>(pool, static_cast<size_t>(nsplit));
    auto* levels = listFrom<int32_t>(pool, static_cast<size_t>(nsplit));
    if (!columns || !vars || !levels) return rc::kMemory;
    for (int32_t b = 0; b < blocks; ++b)
      for (int32_t i = 0; i < g; ++i)
        columns[b * g + i] = run[static_cast<size_t>(i)].cell + b * static_cast<int32_t>(C);
    int64_t key = cells[begin].key;
    for (int32_t j = nsplit - 1; j >= 0; --j) {
      vars[j] = sv.vars[j];
      levels[j] = static_cast<int32_t>(key % sv.levels[j]);
      key = (key - levels[j]) / sv.levels[j];
    }
    entry.columnMap = columns;
    entry.splitVars = vars;
    entry.levels = levels;
    out->push_back(entry);
    begin = end;
  }
  return 0;
}

void linkTable(GroupState& g) {
  g.candidates.table = &g.candidateTable;
  g.candidates.count = static_cast<int32_t>(g.candidateTable.size());
}

}  // namespace

int buildCandidateTable(const EngineOptions& o, GroupState& g, const ZDesign* d, HostPool* pool) {
  (void)pool;  // whole-effect entries have no lists
  g.candidateTable.clear();
  if (!d || d->effectCount <= 0) {
    g.candidates.table = nullptr;
    g.candidates.count = 0;
    return rc::kMemory;
  }
  g.candidateTable.resize(static_cast<size_t>(d->effectCount));
  linkTable(g);
  refreshCandidateTable(g, d);
  g.firstCandidate = o.forcedEffects;
  return 0;
}

void refreshCandidateTable(GroupState& g, const ZDesign* d) {
  if (!d) return;
  const size_t n = std::min(g.candidateTable.size(), static_cast<size_t>(d->effectCount));
  for (size_t k = 0; k < n; ++k) {
    g.candidateTable[k].effect = static_cast<int32_t>(k);
    g.candidateTable[k].columns = d->effects[k].columnCount;
  }
}

int buildParmCandidateTable(const EngineOptions& o, GroupState& g, ZDesign* d, HostPool* pool,
                            std::vector<int32_t>* leftOut) {
  g.candidateTable.clear();
  linkTable(g);
  if (!d || d->effectCount <= 0) return rc::kMemory;
  if (d->classCount > 0)
    if (int rc = buildEffectCellIndex(d, nullptr, pool); rc != 0) return rc;
  const int32_t firstSelectable = o.forcedEffects + (o.noInt ? 1 : 0);
  int32_t forcedEntries = 0;
  for (int32_t e = 0; e < d->effectCount; ++e) {
    const size_t before = g.candidateTable.size();
    const SplitVars sv = splitVarsOf(d, d->effects[e]);
    if (sv.vars.empty()) {
      CandidateEntry entry;
      entry.effect = e;
      entry.columns = d->effects[e].columnCount;
      g.candidateTable.push_back(entry);
    } else if (int rc = splitEntries(d, e, sv, pool, &g.candidateTable); rc != 0) {
      linkTable(g);
      return rc;
    } else if (g.candidateTable.size() == before && leftOut) {
      leftOut->push_back(e);
    }
    // Entries of the forced effects; the intercept under NOINT is not one of them.
    if (e < firstSelectable && !(o.noInt && e == 0))
      forcedEntries += static_cast<int32_t>(g.candidateTable.size() - before);
  }
  linkTable(g);
  g.firstCandidate = forcedEntries;
  return g.candidateTable.empty() ? rc::kMemory : 0;
}

bool modelCandidateSet(const SelectionState* sel, int code, int candidateCount,
                       std::vector<int32_t>* out) {
  switch (code) {
    case 0:
      for (int i = 0; i < candidateCount; ++i) out->push_back(i);
      return true;
    case 2:
      if (!sel) return false;
      if (sel->sweep.entryOrder)
        out->assign(sel->sweep.entryOrder, sel->sweep.entryOrder + sel->sweep.effectsInModel);
      return true;
    case 3:
      if (!sel) return false;
      if (sel->run.chosenEffects && sel->steps.effects && sel->run.chosenStep >= -1)
        out->assign(sel->run.chosenEffects,
                    sel->run.chosenEffects + sel->steps.effects[sel->run.chosenStep]);
      return true;
    default:
      return false;
  }
}

}  // namespace vsf
