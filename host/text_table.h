// A table from texts to values, open-addressed, for the step's strings: a BY step asks for the
// same names and labels tens of times a group, and a node-based map paid a division and a walk
// of its bucket each time. The texts the keys view must outlive the table's entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace vsf::host {

// A text's hash, eight bytes at a time. Blind to case, the bit that tells a capital from its
// small letter is set in every byte: the two cases hash alike (and a few other bytes with them,
// which the comparison tells apart).
inline uint64_t textHash(std::string_view s, bool caseBlind) {
  const uint64_t fold = caseBlind ? 0x2020202020202020ULL : 0;
  uint64_t h = s.size() * 0x9E3779B97F4A7C15ULL;
  size_t at = 0;
  for (; at + 8 <= s.size(); at += 8) {
    uint64_t w;
    std::memcpy(&w, s.data() + at, 8);
    h = (h ^ (w | fold)) * 0xBF58476D1CE4E5B9ULL;
    h ^= h >> 31;
  }
  uint64_t tail = 0;
  if (at < s.size()) std::memcpy(&tail, s.data() + at, s.size() - at);
  h = (h ^ (tail | fold)) * 0x94D049BB133111EBULL;
  return h ^ (h >> 29);
}

template <typename Value>
class TextTable {
 public:
  // The text's value, or nullptr when the text is not held.
  Value* find(std::string_view key) {
    if (count_ == 0) return nullptr;
    const uint64_t h = hashOf(key);
    for (size_t i = h & mask(); slots_[i].used; i = (i + 1) & mask())
      if (slots_[i].hash == h && slots_[i].key == key) return &slots_[i].value;
    return nullptr;
  }

  // Adds a text not yet held.
  void add(std::string_view key, Value value) {
    if (2 * (count_ + 1) > slots_.size()) grow();
    place(Slot{key, hashOf(key), value, true});
    ++count_;
  }

  void clear() {
    slots_.clear();
    count_ = 0;
  }

  size_t size() const { return count_; }

 private:
  struct Slot {
    std::string_view key;
    uint64_t hash = 0;
    Value value{};
    bool used = false;
  };

  static uint64_t hashOf(std::string_view s) { return textHash(s, false); }

  size_t mask() const { return slots_.size() - 1; }

  void place(const Slot& s) {
    size_t i = s.hash & mask();
    while (slots_[i].used) i = (i + 1) & mask();
    slots_[i] = s;
  }

  void grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 64 : 2 * old.size(), Slot{});
    for (const Slot& s : old)
      if (s.used) place(s);
  }

  std::vector<Slot> slots_;
  size_t count_ = 0;
};

}  // namespace vsf::host
