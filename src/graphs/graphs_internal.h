// Inside the graphs: what every graph routine shares. The step range and step axis of a plot
// family, the nested list that tells the host's template about the axis, the graph request
// with its records in order, views over a data object for a step range.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/host.h"
#include "frame/host/values.h"
#include "graphs/graphs.h"
#include "output/output.h"
#include "selection/group.h"

namespace vsf {

// The step axis of PLOTS= (0: not given, then chosen by the step count).
enum class StepAxisCode : int32_t { kNotGiven = 0, kStep = 1, kStepLabel = 2, kNormBeta = 3 };

// Default axes switch from step labels to step numbers above these step counts.
constexpr int32_t kLabelledSteps = 26;       // a single graph
constexpr int32_t kLabelledPanelSteps = 11;  // the criterion panel

// The displayed steps a graph shows.
struct StepRange {
  int32_t first = 0, last = 0;
  bool restricted = false;  // STARTSTEP= or ENDSTEP= given
  bool whole = true;        // every displayed step of the fit lies in it
  bool empty() const { return first > last; }
  bool holds(double step) const { return step >= first && step <= last; }
};
StepRange stepRange(const StepView* s, const SelectionState* sel, const PlotFamily& f);

// The family's STEPAXIS=, else step labels up to `labelled` steps and step numbers above.
StepAxisCode stepAxis(const PlotFamily& f, const SelectionState* sel, int32_t labelled);
// The "_STEPAXIS", "_STEPAXISLABEL", "_STEPTIP" pairs and, when the chosen step lies in the
// range, "_CHOSENVALUE": the nested list every step graph ends with.
std::vector<OutputArgItem> stepAxisList(const StepMarks& marks, StepAxisCode axis,
                                        const StepRange& range);
// "_INTTICKS": whole-number ticks unless the axis is the coefficient norm.
OutputArgItem intTicks(StepAxisCode axis);

// Warning `message` (225 criteria, 226 ASE, 227 coefficients) for a range without steps.
void emptyRangeWarning(StepView* s, int message);

// One graph request (outGraph) with its records in the order they are added. The data-object
// array and nested lists must live until send, so a request is neither copied nor moved.
class GraphRequest {
 public:
  GraphRequest(std::string_view name, HostString* label, HostString* title);
  GraphRequest(const GraphRequest&) = delete;
  GraphRequest& operator=(const GraphRequest&) = delete;
  // "Stat.VARSIFTER.Graphics." and the template's name.
  void setTemplate(std::string_view name);
  void data(void* first, void* second = nullptr);  // whole data objects
  void view(void* view);                           // a filtered view as the data
  void var(std::string_view name, OutputArgItem value);
  void bareValue(OutputArgItem value);  // a value record without its name
  void list(const std::vector<OutputArgItem>* records);
  // Sends the request to the output manager; a refusal has gone to zrcabort. Its status.
  int send(StepView* s);
  int count() const { return static_cast<int>(items_.size()); }

 private:
  std::vector<OutputArgItem> items_;
  void* objects_[2] = {nullptr, nullptr};
};

// A view of a data object's rows whose step lies in the range. Null, with nothing left to
// release, when the host refuses it, cannot count its rows or it has none.
void* rangeView(StepView* s, void* data, const StepRange& range);
void releaseView(StepView* s, void* view);

// A phantom table's bind: hidden by its template, its data object out for the graphs.
void bindPhantom(StepView* s, DataTable& t, std::string_view name, void** data,
                 std::vector<OutputArgItem> dynamics = {});

// A message, with the fold count as its insertion when folds is set.
HostString* labelText(const StepView* s, int message, bool folds);

// A string value, or the null handle for an empty text.
OutputArgItem valueText(std::string_view text);
// The name of the selection method (message 419 + its code).
HostString* methodName(const StepView* s);
// An array of n zeroed elements from the pool; null when refused or n is 0.
template <typename T>
T* poolArray(HostPool* pool, int64_t n) {
  if (!pool || n <= 0) return nullptr;
  return static_cast<T*>(kernel().poolAlloc(pool, sizeof(T) * static_cast<size_t>(n), kAllocZero));
}
// The pool of a fit's marks: its model pool, else the BY group's.
HostPool* marksPool(StepView* s, const SelectionState* sel);

}  // namespace vsf
