#include "datapass/utilfiles.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/codes.h"
#include "base/host.h"
#include "datapass/resources.h"

namespace vsf {

namespace {

constexpr int kOpenFailed = 0x803FC009;  // the stream extension gave no object

UtilFileRecord* recordOf(UtilFileArray* array, int64_t k) {
  return &array->records[blockFile(array, k)];
}

// Bytes of a block's page that rows and tags may use: the page rounded down to 8.
int32_t usableLength(const UtilFileRecord* r) { return r->pageLength & ~7; }

}  // namespace

int createUtilFileArray(UtilFileArray* array, HostPool* pool, uint32_t capacity,
                        uint32_t growthStep, uint32_t flags) {
  *array = UtilFileArray();
  array->pool = pool;
  array->flags = flags;
  array->growthStep = growthStep ? growthStep : 1;
  if (capacity == 0) return 0;
  void* p = kernel().poolAlloc(pool, sizeof(UtilFileRecord) * capacity, flags);
  if (!p) return rc::kMemory;
  array->records = static_cast<UtilFileRecord*>(p);
  array->capacity = capacity;
  return 0;
}

int openUtilFile(UtilFileRecord* record, const ExtensionSet* x, int32_t pageSizeKb,
                 int32_t rowSizeHint, int* stage) {
  std::string path;
  int hrc = x->tools ? x->tools->getPathnameDirect("UTILPATH", &path) : kOpenFailed;
  if (hrc != 0) {
    *stage = 1;
    return hrc;
  }
  PageStream* s = x->stream ? x->stream->createStream() : nullptr;
  if (!s) {
    *stage = 2;
    return kOpenFailed;
  }
  s->setPath(path);
  s->fillDefaults();
  // A pass sums every block on its own, so that threaded equals sequential, and adding a
  // block's sums costs the square of its columns however few rows it holds: a page holds 32
  // row hints (about 150 rows: the hint bounds a row about five times over) where the largest
  // page allows. At 500 columns 64 KB pages of 16 rows made a crossproducts pass 13 times
  // slower on 8 workers (bench/RESULTS.md, "Paths").
  const int64_t rows32 = 32 * static_cast<int64_t>(rowSizeHint);
  int page, companion;
  if (rows32 <= s->defaultPageSize()) {
    page = companion = s->defaultPageSize();
  } else if (rows32 <= s->largerPageSize()) {
    page = companion = s->largerPageSize();
  } else if (rowSizeHint <= s->largestPageSize()) {
    page = companion = s->largestPageSize();
  } else {
    page = rowSizeHint;
    companion = s->largestPageSize();
  }
  // A page-size option smaller than one row is ignored.
  if (pageSizeKb > 0 && static_cast<int64_t>(pageSizeKb) * 1024 >= rowSizeHint) {
    page = pageSizeKb * 1024;
    companion = s->largestPageSize();
  }
  s->setAttributes(page, companion);
  if (int o = s->open(); o != 0) {
    s->release();
    *stage = 2;
    return o;
  }
  *record = UtilFileRecord();
  record->path = std::move(path);
  record->pageFile = s;
  record->pageLength = s->pageLength();
  return 0;
}

int addUtilFile(UtilFileArray* array, const ExtensionSet* extensions, int32_t pageSizeKb,
                int32_t rowSizeHint, UtilFileRecord** out) {
  if (static_cast<uint32_t>(array->count) >= array->capacity) {
    // Records hold strings: they move one by one into the larger array, never by bytes.
    uint32_t capacity = array->capacity + array->growthStep;
    void* p = kernel().poolAlloc(array->pool, sizeof(UtilFileRecord) * capacity, array->flags);
    if (!p) return rc::kMemory;
    auto* records = static_cast<UtilFileRecord*>(p);
    for (int32_t i = 0; i < array->count; ++i) {
      new (&records[i]) UtilFileRecord(std::move(array->records[i]));
      array->records[i].~UtilFileRecord();
    }
    if (array->records) kernel().poolFree(array->pool, array->records);
    array->records = records;
    array->capacity = capacity;
  }
  UtilFileRecord* r = new (&array->records[array->count]) UtilFileRecord();
  int stage = 0;
  int hrc = openUtilFile(r, extensions, pageSizeKb, rowSizeHint, &stage);
  if (hrc != 0) {
    if (stage == 1)
      hostLogPrintf("hxtoolsGetPathnameDirect failed with hxrc = {}", hrc);
    else
      hostLogPrintf("hxstreamOpen failed with hxrc = {}", hrc);
    r->~UtilFileRecord();
    hostFileMsg(848, 214);
    return rc::kUtilFileOpen;
  }
  array->count += 1;
  if (r->pageLength > array->largestPageLength) array->largestPageLength = r->pageLength;
  if (out) *out = r;
  return 0;
}

void closeUtilFile(UtilFileRecord* record, int argument) {
  if (record->pageFile) {
    if (record->pageBuffer) {
      PageDescriptor d{0, record->pageBuffer};
      record->pageFile->releasePageBuffer(&d);
      record->pageBuffer = nullptr;
    }
    // A file closed while it was being reopened is discarded, not committed.
    if (record->reopening)
      record->pageFile->discard(argument);
    else
      record->pageFile->commit(1);
    record->pageFile->release();
    record->pageFile = nullptr;
  }
  record->current = PageDescriptor();
  record->path.clear();
}

void closeUtilFiles(UtilFileArray* array, HostPool* pool) {
  if (array->passSlots) kernel().poolFree(array->pool ? array->pool : pool, array->passSlots);
  array->passSlots = nullptr;
  array->passSlotBytes = 0;
  if (!array->records) return;
  for (int32_t i = 0; i < array->count; ++i) {
    closeUtilFile(&array->records[i], 0);
    array->records[i].~UtilFileRecord();
  }
  kernel().poolFree(array->pool ? array->pool : pool, array->records);
  array->records = nullptr;
  array->capacity = 0;
  array->count = 0;
}

int seekUtilPage(UtilFileArray* array, int64_t k, HostPool* pool, char** blockStart,
                 char** rowStart, char** tagEnd, void** page) {
  UtilFileRecord* r = recordOf(array, k);
  int64_t j = blockLocal(array, k);
  if (j < r->residentCapacity) {
    void* b = page && *page
                  ? *page
                  : kernel().poolAlloc(pool, static_cast<size_t>(r->pageLength), kAllocZero);
    if (page) *page = nullptr;
    if (!b) return rc::kMemory;
    r->current = PageDescriptor{0, b};
  } else {
    if (!r->pageBuffer) r->pageBuffer = r->pageFile->newPageBuffer();
    if (!r->pageBuffer) return rc::kPageIo;
    std::memset(r->pageBuffer, 0, static_cast<size_t>(r->pageLength));
    r->current = PageDescriptor{j - r->residentCapacity + 1, r->pageBuffer};
  }
  char* start = static_cast<char*>(r->current.buffer);
  *blockStart = start;
  *rowStart = start + 8;
  *tagEnd = start + usableLength(r);
  return 0;
}

int endUtilBlock(UtilFileArray* array, int64_t k) {
  UtilFileRecord* r = recordOf(array, k);
  int64_t j = blockLocal(array, k);
  if (j >= r->residentCapacity) {
    r->current.page = j - r->residentCapacity + 1;
    if (r->pageFile->writePage(&r->current) != 0) {
      hostFileMsg(848, 139);
      return rc::kBlockWrite;
    }
    if (r->current.page > r->pageCount) r->pageCount = r->current.page;
    return 0;
  }
  if (r->residentCount == r->residentSlots) {
    // The list grows with the blocks up to the file's capacity: made at the capacity, which
    // the memory plan sets from the memory free, it cost a small BY group more than its rows.
    const int64_t slots =
        std::min(r->residentCapacity, std::max<int64_t>(16, 2 * r->residentSlots));
    void* p = kernel().poolRealloc(array->pool, r->residentBlocks,
                                   sizeof(void*) * static_cast<size_t>(slots), kAllocZero);
    if (!p) return rc::kMemory;
    r->residentBlocks = static_cast<void**>(p);
    r->residentSlots = slots;
  }
  r->residentBlocks[r->residentCount++] = r->current.buffer;
  return 0;
}

void fillDoubles(double value, double* array, int64_t n) {
  for (int64_t i = 0; i < n; ++i) array[i] = value;
}

int reopenUtilFiles(UtilFileArray* array, double rowsStored, bool writeBack, bool randomAccess,
                    int* stepCode) {
  if (!(rowsStored > 0)) return 0;
  for (int32_t i = 0; i < array->count; ++i) {
    UtilFileRecord* r = &array->records[i];
    if (r->pageCount < 1) continue;
    if (r->pageFile->commit(0) != 0) {
      hostFileMsg(848, 264);
      raiseStepCode(*stepCode, step::kHistory);
      return rc::kUtilCommit;
    }
    r->reopening = 1;
    r->pageFile->setOpenFields(1, randomAccess ? 2 : 4, writeBack ? 2 : 0);
    if (r->pageFile->open() != 0) {
      hostFileMsg(848, 265);
      raiseStepCode(*stepCode, step::kHistory);
      return rc::kUtilReopen;
    }
    r->reopening = 0;
  }
  return 0;
}

}  // namespace vsf
