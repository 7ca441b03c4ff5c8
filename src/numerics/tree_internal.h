// Threaded AVL insertion, search and deletion shared by ThreadTree and IntVectorTree. The two
// trees differ only in how a link word carries its thread mark and the balance; a traits
// class hides that. Directions are 0 (left) and 1 (right); balances -1, 0, +1.
#pragma once

#include <cstdint>

namespace vsf::tavl {

// Traits T: using Node; static Node* ptr(Node*, int dir); static bool thread(Node*, int dir);
// static void setChild(Node*, int dir, Node*); static void setThread(Node*, int dir, Node*);
// static int bal(Node*); static void setBal(Node*, int).
// Cmp: int operator()(Node*) comparing the sought key with the node's key.

// Far above the AVL height bound for any tree that fits in memory.
constexpr int kMaxPath = 128;

inline int sideSign(int dir) { return dir == 0 ? -1 : 1; }

template <class T>
typename T::Node* extreme(typename T::Node* p, int dir) {
  while (!T::thread(p, dir)) p = T::ptr(p, dir);
  return p;
}

template <class T>
void replaceChild(typename T::Node** root, typename T::Node* parent, int dir,
                  typename T::Node* top) {
  if (parent)
    T::setChild(parent, dir, top);
  else
    *root = top;
}

// Copies x's link on side d into y's side d, turning an empty link into a thread to x.
template <class T>
void moveInner(typename T::Node* y, int d, typename T::Node* x, int xd) {
  if (T::thread(x, xd))
    T::setThread(y, d, x);
  else
    T::setChild(y, d, T::ptr(x, xd));
}

// y's side d grew two levels taller than the other: rotate; returns the new top and tells
// whether the subtree's height is unchanged from before the imbalance (deletion only).
template <class T>
typename T::Node* rotate(typename T::Node* y, int d, bool* heightKept) {
  using Node = typename T::Node;
  int od = 1 - d, g = sideSign(d);
  Node* x = T::ptr(y, d);
  *heightKept = false;
  if (T::bal(x) == -g) {  // double rotation through w
    Node* w = T::ptr(x, od);
    int wb = T::bal(w);
    bool wInnerThread = T::thread(w, d), wOuterThread = T::thread(w, od);
    if (wInnerThread)
      T::setThread(x, od, w);
    else
      T::setChild(x, od, T::ptr(w, d));
    if (wOuterThread)
      T::setThread(y, d, w);
    else
      T::setChild(y, d, T::ptr(w, od));
    T::setChild(w, d, x);
    T::setChild(w, od, y);
    T::setBal(y, wb == g ? -g : 0);
    T::setBal(x, wb == -g ? g : 0);
    T::setBal(w, 0);
    return w;
  }
  moveInner<T>(y, d, x, od);
  T::setChild(x, od, y);
  if (T::bal(x) == 0) {  // only after a deletion
    T::setBal(x, -g);
    T::setBal(y, g);
    *heightKept = true;
  } else {
    T::setBal(x, 0);
    T::setBal(y, 0);
  }
  return x;
}

template <class T, class Cmp>
typename T::Node* find(typename T::Node* root, Cmp cmp) {
  for (typename T::Node* p = root; p;) {
    int c = cmp(p);
    if (c == 0) return p;
    int dir = c < 0 ? 0 : 1;
    if (T::thread(p, dir)) return nullptr;
    p = T::ptr(p, dir);
  }
  return nullptr;
}

// Inserts n: n, or the node with an equal key (n then untouched).
template <class T, class Cmp>
typename T::Node* insert(typename T::Node** root, typename T::Node* n, Cmp cmp) {
  using Node = typename T::Node;
  if (!*root) {
    T::setThread(n, 0, nullptr);
    T::setThread(n, 1, nullptr);
    T::setBal(n, 0);
    *root = n;
    return n;
  }
  Node* y = *root;  // deepest node on the path that is not balanced
  Node* yParent = nullptr;
  int yDir = 0;
  int da[kMaxPath];
  int k = 0;
  Node* parent = nullptr;
  int parentDir = 0;
  Node* p = *root;
  int dir;
  for (;;) {
    int c = cmp(p);
    if (c == 0) return p;
    if (T::bal(p) != 0) {
      y = p;
      yParent = parent;
      yDir = parentDir;
      k = 0;
    }
    dir = c < 0 ? 0 : 1;
    da[k++] = dir;
    if (T::thread(p, dir)) break;
    parent = p;
    parentDir = dir;
    p = T::ptr(p, dir);
  }
  // The new leaf inherits p's thread on its side and threads back to p on the other.
  T::setThread(n, dir, T::ptr(p, dir));
  T::setThread(n, 1 - dir, p);
  T::setBal(n, 0);
  T::setChild(p, dir, n);

  Node* s = T::ptr(y, da[0]);
  for (int i = 1; s != n; ++i) {
    T::setBal(s, sideSign(da[i]));
    s = T::ptr(s, da[i]);
  }
  int g = sideSign(da[0]);
  if (T::bal(y) == 0)
    T::setBal(y, g);
  else if (T::bal(y) == -g)
    T::setBal(y, 0);
  else {
    bool kept;
    replaceChild<T>(root, yParent, yDir, rotate<T>(y, da[0], &kept));
  }
  return n;
}

// Removes the node with the key: the node, or null when absent.
template <class T, class Cmp>
typename T::Node* remove(typename T::Node** root, Cmp cmp) {
  using Node = typename T::Node;
  Node* pa[kMaxPath];
  int da[kMaxPath];
  int k = 0;
  Node* p = *root;
  for (;;) {
    if (!p) return nullptr;
    int c = cmp(p);
    if (c == 0) break;
    int dir = c < 0 ? 0 : 1;
    if (T::thread(p, dir)) return nullptr;
    pa[k] = p;
    da[k++] = dir;
    p = T::ptr(p, dir);
  }
  Node* parent = k > 0 ? pa[k - 1] : nullptr;
  int pdir = k > 0 ? da[k - 1] : 0;
  bool hasL = !T::thread(p, 0), hasR = !T::thread(p, 1);
  if (!hasL && !hasR) {
    // A leaf: its parent's link becomes the leaf's thread on that side.
    if (parent)
      T::setThread(parent, pdir, T::ptr(p, pdir));
    else
      *root = nullptr;
  } else if (!hasL || !hasR) {
    int s = hasL ? 0 : 1;
    Node* c = T::ptr(p, s);
    // The neighbour inside the child's subtree threaded to p; it now threads past p.
    T::setThread(extreme<T>(c, 1 - s), 1 - s, T::ptr(p, 1 - s));
    replaceChild<T>(root, parent, pdir, c);
  } else {
    // Two children: the predecessor replaces p unless p leans right, then the successor.
    int s = T::bal(p) <= 0 ? 0 : 1, o = 1 - s;
    int slot = k;  // the replacement takes p's place on the path
    pa[k] = nullptr;
    da[k++] = s;
    Node* rp = nullptr;
    Node* r = T::ptr(p, s);
    while (!T::thread(r, o)) {
      pa[k] = r;
      da[k++] = o;
      rp = r;
      r = T::ptr(r, o);
    }
    if (rp) {
      moveInner<T>(rp, o, r, s);
      T::setChild(r, s, T::ptr(p, s));
    }
    // p's neighbour on the far side of the other subtree threaded to p; now to r.
    Node* pOther = T::ptr(p, o);
    T::setThread(extreme<T>(pOther, s), s, r);
    T::setChild(r, o, pOther);
    T::setBal(r, T::bal(p));
    replaceChild<T>(root, parent, pdir, r);
    pa[slot] = r;
  }
  // Walk back up: each step the side da[k] of pa[k] became one level lower.
  while (k > 0) {
    --k;
    Node* y = pa[k];
    int d = da[k], g = -sideSign(d);  // the balance moves towards the other side
    if (T::bal(y) == 0) {
      T::setBal(y, g);
      break;
    }
    if (T::bal(y) == -g) {
      T::setBal(y, 0);
      continue;
    }
    bool kept;
    Node* top = rotate<T>(y, 1 - d, &kept);
    replaceChild<T>(root, k > 0 ? pa[k - 1] : nullptr, k > 0 ? da[k - 1] : 0, top);
    if (kept) break;
  }
  return p;
}

}  // namespace vsf::tavl
