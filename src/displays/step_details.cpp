// The step details: one group per recorded step, read back from the result stream, with the
// step's change and its tables.
#include <algorithm>
#include <string>

#include "base/codes.h"
#include "base/host.h"
#include "datapass/utilfiles.h"
#include "displays/displays_internal.h"
#include "graphs/graphs.h"
#include "selection/group.h"

namespace vsf {

namespace {

void describe(StepView* s, int level, HostString* text) {
  groupAttributes(&s->output, {argInt(dkey::kLevel, level), argInt(key::kMinusOne, -1),
                               argString(key::kText, text)});
}

// The entered and removed labels of a step that may change several effects.
void changeTexts(const StepView* s, const SelectionState* record, std::string* in,
                 std::string* out) {
  const StepHistory& h = record->steps;
  const int32_t last = record->steps.stepCount - 1;
  const int32_t from = changeListStart(record, last);
  for (int32_t c = 0; h.changes && c < std::max(h.effect[last], 0); ++c) {
    if (from + c >= h.changeListLength) break;
    const int32_t e = h.changes[from + c];
    std::string& text = e >= 0 ? *in : *out;
    text.append(candidateLabel(s, e >= 0 ? e : -e));
    text.push_back(' ');
  }
}

// What the step changed, at the level below the step's description. 0 or -2.
int describeChange(StepView* s, const SelectionState* record, int level, int stepNumber, int r) {
  const DisplayOptions& o = s->display;
  const StepHistory& h = record->steps;
  const int32_t last = record->steps.stepCount - 1;
  if (stepNumber == 0 && o.method == kMethodBackward) {
    describe(s, level, msgStr(472));
  } else if (stepNumber == 0) {
    char* text = nullptr;
    int length = 0;
    if (int rc = effectListLength(s, record, record->modelPool, &text, &length); rc != 0) return rc;
    if (length > 0)
      describe(s, level, msgStr(r == 0 ? 470 : 469, {trimRight(std::string_view(text, length))}));
  } else if (methodFamily(o.method).grouped) {
    std::string in, out;
    changeTexts(s, record, &in, &out);
    if (in.empty() && out.empty()) describe(s, level, msgStr(473));
    if (!in.empty()) describe(s, level, msgStr(470, {trimRight(in)}));
    if (!out.empty()) describe(s, level, msgStr(471, {trimRight(out)}));
  } else if (last >= 0) {
    const bool fell = h.effects[last] < h.effects[last - 1];
    describe(s, level, msgStr(fell ? 471 : 470, {candidateLabel(s, h.effect[last])}));
  }
  return 0;
}

void releaseRecord(StepView* s) {
  if (s->output.detailsPool) {
    kernel().poolDestroy(s->output.detailsPool);
    s->output.detailsPool = nullptr;
  }
}

}  // namespace

// One step record's group: its description, its change and its tables. 0 or the first
// nonzero code of a table.
int printStepRecord(StepView* s, const SelectionState* record, int level, int stepNumber, int r,
                    int first) {
  const DisplayOptions& o = s->display;
  const DisplayFlags f = displayFlags(s, record);
  void* group =
      openGroup(&s->output, "Step" + std::to_string(stepNumber), msgStr(450, {stepNumber}),
                {argFlag(dkey::kFlag286, 1), argString(dkey::kBaseName, hstr("Step")),
                 argDouble(dkey::kNumber, stepNumber), argFlag(dkey::kFlag435, 1)});
  if (f.detailsText) {
    groupAttributes(
        &s->output,
        {argInt(dkey::kLevel, level), argFlag(dkey::kFlag358, 1), argInt(key::kMinusOne, -1),
         argString(key::kText, msgStr(methodInfo(o.method).stepTitle, {stepNumber}))});
    if (int rc = describeChange(s, record, level + 1, stepNumber, r); rc != 0) return rc;
  }
  const StepDetailTables& t = o.stepTables;
  HostPool* pool = record->modelPool;
  if (f.detailsText && t.anova)
    if (int rc = printAnova(s, record, pool); rc != 0) return rc;
  if (f.detailsText && t.fitStatistics) {
    if (int rc = printFitStatistics(s, record); rc != 0) return rc;
    if (f.cvDetails)
      if (int rc = printCvDetails(s, record, pool); rc != 0) return rc;
  }
  if (f.detailsText && t.parameterEstimates)
    if (int rc = printParameterEstimates(s, record, pool, o.orderSelect); rc != 0) return rc;
  if (r > first) {
    if (f.detailsText && t.candidates)
      if (int rc = printCandidates(s, record); rc != 0) return rc;
    if (f.candidatesPlot)
      if (int rc = plotCandidates(s, record); rc != 0) return rc;
  }
  if (f.detailsText) ruleLine(&s->output);
  groupAttributes(&s->output, {argInt(key::kGroupLevel, level + 1)});
  closeGroup(&s->output, group);
  return 0;
}

int printStepDetails(StepView* s, ScratchFileObject* file, int64_t* position, int sample) {
  const DisplayOptions& o = s->display;
  const SelectionState& live = s->group.selection;
  const int level = 2 + (file ? 1 : 0) + (s->group.refitPass ? 1 : 0);
  int first = 0, stepNumber = 0;
  if (o.method != kMethodBackward) {
    first = live.layout.firstSelectable - 1;
    if (o.noInt && o.include == 0) first = -1, stepNumber = 1;
  }
  void* group = openGroup(&s->output, "StepDetails", msgStr(791), {argFlag(dkey::kFlag435, 0)});
  int64_t local = 0;
  int64_t* at = position ? position : &local;
  ScratchFileObject* stream = file ? file : s->group.groupScratch.file;
  const bool bySample = sample >= 0;  // a sample's records end at its final one
  for (int r = 0; bySample || r < live.steps.stepCount; ++r) {
    SelectionState record;
    // The records were written under the run's options, which the history reader follows.
    shareRunOptions(&record, s->group.selection);
    record.streamFile = stream;
    record.streamPosition = at;
    if (sample >= 0) {
      // A sample's step records carry its index; its final record, read by the caller next,
      // carries another number and ends them.
      int32_t id = 0;
      if (int rc = streamReadAt(stream, &id, 4, at); rc != 0) return rc;
      if (id != sample) break;
    }
    if (!(s->output.detailsPool = kernel().poolCreate("step pool", kPoolPlain))) return rc::kPool;
    record.modelPool = s->output.detailsPool;
    if (readStepHistory(&record) != 0) {
      releaseRecord(s);
      return rc::kHistory;
    }
    if (r >= first) {
      int rc = printStepRecord(s, &record, level, stepNumber, r, first);
      if (rc != 0) {
        releaseRecord(s);
        return rc;
      }
      ++stepNumber;
    }
    releaseRecord(s);
  }
  closeGroup(&s->output, group);
  groupAttributes(&s->output, {argInt(key::kGroupLevel, level)});
  groupAttributes(&s->output, {argInt(key::kGroupLevel, level + 1)});
  return 0;
}

}  // namespace vsf
