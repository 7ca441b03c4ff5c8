// The command's operator new and delete: small blocks go through the thread's SmallBlocks
// before the C library's heap (host/small_blocks.h says why). Left out of the sanitizer builds,
// whose own allocators must see every block's life.
#include <malloc.h>
#include <pthread.h>

#include <cstdlib>
#include <new>

#include "host/small_blocks.h"

namespace {

using vsf::host::SmallBlocks;

// Set up without code and never destroyed, so that it serves from the thread's start to its
// very end; `closed` turns true once the thread's end gave its blocks back, and later news and
// deletes go to the heap.
struct ThreadBlocks {
  SmallBlocks blocks;
  bool open = false;
  bool closed = false;
};
thread_local ThreadBlocks tBlocks;

// Gives the thread's blocks back when it ends: the destructor of a thread key, which runs after
// those of the thread's own objects (whose deletes still come here). A thread_local object
// with a destructor would do it too, but the C library records such an object with an
// allocation, and ends the process when that fails, as it may under an address-space limit.
void closeBlocks(void*) {
  tBlocks.open = false;
  tBlocks.closed = true;
  tBlocks.blocks.drain([](void* b) { std::free(b); });
}

struct CloserKey {
  pthread_key_t key;
  bool made = false;
};

SmallBlocks* blocks() {
  if (tBlocks.open) return &tBlocks.blocks;
  if (tBlocks.closed) return nullptr;
  static const CloserKey closer = [] {
    CloserKey k;
    k.made = pthread_key_create(&k.key, closeBlocks) == 0;
    return k;
  }();
  // Once a thread, at its first small block; a thread whose end cannot give its blocks back
  // keeps none.
  if (!closer.made || pthread_setspecific(closer.key, &tBlocks) != 0) {
    tBlocks.closed = true;
    return nullptr;
  }
  tBlocks.open = true;
  return &tBlocks.blocks;
}

void* allocate(size_t size) {
  if (SmallBlocks* b = size <= SmallBlocks::kLargest ? blocks() : nullptr)
    if (void* p = b->take(size)) return p;
  return std::malloc(SmallBlocks::room(size ? size : 1));
}

void* allocateOrThrow(size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}

void release(void* p, size_t size) {
  if (!p) return;
  if (SmallBlocks* b = size <= SmallBlocks::kLargest ? blocks() : nullptr)
    if (b->keep(p, size)) return;
  std::free(p);
}

void releaseUnsized(void* p) {
  if (!p) return;
#ifdef __GLIBC__
  // The heap tells what the block holds, so that it can serve its class again.
  if (SmallBlocks* b = blocks())
    if (b->keepUsable(p, malloc_usable_size(p))) return;
#endif
  std::free(p);
}

}  // namespace

void* operator new(size_t size) { return allocateOrThrow(size); }
void* operator new[](size_t size) { return allocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { releaseUnsized(p); }
void operator delete[](void* p) noexcept { releaseUnsized(p); }
void operator delete(void* p, size_t size) noexcept { release(p, size); }
void operator delete[](void* p, size_t size) noexcept { release(p, size); }
void operator delete(void* p, const std::nothrow_t&) noexcept { releaseUnsized(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { releaseUnsized(p); }
