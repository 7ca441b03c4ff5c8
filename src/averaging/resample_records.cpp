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

// Each record's samples write their step histories to a scratch file of the record's own, read
// back by the per-sample details; without DETAILS nothing reads them and none is opened.
int openHistoryFiles(ResampleSet* set) {
  const auto* extensions = static_cast<const ExtensionSet*>(set->extensions);
  for (int32_t r = 0; r < set->recordCount; ++r) {
    ResampleWork* w = &set->records[static_cast<size_t>(r)];
    w->historyEnd = 0;
    int stage = 0;
    if (openScratchFile(&w->histories, extensions, 0, 0, nullptr, false, &stage) != 0) {
      hostMsg(848, 215);
      return rc::kScratchFile;
    }
  }
  return 0;
}

}  // namespace

int initResampleWork(StepView* s, bool refitPass) {
  const ModelAverageOptions& m = s->settings.modelAverage;
  ResampleSet* set = &s->group.resampling;
  freeResampleWork(set);
  const int32_t samples = refitPass ? m.refitSamples : m.samples;
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
