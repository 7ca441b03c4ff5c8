// ThreadTree: the threaded AVL tree of the effects library and the threaded levelization,
// keyed by bytes or by a 32-bit int inside the node. Bit 0 of a link marks a thread.
#include <cstring>

#include "numerics/numerics.h"
#include "numerics/tree_internal.h"

namespace vsf {

namespace {

struct ThreadTraits {
  using Node = ThreadTreeNode;
  static uintptr_t& word(Node* p, int dir) { return dir == 0 ? p->left : p->right; }
  static Node* ptr(Node* p, int dir) {
    return reinterpret_cast<Node*>(word(p, dir) & ~uintptr_t{1});
  }
  static bool thread(Node* p, int dir) { return (word(p, dir) & 1) != 0; }
  static void setChild(Node* p, int dir, Node* c) { word(p, dir) = reinterpret_cast<uintptr_t>(c); }
  static void setThread(Node* p, int dir, Node* t) {
    word(p, dir) = reinterpret_cast<uintptr_t>(t) | 1;
  }
  static int bal(Node* p) { return p->balance; }
  static void setBal(Node* p, int b) { p->balance = static_cast<int16_t>(b); }
};

const char* keyOf(const ThreadTreeNode* p, int off) {
  return reinterpret_cast<const char*>(p) + off;
}

int32_t intKeyOf(const ThreadTreeNode* p, int off) {
  int32_t v;
  std::memcpy(&v, keyOf(p, off), sizeof v);
  return v;
}

auto byteCompare(const void* key, int off, int len) {
  return [key, off, len](ThreadTreeNode* p) {
    int c = std::memcmp(key, keyOf(p, off), static_cast<size_t>(len));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  };
}

auto intCompare(int32_t key, int off) {
  return [key, off](ThreadTreeNode* p) {
    int32_t v = intKeyOf(p, off);
    return key < v ? -1 : (key > v ? 1 : 0);
  };
}

}  // namespace

ThreadTreeNode* zttinsb(ThreadTreeNode** root, ThreadTreeNode* node, int off, int len) {
  return tavl::insert<ThreadTraits>(root, node, byteCompare(keyOf(node, off), off, len));
}

ThreadTreeNode* zttinsi(ThreadTreeNode** root, ThreadTreeNode* node, int off) {
  return tavl::insert<ThreadTraits>(root, node, intCompare(intKeyOf(node, off), off));
}

ThreadTreeNode* zttfindb(ThreadTreeNode* root, const void* key, int off, int len) {
  return tavl::find<ThreadTraits>(root, byteCompare(key, off, len));
}

ThreadTreeNode* zttfindi(ThreadTreeNode* root, const int32_t* key, int off) {
  return tavl::find<ThreadTraits>(root, intCompare(*key, off));
}

ThreadTreeNode* zttdeli(ThreadTreeNode** root, const int32_t* key, int off) {
  return tavl::remove<ThreadTraits>(root, intCompare(*key, off));
}

ThreadTreeNode* zttfirst(ThreadTreeNode* root) {
  if (!root) return nullptr;
  return tavl::extreme<ThreadTraits>(root, 0);
}

ThreadTreeNode* zttnext(ThreadTreeNode* node) {
  if (ThreadTraits::thread(node, 1)) return ThreadTraits::ptr(node, 1);
  return tavl::extreme<ThreadTraits>(ThreadTraits::ptr(node, 1), 0);
}

}  // namespace vsf
