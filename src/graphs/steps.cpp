// How the tables and graphs number and name the steps of a fit and its candidates.
#include <vector>

#include "graphs/graphs.h"
#include "selection/group.h"

namespace vsf {

namespace {

bool backward(const StepView* s) { return s->display.method == kMethodBackward; }

int32_t forcedCount(const SelectionState* sel) { return sel->layout.firstSelectable; }

const CandidateEntry* entryOf(const StepView* s, int32_t candidate) {
  const std::vector<CandidateEntry>* table = s->group.candidates.table;
  if (!table || candidate < 0 || candidate >= static_cast<int32_t>(table->size())) return nullptr;
  return &(*table)[static_cast<size_t>(candidate)];
}

}  // namespace

int32_t displayStep(const StepView* s, const SelectionState* sel, int32_t index) {
  return backward(s) ? index : index - forcedCount(sel) + 1;
}

int32_t historyIndex(const StepView* s, const SelectionState* sel, int32_t display) {
  return backward(s) ? display : display + forcedCount(sel) - 1;
}

int32_t lastDisplayStep(const StepView* s, const SelectionState* sel) {
  return displayStep(s, sel, sel->steps.stepCount - 1);
}

int32_t firstSummaryStep(const StepView* s, const SelectionState* sel) {
  if (backward(s)) return 0;
  return forcedCount(sel) > 0 ? forcedCount(sel) - 1 : 0;
}

// Without NOINT's forced block there is no step 0 to label: display step 1 has label 0.
std::string_view stepLabelText(const StepView* s, const StepMarks& m, int32_t display) {
  const int32_t index = m.firstNumberedStep == 0 && !backward(s) ? display - 1 : display;
  if (!m.labels || index < 0 || index >= m.labelCount || !m.labels[index].text) return {};
  return std::string_view(m.labels[index].text, static_cast<size_t>(m.labels[index].length));
}

const double* stepNorms(const SelectionState* sel) {
  return sel->steps.fifth ? sel->steps.fifth : sel->steps.l1Norm;
}

std::string_view candidateLabel(const StepView* s, int32_t candidate) {
  const CandidateEntry* c = entryOf(s, candidate);
  if (!c || !c->label || c->labelLength <= 0) return {};
  return std::string_view(c->label, static_cast<size_t>(c->labelLength));
}

int32_t candidateColumns(const StepView* s, int32_t candidate) {
  const CandidateEntry* c = entryOf(s, candidate);
  return c ? c->columns : 0;
}

}  // namespace vsf
