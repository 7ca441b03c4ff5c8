// The stored row block: one page of observation rows.
//
// Bytes 0-3 hold the row count; bytes 4-7 are 1 when every value of every row was finite as it
// was written, so that the kernels test no row of the block for missing values, and 0 when a
// row may hold one. The rows' doubles run forward from byte 8; their
// 32-bit tags run backward from the end of the page (its length rounded down to 8), the first
// tag of a block in the 4 bytes below that end and each row's group below the previous one's.
// A block is full when the space between the two fill points is smaller than the next row.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

namespace vsf {

struct HostPool;
struct UtilFileArray;

// The bytes of one block as a row kernel sees them.
struct PageView {
  char* bytes = nullptr;
  int32_t length = 0;  // the page length in bytes
};

inline int64_t blockRowCount(const PageView& v) {
  int32_t n;
  std::memcpy(&n, v.bytes, 4);
  return n > 0 ? n : 0;
}
// Every value of every row of the block finite, as its writer found them.
inline bool blockAllFinite(const PageView& v) {
  int32_t finite;
  std::memcpy(&finite, v.bytes + 4, 4);
  return finite == 1;
}
inline const double* blockFirstRow(const PageView& v) {
  return reinterpret_cast<const double*>(v.bytes + 8);
}
// The tag area's end: the first tag of the block is at index -1 of this pointer.
inline const int32_t* blockTagEnd(const PageView& v) {
  return reinterpret_cast<const int32_t*>(v.bytes + (v.length & ~7));
}

// Zeroed pages that the workers of a data pass fault in ahead of the writer, so that the
// thread that packs the rows in order does not stop at every fresh page of memory.
class PageSupply {
 public:
  PageSupply(HostPool* pool, int32_t pageLength, size_t most)
      : pool_(pool), length_(pageLength), most_(most) {}
  ~PageSupply();
  PageSupply(const PageSupply&) = delete;
  PageSupply& operator=(const PageSupply&) = delete;
  // On a worker that has read rows of `bytes` bytes: makes the pages they fill, touched,
  // unless enough wait or none are wanted. The bytes add up over the calls of every worker, so
  // that runs of less than a page still get theirs.
  void prepare(int64_t bytes);
  // On the writer: a page of `length` bytes, or null.
  void* take(int32_t length);
  // No more pages are wanted (the next blocks go to pages of the files).
  void stop() { wanted_ = false; }
  size_t ready() {
    std::lock_guard<std::mutex> lock(mutex_);
    return pages_.size();
  }

 private:
  HostPool* pool_;
  const int32_t length_;
  const size_t most_;
  std::atomic<bool> wanted_{true};
  std::mutex mutex_;
  std::vector<void*> pages_;
  int64_t bytes_ = 0;  // the rows' bytes so far, and the pages made or being made for them
  int64_t promised_ = 0;
};

// Packs rows into the blocks of a BY group, striped over its utility files.
struct RowBlockWriter {
  UtilFileArray* files = nullptr;
  HostPool* pool = nullptr;      // resident blocks come from it (the PAGE pool)
  int64_t block = 0;             // the current block; after finishRows, the number of blocks
  int64_t rows = 0;              // rows in the current block
  int64_t largestRows = 0;       // the largest row count of any block ended
  bool finite = true;            // every row of the current block finite so far
  char* start = nullptr;         // the current block, null before its first row
  char* forward = nullptr;       // next byte for doubles
  char* backward = nullptr;      // the byte after the next row's tag group
  PageSupply* supply = nullptr;  // pages made ahead for resident blocks, or null
};

// Appends one row: nValues doubles forward and nTags tags (tags[0] read first) backward;
// `finite` says that every one of the doubles is finite (the writer tested them as it built
// the row). A row that does not fit the rest of the block starts the next one. 0, rc::kMemory or
// rc::kPageIo (block not made current), rc::kBlockWrite (block not written, or a row longer than a
// page).
[[nodiscard]] int appendRow(RowBlockWriter* w, const double* values, int nValues,
                            const int32_t* tags, int nTags, bool finite);
// Ends the last block when it holds rows; w->block then holds the number of blocks.
[[nodiscard]] int finishRows(RowBlockWriter* w);

}  // namespace vsf
