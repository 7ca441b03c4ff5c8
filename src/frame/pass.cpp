// runDataPass and its sequential and worker passes.
#include "frame/pass.h"

#include <cstring>

#include "frame/module.h"
#include "frame/state.h"
#include "selection/selection.h"

namespace vsf {

namespace {

// The file's buffer for pages; each worker owns its file, so nobody else touches it.
int pageView(UtilFileRecord* f, int64_t page, PageView* view) {
  if (!f->pageBuffer) f->pageBuffer = f->pageFile->newPageBuffer();
  if (!f->pageBuffer) return rc::kPageIo;
  PageDescriptor d{page, f->pageBuffer};
  if (f->pageFile->readPage(&d) != 0 || d.buffer != f->pageBuffer) return rc::kPageIo;
  *view = PageView{static_cast<char*>(f->pageBuffer), f->pageLength};
  return 0;
}

int writeBack(UtilFileRecord* f, int64_t page) {
  PageDescriptor d{page, f->pageBuffer};
  return f->pageFile->writePage(&d) == 0 ? 0 : rc::kPageIo;
}

// Workers always run the threaded kernel; the calling thread runs the sequential one when
// the kernel has one.
int callKernel(SelectionState* s, const RowKernel& k, const PageView* v, bool worker,
               double* buffer, uint32_t length) {
  return !worker && k.seq ? k.seq(s, v) : k.mt(s, v, buffer, length);
}

// Every block of one file: resident blocks in order, then pages 1 .. page count.
int fileBlocks(SelectionState* s, const RowKernel& k, UtilFileRecord* f, bool worker,
               double* buffer, uint32_t length) {
  for (int64_t b = 0; b < f->residentCount; ++b) {
    PageView v{static_cast<char*>(f->residentBlocks[b]), f->pageLength};
    if (int rc = callKernel(s, k, &v, worker, buffer, length); rc != 0) return rc;
  }
  for (int64_t page = 1; page <= f->pageCount; ++page) {
    PageView v;
    if (int rc = pageView(f, page, &v); rc != 0) return rc;
    if (int rc = callKernel(s, k, &v, worker, buffer, length); rc != 0) return rc;
    if (k.rewritesRows)
      if (int rc = writeBack(f, page); rc != 0) return rc;
  }
  return 0;
}

// The resampling draw follows the global block order k = 0, 1, ...: round j visits local
// block j of files 0, 1, ... and ends at the first file without one.
int drawPass(SelectionState* s, const RowKernel& k) {
  UtilFileArray* a = s->utilFiles;
  if (a->count < 1) return 0;
  const UtilFileRecord* first = &a->records[0];
  for (int64_t j = 0; j < first->residentCount; ++j) {
    for (int32_t i = 0; i < a->count; ++i) {
      UtilFileRecord* f = &a->records[i];
      if (j >= f->residentCount) break;
      PageView v{static_cast<char*>(f->residentBlocks[j]), f->pageLength};
      if (int rc = k.seq(s, &v); rc != 0) return rc;
    }
  }
  for (int64_t page = 1; page <= first->pageCount; ++page) {
    for (int32_t i = 0; i < a->count; ++i) {
      UtilFileRecord* f = &a->records[i];
      if (page > f->pageCount) break;
      PageView v;
      if (int rc = pageView(f, page, &v); rc != 0) return rc;
      if (int rc = k.seq(s, &v); rc != 0) return rc;
      if (int rc = writeBack(f, page); rc != 0) return rc;
    }
  }
  return 0;
}

uint32_t lengthOf(uint32_t (*f)(const SelectionState*, int32_t), const SelectionState* s,
                  int32_t count) {
  return f ? f(s, count) : 0;
}

double* takeBuffer(SelectionState* s, uint32_t n) {
  return static_cast<double*>(kernel().poolAlloc(s->modelPool, sizeof(double) * n, kAllocZero));
}

void addInto(double* sum, const double* b, uint32_t n) {
  for (uint32_t j = 0; j < n; ++j) sum[j] += b[j];
}

// Every file into its own buffer on the calling thread, added in file order: the same sums
// a threaded pass makes.
int bufferedSequentialPass(SelectionState* s, const RowKernel& k, int32_t count, uint32_t result,
                           uint32_t total) {
  double* sum = takeBuffer(s, total);
  double* work = s->utilFiles->count > 1 ? takeBuffer(s, total) : nullptr;
  if (!sum || (s->utilFiles->count > 1 && !work)) {
    kernel().poolFree(s->modelPool, sum);
    return rc::kMemory;
  }
  int rc = 0;
  for (int32_t i = 0; i < s->utilFiles->count && rc == 0; ++i) {
    double* b = i == 0 ? sum : work;
    if (i > 0) std::memset(b, 0, sizeof(double) * total);
    rc = runWorkerPass(s, k, b, total, &s->utilFiles->records[i]);
    if (rc == 0 && i > 0) addInto(sum, b, result);
  }
  if (rc == 0 && k.merge) k.merge(s, sum, result, count);
  kernel().poolFree(s->modelPool, work);
  kernel().poolFree(s->modelPool, sum);
  return rc;
}

void freeItems(SelectionState* s, ZWorkItem* items, int n) {
  for (int i = 0; i < n; ++i) kernel().poolFree(s->modelPool, items[i].buffer);
  kernel().poolFree(s->modelPool, items);
  s->puddle->items = nullptr;
}

int threadedPass(SelectionState* s, const RowKernel& k, int32_t count, int workers, uint32_t result,
                 uint32_t total) {
  auto* items = static_cast<ZWorkItem*>(
      kernel().poolAlloc(s->modelPool, sizeof(ZWorkItem) * workers, kAllocZero));
  if (!items) return rc::kMemory;
  s->puddle->items = items;
  for (int i = 0; i < workers; ++i) {
    ZWorkItem& w = items[i];
    w = ZWorkItem{&s->utilFiles->records[i], s, &k, nullptr, total, count, 0};
    if (total > 0 && !(w.buffer = takeBuffer(s, total))) {
      // Items already queued still use their buffers: wait for them before anything goes.
      if (i > 0) zpudlwt(s->puddle);
      freeItems(s, items, workers);
      return rc::kMemory;
    }
    zpudleq(s->puddle, &w);
  }
  zpudlwt(s->puddle);
  int rc = 0;
  for (int i = 0; i < workers && rc == 0; ++i) rc = items[i].result;
  if (rc == 0 && result > 0) mergeThreadResults(s, k, items, workers, count);
  freeItems(s, items, workers);
  return rc;
}

}  // namespace

int runWorkerPass(SelectionState* s, const RowKernel& k, double* buffer, uint32_t length,
                  UtilFileRecord* file) {
  if (int rc = fileBlocks(s, k, file, true, buffer, length); rc != 0) return rc;
  return k.finish ? k.finish(s, buffer, length) : 0;
}

int runSequentialPass(SelectionState* s, const RowKernel& k) {
  if (s->resampleFeed) s->resampleFeed->position = s->resampleFeed->start;
  if (k.resampleDraw) return drawPass(s, k);
  for (int32_t i = 0; i < s->utilFiles->count; ++i)
    if (int rc = fileBlocks(s, k, &s->utilFiles->records[i], false, nullptr, 0); rc != 0) return rc;
  return 0;
}

void mergeThreadResults(SelectionState* s, const RowKernel& k, ZWorkItem* items, int n,
                        int32_t count) {
  uint32_t result = lengthOf(k.resultLength, s, count);
  for (int i = 1; i < n; ++i) addInto(items[0].buffer, items[i].buffer, result);
  if (k.merge) k.merge(s, items[0].buffer, result, count);
}

void runWorkItem(void* /*queueContext*/, void* item) {
  auto* w = static_cast<ZWorkItem*>(item);
  w->result = runWorkerPass(w->state, *w->kernel, w->buffer, w->length, w->file);
}

int runDataPass(SelectionState* s, const RowKernel& k, int32_t count) {
  const uint32_t result = lengthOf(k.resultLength, s, count);
  const uint32_t total = result + lengthOf(k.scratchLength, s, count);
  const int files = s->utilFiles ? s->utilFiles->count : 0;
  int workers = 1;
  if (s->threads && s->threads->effectiveThreaded) workers = s->threads->effectiveWorkers;
  const bool ownFile = s->options && s->options->resampleFreqInFile;
  const bool threaded = !ownFile && !k.resampleDraw && k.mt && workers >= 2 && workers == files &&
                        s->puddle && s->puddle->queue;
  if (threaded) return threadedPass(s, k, count, workers, result, total);
  if (s->resampleFeed) s->resampleFeed->position = s->resampleFeed->start;
  if (result > 0 || (!k.seq && total > 0))
    return bufferedSequentialPass(s, k, count, result, total);
  return runSequentialPass(s, k);
}

}  // namespace vsf
