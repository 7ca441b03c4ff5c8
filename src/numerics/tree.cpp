// The intrusive AVL tree that collects distinct keys (levels, level combinations, values),
// walked in order with an explicit stack so that nodes need no parent links.
#include <cstring>
#include <new>

#include "base/host.h"
#include "base/strings.h"
#include "numerics/numerics.h"

namespace vsf {

namespace {

constexpr int16_t kWalking = 17;  // root balance word while a walk is in progress
constexpr int kWalkDepth = 960;

// Key order of two nodes. Doubles go through zkeycmp so that missing values rank below every
// number and the order stays a strict weak order (a plain subtraction is unordered for NaNs).
int compareNodes(const void* a, const void* b, int n, int off, ZTreeCompare cmp) {
  if (cmp) return cmp(a, b, n, off);
  if (n < 0) return zkeycmp(a, b, -1, off);
  if (n == 0) return 0;
  return zkeycmp(a, b, n, off);
}

ZTreeNode*& child(ZTreeNode* p, int dir) { return dir < 0 ? p->left : p->right; }

void invalidCompare() { hostv().proc->diagText("ztrebld: invalid compare"); }

// Rebalances at a after an insertion made its d side two levels taller; returns the new top.
ZTreeNode* rotate(ZTreeNode* a, int d) {
  ZTreeNode* b = child(a, d);
  if (b->balance == d) {
    child(a, d) = child(b, -d);
    child(b, -d) = a;
    a->balance = 0;
    b->balance = 0;
    return b;
  }
  ZTreeNode* c = child(b, -d);
  child(b, -d) = child(c, d);
  child(c, d) = b;
  child(a, d) = child(c, -d);
  child(c, -d) = a;
  a->balance = c->balance == d ? static_cast<int16_t>(-d) : int16_t{0};
  b->balance = c->balance == -d ? static_cast<int16_t>(d) : int16_t{0};
  c->balance = 0;
  return c;
}

}  // namespace

// Inserts node (AVL with balance factors). Returns node, the equal node already in the tree,
// or null when the comparator contradicted itself (node is then linked already).
ZTreeNode* ztrebld(ZTreeNode** root, ZTreeNode* node, int n, int off, ZTreeCompare cmp) {
  if (!*root) {
    node->left = node->right = nullptr;
    node->balance = 0;
    *root = node;
    return node;
  }
  ZTreeNode* a = *root;  // deepest node on the path whose balance is not 0
  ZTreeNode* aParent = nullptr;
  ZTreeNode* p = *root;
  int c = 0;
  for (;;) {
    c = compareNodes(node, p, n, off, cmp);
    if (c == 0) return p;
    ZTreeNode* q = child(p, c < 0 ? -1 : 1);
    if (!q) break;
    if (q->balance != 0) {
      a = q;
      aParent = p;
    }
    p = q;
  }
  node->left = node->right = nullptr;
  node->balance = 0;
  child(p, c < 0 ? -1 : 1) = node;

  int ca = compareNodes(node, a, n, off, cmp);
  if (ca == 0) {
    invalidCompare();
    return nullptr;
  }
  int d = ca < 0 ? -1 : 1;
  for (ZTreeNode* s = child(a, d); s != node;) {
    int cs = compareNodes(node, s, n, off, cmp);
    if (cs == 0) {
      invalidCompare();
      return nullptr;
    }
    s->balance = cs < 0 ? -1 : 1;
    s = child(s, cs < 0 ? -1 : 1);
  }
  if (a->balance == 0) {
    a->balance = static_cast<int16_t>(d);
    return node;
  }
  if (a->balance == -d) {
    a->balance = 0;
    return node;
  }
  ZTreeNode* top = rotate(a, d);
  if (!aParent)
    *root = top;
  else if (aParent->left == a)
    aParent->left = top;
  else
    aParent->right = top;
  return node;
}

ZTreeNode* ztrefind(ZTreeNode** root, const void* keyNode, int n, int off, ZTreeCompare cmp) {
  ZTreeNode* p = root ? *root : nullptr;
  while (p) {
    int c = compareNodes(keyNode, p, n, off, cmp);
    if (c == 0) return p;
    p = c < 0 ? p->left : p->right;
  }
  return nullptr;
}

namespace {

// Owned by the root while a walk is in progress; the root's left word points at it. The
// block itself stands for the root on the stack.
struct WalkBlock {
  ZTreeNode* savedLeft;
  ZTreeNode* savedRight;
  int16_t savedBalance;
  int top;  // index of the top entry; 0 is the empty base
  void* stack[kWalkDepth + 1];
};

void endWalk(ZTreeNode* root, WalkBlock* w) {
  root->left = w->savedLeft;
  root->balance = w->savedBalance;
  delete w;
}

// Pushes p and every left child below it; false on overflow.
bool pushLeftSpine(WalkBlock* w, ZTreeNode* p) {
  for (; p; p = p->left) {
    if (w->top >= kWalkDepth) {
      hostv().proc->diagText("ZTREORD: overflow stack");
      w->top = 0;
      return false;
    }
    w->stack[++w->top] = p;
  }
  return true;
}

}  // namespace

ZTreeNode* ZTREORD(ZTreeNode* root) {
  if (!root) return nullptr;
  WalkBlock* w;
  if (root->balance != kWalking) {
    w = new (std::nothrow) WalkBlock;
    if (!w) return nullptr;
    w->savedLeft = root->left;
    w->savedRight = root->right;
    w->savedBalance = root->balance;
    w->top = 0;
    w->stack[0] = nullptr;
    root->balance = kWalking;
    root->left = reinterpret_cast<ZTreeNode*>(w);
    w->stack[++w->top] = w;
    pushLeftSpine(w, w->savedLeft);
  } else {
    w = reinterpret_cast<WalkBlock*>(root->left);
    void* last = w->stack[w->top--];
    ZTreeNode* right = last == w ? w->savedRight : static_cast<ZTreeNode*>(last)->right;
    pushLeftSpine(w, right);
  }
  if (w->top == 0) {
    endWalk(root, w);
    return nullptr;
  }
  void* next = w->stack[w->top];
  return next == w ? root : static_cast<ZTreeNode*>(next);
}

void ztreend(ZTreeNode* root) {
  if (!root || root->balance != kWalking) return;
  endWalk(root, reinterpret_cast<WalkBlock*>(root->left));
}

}  // namespace vsf

namespace vsf {

int zidxcmp(const void* a, const void* b, int keyBytes, int keyOffset) {
  const unsigned n = static_cast<unsigned>(keyBytes) / 4;
  const char* pa = static_cast<const char*>(a) + keyOffset;
  const char* pb = static_cast<const char*>(b) + keyOffset;
  for (unsigned i = 0; i < n; ++i) {
    int32_t x, y;
    std::memcpy(&x, pa + 4 * i, 4);
    std::memcpy(&y, pb + 4 * i, 4);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

}  // namespace vsf
