// The resample records of a BY group's pass: the shares of the samples, the per-sample
// frequencies kept for OUTPUT.
#include "averaging/averaging.h"
#include "base/codes.h"
#include "base/host.h"
#include "datapass/resources.h"
#include "datapass/utilfiles.h"
#include "selection/group.h"

namespace vsf {

namespace {

// Samples that cannot differ, or hold one unit, are legal but rarely what was meant.
void noteSampleSize(const ResampleSet* set, const ModelAverageOptions& m, double population) {
  if (!(population > 0)) return;  // the samples report that they have no rows
  const double size = resampleSize(set, population);
  if (set->withoutReplacement && size > population && m.sampleSize > 0 && !set->sampleFraction) {
    hostMsg(848, 6145, {static_cast<long long>(size), static_cast<long long>(population)});
  } else if (set->withoutReplacement && size >= population) {
    hostMsg(848, 6146, {static_cast<long long>(population)});
  } else if (size == 1) {
    hostMsg(848, 6147);
  }
}

// Each record's samples write their step histories to a scratch file of the record's own, read
// back by the per-sample details; without DETAILS nothing reads them and none is opened.
int openHistoryFiles(ResampleSet* set) {
  const auto* extensions = static_cast<const ExtensionSet*>(set->extensions);
  for (int32_t r = 0; r < set->recordCount; ++r) {
    ResampleWork* w = &set->records[static_cast<size_t>(r)];
    w->historyEnd = 0;
    int stage = 0;
    if (openScratchFile(&w->histories, extensions, 0, 0, nullptr, false, &stage) != 0) {
      hostFileMsg(848, 215);
      return rc::kScratchFile;
    }
  }
  return 0;
}

}  // namespace

int checkSampleMemory(StepView* s, int32_t samples, int64_t params, int64_t effects, int64_t rows) {
  const StepSettings& st = s->settings;
  int64_t variables = (st.output.samplePred.on ? 1 : 0) + (st.output.sampleFreq.on ? 1 : 0);
  for (int i = 0; i < st.scoreCount; ++i) variables += st.scoreRequests[i].samplePred.on ? 1 : 0;
  // A host variable costs its descriptor and name, a row's text some bytes more.
  constexpr double kVariableBytes = 256;
  const double perSample = sizeof(SampleFit) + sizeof(SampleModel) + 1 +
                           20.0 * static_cast<double>(params) + 4.0 * static_cast<double>(effects) +
                           (st.output.sampleFreq.on ? 4.0 * static_cast<double>(rows) : 0.0) +
                           kVariableBytes * static_cast<double>(variables);
  MemoryShortfall m;
  if (fitsMemory(perSample * samples, &m)) return 0;
  hostMsg(848, 6149, {samples, m.needMb, m.availableMb});
  raiseStepCode(s->stepCode, step::kMemory);
  return rc::kNoMemoryLeft;
}

int initResampleWork(StepView* s, ResampleSet* set, bool refitPass) {
  const ModelAverageOptions& m = s->settings.modelAverage;
  freeResampleWork(set);
  const int32_t samples = refitPass ? m.refitSamples : m.samples;
  const SelectionState& sel = s->group.selection;
  if (int rc = checkSampleMemory(s, samples, sel.layout.paramCount, sel.layout.effectCount,
                                 static_cast<int64_t>(sel.totals.rowsStored));
      rc != 0)
    return rc;
  if (int rc = shareResamples(set, m.threads, samples); rc != 0) return rc;
  set->refitPass = refitPass;
  set->seedOffset = refitPass ? m.samples : 0;
  set->procedureSeed = s->settings.procedureSeed;
  set->withoutReplacement = m.srs;
  set->sampleFraction = m.sampleFraction;
  set->sampleSize = m.sampleSize;
  set->storedRows = 0;
  set->obsFreq.clear();
  if (set->sampleFreqRequest && (!m.refit || refitPass)) {
    set->storedRows = static_cast<int64_t>(s->group.selection.totals.rowsStored);
    set->obsFreq.assign(static_cast<size_t>(set->storedRows * samples), 0);
  }
  if (!refitPass) noteSampleSize(set, m, s->group.selection.totals.trainFreq);
  if (m.details) return openHistoryFiles(set);
  return 0;
}

void freeResampleWork(ResampleSet* set) {
  const auto* extensions = static_cast<const ExtensionSet*>(set->extensions);
  for (ResampleWork& w : set->records)
    if (w.histories.file) closeScratchFile(&w.histories, extensions);
}

int32_t resampleSampleCount(const ResampleSet* set, int32_t record) {
  return record >= 0 && record < set->recordCount ? set->records[static_cast<size_t>(record)].share
                                                  : 0;
}

ScratchFileObject* resampleFile(const ResampleSet* set, int32_t record) {
  return record >= 0 && record < set->recordCount
             ? set->records[static_cast<size_t>(record)].histories.file
             : nullptr;
}

}  // namespace vsf
