// runDataPass and its sequential and worker passes.
#include "datapass/pass.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "base/codes.h"
#include "base/host.h"
#include "base/hostcalls.h"
#include "datapass/blocksum_internal.h"
#include "datapass/columnsum_internal.h"
#include "datapass/resources.h"

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
int callKernel(PassState* s, const RowKernel& k, const PageView* v, bool worker, double* buffer,
               uint32_t length) {
  return !worker && k.seq ? k.seq(s, v) : k.mt(s, v, buffer, length);
}

// Every block of one file: resident blocks in order, then pages 1 .. page count.
int fileBlocks(PassState* s, const RowKernel& k, UtilFileRecord* f, bool worker, double* buffer,
               uint32_t length) {
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
int drawPass(PassState* s, const RowKernel& k) {
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

uint32_t lengthOf(uint32_t (*f)(const PassState*, int32_t), const PassState* s, int32_t count) {
  return f ? f(s, count) : 0;
}

// A few blocks of each worker may wait for their turn: 2 to 8 of them, up to 1 MB per worker,
// which the group keeps from pass to pass (OrderedSum::start).
int32_t orderedSlots(uint32_t result) {
  return static_cast<int32_t>(std::clamp<int64_t>((int64_t{1} << 17) / std::max(result, 1u), 2, 8));
}

// A kernel whose buffer is its result alone sums each block straight into a slot of the
// ordered sum, without a buffer of the worker's own and a copy.
bool sumsInPlace(uint32_t result, uint32_t total) { return result > 0 && total == result; }

double* takeBuffer(PassState* s, uint32_t n) {
  return static_cast<double*>(
      kernel().poolAlloc(s->modelPool, sizeof(double) * std::max<uint32_t>(n, 1), kAllocZero));
}

int64_t localBlocks(const UtilFileRecord* f) { return f->residentCount + f->pageCount; }

// Local block j of a file: resident, else its page read into the file's buffer (pages follow
// the resident blocks, which fill the file's capacity first).
int blockView(UtilFileRecord* f, int64_t j, PageView* v) {
  if (j < f->residentCount) {
    *v = PageView{static_cast<char*>(f->residentBlocks[j]), f->pageLength};
    return 0;
  }
  return pageView(f, j - f->residentCount + 1, v);
}

// One block's sum in the result part of the buffer; the scratch behind it is the kernel's,
// which `finish` leaves ready for the next block.
int blockSum(PassState* s, const RowKernel& k, const PageView& v, double* buffer, uint32_t result,
             uint32_t total) {
  std::memset(buffer, 0, sizeof(double) * result);
  if (int rc = k.mt(s, &v, buffer, total); rc != 0) return rc;
  return k.finish ? k.finish(s, buffer, total) : 0;
}

// Blocks read from memory may be summed by any worker, each taking the next block nobody has
// taken; a block on a page is read through its own file's buffer, so each worker sums its own.
bool everyBlockResident(const UtilFileArray* a) {
  for (int32_t i = 0; i < a->count; ++i)
    if (a->records[i].pageCount > 0) return false;
  return true;
}

// Worker w's blocks, each joining the sum in its turn. 0 or the first nonzero result.
int orderedBlocks(PassState* s, const RowKernel& k, int32_t w, double* buffer, uint32_t result,
                  uint32_t total, OrderedSum* o) {
  AbandonUnlessDone guard{o};
  UtilFileArray* a = s->utilFiles;
  const bool shared = everyBlockResident(a);
  const int64_t own = localBlocks(&a->records[w]);
  const bool inPlace = sumsInPlace(result, total);
  for (int64_t j = 0;; ++j) {
    // The next block nobody has taken, or local block j of the worker's own file.
    int64_t b = o->end();
    if (shared)
      b = o->take();
    else if (j < own)
      b = j * a->count + w;
    if (b >= o->end()) break;
    PageView v;
    if (int rc = blockView(&a->records[blockFile(a, b)], blockLocal(a, b), &v); rc != 0) return rc;
    int32_t at = 0;
    double* into = inPlace ? o->reserve(w, &at) : buffer;
    if (!into) return 0;  // another worker failed
    if (int rc = blockSum(s, k, v, into, result, total); rc != 0) return rc;
    if (!(inPlace ? o->fill(w, at, b) : o->hand(w, b, buffer))) return 0;
  }
  guard.done = true;
  return 0;
}

// Every block in the global order on the calling thread: the same sums a threaded pass makes.
int bufferedSequentialPass(PassState* s, const RowKernel& k, int32_t count, uint32_t result,
                           uint32_t total) {
  double* sum = takeBuffer(s, result);
  double* work = takeBuffer(s, total);
  if (!sum || !work) {
    kernel().poolFree(s->modelPool, sum);
    kernel().poolFree(s->modelPool, work);
    return rc::kMemory;
  }
  OrderedSum o;
  UtilFileArray* a = s->utilFiles;
  int rc = o.start(a, s->modelPool, sum, result, 0);
  for (int64_t b = o.next(); b < o.end() && rc == 0; b = o.next()) {
    PageView v;
    rc = blockView(&a->records[blockFile(a, b)], blockLocal(a, b), &v);
    if (rc == 0) rc = blockSum(s, k, v, work, result, total);
    if (rc == 0) o.add(b, work);
  }
  if (rc == 0 && k.merge) k.merge(s, sum, result, count);
  kernel().poolFree(s->modelPool, work);
  kernel().poolFree(s->modelPool, sum);
  return rc;
}

void freeItems(PassState* s, ZWorkItem* items, int n) {
  for (int i = 0; i < n; ++i) kernel().poolFree(s->modelPool, items[i].buffer);
  kernel().poolFree(s->modelPool, items);
  s->puddle->items = nullptr;
}

int threadedPass(PassState* s, const RowKernel& k, int32_t count, int workers, uint32_t result,
                 uint32_t total) {
  auto* items = static_cast<ZWorkItem*>(
      kernel().poolAlloc(s->modelPool, sizeof(ZWorkItem) * workers, kAllocZero));
  double* sum = result > 0 ? takeBuffer(s, result) : nullptr;
  if (!items || (result > 0 && !sum)) {
    kernel().poolFree(s->modelPool, items);
    kernel().poolFree(s->modelPool, sum);
    return rc::kMemory;
  }
  const int32_t slots = orderedSlots(result);
  OrderedSum o;
  if (result > 0 && o.start(s->utilFiles, s->modelPool, sum, result, slots) != 0) {
    o.release();
    kernel().poolFree(s->modelPool, items);
    kernel().poolFree(s->modelPool, sum);
    return rc::kMemory;
  }
  s->puddle->items = items;
  for (int i = 0; i < workers; ++i) {
    ZWorkItem& w = items[i];
    w = ZWorkItem{&s->utilFiles->records[i], s, &k, nullptr, total, count, 0,
                  result > 0 ? &o : nullptr};
    if (total > 0 && !sumsInPlace(result, total) && !(w.buffer = takeBuffer(s, total))) {
      // Items already queued still use their buffers: release them and wait before anything
      // goes.
      if (i > 0) {
        o.abandon();
        zpudlwt(s->puddle);
      }
      freeItems(s, items, workers);
      o.release();
      kernel().poolFree(s->modelPool, sum);
      return rc::kMemory;
    }
    zpudleq(s->puddle, &w);
  }
  zpudlwt(s->puddle);
  int rc = 0;
  for (int i = 0; i < workers && rc == 0; ++i) rc = items[i].result;
  if (rc == 0 && result > 0 && k.merge) k.merge(s, sum, result, count);
  freeItems(s, items, workers);
  o.release();
  kernel().poolFree(s->modelPool, sum);
  return rc;
}

// Workers pay off only when each has blocks of its own to read: a small BY group's few
// blocks are read on the calling thread (the sums are the same either way).
bool everyFileHasBlocks(const UtilFileArray* a) {
  for (int32_t i = 0; i < a->count; ++i)
    if (localBlocks(&a->records[i]) < 1) return false;
  return true;
}

}  // namespace

int runSequentialPass(PassState* s, const RowKernel& k) {
  if (s->resampleFeed) s->resampleFeed->position = s->resampleFeed->start;
  if (k.resampleDraw) return drawPass(s, k);
  for (int32_t i = 0; i < s->utilFiles->count; ++i)
    if (int rc = fileBlocks(s, k, &s->utilFiles->records[i], false, nullptr, 0); rc != 0) return rc;
  return 0;
}

void runWorkItem(void* /*queueContext*/, void* item) {
  auto* w = static_cast<ZWorkItem*>(item);
  if (w->columns) {
    w->result = runColumnItem(w);
    return;
  }
  PassState* s = w->state;
  const RowKernel& k = *w->kernel;
  if (w->sum) {
    const int32_t index = static_cast<int32_t>(w->file - s->utilFiles->records);
    const uint32_t result = k.resultLength ? k.resultLength(s, w->argument) : 0;
    w->result =
        orderedBlocks(s, k, index, w->buffer, result, w->length, static_cast<OrderedSum*>(w->sum));
    return;
  }
  // A kernel without a result (one that rewrites its rows) needs no order.
  w->result = fileBlocks(s, k, w->file, true, w->buffer, w->length);
  if (w->result == 0 && k.finish) w->result = k.finish(s, w->buffer, w->length);
}

// Local block j of a file keeps its copy on page pageCount + 1 + j of the same file.
int keepStoredRows(PassState* s) {
  UtilFileArray* a = s->utilFiles;
  for (int32_t i = 0; i < a->count; ++i) {
    UtilFileRecord* f = &a->records[i];
    for (int64_t j = 0; j < localBlocks(f); ++j) {
      PageView v;
      if (int rc = blockView(f, j, &v); rc != 0) return rc;
      const PageDescriptor d{f->pageCount + 1 + j, v.bytes};
      if (f->pageFile->writePage(&d) != 0) return rc::kPageIo;
    }
  }
  a->rowsKept = 1;
  return 0;
}

int restoreStoredRows(PassState* s) {
  UtilFileArray* a = s->utilFiles;
  if (!a->rowsKept) return rc::kPageIo;
  for (int32_t i = 0; i < a->count; ++i) {
    UtilFileRecord* f = &a->records[i];
    if (!f->pageBuffer && !(f->pageBuffer = f->pageFile->newPageBuffer())) return rc::kPageIo;
    for (int64_t j = 0; j < localBlocks(f); ++j) {
      const bool resident = j < f->residentCount;
      void* into = resident ? f->residentBlocks[j] : f->pageBuffer;
      PageDescriptor d{f->pageCount + 1 + j, into};
      if (f->pageFile->readPage(&d) != 0 || d.buffer != into) return rc::kPageIo;
      if (!resident)
        if (int rc = writeBack(f, j - f->residentCount + 1); rc != 0) return rc;
    }
  }
  a->rowsKept = 0;
  return 0;
}

void showWorkProgress(const PassState* s, std::string_view work) {
  if (!zprogressshown()) return;
  std::string line(work);
  if (s->samples > 0) {
    char sample[48];
    zlogfmt(sample, sizeof sample, "Sample {1} of {2}, ", {s->sample, s->samples});
    line.insert(0, sample);
  } else if (!line.empty()) {
    line[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
  }
  zlogline(loglevel::kProgress, line);
}

double orderedSumBytes(uint32_t result) {
  return result > 0 ? 8.0 * orderedSlots(result) * static_cast<double>(result) : 0;
}

double passWorkerBytes(uint32_t result, uint32_t total) {
  return 8.0 * std::max<uint32_t>(total, 1) + orderedSumBytes(result);
}

int32_t passWorkers(const PassState* s, uint32_t result, uint32_t total) {
  if (!s->workers || !s->workers->threaded || s->workers->count < 2) return 1;
  const int32_t n = s->workers->count;
  return workersMemoryAllows(n, s->workers->bufferBytes, passWorkerBytes(result, total)) == n ? n
                                                                                              : 1;
}

int runDataPass(PassState* s, const RowKernel& k, int32_t count) {
  char work[48];
  zlogfmt(work, sizeof work, "pass {1} over the stored rows", {++s->passes});
  showWorkProgress(s, work);
  const uint32_t result = lengthOf(k.resultLength, s, count);
  const uint32_t total = result + lengthOf(k.scratchLength, s, count);
  const int files = s->utilFiles ? s->utilFiles->count : 0;
  const int workers = passWorkers(s, result, total);
  // Frequencies read from their own file follow the global block order.
  const bool ownFile = s->resampleFeed != nullptr;
  const bool threaded = !ownFile && !k.resampleDraw && k.mt && workers >= 2 && workers == files &&
                        s->puddle && s->puddle->queue && everyFileHasBlocks(s->utilFiles);
  if (int rc = 0; threaded && columnSumPass(s, k, count, workers, result, &rc)) return rc;
  if (threaded) return threadedPass(s, k, count, workers, result, total);
  if (s->resampleFeed) s->resampleFeed->position = s->resampleFeed->start;
  if (result > 0 || (!k.seq && total > 0))
    return bufferedSequentialPass(s, k, count, result, total);
  return runSequentialPass(s, k);
}

}  // namespace vsf
