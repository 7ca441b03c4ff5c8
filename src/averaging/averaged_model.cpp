// The averaged model in the selection state, and the predictions of the samples' own models
// with their summary for the OUTPUT and SCORE rows.
#include <algorithm>
#include <cmath>

#include "averaging/averaging.h"
#include "averaging/averaging_internal.h"
#include "averaging/model_internal.h"
#include "design/design.h"
#include "frame/host/values.h"
#include "selection/group.h"

namespace vsf {

namespace {

const std::vector<double>& chosenEstimates(const AveragedResults& a, int32_t method) {
  switch (method) {
    case 2:
      return a.nzEstimate;
    case 3:
      return a.avgMedian;
    case 4:
      return a.nzMedian;
    default:
      return a.avgEstimate;
  }
}

// Each parameter's place in a design row (the candidates' column maps applied).
std::vector<int32_t> parameterColumns(const StepView* s, const SelectionState* sel) {
  const ZDesign* d = s->lev.design;
  const std::vector<CandidateEntry>* table = s->group.candidates.table;
  std::vector<int32_t> at(static_cast<size_t>(sel->layout.paramCount), -1);
  for (int32_t e = 0; e < sel->layout.effectCount; ++e) {
    int32_t effect = e, columns = sel->layout.columnCount[e];
    const int32_t* map = nullptr;
    if (table && e < static_cast<int32_t>(table->size())) {
      const CandidateEntry& c = (*table)[static_cast<size_t>(e)];
      effect = c.effect, map = c.columnMap;
    }
    if (!d || effect < 0 || effect >= d->effectCount) continue;
    for (int32_t j = 0; j < columns; ++j) {
      const int64_t p = sel->sweep.firstParam[e] + j;
      if (p < static_cast<int64_t>(at.size()))
        at[static_cast<size_t>(p)] = d->effects[effect].startColumn + (map ? map[j] : j);
    }
  }
  return at;
}

bool averagingWanted(const OutputSlots* o) {
  return o->stdDev || o->median || o->lower || o->upper || !o->samplePred.empty();
}

}  // namespace

void setAveragedModel(StepView* s, SelectionState* sel, AveragedResults* a) {
  const int32_t E = sel->layout.effectCount;
  sel->sweep.effectsInModel = 0;
  a->avgParmCount = 0;
  for (int32_t e = 0; e < E; ++e) {
    EffectState& state = sel->sweep.states[e];
    if (!keptInModel(state)) state = EffectState::kFree;
    if (a->effectSelectCount[static_cast<size_t>(e)] == 0) continue;
    const int32_t first = sel->sweep.firstParam[e], columns = sel->layout.columnCount[e];
    bool nonzero = false;
    for (int32_t j = 0; j < columns; ++j) nonzero |= a->parmNonzeroCount[first + j] != 0;
    if (!nonzero) continue;
    sel->sweep.entryOrder[sel->sweep.effectsInModel++] = e;
    if (state == EffectState::kFree) state = EffectState::kSelected;
    a->avgParmCount += columns;
  }
  const std::vector<double>& b = chosenEstimates(*a, s->settings.modelAverage.averageMethod);
  for (int32_t j = 0; j < sel->layout.paramCount; ++j) {
    const double v = b[static_cast<size_t>(j)];
    sel->sweep.estimates[j] = std::isfinite(v) ? v : 0.0;
  }
  sel->run.status = 0;
  sel->run.chosenStep = -1;
  a->parmColumn = parameterColumns(s, sel);
}

void predictWithSampleModels(const StepView* s, const double* row, OutputSlots* out,
                             std::vector<double>* work) {
  const AveragedResults& a = s->group.resampling.results;
  if (a.samplesAveraged <= 0 || a.parmColumn.empty() || !averagingWanted(out)) return;
  const int32_t n = static_cast<int32_t>(a.sampleModels.size());
  std::vector<double>& v = *work;
  v.clear();
  for (int32_t k = 0; k < n; ++k) {
    double prediction = missingValue('.');
    if (a.sampleInAverage[static_cast<size_t>(k)]) {
      const SampleModel& m = a.sampleModels[static_cast<size_t>(k)];
      prediction = 0;
      for (size_t j = 0; j < m.parmIndex.size(); ++j) {
        const int32_t c = a.parmColumn[static_cast<size_t>(m.parmIndex[j])];
        if (c >= 0) prediction += m.estimate[j] * row[c];
      }
      v.push_back(prediction);
    }
    if (static_cast<size_t>(k) < out->samplePred.size() && out->samplePred[static_cast<size_t>(k)])
      *out->samplePred[static_cast<size_t>(k)] = prediction;
  }
  const int32_t m = static_cast<int32_t>(v.size());
  if (out->stdDev) *out->stdDev = spreadOf(v.data(), m, 0);
  std::sort(v.begin(), v.end());
  auto at = [&](int32_t i) { return v[static_cast<size_t>(i)]; };
  const double h = s->settings.modelAverage.alpha / 2;
  if (out->median) *out->median = medianOf(m, at);
  if (out->lower) *out->lower = quantileOf(m, h, at);
  if (out->upper) *out->upper = quantileOf(m, 1 - h, at);
}

int32_t outputSampleCount(const StepView* s) {
  const ModelAverageOptions& m = s->settings.modelAverage;
  if (!m.on) return 0;
  return m.refit ? m.refitSamples : m.samples;
}

int32_t sampleFrequency(const StepView* s, int64_t storedRow, int32_t sample) {
  const ResampleSet& set = s->group.resampling;
  if (storedRow < 0 || storedRow >= set.storedRows || sample < 0 || sample >= set.samples ||
      set.obsFreq.empty())
    return -1;
  return set.obsFreq[static_cast<size_t>(storedRow * set.samples + sample)];
}

}  // namespace vsf
