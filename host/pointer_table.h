// A table from addresses to values, open-addressed: the blocks of a pool (to their sizes) and the
// objects of the output system (by their handles). Either may be asked about an address it does
// not hold (a block of another pool, a handle of an object gone), which it must tell; a
// node-based map paid an allocation and a division for each entry, and a BY group makes tens of
// blocks and objects a group.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vsf::host {

template <typename Value>
class PointerTable {
 public:
  // Adds an address not yet held.
  void add(const void* key, Value value) {
    if (2 * (count_ + 1) > slots_.size()) grow();
    size_t i = home(key);
    while (slots_[i].key) i = next(i);
    slots_[i] = Slot{key, value};
    ++count_;
  }

  // The address's value, or nullptr when the address is not held.
  Value* find(const void* key) {
    if (!key || count_ == 0) return nullptr;
    for (size_t i = home(key); slots_[i].key; i = next(i))
      if (slots_[i].key == key) return &slots_[i].value;
    return nullptr;
  }

  // Drops a held address (its value to *value); false when it was not held.
  bool remove(const void* key, Value* value = nullptr) {
    if (!key || count_ == 0) return false;
    size_t i = home(key);
    while (slots_[i].key != key) {
      if (!slots_[i].key) return false;
      i = next(i);
    }
    if (value) *value = slots_[i].value;
    // Later entries of the run move back into the gap where their home allows, so that a
    // search never stops at a hole before its entry.
    for (size_t j = next(i); slots_[j].key; j = next(j)) {
      const size_t k = home(slots_[j].key);
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
      if (s.key) f(const_cast<void*>(s.key), s.value);
  }

  size_t size() const { return count_; }

 private:
  struct Slot {
    const void* key = nullptr;
    Value value{};
  };

  // Blocks and objects are 16-byte aligned: the bits above those are mixed by a multiplication.
  size_t home(const void* key) const {
    const uint64_t h = (reinterpret_cast<uintptr_t>(key) >> 4) * 0x9E3779B97F4A7C15ULL;
    return static_cast<size_t>(h >> 32) & (slots_.size() - 1);
  }
  size_t next(size_t i) const { return (i + 1) & (slots_.size() - 1); }

  void grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 16 : 2 * old.size(), Slot{});
    count_ = 0;
    for (const Slot& s : old)
      if (s.key) add(s.key, s.value);
  }

  std::vector<Slot> slots_;
  size_t count_ = 0;
};

}  // namespace vsf::host
