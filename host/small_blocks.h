// Small blocks kept by a thread for its next allocations of their size. A BY group of a listed
// step makes and frees hundreds of small objects (cells, names, vectors of items), and the C
// library's heap pays its checks and, past a few blocks a size, its bins for each; a block
// kept here is handed out again in a few instructions. What a thread keeps is bounded
// (kKeptBytes), and given back to the heap when the thread ends.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vsf::host {

class SmallBlocks {
 public:
  static constexpr size_t kStep = 16;
  static constexpr size_t kClasses = 16;  // sizes 16, 32, ... 256
  static constexpr size_t kLargest = kStep * kClasses;
  static constexpr size_t kKeptBytes = size_t{256} << 10;

  // The size a block of `size` bytes is made with: its class's, so that any block of the class
  // serves any request of it.
  static size_t room(size_t size) { return size <= kLargest ? classSize(classOf(size)) : size; }

  // A kept block for `size` bytes, or nullptr.
  void* take(size_t size) {
    if (size > kLargest) return nullptr;
    const size_t c = classOf(size);
    Free* f = heads_[c];
    if (!f) return nullptr;
    heads_[c] = f->next;
    kept_ -= classSize(c);
    return f;
  }

  // Keeps a block made for `size` bytes; false when it is not kept (too large, or the thread
  // keeps enough), for the caller to free.
  bool keep(void* block, size_t size) {
    if (size > kLargest) return false;
    return keepIn(block, classOf(size));
  }

  // Keeps a block of which only its usable size is known (a delete without its size).
  bool keepUsable(void* block, size_t usable) {
    // A block much larger than the largest class is not kept in it.
    if (usable < kStep || usable >= kLargest + 2 * kStep) return false;
    const size_t c = usable / kStep - 1;
    return keepIn(block, c < kClasses ? c : kClasses - 1);
  }

  // Every kept block, to `release` (the heap's free); nothing is kept after.
  template <typename F>
  void drain(F release) {
    for (Free*& head : heads_) {
      while (head) {
        Free* next = head->next;
        release(head);
        head = next;
      }
    }
    kept_ = 0;
  }

  size_t keptBytes() const { return kept_; }

 private:
  struct Free {
    Free* next;
  };
  static size_t classOf(size_t size) { return size == 0 ? 0 : (size - 1) / kStep; }
  static size_t classSize(size_t c) { return (c + 1) * kStep; }

  bool keepIn(void* block, size_t c) {
    if (kept_ + classSize(c) > kKeptBytes) return false;
    Free* f = static_cast<Free*>(block);
    f->next = heads_[c];
    heads_[c] = f;
    kept_ += classSize(c);
    return true;
  }

  Free* heads_[kClasses] = {};
  size_t kept_ = 0;
};

}  // namespace vsf::host
