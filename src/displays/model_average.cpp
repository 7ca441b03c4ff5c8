// The output driver of model averaging: the group's information tables, each sample's
// selection when the details are asked for, and the averaged tables.
#include <string>

#include "averaging/averaging.h"
#include "base/codes.h"
#include "base/host.h"
#include "datapass/utilfiles.h"
#include "displays/displays_internal.h"
#include "effects/effects.h"
#include "graphs/graphs.h"
#include "levelize/levelize.h"
#include "selection/group.h"

namespace vsf {

namespace {

int printGroupInformation(StepView* s) {
  const SelectionState* sel = &s->group.selection;
  if (int rc = printObsProfiles(s, sel); rc != 0) return rc;
  ZDesign* d = s->lev.design;
  if (d && d->classCount > 0) {
    if (int rc = printClassLevelInfo(s, s->group.byPool); rc != 0) return rc;
    if (s->settings.classes.showCoding)
      if (int rc = printClassLevelCoding(s, s->group.byPool); rc != 0) return rc;
    zsinglelvl(&s->lev);
  }
  printConstructedEffectInfo(s, s->output.manager, d);
  return printDimensions(s, sel);
}

// Passes over the step records a sample wrote for other displays, up to and past the number
// that leads its final record.
int skipStepRecords(StepView* s, ScratchFileObject* file, int64_t* position, int index) {
  for (;;) {
    int32_t id = 0;
    if (streamReadAt(file, &id, 4, position) != 0) return rc::kHistory;
    if (id != index) return 0;
    HostPool* pool = kernel().poolCreate("step pool", kPoolPlain);
    if (!pool) return rc::kPool;
    SelectionState record;
    // The records were written under the run's options, which the history reader follows.
    shareRunOptions(&record, s->group.selection);
    record.modelPool = pool;
    record.streamFile = file;
    record.streamPosition = position;
    const int rc = readStepHistory(&record);
    kernel().poolDestroy(pool);
    if (rc != 0) return rc::kHistory;
  }
}

// One sample: its group, its step details and its selection.
int printSample(StepView* s, int level, int number, int index, ScratchFileObject* file,
                int64_t* position, int64_t* plotPosition) {
  void* group = openGroup(&s->output, "Sample" + std::to_string(number), msgStr(1151, {number}),
                          {argFlag(dkey::kFlag286, 1), argString(dkey::kBaseName, hstr("Sample")),
                           argDouble(dkey::kNumber, number), argFlag(dkey::kFlag435, 0)});
  groupAttributes(&s->output, {argInt(dkey::kLevel, level), argInt(key::kMinusOne, -1),
                               argString(key::kText, msgStr(485, {number}))});
  if (displayFlags(s, &s->group.selection).stepDetails) {
    if (int rc = printStepDetails(s, file, position, index); rc != 0) return rc;
  } else if (int rc = skipStepRecords(s, file, position, index); rc != 0) {
    return rc;
  }
  SelectionState record;
  // The records were written under the run's options, which the history reader follows.
  shareRunOptions(&record, s->group.selection);
  record.modelPool = s->group.byPool;
  record.streamFile = file;
  record.streamPosition = position;
  if (readStepHistory(&record) != 0) return rc::kHistory;
  if (record.run.status == 0)
    if (int rc = printSelectionResults(s, &record, file, plotPosition, index); rc != 0) return rc;
  if (s->output.selectedModelGroup) {
    closeGroup(&s->output, s->output.selectedModelGroup);
    s->output.selectedModelGroup = nullptr;
  }
  closeGroup(&s->output, group);
  groupAttributes(&s->output, {argInt(key::kGroupLevel, level)});
  return 0;
}

// The EffectSelectPct table and its plot, which draws from the table when it shows the same
// effects in the same order and from a hidden table of its own otherwise.
int printSelectionPercentages(StepView* s) {
  const ModelAverageOptions& m = s->settings.modelAverage;
  const auto& p = s->settings.plots.effectSelectPct;
  const bool plot = p.on && s->settings.graphicsOn;
  const bool same = (p.minPct == -1.0 ? m.espMinPct : p.minPct) == m.espMinPct &&
                    (p.order != 0 ? p.order : m.espOrder) == m.espOrder;
  void* data = nullptr;
  int32_t rows = 0;
  if (m.espTable)
    if (int rc = printEffectSelectPct(s, plot && same ? 1 : 0, &data, &rows); rc != 0) return rc;
  if (plot && !data)
    if (int rc = printEffectSelectPct(s, 2, &data, &rows); rc != 0) return rc;
  return plotEffectSelectPct(s, data, rows);
}

}  // namespace

int printModelAverage(StepView* s) {
  const ModelAverageOptions& m = s->settings.modelAverage;
  const bool refit = s->group.refitPass != 0;
  const int level = refit ? 3 : 2;
  void* initial = nullptr;
  if (!refit) {
    if (int rc = printGroupInformation(s); rc != 0) return rc;
    initial = openGroup(&s->output, "InitialAverage", msgStr(m.refit ? 1221 : 1222),
                        {argFlag(dkey::kFlag435, 0)});
  }
  const ResampleSet* set = &s->group.resampling;
  if (s->display.modelAveragingRun && m.details && resampleFile(set, 0)) {
    int number = 1;
    int64_t plotPosition = 0;
    for (int32_t r = 0; r < set->recordCount; ++r) {
      int64_t position = 0;
      ScratchFileObject* file = resampleFile(set, r);
      for (int32_t i = 0; i < resampleSampleCount(set, r); ++i, ++number)
        if (int rc = printSample(s, level, number, i, file, &position, &plotPosition); rc != 0)
          return rc;
    }
  }
  if (!refit) {
    if (int rc = printSelectionPercentages(s); rc != 0) return rc;
    if (int rc = printModelSelectFreq(s); rc != 0) return rc;
  } else {
    if (int rc = printSelectedEffects(s, &s->group.selection, s->group.byPool); rc != 0) return rc;
  }
  if (int rc = printAvgParmEst(s, m.nonZeroParms && !refit); rc != 0) return rc;
  if (int rc = plotParmDistributions(s); rc != 0) return rc;
  if (initial) closeGroup(&s->output, initial);
  return 0;
}

}  // namespace vsf
