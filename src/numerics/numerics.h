// Numerics library: distributions, random numbers, packed-matrix kernels, trees and sorts.
#pragma once

#include <cstdint>
#include <shared_mutex>

namespace vsf {}

namespace vsf {

// Settles the procedure seed (mode 1) or records the generator's end state in SYSRANEND
// (mode 2); 0 or a negative code.
int zsysrand(int* seed, int mode);

}  // namespace vsf

// ---- Balanced trees and Shell sorts ----

namespace vsf {

// Intrusive AVL tree: every node starts with this header; the key lies inside the node at an
// offset the caller names. The tree is a caller-held root pointer.
struct ZTreeNode {
  ZTreeNode* left = nullptr;
  ZTreeNode* right = nullptr;
  int16_t balance = 0;  // -1 left taller, 0, +1 right taller; 17 in a root being walked
};

// Key comparator: negative, 0 or positive as a's key sorts before, with or after b's.
using ZTreeCompare = int (*)(const void* a, const void* b, int n, int off);

// Inserts node: node, the node already holding an equal key (node is then not linked), or
// null after an inconsistent comparison. Without a comparator n > 0 compares n bytes at off,
// n < 0 the doubles at off (special values below every number).
ZTreeNode* ztrebld(ZTreeNode** root, ZTreeNode* node, int n, int off, ZTreeCompare cmp);
ZTreeNode* ztrefind(ZTreeNode** root, const void* keyNode, int n, int off, ZTreeCompare cmp);
// In-order walk, one node per call; null ends the walk. The tree must not change meanwhile.
ZTreeNode* ZTREORD(ZTreeNode* root);
// Ends a walk early.
void ztreend(ZTreeNode* root);

// Threaded AVL tree: a link with bit 0 set is a thread to the in-order neighbour.
struct ThreadTreeNode {
  uintptr_t left = 0;
  uintptr_t right = 0;
  int16_t balance = 0;
};

ThreadTreeNode* zttinsb(ThreadTreeNode** root, ThreadTreeNode* node, int off, int len);
ThreadTreeNode* zttinsi(ThreadTreeNode** root, ThreadTreeNode* node, int off);
ThreadTreeNode* zttfindb(ThreadTreeNode* root, const void* key, int off, int len);
ThreadTreeNode* zttfindi(ThreadTreeNode* root, const int32_t* key, int off);
ThreadTreeNode* zttdeli(ThreadTreeNode** root, const int32_t* key, int off);
ThreadTreeNode* zttfirst(ThreadTreeNode* root);
ThreadTreeNode* zttnext(ThreadTreeNode* node);

// The model-averaging tree of distinct models, keyed by a vector of ints. Links carry a
// thread mark in bit 1 and "this side is taller" in bit 0.
struct IntVectorKey {
  int32_t count = 0;
  const int32_t* values = nullptr;
};
struct IntVectorNode {
  uintptr_t left = 0;
  uintptr_t right = 0;
};
struct IntVectorTree {
  IntVectorNode* root = nullptr;
  int32_t keyOffset = 0;  // where the IntVectorKey lies inside each node
  std::shared_mutex lock;
};

IntVectorNode* ivtInsert(IntVectorTree* tree, IntVectorNode* node);
IntVectorNode* ivtFind(IntVectorTree* tree, const IntVectorKey* key);
IntVectorNode* ivtFindNeighbours(IntVectorTree* tree, const IntVectorKey* key,
                                 IntVectorNode** predecessor, IntVectorNode** successor);
IntVectorNode* ivtDelete(IntVectorTree* tree, const IntVectorKey* key);

// The operations of an IntVectorTree, plain and under its lock (finds shared, changes
// exclusive).
struct TreeOps {
  IntVectorNode* (*insert)(IntVectorTree*, IntVectorNode*);
  IntVectorNode* (*find)(IntVectorTree*, const IntVectorKey*);
  IntVectorNode* (*findNeighbours)(IntVectorTree*, const IntVectorKey*, IntVectorNode**,
                                   IntVectorNode**);
  IntVectorNode* (*remove)(IntVectorTree*, const IntVectorKey*);
  IntVectorNode* (*lockedInsert)(IntVectorTree*, IntVectorNode*);
  IntVectorNode* (*lockedFind)(IntVectorTree*, const IntVectorKey*);
  IntVectorNode* (*lockedFindNeighbours)(IntVectorTree*, const IntVectorKey*, IntVectorNode**,
                                         IntVectorNode**);
  IntVectorNode* (*lockedRemove)(IntVectorTree*, const IntVectorKey*);
};
extern const TreeOps kIntVectorTreeOps;

// Shell sorts with power-of-two gaps; with an index array only the index entries move.
// ascending = 1 sorts up, any other value down; equal entries are never exchanged.
void shellSortDoubles(double* values, uint32_t n, uint32_t* index, int8_t ascending);
void shellSortInts(int32_t* values, uint32_t n, uint32_t* index, int8_t ascending);

}  // namespace vsf
