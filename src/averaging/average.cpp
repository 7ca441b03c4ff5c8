// averageOverSamples: the samples' selected models counted by effect and by distinct model,
// the averaging subset, and per parameter the averaged estimates with their spread and
// quantiles, over all averaged samples (zeros included) and over the nonzero values only.
#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

#include "averaging/averaging.h"
#include "averaging/averaging_internal.h"
#include "base/codes.h"
#include "base/host.h"
#include "base/strings.h"
#include "frame/host/status.h"
#include "frame/host/values.h"
#include "selection/group.h"

namespace vsf {

namespace {

double dot() { return missingValue('.'); }

// Sample k's fit counted: its effects, its nonzero estimates, and its distinct model.
void countSample(const SampleFit& fit, AveragedResults* a, SampleModel* model) {
  for (int32_t e : fit.effects)
    if (e >= 0 && e < static_cast<int32_t>(a->effectSelectCount.size()))
      a->effectSelectCount[static_cast<size_t>(e)] += 1;
  for (size_t j = 0; j < fit.estimates.size(); ++j)
    if (fit.estimates[j] != 0) {
      model->parmIndex.push_back(static_cast<int32_t>(j));
      model->estimate.push_back(fit.estimates[j]);
    }
}

void sampleMessage(const SampleFit& fit, int32_t number, StepView* s) {
  const int32_t status = fit.status, folds = s->group.selection.path.extCvFolds;
  // External cross validation's limits on the sample's drawn rows, with their numbers.
  if (status == runstatus::kFoldsAboveN)
    hostMsg(848, 6193, {number, fit.foldedFreq, externalFoldsAsked(&s->group.selection)});
  else if (status == runstatus::kFoldNoTraining)
    hostMsg(848, 6194, {number, fit.emptyFold + 1, folds});
  const int message = status == runstatus::kNoObservations ? 259
                      : status == runstatus::kCpNoVariance ? 260
                      : status == rc::kMemory              ? 261
                                                           : 0;
  if (message) hostMsg(848, message, {number});
  raiseStepCode(s->stepCode, step::kWarning);
}

// Distinct models in key order (effect count, then the effects), best first in modelOrder,
// with their ranks and the subset rule applied.
void orderModels(const std::map<std::vector<int32_t>, int32_t>& frequencies,
                 const ModelAverageOptions& m, AveragedResults* a) {
  const double fitted = a->samplesFitted;
  std::vector<std::pair<const std::vector<int32_t>*, int32_t>> byKey;
  for (const auto& [effects, frequency] : frequencies) byKey.emplace_back(&effects, frequency);
  std::stable_sort(byKey.begin(), byKey.end(), [](const auto& x, const auto& y) {
    if (x.first->size() != y.first->size()) return x.first->size() < y.first->size();
    return *x.first < *y.first;
  });
  const uint32_t n = static_cast<uint32_t>(byKey.size());
  std::vector<double> key(n);
  a->distinctModels.assign(n, DistinctModel{});
  a->modelOrder.resize(n);
  std::vector<uint32_t> order(n);
  for (uint32_t i = 0; i < n; ++i) {
    DistinctModel& d = a->distinctModels[i];
    d.effects = *byKey[i].first;
    d.frequency = byKey[i].second;
    double sum = 0;
    for (int32_t e : d.effects) sum += a->effectSelectCount[static_cast<size_t>(e)];
    // An empty model has no mean fraction: it ranks by its frequency alone.
    d.meanEffectSelectFraction = d.effects.empty() ? 0 : sum / (d.effects.size() * fitted);
    key[i] = d.frequency + d.meanEffectSelectFraction;
    order[i] = i;
  }
  shellSortDoubles(key.data(), n, order.data(), 0);
  const int32_t minFreq = std::max(m.subsetMinModelFreq, 1);
  const int32_t bestRank = m.subsetBest > 0 ? m.subsetBest : 2147483647;
  int32_t rank = 1;
  for (uint32_t k = 0; k < n; ++k) {
    DistinctModel& d = a->distinctModels[order[k]];
    a->modelOrder[k] = static_cast<int32_t>(order[k]);
    d.rank = rank;
    rank += d.frequency;
    d.inAverage = d.frequency >= minFreq && d.rank <= bestRank;
  }
}

}  // namespace

double quantileOf(int32_t n, double p, const std::function<double(int32_t)>& at) {
  if (n <= 0) return dot();
  const double q = p * n;
  int32_t i = static_cast<int32_t>(std::floor(q + kFuzz));
  const bool between = std::fabs(q - i) <= kFuzz;
  i = std::clamp(i, 0, n - 1);
  if (between && i > 0) return (at(i - 1) + at(i)) / 2;
  return at(i);
}

double medianOf(int32_t n, const std::function<double(int32_t)>& at) {
  if (n <= 0) return dot();
  return n % 2 == 0 ? (at(n / 2 - 1) + at(n / 2)) / 2 : at(n / 2);
}

double spreadOf(const double* x, int32_t n, int32_t zeros) {
  const int32_t count = n + std::max(zeros, 0);
  if (count < 2) return dot();
  // Deviations from a value of the data lose no digits to a common offset; the zeros stand
  // at -ref.
  const double ref = n > 0 ? x[0] : 0.0;
  double sum = -ref * (count - n), largest = std::fabs(ref);
  for (int32_t i = 0; i < n; ++i) sum += x[i] - ref, largest = std::max(largest, std::fabs(x[i]));
  const double mean = sum / count;
  double squares = (count - n) * (ref + mean) * (ref + mean);
  for (int32_t i = 0; i < n; ++i) squares += (x[i] - ref - mean) * (x[i] - ref - mean);
  const double sd = std::sqrt(squares / (count - 1));
  // A spread within rounding of the values' own size is noise of their computation.
  return sd <= kFuzz * largest ? 0.0 : sd;
}

void parameterStatistics(const std::vector<double>& v, int32_t K, double alpha, double trim,
                         double threshold, int32_t fitted, ParameterSummary* out) {
  const int32_t c = static_cast<int32_t>(v.size());
  const int32_t negatives =
      static_cast<int32_t>(std::count_if(v.begin(), v.end(), [](double x) { return x <= 0; }));
  const int32_t zeros = K - c;
  const int32_t t = static_cast<int32_t>(c * trim / 2);
  double T = 0;
  for (int32_t i = t; i < c - t; ++i) T += v[static_cast<size_t>(i)];
  const int32_t m = std::max(c - 2 * t, 0), M = std::max(K - 2 * t, 0);
  auto spread = [&](int32_t count) { return spreadOf(v.data() + t, m, count - m); };
  auto nz = [&](int32_t i) { return v[static_cast<size_t>(i)]; };
  auto all = [&](int32_t i) {
    if (i < negatives) return v[static_cast<size_t>(i)];
    if (i < negatives + zeros) return 0.0;
    return v[static_cast<size_t>(i - zeros)];
  };
  const double q = alpha / 2;
  out->nzEstimate = c > 0 && m > 0 ? T / m : dot();
  out->nzMedian = medianOf(c, nz);
  out->nzLower = quantileOf(c, q, nz);
  out->nzUpper = quantileOf(c, 1 - q, nz);
  out->nzStdDev = spread(m);
  if (threshold == 0 || (fitted > 0 && threshold <= static_cast<double>(c) / fitted)) {
    out->avgStdDev = spread(M);
    out->avgEstimate = M > 0 ? T / M : dot();
  } else {
    out->avgEstimate = out->avgStdDev = 0;
  }
  out->avgMedian = medianOf(K, all);
  out->avgLower = quantileOf(K, q, all);
  out->avgUpper = quantileOf(K, 1 - q, all);
}

int averageOverSamples(StepView* s, ResampleSet* set, SelectionState* sel, PhaseTimers* timers) {
  const ModelAverageOptions& m = s->settings.modelAverage;
  const double start = hostClock();
  const int32_t S = set->samples;
  const int32_t E = sel->layout.effectCount, P = sel->layout.paramCount;
  AveragedResults& a = set->results;
  a = AveragedResults();
  set->resampleCount = 0;
  if (S <= 0 || P <= 0) return rc::kMemory;
  a.samplesRequested = S;
  a.effectSelectCount.assign(static_cast<size_t>(E), 0);
  a.sampleInAverage.assign(static_cast<size_t>(S), 0);
  a.sampleModels.assign(static_cast<size_t>(S), SampleModel{});

  // Only fitted samples enter the tree of distinct models.
  std::map<std::vector<int32_t>, int32_t> frequencies;
  std::vector<const std::vector<int32_t>*> sampleKey(static_cast<size_t>(S), nullptr);
  std::vector<std::vector<int32_t>> keys(static_cast<size_t>(S));
  for (int32_t k = 0; k < S && k < static_cast<int32_t>(set->fits.size()); ++k) {
    const SampleFit& fit = set->fits[static_cast<size_t>(k)];
    if (fit.status < 0) {
      sampleMessage(fit, k + 1, s);
      continue;
    }
    a.samplesFitted += 1;
    countSample(fit, &a, &a.sampleModels[static_cast<size_t>(k)]);
    keys[static_cast<size_t>(k)] = fit.effects;
    std::sort(keys[static_cast<size_t>(k)].begin(), keys[static_cast<size_t>(k)].end());
    frequencies[keys[static_cast<size_t>(k)]] += 1;
  }
  if (a.samplesFitted == 0) {
    hostMsg(848, 239);
    raiseStepCode(s->stepCode, step::kLevelization108);
    sel->run.status = runstatus::kNothingEntered;
    return s->settings.hasByStatement ? 0 : rc::kNoSampleFitted;
  }
  if (a.samplesFitted < S) hostMsg(848, 240, {S - a.samplesFitted});

  orderModels(frequencies, m, &a);
  std::map<std::vector<int32_t>, const DistinctModel*> byEffects;
  for (const DistinctModel& d : a.distinctModels) byEffects[d.effects] = &d;
  int32_t K = 0, largest = 0;
  for (const DistinctModel& d : a.distinctModels) largest = std::max(largest, d.frequency);
  for (int32_t k = 0; k < S && k < static_cast<int32_t>(set->fits.size()); ++k) {
    if (set->fits[static_cast<size_t>(k)].status < 0) continue;
    const uint8_t in = byEffects[keys[static_cast<size_t>(k)]]->inAverage;
    a.sampleInAverage[static_cast<size_t>(k)] = in;
    K += in;
  }
  if (K == 0) {
    hostMsg(848, 262, {largest, std::max(m.subsetMinModelFreq, 1)});
    raiseStepCode(s->stepCode, step::kWarning);
    a.samplesFitted = 0;
    sel->run.status = runstatus::kNothingEntered;
    return 0;
  }

  // Per parameter the nonzero values of the averaged samples, sorted.
  std::vector<std::vector<double>> values(static_cast<size_t>(P));
  a.parmNonzeroCount.assign(static_cast<size_t>(P), 0);
  for (int32_t k = 0; k < S; ++k) {
    if (!a.sampleInAverage[static_cast<size_t>(k)]) continue;
    const SampleModel& sm = a.sampleModels[static_cast<size_t>(k)];
    for (size_t j = 0; j < sm.parmIndex.size(); ++j) {
      values[static_cast<size_t>(sm.parmIndex[j])].push_back(sm.estimate[j]);
      a.parmNonzeroCount[static_cast<size_t>(sm.parmIndex[j])] += 1;
    }
  }
  for (auto* v : {&a.avgEstimate, &a.avgMedian, &a.avgLower, &a.avgUpper, &a.avgStdDev,
                  &a.nzEstimate, &a.nzMedian, &a.nzLower, &a.nzUpper, &a.nzStdDev})
    v->assign(static_cast<size_t>(P), 0.0);
  for (int32_t j = 0; j < P; ++j) {
    std::vector<double>& v = values[static_cast<size_t>(j)];
    std::sort(v.begin(), v.end());
    ParameterSummary r;
    parameterStatistics(v, K, m.alpha, m.trimFraction, m.parmThreshold, a.samplesFitted, &r);
    const size_t i = static_cast<size_t>(j);
    a.avgEstimate[i] = r.avgEstimate, a.avgMedian[i] = r.avgMedian, a.avgLower[i] = r.avgLower;
    a.avgUpper[i] = r.avgUpper, a.avgStdDev[i] = r.avgStdDev, a.nzEstimate[i] = r.nzEstimate;
    a.nzMedian[i] = r.nzMedian, a.nzLower[i] = r.nzLower, a.nzUpper[i] = r.nzUpper;
    a.nzStdDev[i] = r.nzStdDev;
  }
  a.samplesRequested = S;
  a.samplesAveraged = K;
  set->resampleCount = a.samplesFitted;
  setAveragedModel(s, sel, &a);
  timers->selection += hostClock() - start;
  return 0;
}

}  // namespace vsf
