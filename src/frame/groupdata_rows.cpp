// The analysis data's rows: each observation is read once, checked, given a role and a fold,
// and its stored row (weight, frequency, resample slot, response, design values, tags) is
// packed into the group's blocks.
#include <cmath>
#include <cstring>

#include "base/codes.h"
#include "base/host.h"
#include "base/strings.h"
#include "datapass/obstags.h"
#include "design/design.h"
#include "frame/groupdata_internal.h"
#include "levelize/levelize.h"
#include "numerics/numerics.h"

namespace vsf {

namespace {

uint32_t* seedState(DataPass* p) {
  return reinterpret_cast<uint32_t*>(&p->s->settings.procedureSeed);
}

// The role variable's value of the current observation, left-justified: its length without
// trailing blanks (0 for a blank value).
int readRoleValue(DataPass* p) {
  const VarDescriptor& v = p->s->settings.roleVariable;
  HostDataSet* reader = p->ctx->alloc->reader;
  char* b = p->s->res.roleBuffer;
  int width;
  if (v.type == kVarCharacter) {
    std::string_view raw = hostv().ds->getChar(reader, v.number);
    width = v.length;
    zcopypad(raw.data(), static_cast<int>(raw.size()), b, width);
  } else {
    std::string text = hostv().ds->getFormatted(reader, v.number);
    width = 32;
    zcopypad(text.data(), static_cast<int>(text.size()), b, width);
  }
  int length = 0, start = 0;
  zjustify(b, width, 'L', &length, &start);
  return length;
}

bool sameValue(const char* text, int length, const std::string& value, int32_t given) {
  return given > 0 && given == length &&
         value.compare(0, static_cast<size_t>(length), text, static_cast<size_t>(length)) == 0;
}

int32_t roleOfValue(DataPass* p, int length) {
  const PartitionSettings& q = p->s->settings.partition;
  const char* text = p->s->res.roleBuffer;
  if (length > 0) {
    if (sameValue(text, length, q.trainValue, q.trainLength)) return role::kTrain;
    if (sameValue(text, length, q.validateValue, q.validateLength)) return role::kValidate;
    if (sameValue(text, length, q.testValue, q.testLength)) return role::kTest;
  } else {
    // A blank value matches a role value given as blanks.
    if (q.trainLength < 0) return role::kTrain;
    if (q.validateLength < 0) return role::kValidate;
    if (q.testLength < 0) return role::kTest;
  }
  // A value no role names trains when TRAIN= is not given, else tests when neither TEST= nor
  // a test data set is; otherwise the row has no role.
  if (q.trainLength == 0) {
    p->t.unnamedTrain += 1;
    return role::kTrain;
  }
  if (q.testLength == 0 && !p->s->settings.test.dataSet) {
    p->t.unnamedTest += 1;
    return role::kTest;
  }
  return role::kNone;
}

int32_t drawRole(DataPass* p, int roleLength) {
  if (p->s->settings.roleVariable.number >= 0) return roleOfValue(p, roleLength);
  const PartitionSettings& q = p->s->settings.partition;
  if (q.trainFraction == 1.0) return role::kTrain;
  double u = zlcgunif(seedState(p));
  if (u <= q.testFraction) return role::kTest;
  if (u <= q.testFraction + q.validateFraction) return role::kValidate;
  return role::kTrain;
}

// The CVMETHOD=INDEX variable's value of the current observation; false when it is missing.
bool readIndexValue(DataPass* p) {
  const VarDescriptor& v = p->indexVariable;
  HostDataSet* reader = p->ctx->alloc->reader;
  if (v.type == kVarCharacter) {
    p->indexText = std::string(trimRight(hostv().ds->getChar(reader, v.number)));
    return !p->indexText.empty();
  }
  p->indexNumber = hostv().ds->getNum(reader, v.number);
  return !znotfinite(p->indexNumber);
}

// The index value's level by first appearance among the training rows (ranked by value at the
// end of the pass).
int32_t indexAppearance(DataPass* p) {
  if (p->indexVariable.type == kVarCharacter)
    return p->textIndex.emplace(p->indexText, static_cast<int32_t>(p->textIndex.size()))
        .first->second;
  return p->numericIndex.emplace(p->indexNumber, static_cast<int32_t>(p->numericIndex.size()))
      .first->second;
}

// Training rows only; other roles keep the slot's "no fold".
int32_t drawFold(DataPass* p) {
  switch (p->cv->method) {
    case kCvRandom: {
      const int32_t f = static_cast<int32_t>(p->folds * zlcgunif(seedState(p)));
      return p->randomFolds.take(f < p->folds ? f : p->folds - 1);
    }
    case kCvSplit: {
      int32_t f = p->splitNext;
      p->splitNext = (p->splitNext + 1) % p->folds;
      return f;
    }
    case kCvIndex:  // ranked at the end of the pass
      return indexAppearance(p);
    default:  // BLOCK: numbered at the end of the pass
      return kNoFold;
  }
}

void addExcluded(DataPass* p, const Observation& obs, const double* values) {
  StoredModelSums& m = p->s->group.modelSums;
  if (!m.wanted || p->s->settings.partition.hasPartition) return;
  p->excludedWeight += obs.wf;
  for (int32_t j = 0; j < p->d->modelVarCount; ++j) m.allSums[j] += obs.wf * values[j];
}

// The first training row's dense values become the columns' shifts, and its response the
// response's (none under NOINT, whose scales are uncentred): the sums about them keep the
// variance's digits however far the values lie from 0, and the rows are taken in observation
// order, so every thread count gives the same sums.
void takeShifts(DataPass* p, double y) {
  SelectionState& s = *p->sel;
  if (p->o->noInt) return;
  s.layout.responseShift = y;
  const double* x = p->values + p->lead + 1;
  for (int32_t e = 0; e < p->E; ++e) {
    if (s.layout.sparseIndex[e] >= 0) continue;
    const int32_t first = p->firstParam[static_cast<size_t>(e)];
    for (int32_t c = 0; c < s.layout.columnCount[e]; ++c)
      s.layout.colShifts[first + c] = x[s.layout.denseOffset[e] + c];
  }
}

// Adds n dense values x, weighted by a, to the sums of their n columns. The row and the sums
// never overlap: said so, the loop runs on vectors, each column's sum the same.
void addDenseSums(double a, const double* __restrict x, const double* __restrict shifts,
                  double* __restrict sums, double* __restrict centred, double* __restrict squares,
                  int32_t n) {
  for (int32_t c = 0; c < n; ++c) {
    const double ax = a * x[c], d = x[c] - shifts[c], ad = a * d;
    sums[c] += ad;
    centred[c] += ad * d;
    squares[c] += ax * x[c];
  }
}

// The training sums: about the shifts into colMeans and, until the scales replace them,
// colScales; the plain sums of squares into colSquares.
void addTrainingSums(DataPass* p, const Observation& obs) {
  SelectionState& s = *p->sel;
  const double a = obs.wf;
  p->t.sumWy += a * obs.y;
  p->t.sumWyy += a * obs.y * obs.y;
  if (p->t.trainRows == 1) takeShifts(p, obs.y);
  const double* shifts = s.layout.colShifts;
  double* sums = s.layout.colMeans;
  double* centred = s.layout.colScales;
  double* squares = s.sweep.colSquares;
  const double* x = p->values + p->lead + 1;
  if (s.layout.sparseEffectCount == 0) {
    // Dense effects lie in candidate order: the stored values are the columns in effect order.
    addDenseSums(a, x, shifts, sums, centred, squares, p->p);
  } else {
    // The dense columns a run at a time (each column's sum is its own: the order of the
    // columns changes no bit). A sparse column has no shift and its zeros are not stored: its
    // values go one by one. (A zero adds a zero: the weights are positive, so no sum is ever
    // -0 and a zero left out changes no bit.)
    for (const DataPass::DenseRun& r : p->denseRuns)
      addDenseSums(a, x + r.offset, shifts + r.first, sums + r.first, centred + r.first,
                   squares + r.first, r.count);
    const double* sparse = x + s.layout.denseValues;
    const int32_t* ends = p->tags + (p->foldSlot ? 1 : 0) + (p->roleSlot ? 1 : 0);
    const int32_t* index = ends + s.layout.sparseEffectCount;
    for (int32_t j = 0; j < s.layout.sparseEffectCount; ++j) {
      const int32_t first = p->firstParam[static_cast<size_t>(s.layout.sparseEffects[j])];
      for (int32_t k = j == 0 ? 0 : ends[j - 1]; k < ends[j]; ++k) {
        const int32_t c = first + index[k];
        const double v = sparse[k], d = v - shifts[c], ad = a * d;
        sums[c] += ad;
        centred[c] += ad * d;
        squares[c] += a * v * v;
      }
    }
  }
  StoredModelSums& m = p->s->group.modelSums;
  if (!m.wanted) return;
  for (int32_t j = 0; j < p->d->modelVarCount; ++j) {
    m.allSums[j] += a * p->obsValues[j];
    m.trainSums[j] += obs.f * p->obsValues[j];
  }
  const double* design = p->direct ? p->values + p->lead + 1 : p->design;
  for (int32_t c = 0; c < p->d->columnCount; ++c) m.trainColumnSums[c] += obs.f * design[c];
}

// Counts of the row's role; -39 when model averaging's frequencies would pass 2^31 - 1.
int countRole(DataPass* p, const Observation& obs, int32_t roleTag) {
  PassTotals& t = p->t;
  t.rowsStored += 1;
  t.freqStored += obs.f;
  switch (roleTag) {
    case role::kTrain:
      t.trainRows += 1, t.trainFreq += obs.f, t.trainWeight += obs.wf;
      if (p->o->modelAveragingRun && t.trainFreq > 2147483647.0) {
        hostMsg(848, 263, {2147483647});
        raiseStepCode(p->s->stepCode, step::kInternal);
        return rc::kFreqOverflow;
      }
      return 0;
    case role::kValidate:
      t.validRows += 1, t.validFreq += obs.f, t.validWeight += obs.wf;
      return 0;
    case role::kTest:
      t.testRows += 1, t.testFreq += obs.f, t.testWeight += obs.wf;
      return 0;
    default:
      t.noRoleRows += 1, t.noRoleFreq += obs.f;
      return 0;
  }
}

// One usable observation whose design values are built (finite: every one of them is finite):
// its role, fold and row; *tag receives the role and fold it was given. 0 or the code ending
// the step.
int storeAnalysisRow(DataPass* p, const Observation& obs, int roleLength, bool finite,
                     int32_t* tag) {
  if (!finite) {
    p->t.notFinite += 1;
    return 0;
  }
  const int32_t roleTag = drawRole(p, roleLength);
  if (int rc = countRole(p, obs, roleTag); rc != 0) return rc;
  int32_t fold = kNoFold;
  if (roleTag == role::kTrain && p->foldSlot) fold = drawFold(p);
  *tag = obsTag(roleTag, fold == kNoFold ? -1 : fold);
  startRow(p, obs, roleTag, fold);
  if (int rc = storeRow(p); rc != 0) return rc;
  if (roleTag == role::kTrain) addTrainingSums(p, obs);
  return 0;
}

}  // namespace

bool takeFrequency(const DataPass* p, Observation* obs, double* freqRead) {
  if (!p->o->freqPresent) {
    obs->f = 1.0;
    return true;
  }
  // A missing frequency is neither rounded nor counted; its status skips the observation.
  if (znotfinite(obs->f)) return true;
  obs->f = std::floor(obs->f);
  if (!(obs->f > 0)) return false;
  *freqRead += obs->f;
  return true;
}

void noteDroppedRows(const DataPass* p) {
  if (p->t.weightDropped > 0) hostMsg(848, 6104, {static_cast<long long>(p->t.weightDropped)});
  if (p->t.freqDropped > 0) hostMsg(848, 6105, {static_cast<long long>(p->t.freqDropped)});
  if (p->t.freqTruncated > 0) hostMsg(848, 6106, {static_cast<long long>(p->t.freqTruncated)});
  if (p->t.infiniteDropped > 0) hostMsg(848, 6107, {static_cast<long long>(p->t.infiniteDropped)});
  if (p->t.notFinite > 0) hostMsg(848, 6143, {static_cast<long long>(p->t.notFinite)});
  const std::string_view role(p->s->settings.roleVariable.name);
  if (p->t.unnamedTrain > 0) hostMsg(848, 6167, {role, static_cast<long long>(p->t.unnamedTrain)});
  if (p->t.unnamedTest > 0) hostMsg(848, 6168, {role, static_cast<long long>(p->t.unnamedTest)});
}

bool buildDesignValues(DataPass* p) {
  const SelectionState& s = *p->sel;
  double* x = p->values + p->lead + 1;
  const int fixed = (p->foldSlot ? 1 : 0) + (p->roleSlot ? 1 : 0);
  if (p->direct) {
    zxrow(p->ctx, nullptr, nullptr, x);
    p->nValues = p->lead + 1 + p->p;
    p->nTags = fixed;
    return num::allFinite(x, p->p);
  }
  zxrow(p->ctx, nullptr, nullptr, p->design);
  int32_t* ends = p->tags + fixed;
  int32_t* index = ends + s.layout.sparseEffectCount;
  double* sparse = x + s.layout.denseValues;
  for (const DataPass::DesignRun& r : p->designRuns) {
    const double* from = p->design + r.from;
    double* to = x + r.offset;
    if (!r.map)
      std::copy(from, from + r.count, to);
    else
      for (int32_t j = 0; j < r.count; ++j) to[j] = from[r.map[j]];
  }
  int32_t K = 0;
  for (int32_t k = 0; k < s.layout.sparseEffectCount; ++k) {
    const int32_t e = s.layout.sparseEffects[k];
    const CandidateEntry& c = p->cand[e];
    const double* from = p->design + p->d->effects[c.effect].startColumn;
    const int32_t* map = c.columnMap;
    // Nonzero values in increasing column order (a missing value counts as nonzero).
    for (int32_t j = 0; j < c.columns; ++j) {
      const double v = from[map ? map[j] : j];
      if (v == 0) continue;
      sparse[K] = v;
      index[K++] = j;
    }
    ends[k] = K;
  }
  p->nValues = p->lead + 1 + s.layout.denseValues + K;
  p->nTags = fixed + s.layout.sparseEffectCount + K;
  return num::allFinite(x, s.layout.denseValues + K);
}

void startRow(DataPass* p, const Observation& obs, int32_t roleTag, int32_t foldTag) {
  const SelectionOptions& o = *p->o;
  double* v = p->values;
  if (o.weightPresent) *v++ = obs.w;
  if (o.freqPresent) *v++ = obs.f;
  if (o.modelAveragingRun) *v++ = obs.f;  // the resampling draw overwrites it
  *v = obs.y;
  int32_t* t = p->tags;
  if (p->foldSlot) *t++ = foldTag;
  if (p->roleSlot) *t = roleTag;
}

// Its callers store a row only when buildDesignValues found its design values finite; with its
// leading values (weight, frequency, response) finite too, the row leaves its block marked
// finite, and the passes over the block test no value of it again.
int storeRow(DataPass* p) {
  const bool finite = num::allFinite(p->values, p->lead + 1);
  int rc = appendRow(&p->writer, p->values, p->nValues, p->tags, p->nTags, finite);
  if (rc == rc::kBlockWrite) raiseStepCode(p->s->stepCode, step::kHistory);
  if (rc == rc::kPageIo) raiseStepCode(p->s->stepCode, step::kMemory);
  if (rc == 0) p->t.rowsWritten += 1;
  return rc;
}

namespace {

// One observation of the analysis data; *tag receives the role and fold the fit gives it (role 0
// when it is not stored). 0 or the code ending the step.
int analysisObservation(DataPass* p, bool roles, bool index, int32_t* tag) {
  p->t.obsRead += 1;
  const int roleLength = roles ? readRoleValue(p) : 0;
  const bool indexed = !index || readIndexValue(p);
  Observation obs;
  obs.status = zreadobs(p->ctx, &obs.y, &obs.w, &obs.f);
  switch (observationFate(p, &obs, indexed, &p->t.freqRead, &p->t)) {
    case ObsFate::kSkip:
      return 0;
    case ObsFate::kExcluded:
      addExcluded(p, obs, p->ctx->values);
      return 0;
    default:
      return storeAnalysisRow(p, obs, roleLength, buildDesignValues(p), tag);
  }
}

}  // namespace

ObsFate observationFate(const DataPass* p, Observation* obs, bool indexed, double* freqRead,
                        PassTotals* drops) {
  const SelectionOptions& o = *p->o;
  const double f = obs->f;
  if (!takeFrequency(p, obs, freqRead)) {
    if (drops) drops->freqDropped += 1;
    return ObsFate::kSkip;
  }
  if (drops && o.freqPresent && obs->f != f && !znotfinite(f)) drops->freqTruncated += 1;
  // An infinite value reads as missing; the note counts such observations apart.
  if (drops && (obs->status & obs::kInfinite) &&
      (obs->status & (obs::kWeight | obs::kNeeded | obs::kEffect | obs::kExcluded)))
    drops->infiniteDropped += 1;
  if (obs->status & (obs::kWeight | obs::kNeeded | obs::kEffect)) {
    if (drops && (obs->status & obs::kWeight) && o.weightPresent && !znotfinite(obs->w) &&
        !(obs->w > 0))
      drops->weightDropped += 1;
    return ObsFate::kSkip;
  }
  if (!o.weightPresent) obs->w = 1.0;
  obs->wf = o.freqOrWeight ? obs->w * obs->f : 1.0;
  if (o.freqOrWeight && !(obs->wf > 0 && std::isfinite(obs->wf))) return ObsFate::kSkip;
  // A missing fold index leaves the observation out, as a missing response does.
  if ((obs->status & obs::kExcluded) || !indexed) return ObsFate::kExcluded;
  return ObsFate::kStore;
}

int takeAnalysisObservation(DataPass* p, Observation obs, bool finite, int32_t* tag) {
  p->t.obsRead += 1;
  switch (observationFate(p, &obs, true, &p->t.freqRead, &p->t)) {
    case ObsFate::kSkip:
      return 0;
    case ObsFate::kExcluded:
      addExcluded(p, obs, p->obsValues);
      return 0;
    default:
      return storeAnalysisRow(p, obs, 0, finite, tag);
  }
}

int readAnalysisRows(DataPass* p) {
  ZLevCtx* ctx = p->ctx;
  const bool roles = p->s->settings.roleVariable.number >= 0;
  const bool index = p->cv->method == kCvIndex && p->foldSlot && p->indexVariable.number >= 0;
  ObsTagFile* tags = &p->s->res.obsTags;
  const bool tagged = obsTagsOpen(tags);
  if (tagged) p->s->group.obsTagStart = tags->end + 4 * static_cast<int64_t>(tags->pending.size());
  ctx->start(ctx);
  if (int rc = 0; readAnalysisRowsThreaded(p, tagged ? tags : nullptr, &rc)) return rc;
  while (ctx->next(ctx)) {
    int32_t tag = 0;
    if (int rc = analysisObservation(p, roles, index, &tag); rc != 0) return rc;
    if (tagged && appendObsTag(tags, tag) != 0) return obsTagsFailed(p);
  }
  if (tagged && flushObsTags(tags) != 0) return obsTagsFailed(p);
  return 0;
}

int obsTagsFailed(DataPass* p) {
  hostFileMsg(848, 215);
  raiseStepCode(p->s->stepCode, step::kMemory);
  return rc::kScratchFile;
}

}  // namespace vsf
