// Candidates: the candidate effects of one step ranked by the SELECT criterion.
#include <algorithm>
#include <cfloat>

#include "base/codes.h"
#include "base/host.h"
#include "displays/displays_internal.h"
#include "selection/group.h"

namespace vsf {

namespace {

std::string_view entryLabel(const CandidateEntry& c) {
  if (!c.label || c.labelLength <= 0) return {};
  return std::string_view(c.label, static_cast<size_t>(c.labelLength));
}

// An entry step adds an effect; a step that keeps the model's size is one unless BACKWARD.
bool isEntryStep(const StepView* s, const SelectionState* sel) {
  const int32_t n = sel->steps.stepCount;
  const int32_t last = n > 0 ? sel->steps.effects[n - 1] : 0;
  const int32_t before = sel->steps.effects[n - 2];  // index -1 exists
  if (last == before) return s->display.method != kMethodBackward;
  return last >= before;
}

}  // namespace

// Returns 0 (also when no candidate has a value: nothing to show), or -2 when a buffer
// cannot be had.
int printCandidates(StepView* s, const SelectionState* sel) {
  DisplayClock clock(&s->output);
  const std::vector<CandidateEntry>* table = s->group.candidates.table;
  if (!table || table->empty() || !sel->sweep.candidateValues || sel->steps.stepCount < 1) return 0;
  const DisplayOptions& o = s->display;
  const int32_t count = std::min(static_cast<int32_t>(table->size()), sel->layout.effectCount);
  auto* index = static_cast<uint32_t*>(
      kernel().poolAlloc(sel->modelPool, sizeof(uint32_t) * std::max(count, 1), kAllocZero));
  if (!index) return rc::kMemory;
  uint32_t listed = 0;
  for (int32_t k = 0; k < count; ++k)
    if (!isMissing(sel->sweep.candidateValues[k])) index[listed++] = static_cast<uint32_t>(k);

  const bool entry = isEntryStep(s, sel);
  const bool sl = o.select == kCritSl;
  const bool descending = criterionIsMaximized(o.select) || (sl && !entry);
  shellSortDoubles(sel->sweep.candidateValues, listed, index, descending ? 0 : 1);

  const int32_t limit = o.stepTables.candidatesShown;
  const uint32_t rows = limit > 0 ? std::min<uint32_t>(listed, static_cast<uint32_t>(limit)) : 0;
  if (rows == 0) {
    kernel().poolFree(sel->modelPool, index);
    return 0;
  }
  const bool competitive = o.method == kMethodStepwise && competitiveDrop(o.dropRule);
  const int base = competitive ? 2 : entry ? 0 : 1;
  HostString* title =
      rows < listed ? msgStr(573 + base, {static_cast<long long>(limit)}) : msgStr(570 + base);
  int effectWidth = 1;
  for (uint32_t k = 0; k < rows; ++k)
    effectWidth = std::max(effectWidth, static_cast<int>(entryLabel((*table)[index[k]]).size()));
  const int forWidth = std::max(msgLength(576), msgLength(577));
  auto* effect = static_cast<char*>(kernel().poolAlloc(sel->modelPool, effectWidth, kAllocZero));
  auto* candidateFor =
      static_cast<char*>(kernel().poolAlloc(sel->modelPool, std::max(forWidth, 1), kAllocZero));
  if (!effect || !candidateFor) return rc::kMemory;

  int32_t rank = 0;
  double value = 0, probF = 0;
  DataTable t(&s->output);
  t.create("Candidates");
  t.column(ctype::kInt, "Rank", &rank);
  t.column(ctype::kText, "Effect", effect, {argInt(dkey::kTextWidth, effectWidth)});
  if (competitive)
    t.column(ctype::kText, "CandidateFor", candidateFor, {argInt(dkey::kTextWidth, forWidth)});
  if (sl) {
    t.column(ctype::kDouble, "LogPValue", &value);
    t.column(ctype::kDouble, "ProbF", &probF);
  } else {
    const CriterionInfo& c = criterionInfo(o.select);
    std::vector<OutputArgItem> more = {argString(key::kTemplate, hstr("Criterion"))};
    addDynamic(more, "_criterionLabel", valueString(hstr(c.candidate.label)));
    t.column(ctype::kDouble, c.candidate.name, &value, more);
  }
  t.endColumns();
  std::vector<OutputArgItem> dyn;
  addDynamic(dyn, "_TITLE", valueString(title));
  t.bind("Stat.VARSIFTER.Candidates", dyn, true, nullptr, {argString(key::kLabel2, title)});

  const int32_t lastEffect = sel->steps.effect[sel->steps.stepCount - 1];
  for (uint32_t k = 0; k < rows; ++k) {
    const CandidateEntry& c = (*table)[index[k]];
    rank = static_cast<int32_t>(k) + 1;
    fillField(effect, effectWidth, entryLabel(c));
    bool outside = c.effect >= 0 && c.effect < sel->layout.effectCount &&
                   sel->sweep.states[c.effect] == EffectState::kFree;
    if (c.effect == lastEffect) outside = !outside;
    // An entry that fits exactly has a criterion of -Infty, as the summary shows it; a removal
    // search keeps the largest doubles for values it has none of.
    value = sel->sweep.candidateValues[index[k]];
    if (outside && !sl)
      value = infinityAsSpecial(value);
    else if (!isMissing(value) && (value == DBL_MAX || value == -DBL_MAX))
      value = missingValue('.');
    // Only a log p-value has a p-value; other criteria's values may overflow e^value.
    if (sl) probF = isMissing(value) ? missingValue('.') : value >= kExpFloor ? zexp(value) : 0;
    fillField(candidateFor, forWidth, msgText(outside ? 576 : 577));
    t.row();
  }
  t.close();
  t.release();
  kernel().poolFree(sel->modelPool, index);
  kernel().poolFree(sel->modelPool, candidateFor);
  return 0;
}

}  // namespace vsf
