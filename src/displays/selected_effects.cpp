// The selected model in words: the SelectedEffects table, the effect list of the step details
// and the sentence that says at which step the selected model stands.
#include <cstring>
#include <string>

#include "base/codes.h"
#include "base/host.h"
#include "displays/displays_internal.h"
#include "selection/group.h"

namespace vsf {

namespace {

void appendLabel(std::string* text, std::string_view label) {
  text->append(label);
  text->push_back(' ');
}

// The effects in the model in the order they entered: the recorded steps (or the group
// path's change list), then any effect in the model that no step recorded.
std::string enteredOrder(const StepView* s, const SelectionState* sel, uint8_t* seen) {
  std::string text;
  int32_t e = -1, cursor = -1;
  while (nextDisplayEffect(s, sel, seen, &e, &cursor)) appendLabel(&text, candidateLabel(s, e));
  for (int32_t k = 0; k < sel->layout.effectCount; ++k)
    if (!seen[k] && inModel(sel->sweep.states[k])) appendLabel(&text, candidateLabel(s, k));
  return text;
}

}  // namespace

// Returns 0 (also when no table is due), or -2 when a buffer cannot be had.
int printSelectedEffects(StepView* s, const SelectionState* sel, HostPool* allocator) {
  DisplayClock clock(&s->output);
  int32_t inModelCount = 0;
  int width = 0;
  for (int32_t e = 0; e < sel->layout.effectCount; ++e)
    if (inModel(sel->sweep.states[e])) {
      ++inModelCount;
      width += static_cast<int>(candidateLabel(s, e).size()) + 1;
    }
  if (inModelCount == 0 || (s->display.method == kMethodNone && !s->group.refitPass)) return 0;

  std::string text;
  if (s->display.orderSelect) {
    auto* seen = static_cast<uint8_t*>(
        allocator ? kernel().poolAlloc(allocator, std::max(sel->layout.effectCount, 1), kAllocZero)
                  : nullptr);
    if (!seen) return rc::kMemory;
    text = enteredOrder(s, sel, seen);
    kernel().poolFree(allocator, seen);
  } else {
    for (int32_t e = 0; e < sel->layout.effectCount; ++e)
      if (inModel(sel->sweep.states[e])) appendLabel(&text, candidateLabel(s, e));
  }
  const std::string label = msgText(590);
  const int labelWidth = std::max(static_cast<int>(label.size()), 1);
  width = std::max(width, 1);
  auto* effects = static_cast<char*>(allocator ? kernel().poolAlloc(allocator, width, 0) : nullptr);
  auto* labelField =
      static_cast<char*>(allocator ? kernel().poolAlloc(allocator, labelWidth, 0) : nullptr);
  if (!effects || !labelField) return rc::kMemory;
  fillField(effects, width, text);
  fillField(labelField, labelWidth, label);

  DataTable t(&s->output);
  t.create("SelectedEffects", {argString(key::kLabel2, msgStr(780))});
  t.column(ctype::kText, "Label", labelField, {argInt(dkey::kTextWidth, labelWidth)});
  t.column(ctype::kText, "Effects", effects, {argInt(dkey::kTextWidth, width)});
  t.endColumns();
  t.bind("Stat.VARSIFTER.SelectedEffects", {}, true);
  t.row();
  t.close();
  t.release();
  kernel().poolFree(allocator, effects);
  return 0;
}

// The part of the model the run keeps (the intercept, forced effects) as one text; an empty text
// when there is none. Returns 0, or -2 when the buffer cannot be had.
int effectListLength(StepView* s, const SelectionState* sel, HostPool* allocator, char** text,
                     int* length) {
  std::string list;
  for (int32_t e = 0; e < sel->layout.effectCount; ++e)
    if (keptInModel(sel->sweep.states[e])) appendLabel(&list, candidateLabel(s, e));
  *text = nullptr;
  *length = 0;
  if (list.empty()) return 0;
  auto* buffer =
      static_cast<char*>(allocator ? kernel().poolAlloc(allocator, list.size(), 0) : nullptr);
  if (!buffer) return rc::kMemory;
  std::memcpy(buffer, list.data(), list.size());
  *text = buffer;
  *length = static_cast<int>(list.size());
  return 0;
}

int printSelectedModelNote(StepView* s, const SelectionState* sel, HostPool*, uint8_t stopReason) {
  const DisplayOptions& o = s->display;
  if (o.method == kMethodNone) return 0;
  const long long step = o.method == kMethodBackward
                             ? sel->steps.stepCount - 1
                             : sel->steps.stepCount - sel->layout.firstSelectable;
  HostString* sentence;
  if (o.choose == kCritNone) {
    sentence = msgStr(stopReason == 5 ? 662 : 660, {step});
  } else {
    const std::string name = msgText(criterionInfo(o.choose).texts.name);
    if (name.empty()) return rc::kMemory;
    sentence = msgStr(661, {std::string_view(name), step});
  }
  textLine(&s->output, 'c', sentence);
  return 0;
}

}  // namespace vsf
