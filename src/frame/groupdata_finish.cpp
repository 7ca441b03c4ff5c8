// The end of the data pass: the stored-model sums, the column means and scales, the folds
// that need every row first (BLOCK, INDEX) and the totals left in the selection state.
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "base/codes.h"
#include "base/host.h"
#include "base/strings.h"
#include "datapass/obstags.h"
#include "design/design.h"
#include "frame/groupdata_internal.h"

namespace vsf {

namespace {

// The fold slot and the role of each row of one block, walked in row order.
template <typename Fn>
void forEachRowTags(const DataPass* p, const PageView& v, Fn&& fn) {
  const int fixed = (p->foldSlot ? 1 : 0) + (p->roleSlot ? 1 : 0);
  const int sparse = p->sel->layout.sparseEffectCount;
  int32_t* t = const_cast<int32_t*>(blockTagEnd(v));
  const int64_t n = blockRowCount(v);
  for (int64_t i = 0; i < n; ++i) {
    int32_t* fold = t - 1;
    const int32_t roleTag = p->roleSlot ? t[-2] : role::kTrain;
    const int32_t K = sparse > 0 ? t[-fixed - sparse] : 0;
    fn(fold, roleTag);
    t -= fixed + sparse + K;
  }
}

// Every stored block in block order, resident or paged; paged blocks are read into their
// file's page buffer and written back. 0, -11 (read) or -12 (write), the step code raised.
template <typename Fn>
int forEachBlock(DataPass* p, Fn&& fn) {
  UtilFileArray* a = &p->s->group.utilFiles;
  for (int64_t k = 0; k < p->writer.block; ++k) {
    UtilFileRecord& f = a->records[blockFile(a, k)];
    const int64_t j = blockLocal(a, k);
    if (j < f.residentCapacity) {
      if (j >= f.residentCount) continue;
      fn(PageView{static_cast<char*>(f.residentBlocks[j]), f.pageLength});
      continue;
    }
    PageDescriptor d{j - f.residentCapacity + 1, f.pageBuffer};
    if (!d.buffer || f.pageFile->readPage(&d) != 0) {
      hostFileMsg(848, 138);
      raiseStepCode(p->s->stepCode, step::kHistory);
      return rc::kPageRead;
    }
    f.pageBuffer = d.buffer;
    fn(PageView{static_cast<char*>(d.buffer), f.pageLength});
    if (f.pageFile->writePage(&d) != 0) {
      hostFileMsg(848, 139);
      raiseStepCode(p->s->stepCode, step::kHistory);
      return rc::kBlockWrite;
    }
  }
  return 0;
}

// BLOCK: consecutive training rows in data order; the first n mod folds folds get one row more.
// Other rows carry the fold current at their place; no fold number passes the last fold. The
// observation tags get the same folds.
int blockFolds(DataPass* p) {
  const int64_t n = static_cast<int64_t>(p->t.trainRows);
  BlockFolds folds(n, p->folds);
  int rc = forEachBlock(p, [&](const PageView& v) {
    forEachRowTags(
        p, v, [&](int32_t* slot, int32_t roleTag) { *slot = folds.next(roleTag == role::kTrain); });
  });
  if (rc != 0 || !obsTagsOpen(&p->s->res.obsTags)) return rc;
  BlockFolds tagFolds(n, p->folds);
  if (rewriteObsTags(&p->s->res.obsTags, p->s->group.obsTagStart, [&](int32_t tag) {
        const int32_t r = obsTagRole(tag);
        if (r == role::kNone) return tag;
        const int32_t fold = tagFolds.next(r == role::kTrain);
        return obsTag(r, r == role::kTrain ? fold : -1);
      }) != 0)
    return obsTagsFailed(p);
  return 0;
}

// Every row's fold f becomes rank[f], in the rows and in the observation tags; the group then
// has `folds` folds.
int renumberFolds(DataPass* p, const std::vector<int32_t>& rank, int32_t folds) {
  p->foldCount = folds;
  if (rank.empty()) return 0;
  auto ranked = [&](int32_t fold) {
    return fold >= 0 && fold < static_cast<int32_t>(rank.size()) ? rank[static_cast<size_t>(fold)]
                                                                 : fold;
  };
  int rc = forEachBlock(p, [&](const PageView& v) {
    forEachRowTags(p, v, [&](int32_t* slot, int32_t) { *slot = ranked(*slot); });
  });
  if (rc != 0 || !obsTagsOpen(&p->s->res.obsTags)) return rc;
  if (rewriteObsTags(&p->s->res.obsTags, p->s->group.obsTagStart, [&](int32_t tag) {
        return obsTag(obsTagRole(tag), ranked(obsTagFold(tag)));
      }) != 0)
    return obsTagsFailed(p);
  return 0;
}

// INDEX: the index values' levels in sorted order replace their order of appearance; the
// group keeps each fold's value for its details table.
int indexFolds(DataPass* p) {
  std::vector<int32_t> rank;
  auto ranks = [&](const auto& levels, auto& values) {
    rank.assign(levels.size(), 0);
    int32_t r = 0;
    for (const auto& [value, appearance] : levels) {
      rank[static_cast<size_t>(appearance)] = r++;
      values.push_back(value);
    }
  };
  if (p->indexVariable.type == kVarCharacter)
    ranks(p->textIndex, p->s->group.indexFoldTexts);
  else
    ranks(p->numericIndex, p->s->group.indexFoldValues);
  return renumberFolds(p, rank, static_cast<int32_t>(rank.size()));
}

// RANDOM: folds no row was drawn for (more folds than rows) are not formed; the others close
// up in order, and the fit's note says how many were formed.
int randomFolds(DataPass* p) {
  std::vector<int32_t> rank;
  const int32_t formed = p->randomFolds.final(&rank);
  if (formed == 0) return 0;
  return renumberFolds(p, rank, formed);
}

}  // namespace

int finishModelSums(DataPass* p) {
  StoredModelSums& m = p->s->group.modelSums;
  const int32_t vars = p->d->modelVarCount;
  const double F = p->t.trainFreq;
  if (int rc = zncols(p->ctx); rc != 0) return rc;
  m.allWeight = p->excludedWeight + p->t.trainWeight;
  for (int32_t j = 0; j < vars; ++j)
    m.allSums[j] = m.allWeight > 0 ? m.allSums[j] / m.allWeight : missingValue('.');
  // Per-effect scales in the layout of one column per level combination only.
  if (F > 0 && !(p->d->flags & dflag::kFullRank))
    zeffscale(p->ctx, m.trainColumnSums, m.effectScales, 1.0 / F);
  else
    fillDoubles(missingValue('.'), m.effectScales, p->d->effectCount);
  for (int32_t j = 0; j < vars; ++j)
    m.trainSums[j] = F > 0 ? m.trainSums[j] * (1.0 / F) : missingValue('.');
  return 0;
}

// The sweep divides by sums of squares and squares crossproducts: a sum it cannot carry in
// double precision (beyond about 1e292, or nonzero values whose squares fall below about
// 1e-292) ends the step with an error naming the variable instead of a fit that did not
// happen. Before computeMeansAndScales, which turns the sums into means.
int checkSumsOfSquares(DataPass* p) {
  const double low = DBL_MIN / DBL_EPSILON, high = DBL_MAX * DBL_EPSILON;
  // `nonzero`: the sums show a value that is not 0 (a sum or a shift not 0).
  auto refused = [&](double squares, bool nonzero, std::string_view name) {
    const bool over = !(squares <= high);
    if (!over && (squares >= low || (squares == 0 && !nonzero))) return false;
    hostMsg(848, over ? 6101 : 6102, {name});
    raiseStepCode(p->s->stepCode, step::kInternal);
    return true;
  };
  if (refused(p->t.sumWyy, p->t.sumWy != 0, p->s->settings.response.name)) return rc::kScale;
  const SelectionState& s = *p->sel;
  for (int32_t e = 0; e < p->E; ++e) {
    const char* name = p->d->effects[p->cand[e].effect].name;
    const int32_t first = p->firstParam[static_cast<size_t>(e)];
    for (int32_t c = first; c < first + s.layout.columnCount[e]; ++c)
      if (refused(s.sweep.colSquares[c], s.layout.colMeans[c] != 0 || s.layout.colShifts[c] != 0,
                  name ? name : ""))
        return rc::kScale;
  }
  return 0;
}

void computeMeansAndScales(DataPass* p) {
  SelectionState& s = *p->sel;
  const int32_t m = p->p;
  const double W = p->t.trainWeight, F = p->t.trainFreq;
  if (!(W > 0)) {
    // No training row: nothing to centre or scale by; missing, never a zero that divides.
    fillDoubles(missingValue('.'), s.layout.colMeans, m);
    fillDoubles(missingValue('.'), s.layout.colScales, m);
    s.totals.responseMean = 0;
    return;
  }
  scalesFromMoments(&s, s.layout.colScales, W, F);
  s.totals.responseMean = p->t.sumWy / W;
}

int assignLateFolds(DataPass* p) {
  if (!p->foldSlot || p->writer.block == 0) return 0;
  if (p->cv->method == kCvBlock) return blockFolds(p);
  if (p->cv->method == kCvIndex && p->indexVariable.number >= 0) return indexFolds(p);
  if (p->cv->method == kCvRandom) return randomFolds(p);
  return 0;
}

void storeTotals(DataPass* p) {
  SelectionState& s = *p->sel;
  const PassTotals& t = p->t;
  s.totals.obsRead = t.obsRead, s.totals.freqRead = t.freqRead;
  s.totals.freqStored = t.freqStored - t.noRoleFreq;
  s.totals.rowsStored = t.rowsStored - t.noRoleRows;
  s.totals.obsUsed = t.trainRows, s.totals.trainFreq = t.trainFreq,
  s.totals.trainWeight = t.trainWeight;
  s.totals.sumWy = t.sumWy, s.totals.sumWyy = t.sumWyy;
  s.totals.validRows = t.validRows, s.totals.validFreq = t.validFreq,
  s.totals.validWeight = t.validWeight;
  s.totals.testRows = t.testRows, s.totals.testFreq = t.testFreq,
  s.totals.testWeight = t.testWeight;
  s.totals.noRoleRows = t.noRoleRows, s.totals.noRoleFreq = t.noRoleFreq;
  s.totals.testObsRead = t.testObsRead, s.totals.testFreqRead = t.testFreqRead;
  s.totals.validObsRead = t.validObsRead, s.totals.validFreqRead = t.validFreqRead;
  s.layout.foldCount = p->foldCount;
  s.folds = p->cv->kfold ? p->foldCount : 0;
  s.path.extCvFolds = p->cv->externalCv ? p->foldCount : 0;
}

}  // namespace vsf
