// readByGroupData: the data pass of one BY group. Every usable observation of the analysis
// data, then of the test and the validation data set, is stored once as a row of the group's
// utility files; the pass leaves the layout of the rows, the totals and the column means and
// scales in the selection state. Later passes read the stored rows, never the input.
#include <algorithm>

#include "base/codes.h"
#include "base/host.h"
#include "base/strings.h"
#include "displays/displays.h"
#include "frame/bindings.h"
#include "frame/groupdata_internal.h"
#include "grammar/methods.h"

namespace vsf {

namespace {

template <typename T>
T* byArray(VsfState* s, int64_t n) {
  return static_cast<T*>(kernel().poolAlloc(
      s->group.byPool, sizeof(T) * static_cast<size_t>(n > 0 ? n : 1), kAllocZero));
}

// A group's workers are its own (groupWorkers), and no more than the step's.
void keepWithinStep(StepResources* r) {
  r->workers.count = std::min(r->workers.count, r->stepWorkers.count);
  r->workers.threaded = r->workers.threaded && r->stepWorkers.threaded;
}

// One utility file per worker of the group, as many as the memory allows (the first file tells
// what a worker needs; the step's workers fall with them, as every later group keeps them),
// then the memory plan of the files' buffers and of what the workers' buffers of a pass may
// take.
int openGroupFiles(DataPass* p) {
  VsfState* s = p->s;
  StepResources& res = s->res;
  const int32_t columns = p->d->columnCount;
  if (int rc =
          createUtilFileArray(&s->group.utilFiles, s->group.byPool,
                              static_cast<uint32_t>(std::max(1, res.workers.count)), 1, kAllocZero);
      rc != 0)
    return rc;
  p->sel->layout.effectCount = p->E;
  for (int32_t i = 0; i < std::max(1, res.workers.count); ++i) {
    UtilFileRecord* r = nullptr;
    if (int rc = addUtilFile(&s->group.utilFiles, &res.extensions, res.dataPass.pageSizeKb,
                             40 * columns, &r);
        rc != 0) {
      raiseStepCode(s->stepCode, step::kMemory);
      return rc;
    }
    r->columnCount = std::max(r->columnCount, columns);
    if (i > 0) continue;
    planWorkers(s->engine, s->group, *r, res.stepWorkers);
    keepWithinStep(&res);
  }
  const int rc = planStepHistory(s->engine, s->group, res.stepWorkers, s->stepCode);
  keepWithinStep(&res);
  res.workers.bufferBytes = res.stepWorkers.bufferBytes;
  return rc;
}

int allocateSums(DataPass* p) {
  VsfState* s = p->s;
  StoredModelSums& m = s->group.modelSums;
  m = StoredModelSums();
  m.wanted = s->settings.storeSelectedModel;
  if (!m.wanted) return 0;
  m.allSums = byArray<double>(s, p->d->modelVarCount);
  m.trainSums = byArray<double>(s, p->d->modelVarCount);
  m.trainColumnSums = byArray<double>(s, p->d->columnCount);
  m.effectScales = byArray<double>(s, p->d->effectCount);
  return m.allSums && m.trainSums && m.trainColumnSums && m.effectScales ? 0 : rc::kMemory;
}

// The analysis data's observations, which no group's training rows pass; -1 when not known.
int64_t observations(const DataPass* p) {
  int64_t n = -1;
  if (hostv().ds->attr(p->s->settings.inputReader, dsattr::kObsCount, &n) != 0) return -1;
  return n;
}

// The row's shape, the scratch rows and the fold settings.
int prepareRows(DataPass* p) {
  VsfState* s = p->s;
  const SelectionOptions& o = *p->o;
  const CvOptions& cv = *p->cv;
  if (p->d->columnCount <= 0) return rc::kMemory;
  if (int rc = layOutColumns(p); rc != 0) return rc;
  if (int rc = allocateSums(p); rc != 0) return rc;
  const int64_t columns = std::max(p->p, p->d->columnCount);
  p->design = byArray<double>(s, p->d->columnCount);
  p->values = byArray<double>(s, columns + 4);
  p->tags = byArray<int32_t>(s, 2 * columns + 3);
  if (!p->design || !p->values || !p->tags) return rc::kMemory;
  p->lead = (o.weightPresent ? 1 : 0) + (o.freqPresent ? 1 : 0) + (o.modelAveragingRun ? 1 : 0);
  p->foldSlot = cv.kfold || cv.externalCv;
  p->roleSlot = o.rolesPresent;
  // A group's fold count starts from the statement's; the fold pass may lower it.
  p->foldCount = p->foldSlot && cv.method != kCvIndex ? cv.requestedFolds : cv.folds;
  p->folds = std::max(1, p->foldCount);
  if (p->foldSlot && cv.method == kCvRandom)
    p->randomFolds = RandomFolds(p->folds, observations(p));
  p->indexVariable.number = -1;
  if (p->foldSlot && cv.method == kCvIndex && cv.indexVariable >= 0 &&
      hostv().ds->varByNumber(s->settings.inputReader, cv.indexVariable, &p->indexVariable) != 0)
    p->indexVariable.number = -1;
  p->writer = RowBlockWriter{&s->group.utilFiles, s->group.pagePool};
  p->obsValues = p->ctx->values;
  return 0;
}

// The last block; then the pages are read back from here on.
int endRows(DataPass* p) {
  VsfState* s = p->s;
  int rc = finishRows(&p->writer);
  if (rc == rc::kBlockWrite) raiseStepCode(s->stepCode, step::kHistory);
  if (rc != 0) return rc;
  s->group.largestBlockRows = std::max(s->group.largestBlockRows, p->writer.largestRows);
  return 0;
}

int reopenForReading(DataPass* p) {
  const SelectionOptions& o = *p->o;
  // Pages are written back when the resampling draw or a standardizing method rewrites rows:
  // every penalized method.
  const bool writeBack = o.modelAveragingRun || methodFamily(o.method).penalized();
  return reopenUtilFiles(&p->s->group.utilFiles, p->t.rowsWritten, writeBack,
                         p->s->res.dataPass.randomAccess, &p->s->stepCode);
}

int keepForRefit(DataPass* p) {
  VsfState* s = p->s;
  if (!s->settings.modelAverage.refit) return 0;
  s->group.refitFirstColumns = byArray<int32_t>(s, p->E);
  if (!s->group.refitFirstColumns) return rc::kMemory;
  std::copy(p->sel->layout.layoutColumn, p->sel->layout.layoutColumn + p->E,
            s->group.refitFirstColumns);
  return 0;
}

}  // namespace

void keepParsedBlocks(VsfState* s, int mode) {
  const HostDsFamily& ds = *hostv().ds;
  if (ds.keepParsed && s->lev.alloc && s->lev.alloc->reader)
    ds.keepParsed(s->lev.alloc->reader, mode);
}

int readByGroupData(VsfState* s) {
  DataPass p;
  p.s = s;
  p.sel = &s->group.selection;
  p.o = &s->settings.options;
  p.cv = &s->cv;
  p.ctx = &s->lev;
  p.d = s->lev.design;
  s->group.noTrainingExplained = 0;
  s->group.indexFoldValues.clear();
  s->group.indexFoldTexts.clear();
  takeCandidates(&p);
  if (int rc = openGroupFiles(&p); rc != 0) return rc;
  if (int rc = prepareRows(&p); rc != 0) return rc;
  // The data pass is the last to read the blocks the host kept: each goes once read.
  keepParsedBlocks(s, kParsedHandOver);
  const int read = readAnalysisRows(&p);
  keepParsedBlocks(s, kParsedDrop);
  if (read != 0) return read;
  noteDroppedRows(&p);
  if (s->group.modelSums.wanted)
    if (int rc = finishModelSums(&p); rc != 0) return rc;
  if (int rc = readHeldOutRows(&p, &s->settings.test, false); rc != 0) return rc;
  if (int rc = readHeldOutRows(&p, &s->settings.validation, true); rc != 0) return rc;
  if (int rc = endRows(&p); rc != 0) return rc;
  if (int rc = checkSumsOfSquares(&p); rc != 0) return rc;
  computeMeansAndScales(&p);
  if (int rc = assignLateFolds(&p); rc != 0) return rc;
  storeTotals(&p);
  if (s->settings.test.inUse || s->settings.validation.inUse) restoreRowBuffers(s);
  if (s->group.selection.totals.trainFreq == 0) explainNoTrainingRows(&p);
  if (int rc = reopenForReading(&p); rc != 0) return rc;
  if (s->res.dataPass.showUtilFiles && !s->settings.displaysSuppressed) printUtilInfo(&s->view);
  s->group.largestColumnCount = std::max(s->group.largestColumnCount, p.d->columnCount);
  return keepForRefit(&p);
}

}  // namespace vsf
