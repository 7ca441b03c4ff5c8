// buildCandidateContainment: for a design built per BY group (split CLASS variables), which
// candidates contain which, from the effects' containment relations and the candidates'
// (CLASS variable, level) pairs. Lists come from the BY POOL.
#include <cstring>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "frame/phases.h"
#include "frame/state.h"

namespace vsf {

namespace {

template <typename T>
T* byArray(VsfState* s, int32_t n) {
  return static_cast<T*>(kernel().poolAlloc(
      s->group.byPool, sizeof(T) * static_cast<size_t>(n > 0 ? n : 1), kAllocZero));
}

bool effectContains(const GroupState& g, int32_t outer, int32_t inner) {
  const int32_t* counts = g.relationCounts[1];
  int32_t* const* lists = g.relationLists[1];
  if (!counts || !lists || !lists[outer]) return false;
  for (int32_t k = 0; k < counts[outer]; ++k)
    if (lists[outer][k] == inner) return true;
  return false;
}

// j is contained in i: its effect is one i's effect contains, and each of its fixed levels is
// the level i fixes for the same CLASS variable (a variable i does not fix contains nothing).
bool candidateContains(const GroupState& g, const CandidateEntry& i, const CandidateEntry& j) {
  if (!effectContains(g, i.effect, j.effect)) return false;
  for (int32_t a = 0; a < j.splitCount; ++a) {
    int32_t at = -1;
    for (int32_t b = 0; b < i.splitCount && at < 0; ++b)
      if (i.splitVars[b] == j.splitVars[a]) at = b;
    if (at < 0 || i.levels[at] != j.levels[a]) return false;
  }
  return true;
}

int32_t* copyList(VsfState* s, const int32_t* from, int32_t n) {
  int32_t* to = byArray<int32_t>(s, n);
  if (to) std::memcpy(to, from, sizeof(int32_t) * static_cast<size_t>(n));
  return to;
}

// The inverse lists: for each candidate the candidates that contain it, in increasing order.
int invert(VsfState* s, SelectionState& sel, int32_t n) {
  for (int32_t i = 0; i < n; ++i)
    for (int32_t k = 0; k < sel.containment.containedCount[i]; ++k)
      sel.containment.containingCount[sel.containment.containedLists[i][k]]++;
  for (int32_t j = 0; j < n; ++j)
    if (sel.containment.containingCount[j] > 0 &&
        !(sel.containment.containingLists[j] =
              byArray<int32_t>(s, sel.containment.containingCount[j])))
      return rc::kMemory;
  std::vector<int32_t> filled(static_cast<size_t>(n), 0);
  for (int32_t i = 0; i < n; ++i)
    for (int32_t k = 0; k < sel.containment.containedCount[i]; ++k) {
      const int32_t j = sel.containment.containedLists[i][k];
      sel.containment.containingLists[j][filled[static_cast<size_t>(j)]++] = i;
    }
  return 0;
}

}  // namespace

int buildCandidateContainment(VsfState* s) {
  const SelectionOptions& o = s->settings.options;
  SelectionState& sel = s->group.selection;
  // No per-parameter table was built: there is nothing to relate.
  if (!s->group.candidates.table) return 0;
  const int32_t n = s->group.candidates.count;
  if (n <= 0) {
    sel.containment.containedCount = nullptr;
    return rc::kMemory;
  }
  sel.containment.containedCount = byArray<int32_t>(s, n);
  sel.containment.containingCount = byArray<int32_t>(s, n);
  if (!sel.containment.containedCount || !sel.containment.containingCount) return rc::kMemory;
  if (o.hierarchy == 0 && o.method != kMethodBackward) return 0;

  sel.containment.containedLists = byArray<int32_t*>(s, n);
  sel.containment.containingLists = byArray<int32_t*>(s, n);
  sel.containment.containedCountCopy = byArray<int32_t>(s, n);
  sel.containment.containingCountCopy = byArray<int32_t>(s, n);
  int32_t* work = byArray<int32_t>(s, n);
  if (!sel.containment.containedLists || !sel.containment.containingLists ||
      !sel.containment.containedCountCopy || !sel.containment.containingCountCopy || !work)
    return rc::kMemory;
  const std::vector<CandidateEntry>& c = *s->group.candidates.table;
  for (int32_t i = 0; i < n; ++i) {
    int32_t count = 0;
    for (int32_t j = 0; j < n; ++j)
      if (candidateContains(s->group, c[static_cast<size_t>(i)], c[static_cast<size_t>(j)]))
        work[count++] = j;
    sel.containment.containedCount[i] = count;
    if (count > 0 && !(sel.containment.containedLists[i] = copyList(s, work, count)))
      return rc::kMemory;
  }
  if (int rc = invert(s, sel, n); rc != 0) return rc;
  std::memcpy(sel.containment.containedCountCopy, sel.containment.containedCount,
              sizeof(int32_t) * static_cast<size_t>(n));
  std::memcpy(sel.containment.containingCountCopy, sel.containment.containingCount,
              sizeof(int32_t) * static_cast<size_t>(n));
  kernel().poolFree(s->group.byPool, work);
  return 0;
}

}  // namespace vsf
