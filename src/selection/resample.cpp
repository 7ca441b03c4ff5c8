// The resampling draw of model averaging: before a sample's selection one sequential pass over
// the stored rows, in global stored order, gives each training row its drawn count, which the
// later passes of that selection take as the row's frequency.
#include "selection/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/codes.h"
#include "base/strings.h"
#include "selection/rows.h"

namespace vsf {

namespace {

// Draws a count for one unit: with replacement the units' counts follow the multinomial
// distribution, drawn unit by unit as conditional binomials; without replacement selection
// sampling chooses each subset of the sample size with equal probability.
double drawUnit(ResampleWork* w, bool withoutReplacement) {
  w->seen += 1;
  if (withoutReplacement) {
    const double k = zrngunif(&w->rng) < w->toSelect / w->remaining ? 1.0 : 0.0;
    w->remaining -= 1;
    w->toSelect -= k;
    return k;
  }
  const int trials = static_cast<int>(w->sampleSize - w->drawn);
  const double p = 1.0 / (w->population + 1.0 - w->seen);
  if (p >= 1.0) return trials;
  return zrngbinom(&w->rng, trials, p);
}

int drawBlock(SelectionState* s, const PageView* v) {
  ResampleWork* w = s->resample;
  ResampleSet* set = w->set;
  const bool srs = set->withoutReplacement != 0;
  const rows::Shape h = rows::shapeOf(s);
  const int64_t n = blockRowCount(*v);
  auto* row = reinterpret_cast<double*>(v->bytes + 8);
  const int32_t* t = blockTagEnd(*v);
  const bool keep = !set->obsFreq.empty();
  for (int64_t i = 0; i < n; ++i, ++w->rowIndex) {
    if (h.fold) --t;
    if (h.held) --t;
    const int32_t role = h.role ? *--t : 1;
    const int32_t K = h.s > 0 ? t[-h.s] : 0;
    t -= h.s + K;
    double* next = row + h.yAt + 1 + h.d + K;
    const double weight = h.weightAt >= 0 ? row[h.weightAt] : 1.0;
    const double freq = h.freqAt >= 0 ? row[h.freqAt] : 1.0;
    const bool usable = std::isfinite(row[h.yAt]) && std::isfinite(weight) && std::isfinite(freq);
    if (role == 1) {
      double count = 0;
      for (double j = 0; usable && j < freq && w->drawn < w->sampleSize; j += 1) {
        const double k = drawUnit(w, srs);
        w->drawn += k;
        count += k;
      }
      w->weightedDrawn += count * weight;
      if (count > 0) w->weightedSumY += count * weight * row[h.yAt];
      row[h.resampleAt] = count;
      if (keep && w->rowIndex < set->storedRows)
        set->obsFreq[static_cast<size_t>(w->rowIndex * set->samples + w->sampleId)] =
            static_cast<int32_t>(count);
    }
    row = next;
  }
  return 0;
}

int drawSeq(PassState* p, const PageView* v) {
  return drawBlock(static_cast<SelectionState*>(p), v);
}

const RowKernel kernResample = {"kernResample", drawSeq, nullptr, nullptr, nullptr,
                                nullptr,        nullptr, 1,       1};

}  // namespace

double resampleSize(const ResampleSet* set, double population) {
  if (set->sampleFraction != 0) return std::floor(population * set->sampleFraction + kFuzz);
  if (set->sampleSize != 0) return set->sampleSize;
  return population;
}

int32_t sampleSeed(int32_t procedureSeed, int32_t index) {
  if (procedureSeed == 0) return 0;
  uint64_t x = (static_cast<uint64_t>(static_cast<uint32_t>(procedureSeed)) << 32) |
               static_cast<uint32_t>(index);
  x += 0x9E3779B97F4A7C15ULL;  // one splitmix64 step
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  x ^= x >> 31;
  return static_cast<int32_t>(1 + x % 2147483646ULL);
}

int shareResamples(ResampleSet* set, int32_t records, int32_t samples) {
  records = std::max(1, std::min(records, samples));
  if (samples <= 0) return rc::kMemory;
  if (static_cast<int32_t>(set->records.size()) < records) set->records.resize(records);
  const int32_t base = samples / records, extra = samples % records;
  int32_t first = 0;
  for (int32_t i = 0; i < records; ++i) {
    ResampleWork& w = set->records[static_cast<size_t>(i)];
    w.set = set;
    w.share = base + (i < extra ? 1 : 0);
    w.firstSample = first;
    first += w.share;
  }
  set->recordCount = records;
  set->samples = samples;
  return 0;
}

// The draw of the bound record's current sample; the run's training totals become the drawn
// ones (the fit driver restores the full data's after the sample).
int drawResample(SelectionState* s) {
  ResampleWork* w = s->resample;
  const ResampleSet* set = w->set;
  w->population = s->totals.trainFreq;
  w->sampleSize = resampleSize(set, w->population);
  if (set->withoutReplacement) w->sampleSize = std::min(w->sampleSize, w->population);
  w->seen = w->drawn = w->weightedDrawn = w->weightedSumY = 0;
  w->remaining = w->population;
  w->toSelect = w->sampleSize;
  w->rowIndex = 0;
  if (int rc = runDataPass(s, kernResample, 0); rc != 0) return rc;
  s->totals.trainFreq = w->drawn;
  s->totals.trainWeight = w->weightedDrawn;
  // The sample's own mean response, which its fit statistics show.
  s->totals.responseMean = w->weightedDrawn > 0 ? w->weightedSumY / w->weightedDrawn : 0.0;
  return 0;
}

}  // namespace vsf
