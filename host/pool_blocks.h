// The blocks of one pool and their sizes, in an open-addressed table: a pool may be asked to free
// or resize a block that is not its own (or no longer is), which it must ignore, so it keeps
// every block it gave; a node-based map paid an allocation and a division for each block, and a
// BY group's pools give tens of blocks a group.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vsf::host {

class PoolBlocks {
 public:
  // Adds a block not yet held.
  void add(void* block, size_t size) {
    if (2 * (count_ + 1) > slots_.size()) grow();
    size_t i = home(block);
    while (slots_[i].block) i = next(i);
    slots_[i] = Slot{block, size};
    ++count_;
  }

  // The block's size, or nullptr when the block is not held.
  size_t* find(void* block) {
    if (!block || count_ == 0) return nullptr;
    for (size_t i = home(block); slots_[i].block; i = next(i))
      if (slots_[i].block == block) return &slots_[i].size;
    return nullptr;
  }

  // Drops a held block; false when it was not held.
  bool remove(void* block) {
    if (!block || count_ == 0) return false;
    size_t i = home(block);
    while (slots_[i].block != block) {
      if (!slots_[i].block) return false;
      i = next(i);
    }
    // Later blocks of the run move back into the gap where their home allows, so that a search
    // never stops at a hole before its block.
    for (size_t j = next(i); slots_[j].block; j = next(j)) {
      const size_t k = home(slots_[j].block);
      const bool between = i <= j ? (i < k && k <= j) : (i < k || k <= j);
      if (between) continue;
      slots_[i] = slots_[j];
      i = j;
    }
    slots_[i] = Slot{};
    --count_;
    return true;
  }

  template <typename F>
  void forEach(F f) const {
    for (const Slot& s : slots_)
      if (s.block) f(s.block, s.size);
  }

  size_t size() const { return count_; }

 private:
  struct Slot {
    void* block = nullptr;
    size_t size = 0;
  };

  // Blocks are 16-byte aligned: the bits above those are mixed by a multiplication.
  size_t home(const void* block) const {
    const uint64_t h = (reinterpret_cast<uintptr_t>(block) >> 4) * 0x9E3779B97F4A7C15ULL;
    return static_cast<size_t>(h >> 32) & (slots_.size() - 1);
  }
  size_t next(size_t i) const { return (i + 1) & (slots_.size() - 1); }

  void grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 16 : 2 * old.size(), Slot{});
    count_ = 0;
    for (const Slot& s : old)
      if (s.block) add(s.block, s.size);
  }

  std::vector<Slot> slots_;
  size_t count_ = 0;
};

}  // namespace vsf::host
