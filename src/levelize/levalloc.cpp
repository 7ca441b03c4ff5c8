// Memory of a levelization: the group's allocator, the pass heaps and zeroed blocks.
#include "base/host.h"
#include "levelize/levelize_internal.h"

namespace vsf {

void* levAlloc(HostPool* pool, size_t bytes) {
  void* p = kernel().poolAlloc(pool, bytes == 0 ? 1 : bytes, kAllocZero);
  if (!p) {
    hostMsg(848, 140);
    hostEndStep(step::kInternal);
  }
  return p;
}

void levFree(HostPool* pool, void* block) {
  if (pool && block) kernel().poolFree(pool, block);
}

HostPool* levHeapNew(uint32_t flags) {
  HostPool* heap = hostv().proc->heapNew(0, 1024, flags);
  if (!heap) {
    hostMsg(848, 140);
    hostEndStep(step::kInternal);
  }
  return heap;
}

void levHeapFree(HostPool* heap) {
  if (heap) hostv().proc->heapFree(heap);
}

HostPool* levAllocator(ZLevCtx* ctx) {
  LevAllocRecord* a = ctx->alloc;
  if (!a->allocator) {
    a->allocator = levHeapNew(0x1004);
    a->ownsAllocator = 1;
  }
  return a->allocator;
}

}  // namespace vsf
