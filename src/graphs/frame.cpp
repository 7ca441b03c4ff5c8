// What every graph routine shares: step ranges and axes, the axis list, graph requests, views
// over a step range and phantom tables.
#include <fmt/format.h>

#include <algorithm>
#include <cstring>

#include "frame/host/dataset.h"
#include "graphs/graphs_internal.h"

namespace vsf {

namespace {

constexpr int32_t kWholeEnd = 2147483647;
constexpr uint16_t kKeyGraphView = 307;
constexpr uint16_t kKeyNestedList = 174;
constexpr uint16_t kTypeNestedList = 28;
constexpr uint16_t kKeyDisplay = 2640;

}  // namespace

StepRange stepRange(const StepView* s, const SelectionState* sel, const PlotFamily& f) {
  StepRange r;
  const int32_t last = lastDisplayStep(s, sel);
  r.first = f.startStep >= 0 ? f.startStep : 0;
  r.last = std::min(f.endStep, last);
  r.restricted = f.startStep >= 0 || f.endStep < kWholeEnd;
  r.whole = r.first <= 0 && r.last >= last;
  return r;
}

StepAxisCode stepAxis(const PlotFamily& f, const SelectionState* sel, int32_t labelled) {
  if (f.stepAxis != 0) return static_cast<StepAxisCode>(f.stepAxis);
  return sel->steps.stepCount <= labelled ? StepAxisCode::kStepLabel : StepAxisCode::kStep;
}

std::vector<OutputArgItem> stepAxisList(const StepMarks& m, StepAxisCode axis,
                                        const StepRange& range) {
  std::vector<OutputArgItem> list;
  switch (axis) {
    case StepAxisCode::kStepLabel:
      addDynamic(list, "_STEPAXIS", valueString(hstr("STEPLABEL")));
      addDynamic(list, "_STEPAXISLABEL", valueString(msgStr(891)));
      addDynamic(list, "_STEPTIP", valueString(hstr("Step")));
      break;
    case StepAxisCode::kNormBeta:
      addDynamic(list, "_STEPAXIS", valueString(hstr("NORMBETA")));
      addDynamic(list, "_STEPAXISLABEL", valueString(msgStr(892)));
      addDynamic(list, "_STEPTIP", valueString(hstr("Step")));
      break;
    default:
      addDynamic(list, "_STEPAXIS", valueString(hstr("STEP")));
      addDynamic(list, "_STEPAXISLABEL", valueString(msgStr(890)));
      addDynamic(list, "_STEPTIP", valueString(nullptr));
  }
  if (!range.holds(m.chosenStep)) return list;
  if (axis == StepAxisCode::kStepLabel)
    addDynamic(list, "_CHOSENVALUE", valueString(m.chosenLabel));
  else if (axis == StepAxisCode::kNormBeta)
    addDynamic(list, "_CHOSENVALUE", valueDouble(m.chosenNorm));
  else
    addDynamic(list, "_CHOSENVALUE", valueInt(static_cast<int32_t>(m.chosenStep)));
  return list;
}

OutputArgItem intTicks(StepAxisCode axis) {
  return valueString(hstr(axis == StepAxisCode::kNormBeta ? "FALSE" : "TRUE"));
}

void emptyRangeWarning(StepView* s, int message) {
  hostMsg(kMsgSet, message);
  raiseStepCode(s->stepCode, step::kWarning);
}

// ---- Graph requests ----
GraphRequest::GraphRequest(std::string_view name, HostString* label, HostString* title) {
  items_.push_back(argString(key::kName, hstr(name)));
  items_.push_back(argString(key::kLabel2, label));
  items_.push_back(argString(key::kTitle, title));
}

void GraphRequest::setTemplate(std::string_view name) {
  items_.push_back(
      argString(key::kTemplate, hstr(fmt::format("Stat.VARSIFTER.Graphics.{}", name))));
}

void GraphRequest::data(void* first, void* second) {
  objects_[0] = first;
  objects_[1] = second;
  OutputArgItem a = argDataObject(key::kGraphData, 0, objects_);
  const uint16_t n = second ? 2 : 1;
  std::memcpy(a.value + 2, &n, 2);
  items_.push_back(a);
}

void GraphRequest::view(void* v) { items_.push_back(argBound(kKeyGraphView, v)); }

void GraphRequest::var(std::string_view name, OutputArgItem value) {
  addDynamic(items_, name, value);
}

void GraphRequest::bareValue(OutputArgItem value) {
  value.key = key::kDynamicValue;
  items_.push_back(value);
}

void GraphRequest::list(const std::vector<OutputArgItem>* records) {
  OutputArgItem a;
  a.key = kKeyNestedList;
  a.type = kTypeNestedList;
  const uint16_t n = static_cast<uint16_t>(records->size());
  std::memcpy(a.value + 2, &n, 2);
  a.aux = const_cast<OutputArgItem*>(records->data());
  items_.push_back(a);
}

int GraphRequest::send(StepView* s) {
  return sendRequest(s->output.manager, op::kRenderGraph, items_);
}

// ---- Views and phantom tables ----
void* rangeView(StepView* s, void* data, const StepRange& range) {
  void* view = nullptr;
  HostString* where =
      hstr(fmt::format("where=(step >= {} and step <= {})", range.first, range.last));
  if (sendRequest(s->output.manager, op::kFilteredView,
                  {argPointer(key::kFilterData, argtype::kString, data),
                   argString(key::kWhere, where), argBound(key::kView, &view)}) < 0 ||
      !view)
    return nullptr;
  // The host answers a view's row count as a data set's.
  int64_t rows = 0;
  if (hostv().ds->attr(static_cast<HostDataSet*>(view), dsattr::kRows, &rows) != 0 || rows == 0) {
    releaseView(s, view);
    return nullptr;
  }
  return view;
}

void releaseView(StepView* s, void* view) {
  if (view) sendRequest(s->output.manager, op::kReleaseView, {argBound(key::kView, view)});
}

void bindPhantom(StepView* s, DataTable& t, std::string_view name, void** data,
                 std::vector<OutputArgItem> dynamics) {
  t.bind(fmt::format("Stat.VARSIFTER.Phantom.{}", name), std::move(dynamics), true, data,
         {argFlag(kKeyDisplay, s->settings.displaysSuppressed ? 0 : 1)});
}

// ---- Criterion labels ----
HostString* labelText(const StepView* s, int message, bool folds) {
  return folds ? msgStr(message, {s->display.cvFolds}) : msgStr(message);
}

// ---- Small services ----

OutputArgItem valueText(std::string_view text) {
  return valueString(text.empty() ? nullptr : hstr(text));
}

HostString* methodName(const StepView* s) { return msgStr(methodInfo(s->display.method).label); }

HostPool* marksPool(StepView* s, const SelectionState* sel) {
  return sel->modelPool ? sel->modelPool : s->group.byPool;
}

}  // namespace vsf
