// IntVectorTree: the tree of distinct models shared by the model-averaging workers, keyed by
// a vector of ints. Bit 1 of a link marks a thread, bit 0 that this side is the taller one.
// It is the one locked structure of the numerics: finds share the lock, changes hold it alone.
#include <mutex>

#include "numerics/numerics.h"
#include "numerics/tree_internal.h"

namespace vsf {

namespace {

constexpr uintptr_t kTaller = 1;
constexpr uintptr_t kThread = 2;
constexpr uintptr_t kBits = 3;

struct IvtTraits {
  using Node = IntVectorNode;
  static uintptr_t& word(Node* p, int dir) { return dir == 0 ? p->left : p->right; }
  static Node* ptr(Node* p, int dir) { return reinterpret_cast<Node*>(word(p, dir) & ~kBits); }
  static bool thread(Node* p, int dir) { return (word(p, dir) & kThread) != 0; }
  static void setChild(Node* p, int dir, Node* c) {
    word(p, dir) = reinterpret_cast<uintptr_t>(c) | (word(p, dir) & kTaller);
  }
  static void setThread(Node* p, int dir, Node* t) {
    word(p, dir) = reinterpret_cast<uintptr_t>(t) | kThread | (word(p, dir) & kTaller);
  }
  static int bal(Node* p) {
    if (p->left & kTaller) return -1;
    return (p->right & kTaller) ? 1 : 0;
  }
  static void setBal(Node* p, int b) {
    p->left = (p->left & ~kTaller) | (b < 0 ? kTaller : 0);
    p->right = (p->right & ~kTaller) | (b > 0 ? kTaller : 0);
  }
};

const IntVectorKey* keyOf(const IntVectorTree* t, const IntVectorNode* p) {
  return reinterpret_cast<const IntVectorKey*>(reinterpret_cast<const char*>(p) + t->keyOffset);
}

// The count decides first; equal counts compare the values as signed ints.
int compareKeys(const IntVectorKey* a, const IntVectorKey* b) {
  if (a->count != b->count) return a->count < b->count ? -1 : 1;
  for (int32_t i = 0; i < a->count; ++i) {
    if (a->values[i] != b->values[i]) return a->values[i] < b->values[i] ? -1 : 1;
  }
  return 0;
}

auto keyCompare(const IntVectorTree* t, const IntVectorKey* key) {
  return [t, key](IntVectorNode* p) { return compareKeys(key, keyOf(t, p)); };
}

}  // namespace

IntVectorNode* ivtInsert(IntVectorTree* tree, IntVectorNode* node) {
  return tavl::insert<IvtTraits>(&tree->root, node, keyCompare(tree, keyOf(tree, node)));
}

IntVectorNode* ivtFind(IntVectorTree* tree, const IntVectorKey* key) {
  return tavl::find<IvtTraits>(tree->root, keyCompare(tree, key));
}

IntVectorNode* ivtFindNeighbours(IntVectorTree* tree, const IntVectorKey* key,
                                 IntVectorNode** predecessor, IntVectorNode** successor) {
  IntVectorNode* before = nullptr;
  IntVectorNode* after = nullptr;
  IntVectorNode* hit = nullptr;
  for (IntVectorNode* p = tree->root; p;) {
    int c = compareKeys(key, keyOf(tree, p));
    if (c == 0) {
      hit = p;
      before = IvtTraits::thread(p, 0) ? IvtTraits::ptr(p, 0)
                                       : tavl::extreme<IvtTraits>(IvtTraits::ptr(p, 0), 1);
      after = IvtTraits::thread(p, 1) ? IvtTraits::ptr(p, 1)
                                      : tavl::extreme<IvtTraits>(IvtTraits::ptr(p, 1), 0);
      break;
    }
    int dir = c < 0 ? 0 : 1;
    if (IvtTraits::thread(p, dir)) {
      // The key would hang here: between p and p's thread on that side.
      before = dir == 0 ? IvtTraits::ptr(p, 0) : p;
      after = dir == 0 ? p : IvtTraits::ptr(p, 1);
      break;
    }
    p = IvtTraits::ptr(p, dir);
  }
  if (predecessor) *predecessor = before;
  if (successor) *successor = after;
  return hit;
}

IntVectorNode* ivtDelete(IntVectorTree* tree, const IntVectorKey* key) {
  return tavl::remove<IvtTraits>(&tree->root, keyCompare(tree, key));
}

namespace {

IntVectorNode* lockedInsert(IntVectorTree* t, IntVectorNode* n) {
  std::unique_lock lock(t->lock);
  return ivtInsert(t, n);
}
IntVectorNode* lockedFind(IntVectorTree* t, const IntVectorKey* k) {
  std::shared_lock lock(t->lock);
  return ivtFind(t, k);
}
IntVectorNode* lockedFindNeighbours(IntVectorTree* t, const IntVectorKey* k, IntVectorNode** a,
                                    IntVectorNode** b) {
  std::shared_lock lock(t->lock);
  return ivtFindNeighbours(t, k, a, b);
}
IntVectorNode* lockedDelete(IntVectorTree* t, const IntVectorKey* k) {
  std::unique_lock lock(t->lock);
  return ivtDelete(t, k);
}

}  // namespace

const TreeOps kIntVectorTreeOps = {ivtInsert,    ivtFind,    ivtFindNeighbours,    ivtDelete,
                                   lockedInsert, lockedFind, lockedFindNeighbours, lockedDelete};

}  // namespace vsf
