// OrderedSum: block sums joined in the global block order.
#include <algorithm>
#include <cstring>

#include "base/codes.h"
#include "base/host.h"
#include "datapass/blocksum_internal.h"

namespace vsf {

namespace {

int64_t localBlocks(const UtilFileRecord& f) { return f.residentCount + f.pageCount; }

}  // namespace

void addInto(double* sum, const double* b, uint32_t n) {
  for (uint32_t j = 0; j < n; ++j) sum[j] += b[j];
}

double* keptSlots(UtilFileArray* files, size_t bytes) {
  if (files->passSlotBytes >= bytes) return files->passSlots;
  kernel().poolFree(files->pool, files->passSlots);
  files->passSlots = static_cast<double*>(kernel().poolAlloc(files->pool, bytes, 0));
  files->passSlotBytes = files->passSlots ? bytes : 0;
  return files->passSlots;
}

bool keepsSlots(const UtilFileArray* files, size_t bytes) {
  return files->pool && bytes <= (size_t{1} << 20) * static_cast<size_t>(files->count);
}

int OrderedSum::start(UtilFileArray* files, HostPool* pool, double* sum, uint32_t length,
                      int32_t slots) {
  files_ = files;
  pool_ = pool;
  sum_ = sum;
  length_ = length;
  depth_ = slots;
  int64_t longest = 0;
  for (int32_t i = 0; i < files->count; ++i)
    longest = std::max(longest, localBlocks(files->records[i]));
  end_ = longest * files->count;
  next_ = 0;
  advance();
  taken_ = 0;
  if (slots <= 0) return 0;
  slots_.assign(static_cast<size_t>(files->count), Slots());
  const size_t each = static_cast<size_t>(length) * static_cast<size_t>(slots);
  const size_t bytes = std::max<size_t>(sizeof(double) * each * slots_.size(), 8);
  // Slots of up to 1 MB a worker (orderedSlots' bound but where two slots pass it) are kept.
  const bool kept = keepsSlots(files, bytes);
  double* values = kept ? keptSlots(files, bytes)
                        : (own_ = static_cast<double*>(kernel().poolAlloc(pool, bytes, 0)));
  if (!values) return rc::kMemory;
  for (size_t i = 0; i < slots_.size(); ++i) {
    slots_[i].values = values + i * each;
    slots_[i].block.assign(static_cast<size_t>(slots), -1);
  }
  return 0;
}

bool OrderedSum::exists(int64_t k) const {
  return blockLocal(files_, k) < localBlocks(files_->records[blockFile(files_, k)]);
}

// Files may hold one block fewer than others: their missing blocks are skipped.
void OrderedSum::advance() {
  while (next_ < end_ && !exists(next_)) ++next_;
}

int64_t OrderedSum::take() {
  for (;;) {
    const int64_t k = taken_.fetch_add(1, std::memory_order_relaxed);
    if (k >= end_) return end_;
    if (exists(k)) return k;
  }
}

void OrderedSum::add(int64_t k, const double* block) {
  if (k != next_) return;
  addInto(sum_, block, length_);
  ++next_;
  advance();
}

// The slots where block k, the next to join, waits. Every block before it has joined and each
// worker hands its blocks in increasing order, so it is the oldest in its worker's slots.
OrderedSum::Slots* OrderedSum::holder(int64_t k) {
  for (Slots& s : slots_)
    if (s.used > 0 && s.block[static_cast<size_t>(s.head)] == k) return &s;
  return nullptr;
}

// Adds every waiting block whose turn has come. Called with the lock held.
void OrderedSum::drain() {
  bool freed = false;
  while (next_ < end_) {
    Slots* held = holder(next_);
    if (!held) break;
    Slots& s = *held;
    addInto(sum_, s.values + static_cast<size_t>(s.head) * length_, length_);
    s.block[static_cast<size_t>(s.head)] = -1;
    s.head = (s.head + 1) % depth_;
    s.used -= 1;
    freed = true;
    ++next_;
    advance();
  }
  if (freed) freed_.notify_all();
}

double* OrderedSum::reserve(int32_t w, int32_t* at) {
  Slots& s = slots_[static_cast<size_t>(w)];
  std::unique_lock<std::mutex> lock(m_);
  freed_.wait(lock, [&] { return s.used < depth_ || abandoned_; });
  if (abandoned_) return nullptr;
  *at = (s.head + s.used) % depth_;
  s.used += 1;  // reserved: its block is -1 until it is filled
  return s.values + static_cast<size_t>(*at) * length_;
}

bool OrderedSum::fill(int32_t w, int32_t at, int64_t k) {
  std::lock_guard<std::mutex> lock(m_);
  if (abandoned_) return false;
  slots_[static_cast<size_t>(w)].block[static_cast<size_t>(at)] = k;
  drain();
  return true;
}

bool OrderedSum::hand(int32_t w, int64_t k, const double* block) {
  int32_t at = 0;
  double* slot = reserve(w, &at);
  if (!slot) return false;
  std::memcpy(slot, block, sizeof(double) * length_);
  return fill(w, at, k);
}

void OrderedSum::abandon() {
  std::lock_guard<std::mutex> lock(m_);
  abandoned_ = true;
  freed_.notify_all();
}

void OrderedSum::release() {
  if (own_) kernel().poolFree(pool_, own_);
  own_ = nullptr;
  for (Slots& s : slots_) s.values = nullptr;
}

}  // namespace vsf
