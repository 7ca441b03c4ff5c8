#include "datapass/rowblock.h"

#include <algorithm>

#include "base/codes.h"
#include "base/host.h"
#include "datapass/utilfiles.h"

namespace vsf {

namespace {

int endBlock(RowBlockWriter* w) {
  const auto n = static_cast<int32_t>(w->rows);
  const int32_t finite = w->finite ? 1 : 0;
  std::memcpy(w->start, &n, 4);
  std::memcpy(w->start + 4, &finite, 4);
  w->finite = true;
  if (w->rows > w->largestRows) w->largestRows = w->rows;
  if (int rc = endUtilBlock(w->files, w->block); rc != 0) return rc;
  w->block += 1;
  w->rows = 0;
  w->start = nullptr;
  return 0;
}

int beginBlock(RowBlockWriter* w) {
  char* rowStart = nullptr;
  void* page = nullptr;
  if (w->supply) {
    const UtilFileRecord& r = w->files->records[blockFile(w->files, w->block)];
    // From the first paged block on, the blocks of every file are paged.
    if (blockLocal(w->files, w->block) < r.residentCapacity)
      page = w->supply->take(r.pageLength);
    else
      w->supply->stop();
  }
  const int rc =
      seekUtilPage(w->files, w->block, w->pool, &w->start, &rowStart, &w->backward, &page);
  if (page) kernel().poolFree(w->pool, page);  // not taken
  if (rc != 0) {
    w->start = nullptr;
    return rc;
  }
  w->forward = rowStart;
  return 0;
}

}  // namespace

PageSupply::~PageSupply() {
  for (void* p : pages_) kernel().poolFree(pool_, p);
}

void PageSupply::prepare(int64_t bytes) {
  // Whole pages of the rows read so far, less those already made (a page holds 8 bytes of
  // header besides its rows; rows that do not fit a page's end are left to the writer).
  int64_t n;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    bytes_ += bytes;
    const int64_t due = bytes_ / std::max<int64_t>(1, length_ - 8);
    n = due - promised_;
    promised_ = std::max(promised_, due);
  }
  for (int64_t i = 0; i < n && wanted_; ++i) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (pages_.size() >= most_) return;
    }
    auto* page =
        static_cast<char*>(kernel().poolAlloc(pool_, static_cast<size_t>(length_), kAllocZero));
    if (!page) return;
    // Fault every 4 KB of it in here; a store of the zero it holds is enough.
    for (int32_t at = 0; at < length_; at += 4096) static_cast<volatile char*>(page)[at] = 0;
    std::lock_guard<std::mutex> lock(mutex_);
    pages_.push_back(page);
  }
}

void* PageSupply::take(int32_t length) {
  if (length != length_) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  if (pages_.empty()) return nullptr;
  void* page = pages_.back();
  pages_.pop_back();
  return page;
}

int appendRow(RowBlockWriter* w, const double* values, int nValues, const int32_t* tags, int nTags,
              bool finite) {
  const int64_t need = 8 * static_cast<int64_t>(nValues) + 4 * static_cast<int64_t>(nTags);
  if (w->start && w->backward - w->forward < need) {
    if (int rc = endBlock(w); rc != 0) return rc;
  }
  if (!w->start) {
    if (int rc = beginBlock(w); rc != 0) return rc;
    if (w->backward - w->forward < need) {
      hostMsg(848, 139);  // even an empty block cannot hold this row
      return rc::kBlockWrite;
    }
  }
  std::memcpy(w->forward, values, 8 * static_cast<size_t>(nValues));
  w->forward += 8 * nValues;
  for (int i = 0; i < nTags; ++i) {
    w->backward -= 4;
    std::memcpy(w->backward, &tags[i], 4);
  }
  w->rows += 1;
  w->finite = w->finite && finite;
  return 0;
}

int finishRows(RowBlockWriter* w) {
  if (w->start && w->rows > 0) return endBlock(w);
  return 0;
}

}  // namespace vsf
