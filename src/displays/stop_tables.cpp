// StopReason and StopDetails: why the selection stopped, and the candidate the STOP criterion
// refused beside the value it was compared with.
#include <algorithm>
#include <cstring>

#include "base/codes.h"
#include "base/host.h"
#include "displays/displays_internal.h"
#include "numerics/numerics.h"
#include "selection/group.h"

namespace vsf {

namespace {

constexpr int kReasonWidth = 120;

// The reason's text; empty when the reason has none.
std::string reasonText(const StepView* s, uint8_t reason, int32_t stepCount) {
  const DisplayOptions& o = s->display;
  const double sle = o.entryLevel, sls = o.stayLevel;
  switch (reason) {
    case 1:
      return msgText(600, {static_cast<long long>(stepCount)});
    case 2:
      return msgText(601, {static_cast<long long>(o.steps)});
    case 3:
      return msgText(602, {static_cast<long long>(o.stopSteps)});
    case 4:
      if (o.stop != kCritSl) {
        int m = criterionInfo(o.stop).texts.stopped;
        return m ? msgText(m) : std::string();
      }
      switch (methodInfo(o.method).moves) {
        case MethodMoves::kAdds:
          return msgText(603, {sle});
        case MethodMoves::kDrops:
          return msgText(605, {sls});
        case MethodMoves::kBoth:
          return msgText(604, {sle, sls});
        default:
          return std::string();
      }
    case 5:
      return msgText(614, {static_cast<long long>(o.maxSteps)});
    case 6:
    case 7:
    case 8:
      return msgText(609 + reason);
    case 10:
    case 11:
      return msgText(608 + reason);
    case 12:
      if (o.steps) hostMsg(kMsgSet, 156, {static_cast<long long>(o.steps), sle, sls});
      return msgText(604, {sle, sls});
    case 13:
      if (o.steps) hostMsg(kMsgSet, 206, {static_cast<long long>(o.steps)});
      return msgText(622);
    case 14:
    case 15:
    case 16:
    case 17:
      return msgText(609 + reason);
    default:
      return std::string();
  }
}

}  // namespace

int printStopReason(StepView* s, uint8_t reason, int32_t stepCount) {
  DisplayClock clock(&s->output);
  if (reason == 0 || reason == 9) return 0;
  std::string text = reasonText(s, reason, stepCount);
  if (text.empty()) return 0;
  if (text.size() > kReasonWidth) text.resize(kReasonWidth);
  char buffer[kReasonWidth];
  const int width = fillField(buffer, static_cast<int>(text.size()), text);
  int32_t code = reason;
  DataTable t(&s->output);
  t.create("StopReason", {argString(key::kLabel2, msgStr(770))});
  t.column(ctype::kText, "Reason", buffer, {argInt(dkey::kTextWidth, width)});
  t.column(ctype::kInt, "Code", &code);
  t.endColumns();
  t.bind("Stat.VARSIFTER.StopReason", {}, true);
  t.row();
  t.close();
  t.release();
  return 0;
}

namespace {

// A log p-value shown as the p-value.
double fromLog(double v) {
  if (isMissing(v)) return v;
  return v < kExpFloor ? 0 : zexp(v);
}

}  // namespace

// Returns 0 (also when no candidate was refused: nothing to show), or -2 when a text buffer
// cannot be had.
int printStopDetails(StepView* s, HostPool* allocator, const StopBlock* stop, double stopValue) {
  DisplayClock clock(&s->output);
  const DisplayOptions& o = s->display;
  const CriterionCode c = o.stop != kCritNone ? o.stop : o.select;
  const int header = criterionInfo(c).texts.stopHeader;  // the compare header follows
  if (header == 0) return 0;
  const bool sl = c == kCritSl;
  const char entryCompare = sl || criterionIsMinimized(c) ? '>' : '<';
  const char removalCompare = sl ? '<' : entryCompare;
  const bool several = methodFamily(o.method).grouped;

  struct Row {
    double criterion = 0, compare = 0;
    char comparison = ' ';
  } r;
  std::vector<OutputArgItem> critDyn, compareDyn;
  addDynamic(critDyn, "CriterionHeader", valueString(msgStr(header)));
  addDynamic(compareDyn, "CompareCriterionHeader", valueString(msgStr(header + 1)));

  DataTable t(&s->output);
  if (several) {
    t.create("StopDetails", {argString(key::kLabel2, msgStr(654))});
    t.column(ctype::kDouble, "Criterion", &r.criterion, critDyn);
    t.column(ctype::kText, "Comparison", &r.comparison, {argInt(dkey::kTextWidth, 1)});
    t.column(ctype::kDouble, "CompareCriterion", &r.compare, compareDyn);
    t.endColumns();
    t.bind("Stat.VARSIFTER.StopDetails", {}, true);
    r = Row{infinityAsSpecial(stop->entryValue), infinityAsSpecial(stopValue), entryCompare};
    t.row();
    t.close();
    t.release();
    return 0;
  }

  const bool entry = stop->entryEffect > 0, removal = stop->removalEffect > 0;
  if (!entry && !removal) return 0;
  const int forWidth = std::max(msgLength(630), msgLength(631));
  int effectWidth = 0;
  if (entry) effectWidth = static_cast<int>(candidateLabel(s, stop->entryEffect).size());
  if (removal)
    effectWidth =
        std::max(effectWidth, static_cast<int>(candidateLabel(s, stop->removalEffect).size()));
  effectWidth = std::max(effectWidth, 1);
  auto take = [&](int n) {
    return allocator && n > 0 ? static_cast<char*>(kernel().poolAlloc(allocator, n, kAllocZero))
                              : nullptr;
  };
  char* candidateFor = take(forWidth);
  char* effect = take(effectWidth);
  if (!candidateFor || !effect) return rc::kMemory;
  char label[5];

  t.create("StopDetails", {argString(key::kLabel2, msgStr(654))});
  t.column(ctype::kText, "CandidateFor", candidateFor, {argInt(dkey::kTextWidth, forWidth)});
  t.column(ctype::kText, "Effect", effect, {argInt(dkey::kTextWidth, effectWidth)});
  t.column(ctype::kDouble, "Criterion", &r.criterion, critDyn);
  t.column(ctype::kText, "Comparison", &r.comparison, {argInt(dkey::kTextWidth, 1)});
  t.column(ctype::kDouble, "CompareCriterion", &r.compare, compareDyn);
  if (sl) t.column(ctype::kText, "SignificanceLabel", label, {argInt(dkey::kTextWidth, 5)});
  t.endColumns();
  t.bind("Stat.VARSIFTER.StopDetails", {}, true);
  if (entry) {
    fillField(candidateFor, forWidth, msgText(630));
    fillField(effect, effectWidth, candidateLabel(s, stop->entryEffect));
    r = Row{sl ? fromLog(stop->entryValue) : infinityAsSpecial(stop->entryValue),
            sl ? o.entryLevel : infinityAsSpecial(stopValue), entryCompare};
    fillField(label, 5, "(SLE)");
    t.row();
  }
  if (removal) {
    fillField(candidateFor, forWidth, msgText(631));
    fillField(effect, effectWidth, candidateLabel(s, stop->removalEffect));
    r = Row{sl ? fromLog(stop->removalValue) : infinityAsSpecial(stop->removalValue),
            sl ? o.stayLevel : infinityAsSpecial(stopValue), removalCompare};
    fillField(label, 5, "(SLS)");
    t.row();
  }
  t.close();
  t.release();
  return 0;
}

}  // namespace vsf
