// Step labels: the text that names each step on a labelled step axis, the step number and the
// effect that entered ("3+bmi") or left ("4-s2"), and the effects any step moved.
#include <algorithm>
#include <cstring>
#include <string>

#include "base/codes.h"
#include "graphs/graphs_internal.h"

namespace vsf {

namespace {

struct LabelWriter {
  HostPool* pool;
  int32_t limit;  // MAXSTEPLABEL=
  StepMarks& marks;
  bool cut = false;

  // Stores the label at the next index, cut to the limit. False when memory is refused.
  bool put(std::string text) {
    if (static_cast<int32_t>(text.size()) > limit) {
      text.resize(textHead(text, static_cast<size_t>(limit)).size());
      cut = true;
    }
    StepLabel& l = marks.labels[marks.labelCount++];
    marks.labelWidth = std::max(marks.labelWidth, static_cast<int32_t>(text.size()));
    if (text.empty()) return true;
    char* p = poolArray<char>(pool, static_cast<int64_t>(text.size()));
    if (!p) return false;
    std::memcpy(p, text.data(), text.size());
    l.text = p;
    l.length = static_cast<int16_t>(text.size());
    return true;
  }
};

// The moves of a step that may change several effects: "+a-b" for the list's entries.
std::string changesText(const StepView* s, const StepHistory& h, int32_t from, int32_t k) {
  std::string text;
  for (int32_t c = 0; c < k && from + c < h.changeListLength; ++c) {
    const int32_t e = h.changes[from + c];
    text += e < 0 ? '-' : '+';
    text += candidateLabel(s, e < 0 ? -e : e);
  }
  return text;
}

void markEffects(const StepView* s, const SelectionState* sel, bool several, uint8_t* seen) {
  const StepHistory& h = sel->steps;
  const int32_t effects = sel->layout.effectCount;
  auto mark = [&](int32_t e) {
    if (e >= 0 && e < effects) seen[e] = 1;
  };
  if (s->display.method == kMethodBackward) {
    std::fill(seen, seen + effects, uint8_t{1});
  } else if (several) {
    for (int32_t k = 0; k < h.changeListLength; ++k) mark(std::abs(h.changes[k]));
  } else {
    for (int32_t i = 0; i < h.stepCount; ++i) mark(h.effect[i]);
  }
}

}  // namespace

int makeStepLabels(StepView* s, const SelectionState* sel, StepMarks* marks) {
  DisplayClock clock(&s->output);
  const DisplayOptions& o = s->display;
  const StepHistory& h = sel->steps;
  StepMarks& m = *marks;
  m = StepMarks{};
  // A fit without steps has nothing to label; its graphs are skipped.
  if (sel->layout.effectCount <= 0 || h.stepCount <= 0) return 0;
  HostPool* pool = marksPool(s, sel);
  m.effectSeen = poolArray<uint8_t>(pool, sel->layout.effectCount);
  m.labels = poolArray<StepLabel>(pool, h.stepCount + 1);  // step 0 and one per step
  if (!m.effectSeen || !m.labels) return rc::kMemory;
  const bool backward = o.method == kMethodBackward;
  const bool several = methodFamily(o.method).kind == MethodKind::kGroup && h.changes;
  markEffects(s, sel, several, m.effectSeen);

  const int32_t forced = sel->layout.firstSelectable;
  LabelWriter w{pool, s->settings.plots.maxStepLabel, m};
  bool ok = true;
  if (backward)
    ok = w.put("Full Model");
  else if (!o.noInt)
    ok = w.put(forced == 1 ? "Intercept" : "Included");
  else if (forced != 0)
    ok = w.put("Included");
  m.firstNumberedStep = backward ? 0 : forced;

  int32_t cursor = several ? changeListStart(sel, m.firstNumberedStep) : 0;
  int32_t n = 1;
  for (int32_t i = m.firstNumberedStep; ok && i < h.stepCount; ++i) {
    std::string text = std::to_string(n);
    if (several) {
      const int32_t k = std::max(h.effect[i], 0);
      text += k == 0 ? std::string(" ") : changesText(s, h, cursor, k);
      cursor += k;
    } else {
      if (h.effect[i] < 0) continue;
      const bool left = backward || (i > 0 && h.parameters[i] < h.parameters[i - 1]);
      text += left ? '-' : '+';
      text += candidateLabel(s, h.effect[i]);
    }
    ok = w.put(std::move(text));
    ++n;
  }
  if (!ok) return rc::kMemory;
  if (w.cut) hostMsg(kMsgSet, 202, {s->settings.plots.maxStepLabel});
  return 0;
}

}  // namespace vsf
