// Effect records, the canonical order of their ids, the bar expansion and the effect chain
// with its duplicate search.
#include <cstring>
#include <new>

#include "base/codes.h"
#include "base/host.h"
#include "effects/efflib_internal.h"
#include "numerics/numerics.h"

namespace vsf {

namespace {

// Canonical order: negative ids first as -2, -3, -4, ..., then non-negative ids ascending.
bool idBefore(int32_t a, int32_t b) {
  if ((a < 0) != (b < 0)) return a < 0;
  return a < 0 ? a > b : a < b;
}

IdList& listFor(EffectRec* e, int list) {
  switch (list) {
    case idlist::kCont:
    case idlist::kNewName:
      return e->cont;
    case idlist::kCross:
    case idlist::kEffectName:
      return e->cross;
    default:
      return e->nest;
  }
}

void copyList(IdList* to, const IdList& from) {
  to->count = from.count;
  to->capacity = from.count;
  to->ids = nullptr;
  if (from.count > 0) {
    to->ids = static_cast<int32_t*>(effAlloc(sizeof(int32_t) * static_cast<size_t>(from.count)));
    std::memcpy(to->ids, from.ids, sizeof(int32_t) * static_cast<size_t>(from.count));
  }
}

int compareLists(const IdList& a, const IdList& b) {
  if (a.count != b.count) return a.count < b.count ? -1 : 1;
  for (int32_t i = 0; i < a.count; ++i)
    if (a.ids[i] != b.ids[i]) return a.ids[i] < b.ids[i] ? -1 : 1;
  return 0;
}

int32_t nameBufferSize() {
  ZEffLib* lib = effLib();
  int32_t limit = lib ? lib->nameLimit : 20;
  return limit + 1 > 25 ? limit + 1 : 25;
}

void traceLine(const std::string& text) { hostv().proc->logPrintf(text); }

void traceList(const char* title, const IdList& l) {
  if (l.count == 0) return;
  std::string line = title;
  for (int32_t i = 0; i < l.count; ++i) line += " " + std::to_string(l.ids[i]);
  traceLine(line);
}

// Nodes of the fast-search trees live in the library's two heaps.
struct ChainNode {
  ZTreeNode h;
  EffectRec* effect;
};
struct RefNode {
  ThreadTreeNode h;
  EffectRec* effect;
};
struct VarNode {
  ThreadTreeNode h;
  int32_t number;
  int32_t position;
};

int chainCompare(const void* a, const void* b, int, int off) {
  EffectRec* x;
  EffectRec* y;
  std::memcpy(&x, static_cast<const char*>(a) + off, sizeof x);
  std::memcpy(&y, static_cast<const char*>(b) + off, sizeof y);
  return zeffcompare(x, y);
}

void* heapAlloc(HostPool* heap, size_t bytes) {
  void* p = kernel().poolAlloc(heap, bytes, kAllocZero);
  if (!p) {
    hostMsg(848, 140);
    hostEndStep(step::kInternal);
  }
  return p;
}

}  // namespace

EffectRec* zeffnew() {
  EffectRec* e = new (effAlloc(sizeof(EffectRec))) EffectRec();
  e->name = static_cast<char*>(effAlloc(static_cast<size_t>(nameBufferSize())));
  return e;
}

void zeffrecfree(EffectRec* e) {
  if (!e) return;
  for (IdList* l : {&e->cont, &e->cross, &e->nest, &e->nestValueVars, &e->nestValues})
    if (l->capacity) effFree(l->ids);
  effFree(e->name);
  effFree(e);
}

EffectRec* zeffcopy(const EffectRec* from) {
  EffectRec* e = zeffnew();
  copyList(&e->cont, from->cont);
  copyList(&e->cross, from->cross);
  copyList(&e->nest, from->nest);
  e->kind = from->kind;
  return e;
}

// Inserts one id in canonical order. A repeated id stays twice among the continuous ids and
// the EFFECT names (x*x is quadratic), but once among CLASS ids (A*A is A).
void zeffaddvar(int32_t id, EffectRec* e, int list) {
  IdList& l = listFor(e, list);
  int32_t at = 0;
  while (at < l.count && idBefore(l.ids[at], id)) ++at;
  bool keepTwice = list == idlist::kCont || list == idlist::kNewName ||
                   list == idlist::kEffectName || id <= kConstructedIdBase;
  if (at < l.count && l.ids[at] == id && !keepTwice) return;
  if (l.count == l.capacity) {
    int32_t capacity = l.capacity == 0 ? 10 : 2 * l.capacity;
    auto* ids = static_cast<int32_t*>(effAlloc(sizeof(int32_t) * static_cast<size_t>(capacity)));
    if (l.count) std::memcpy(ids, l.ids, sizeof(int32_t) * static_cast<size_t>(l.count));
    if (l.capacity) effFree(l.ids);
    l.ids = ids;
    l.capacity = capacity;
  }
  std::memmove(l.ids + at + 1, l.ids + at, sizeof(int32_t) * static_cast<size_t>(l.count - at));
  l.ids[at] = id;
  ++l.count;
}

int zeffcompare(const EffectRec* a, const EffectRec* b) {
  if (int c = compareLists(a->cont, b->cont)) return c;
  if (int c = compareLists(a->cross, b->cross)) return c;
  if (int c = compareLists(a->nest, b->nest)) return c;
  return a->kind < b->kind ? -1 : (a->kind > b->kind ? 1 : 0);
}

int32_t zeffvarcount(const EffectRec* e) { return e->cont.count + e->cross.count + e->nest.count; }

void traceEffect(const EffectRec* e) {
  traceLine(std::string("Effect ") + (e->name ? e->name : ""));
  traceList(" Cont  vars:", e->cont);
  traceList(" Cross vars:", e->cross);
  traceList(" Nest  vars:", e->nest);
}

// ---- Fast search ----

void resetFastSearch(ZEffLib* lib, bool on) {
  for (HostPool*& h : lib->heaps) {
    if (h) hostv().proc->heapFree(h);
    h = nullptr;
  }
  lib->refTree = nullptr;
  lib->chainTree = nullptr;
  lib->modelVarTree = nullptr;
  lib->classTree = nullptr;
  lib->listTreesBuilt = false;
  lib->fastSearch = on ? 1 : 0;
  if (!on) return;
  for (HostPool*& h : lib->heaps) {
    h = hostv().proc->heapNew(0, 1024, 6);
    if (!h) {
      hostMsg(848, 142);
      hostEndStep(step::kMemory);
    }
  }
  // A chain that already holds effects stays searchable.
  for (EffectRec* e = lib->chainHead; e; e = e->link) {
    auto* n = static_cast<ChainNode*>(heapAlloc(lib->heaps[1], sizeof(ChainNode)));
    n->effect = e;
    ztrebld(&lib->chainTree, &n->h, 0, offsetof(ChainNode, effect), chainCompare);
  }
}

namespace {

void buildListTree(ZEffLib* lib, ThreadTreeNode** root, const std::vector<int>& vars) {
  for (size_t i = 0; i < vars.size(); ++i) {
    auto* n = static_cast<VarNode*>(heapAlloc(lib->heaps[0], sizeof(VarNode)));
    n->number = vars[i];
    n->position = static_cast<int32_t>(i);
    zttinsi(root, &n->h, offsetof(VarNode, number));
  }
}

int32_t findInList(ZEffLib* lib, ThreadTreeNode* root, const std::vector<int>& vars, int number) {
  if (lib->fastSearch) {
    int32_t key = number;
    auto* n = reinterpret_cast<VarNode*>(zttfindi(root, &key, offsetof(VarNode, number)));
    return n ? n->position : rc::kNotFound;
  }
  for (size_t i = 0; i < vars.size(); ++i)
    if (vars[i] == number) return static_cast<int32_t>(i);
  return rc::kNotFound;
}

}  // namespace

// Position of a variable number in the model-variable list (1) or the CLASS list (2).
int32_t listPosition(ZEffLib* lib, int list, int number) {
  if (lib->fastSearch && !lib->listTreesBuilt) {
    buildListTree(lib, &lib->modelVarTree, modelVarList());
    buildListTree(lib, &lib->classTree, classVarList());
    lib->listTreesBuilt = true;
  }
  return list == 1 ? findInList(lib, lib->modelVarTree, modelVarList(), number)
                   : findInList(lib, lib->classTree, classVarList(), number);
}

// The host appends the variable (its name and number) to the procedure statement's list, as
// it builds any list of the statement.
int32_t appendModelVar(ZEffLib* lib, int number) {
  VarDescriptor d;
  HostDataSet* ds = analysisDataSet();
  if (!ds || hostv().ds->varByNumber(ds, number, &d) != 0) d.name.clear();
  int rc = hostv().parse->appendListName(procRecord(), 1, d.name, number);
  if (rc != 0) hostEndStep(rc == -1 ? step::kEffect : step::kMemory);
  std::vector<int>& vars = modelVarList();
  int32_t position = static_cast<int32_t>(vars.size()) - 1;
  if (lib->fastSearch && lib->listTreesBuilt) {
    auto* n = static_cast<VarNode*>(heapAlloc(lib->heaps[0], sizeof(VarNode)));
    n->number = number;
    n->position = position;
    zttinsi(&lib->modelVarTree, &n->h, offsetof(VarNode, number));
  }
  return position;
}

namespace {

// Cuts a chunked name list back to its first count names.
void trimNames(OptionSlot* slot, int32_t count) {
  NameChunkList** link = &slot->names;
  int32_t first = 0;
  while (*link) {
    NameChunkList* chunk = *link;
    if (first >= count) {
      *link = nullptr;  // the chunks from here on hold only names beyond the count
      break;
    }
    if (chunk->lastIndex >= count) {
      chunk->names.resize(static_cast<size_t>(count - first));
      chunk->lastIndex = count - 1;
      chunk->next = nullptr;
      break;
    }
    first = chunk->lastIndex + 1;
    link = &chunk->next;
  }
  slot->count = count;
}

}  // namespace

void truncateModelVars(ZEffLib* lib, int32_t count) {
  std::vector<int>& vars = modelVarList();
  if (static_cast<int32_t>(vars.size()) <= count) return;
  vars.resize(static_cast<size_t>(count));
  trimNames(&procRecord()->slots[1], count);
  // Positions beyond the list would remain in the trees: build them again on next use.
  lib->modelVarTree = lib->classTree = nullptr;
  lib->listTreesBuilt = false;
}

// ---- The chain ----

int ADDEFF(ZEffLib* lib, EffectRec* e) {
  if (lib->handled >= 2147483647.0) {
    hostMsg(174, 21, {2147483647});
    hostEndStep(step::kInternal);
  }
  lib->handled += 1.0;
  if (lib->trace) {
    traceLine(
        fmt::format("\nADDEFF: Current effect ptr = *efa    = {:>12}", static_cast<void*>(e)));
    traceLine(fmt::format("ADDEFF: Head ptr           = *efhead = {:>12}",
                          static_cast<void*>(lib->chainHead)));
    traceLine(fmt::format("ADDEFF: Tail ptr           = *eftail = {:>12}",
                          static_cast<void*>(lib->chainTail)));
    traceLine("ADDEFF: Search the effect chain:");
  }
  EffectRec* found = nullptr;
  if (lib->fastSearch) {
    auto* n = static_cast<ChainNode*>(heapAlloc(lib->heaps[1], sizeof(ChainNode)));
    n->effect = e;
    ZTreeNode* got = ztrebld(&lib->chainTree, &n->h, 0, offsetof(ChainNode, effect), chainCompare);
    if (got && got != &n->h) {
      found = reinterpret_cast<ChainNode*>(got)->effect;
      kernel().poolFree(lib->heaps[1], n);
    }
  } else {
    for (EffectRec* c = lib->chainHead; c && !found; c = c->link)
      if (zeffcompare(c, e) == 0) found = c;
  }
  if (found) {
    if (lib->trace) {
      traceLine("Duplicate");
      traceEffect(found);
    }
    lib->current = found;
    return 0;
  }
  if (lib->trace) traceLine("    New effect -- add it to the effect chain");
  e->link = nullptr;
  *lib->chainTail = e;
  lib->chainTail = &e->link;
  lib->current = e;
  return 1;
}

// Appends the effect to the statement's effect list once.
void zeffref(ZEffLib* lib, StatementRecord* statement, int slot, EffectRec* e) {
  if (!statement) return;
  if (statement->slots.size() <= static_cast<size_t>(slot))
    statement->slots.resize(static_cast<size_t>(slot) + 1);
  OptionSlot& s = statement->slots[static_cast<size_t>(slot)];
  if (lib->fastSearch) {
    auto* n = static_cast<RefNode*>(heapAlloc(lib->heaps[0], sizeof(RefNode)));
    n->effect = e;
    if (zttinsb(&lib->refTree, &n->h, offsetof(RefNode, effect), sizeof(EffectRec*)) != &n->h) {
      kernel().poolFree(lib->heaps[0], n);
      return;
    }
  } else {
    for (void* r : s.refs)
      if (r == e) return;
  }
  if (s.refs.size() >= 2147483647u) {
    hostMsg(174, 21, {2147483647});
    hostEndStep(step::kInternal);
  }
  if (s.refs.capacity() == s.refs.size()) s.refs.reserve(s.refs.empty() ? 10 : 2 * s.refs.size());
  s.refs.push_back(e);
  s.given = 1;
  s.count = static_cast<int32_t>(s.refs.size());
}

namespace {

struct LocalList {
  EffectRec* head = nullptr;
  EffectRec* tail = nullptr;
};

// Inserts into the local list of a bar expansion: 1 added, 0 an equal one is there,
// 2 more variables than the depth allows. The caller keeps or frees the record.
int zeffaddbar(ZEffLib* lib, LocalList* l, EffectRec* e) {
  if (lib->depth > 0 && zeffvarcount(e) > lib->depth) return 2;
  for (EffectRec* c = l->head; c; c = c->link)
    if (zeffcompare(c, e) == 0) return 0;
  e->link = nullptr;
  if (l->tail)
    l->tail->link = e;
  else
    l->head = e;
  l->tail = e;
  return 1;
}

bool crossesItsNesting(const EffectRec* e) {
  for (int32_t i = 0; i < e->cross.count; ++i)
    for (int32_t j = 0; j < e->nest.count; ++j)
      if (e->cross.ids[i] == e->nest.ids[j]) return true;
  return false;
}

EffectRec* cross(const EffectRec* e, const EffectRec* t) {
  EffectRec* c = zeffcopy(e);
  for (int32_t i = 0; i < t->cont.count; ++i) zeffaddvar(t->cont.ids[i], c, idlist::kCont);
  for (int32_t i = 0; i < t->cross.count; ++i) zeffaddvar(t->cross.ids[i], c, idlist::kCross);
  for (int32_t i = 0; i < t->nest.count; ++i) zeffaddvar(t->nest.ids[i], c, idlist::kNest);
  return c;
}

EffectRec* popBar(ZEffLib* lib) {
  EffectRec* e = lib->barHead;
  if (!e) return nullptr;
  lib->barHead = e->link;
  if (!lib->barHead) lib->barTail = &lib->barHead;
  e->link = nullptr;
  return e;
}

}  // namespace

// T1 | T2 | ... | Tn: every term, then each term crossed with everything before it, in the
// order A, B, A*B, C, A*C, B*C, A*B*C; then the chain takes them in that order.
int AddBarEffects(ZEffLib* lib) {
  EffectRec* t = popBar(lib);
  if (!t) {
    hostv().proc->diagText("AddBarEffects: barhead is null");
    return 0;
  }
  LocalList l;
  if (zeffaddbar(lib, &l, t) != 1) zeffrecfree(t);
  while ((t = popBar(lib)) != nullptr) {
    EffectRec* lastBefore = l.tail;
    bool added = zeffaddbar(lib, &l, t) == 1;
    for (EffectRec* e = lastBefore ? l.head : nullptr; e; e = e->link) {
      EffectRec* c = cross(e, t);
      if (crossesItsNesting(c)) {
        if (lib->trace) {
          traceLine("CrossEffects: discarded effect");
          traceEffect(c);
        }
        zeffrecfree(c);
      } else if (zeffaddbar(lib, &l, c) != 1) {
        zeffrecfree(c);
      }
      if (e == lastBefore) break;
    }
    if (!added) zeffrecfree(t);
  }
  StatementRecord* statement = hostv().parse->currentStatement();
  for (EffectRec* e = l.head; e;) {
    EffectRec* next = e->link;
    int r = ADDEFF(lib, e);
    if (r < 0) return rc::kFailed;
    if (r == 1) zeffname(lib, e);
    zeffref(lib, statement, 1, lib->current);
    if (r == 0) zeffrecfree(e);
    e = next;
  }
  return 0;
}

}  // namespace vsf
