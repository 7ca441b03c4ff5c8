// A hashed front index of a key tree: a row whose key is already in the tree is found in one
// probe instead of a walk down the tree, so the tree is touched only by new keys. Open
// addressing with linear probing over node pointers; the keys stay in the nodes.
#include <cstring>

#include "levelize/levelize_internal.h"

namespace vsf {

namespace {

constexpr uint32_t kFirstSlots = 64;

const char* keyOf(const void* node, int offset) { return static_cast<const char*>(node) + offset; }

void grow(LevHashIndex* h) {
  const uint32_t slots = h->mask ? 2 * (h->mask + 1) : kFirstSlots;
  void** old = h->slots;
  const uint32_t oldSlots = h->mask ? h->mask + 1 : 0;
  h->slots = levArray<void*>(h->pool, slots);
  h->mask = slots - 1;
  for (uint32_t i = 0; i < oldSlots; ++i) {
    if (!old[i]) continue;
    uint32_t at =
        static_cast<uint32_t>(levHashBytes(keyOf(old[i], h->keyOffset), h->keyBytes)) & h->mask;
    while (h->slots[at]) at = (at + 1) & h->mask;
    h->slots[at] = old[i];
  }
  levFree(h->pool, old);
}

}  // namespace

uint64_t levHashBytes(const void* key, int bytes) {
  // FNV-1a over 8-byte words, then a final mix (splitmix64's) so that the low bits spread.
  const char* p = static_cast<const char*>(key);
  uint64_t h = 0xcbf29ce484222325ULL;
  int i = 0;
  for (; i + 8 <= bytes; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    h = (h ^ w) * 0x100000001b3ULL;
  }
  for (; i < bytes; ++i) h = (h ^ static_cast<unsigned char>(p[i])) * 0x100000001b3ULL;
  h ^= h >> 30;
  h *= 0xbf58476d1ce4e5b9ULL;
  h ^= h >> 27;
  h *= 0x94d049bb133111ebULL;
  return h ^ (h >> 31);
}

void levHashInit(LevHashIndex* h, HostPool* pool, int keyBytes, int keyOffset) {
  *h = LevHashIndex();
  h->pool = pool;
  h->keyBytes = keyBytes;
  h->keyOffset = keyOffset;
}

void* levHashFind(const LevHashIndex* h, const void* key, uint64_t hash) {
  if (!h->slots) return nullptr;
  for (uint32_t at = static_cast<uint32_t>(hash) & h->mask;; at = (at + 1) & h->mask) {
    void* node = h->slots[at];
    if (!node) return nullptr;
    if (std::memcmp(keyOf(node, h->keyOffset), key, static_cast<size_t>(h->keyBytes)) == 0)
      return node;
  }
}

void levHashAdd(LevHashIndex* h, void* node, uint64_t hash) {
  if (2 * (h->count + 1) > (h->mask ? h->mask + 1 : 0)) grow(h);
  uint32_t at = static_cast<uint32_t>(hash) & h->mask;
  while (h->slots[at]) at = (at + 1) & h->mask;
  h->slots[at] = node;
  ++h->count;
}

}  // namespace vsf
