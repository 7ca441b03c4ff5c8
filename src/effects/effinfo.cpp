// The step's model description: the CLASS and model-variable lists, the design variables of
// the EFFECT statements and one ZEffect per model effect, the intercept first.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>

#include "base/host.h"
#include "base/strings.h"
#include "effects/effinfo_internal.h"
#include "effects/efflib_internal.h"

namespace vsf {

namespace {

template <typename T>
T* allocArray(size_t n) {
  T* p = static_cast<T*>(effAlloc(sizeof(T) * (n == 0 ? 1 : n)));
  for (size_t i = 0; i < n; ++i) new (p + i) T();
  return p;
}

int32_t* copyIds(const int32_t* ids, int32_t n) {
  if (n <= 0) return nullptr;
  auto* p = static_cast<int32_t*>(effAlloc(sizeof(int32_t) * static_cast<size_t>(n)));
  std::memcpy(p, ids, sizeof(int32_t) * static_cast<size_t>(n));
  return p;
}

int32_t ownWidth(const VarDescriptor* d) {
  if (!d) return 12;
  if (d->formatWidth > 0) return d->formatWidth;
  return d->type == kVarCharacter ? d->length : 12;
}

void readModelVars(ZDesign* d, HostDataSet* ds, const std::vector<int>& slot) {
  int32_t extra = d->extension ? d->extension->modelVarCount : 0;
  d->modelVarCount = static_cast<int32_t>(slot.size()) + extra;
  d->modelVars = allocArray<LevelVar>(static_cast<size_t>(d->modelVarCount));
  for (size_t i = 0; i < slot.size(); ++i) d->modelVars[i].desc = effDescriptor(ds, slot[i]);
  for (int32_t i = 0; i < extra; ++i)
    d->extension->fill(d->extension->modelContext, 1, i, &d->modelVars[slot.size() + i]);
}

void readClassVars(ZDesign* d, HostDataSet* ds, const std::vector<int>& slot) {
  int32_t extra = d->extension ? d->extension->classCount : 0;
  d->classCount = static_cast<int32_t>(slot.size()) + extra;
  d->classVars = allocArray<LevelVar>(static_cast<size_t>(d->classCount));
  d->largestWidth = d->totalWidth = 0;
  for (int32_t i = 0; i < d->classCount; ++i) {
    LevelVar* v = &d->classVars[i];
    if (static_cast<size_t>(i) < slot.size())
      v->desc = effDescriptor(ds, slot[static_cast<size_t>(i)]);
    else
      d->extension->fill(d->extension->classContext, 2, i - static_cast<int32_t>(slot.size()), v);
    initClassVar(d, v);
  }
}

// The effects referenced by the statement's effect list, in order.
std::vector<EffectRec*> chainOf(StatementRecord* statement, int slot) {
  std::vector<EffectRec*> chain;
  const OptionSlot* s = statement ? statement->slot(slot) : nullptr;
  if (s)
    for (void* r : s->refs) chain.push_back(static_cast<EffectRec*>(r));
  return chain;
}

// The EFFECT statement index of each constructed id of an effect, in id order.
std::vector<int32_t> constructedStatements(const EffectRec* e) {
  std::vector<int32_t> out;
  for (int32_t i = 0; i < e->cross.count; ++i)
    if (e->cross.ids[i] <= kConstructedIdBase) out.push_back(kConstructedIdBase - e->cross.ids[i]);
  return out;
}

// New-name ids (-2 to -9999999) become model-variable indexes after the slot's own ones.
void mapNewNames(int32_t* ids, int32_t n, int32_t slotCount) {
  for (int32_t i = 0; i < n; ++i)
    if (ids[i] <= -2 && ids[i] > kConstructedIdBase) ids[i] = slotCount + (-ids[i] - 2);
}

// Copies one chain effect's members into z; constructed ids leave the crossed list.
void fillEffect(ZDesign* d, ZEffect* z, const EffectRec* e, int32_t slotCount) {
  z->owner = d;
  z->source = const_cast<EffectRec*>(e);
  z->chainName = effStrdup(std::string_view(e->name, static_cast<size_t>(e->nameLength)));
  if (zcolcmp(z->chainName, e->nameLength, "Intercept", 9) == 0)
    z->chainName = effStrdup("Intercept");
  z->name = z->chainName;
  z->contCount = e->cont.count;
  z->cont = copyIds(e->cont.ids, e->cont.count);
  std::vector<int32_t> cross, constructed;
  for (int32_t i = 0; i < e->cross.count; ++i) {
    int32_t id = e->cross.ids[i];
    if (id <= kConstructedIdBase)
      constructed.push_back(d->lookup[kConstructedIdBase - id].first);
    else
      cross.push_back(id);
  }
  if (d->extension && d->extension->modelVarCount > 0) {
    mapNewNames(z->cont, z->contCount, slotCount);
    mapNewNames(cross.data(), static_cast<int32_t>(cross.size()), slotCount);
  }
  z->crossCount = static_cast<int32_t>(cross.size());
  z->nestCount = e->nest.count;
  z->keyCount = z->crossCount + z->nestCount;
  if (z->keyCount > 0) {
    // The block holds the key, then one multiplier per key variable.
    z->key =
        static_cast<int32_t*>(effAlloc(sizeof(int32_t) * 2 * static_cast<size_t>(z->keyCount)));
    if (!cross.empty()) std::memcpy(z->key, cross.data(), sizeof(int32_t) * cross.size());
    if (z->nestCount)
      std::memcpy(z->key + z->crossCount, e->nest.ids,
                  sizeof(int32_t) * static_cast<size_t>(z->nestCount));
    z->cross = z->key;
    z->nest = z->key + z->crossCount;
    z->multipliers = z->key + z->keyCount;
  }
  z->constructedCount = static_cast<int32_t>(constructed.size());
  z->constructed = copyIds(constructed.data(), z->constructedCount);
  if (z->constructedCount) z->designVars = &d->designVarTable;
}

// A design variable's name in an effect's name. Qualified, a polynomial term takes its EFFECT's
// name in front, as INCLUDENAME writes it; the other kinds' names hold it already.
std::string memberName(const ZDesignVar& v, bool qualified) {
  std::string name(v.name ? v.name : "", static_cast<size_t>(v.nameLength));
  const PolyRecord* p = v.poly;
  if (qualified && p && p->separate && !p->includeName && p->effectName)
    return std::string(p->effectName) + "_" + name;
  return name;
}

// The name of an effect with constructed members: its continuous members, its design
// variables, its crossed CLASS variables, joined by '*', the nesting ones in parentheses.
std::string effectName(const ZDesign* d, const ZEffect* z, bool qualified) {
  std::string name;
  for (int32_t i = 0; i < z->contCount; ++i) name += varName(d->modelVars[z->cont[i]]) + "*";
  for (int32_t i = 0; i < z->constructedCount; ++i)
    name += memberName(d->designVars[z->constructed[i]], qualified) + "*";
  for (int32_t i = 0; i < z->crossCount; ++i) name += varName(d->classVars[z->cross[i]]) + "*";
  if (z->nestCount > 0) {
    if (!name.empty()) name.pop_back();
    name += '(';
    for (int32_t i = 0; i < z->nestCount; ++i) name += varName(d->classVars[z->nest[i]]) + "*";
    name.back() = ')';
  } else if (!name.empty()) {
    name.pop_back();
  }
  return name;
}

// An effect made from EFFECT statements that another effect of the model names alike (the
// term hp of a polynomial beside the variable hp) takes its EFFECT's name in front (pl_hp):
// the tables, the output data sets and the macro variables tell the two apart.
void nameApart(ZDesign* d, ZEffect* effects, int32_t count) {
  std::unordered_map<std::string, int32_t> uses;
  for (int32_t i = 0; i < count; ++i) uses[upperCopy(effects[i].name)] += 1;
  for (int32_t i = 0; i < count; ++i) {
    ZEffect* z = &effects[i];
    if (z->constructedCount == 0 || uses[upperCopy(z->name)] < 2) continue;
    const std::string own = effectName(d, z, true);
    if (own == z->name) continue;
    std::string_view statement;
    for (int32_t k = 0; k < z->constructedCount && statement.empty(); ++k) {
      const ZDesignVar& v = d->designVars[z->constructed[k]];
      if (memberName(v, true) != memberName(v, false)) statement = v.poly->effectName;
    }
    hostMsg(174, 98, {std::string_view(z->name), statement, std::string_view(own)});
    z->name = effStrdup(own);
  }
}

// Copy k of a replicated effect: every list of its own, the constructed members shifted to
// the k-th combination of their statements' design variables (last member fastest).
void makeCopy(ZDesign* d, ZEffect* to, const ZEffect& from, const std::vector<int32_t>& radix,
              int32_t k) {
  *to = from;
  to->cont = copyIds(from.cont, from.contCount);
  if (from.keyCount) {
    to->key = copyIds(from.key, 2 * from.keyCount);
    to->cross = to->key;
    to->nest = to->key + to->crossCount;
    to->multipliers = to->key + to->keyCount;
  }
  to->constructed = copyIds(from.constructed, from.constructedCount);
  for (int32_t j = to->constructedCount - 1; j >= 0; --j) {
    int32_t r = radix[static_cast<size_t>(j)];
    to->constructed[j] += k % r;
    k /= r;
  }
  to->copy = 0;
  zeffnamebuf(d, to);
}

// Every CLASS variable an effect depends on: its constructed members' CLASS members, each
// once, then its own.
void listAllClass(ZDesign* d, ZEffect* z) {
  std::vector<int32_t> all;
  for (int32_t j = 0; j < z->constructedCount; ++j) {
    const ZDesignVar& v = d->designVars[z->constructed[j]];
    for (int32_t m = 0; m < v.classCount; ++m) {
      int32_t c = v.classMembers[m];
      if (zleadeq(all.data(), static_cast<int>(all.size()), &c, 4) == static_cast<int>(all.size()))
        all.push_back(c);
    }
  }
  for (int32_t i = 0; i < z->keyCount; ++i) all.push_back(z->key[i]);
  z->allClassCount = static_cast<int32_t>(all.size());
  z->allClass = copyIds(all.data(), z->allClassCount);
}

}  // namespace

void initClassVar(ZDesign* d, LevelVar* v) {
  v->order = 'U';
  v->coding = d->defaultCoding;
  v->missingLevel = d->defaultMissing;
  v->refIndex = -2;
  v->descending = 0;
  v->cprefix = v->lprefix = -1;
  // A TRUNCATE= length past the variable's own width (its longest formatted value) cuts nothing:
  // the levels take no more room than that, or than the 16 of TRUNCATE alone (zlevreadwhole
  // keeps the cut for the values of other data sets).
  const int32_t own = ownWidth(v->desc);
  const int32_t w = d->widthOption < 0 ? own : std::min(d->truncation(), std::max(own, 16));
  v->formattedWidth = w;
  v->valueOffset = d->totalWidth;
  d->totalWidth += w;
  if (w > d->largestWidth) d->largestWidth = w;
}

std::string varName(const LevelVar& v) { return v.desc ? v.desc->name : std::string(); }

int zeffdropvar(StatementRecord* statement, int effectSlot, int modelVarSlot, int varNumber) {
  StatementRecord* proc = procRecord();
  const OptionSlot* ms = proc ? proc->slot(modelVarSlot) : nullptr;
  if (!ms || !statement || effectSlot < 0 ||
      static_cast<size_t>(effectSlot) >= statement->slots.size())
    return 0;
  OptionSlot& es = statement->slots[static_cast<size_t>(effectSlot)];
  auto alone = [&](void* r) {
    const EffectRec* e = static_cast<const EffectRec*>(r);
    if (e->cont.count != 1 || e->cross.count != 0 || e->nest.count != 0) return false;
    const int32_t id = e->cont.ids[0];
    return id >= 0 && static_cast<size_t>(id) < ms->vars.size() &&
           ms->vars[static_cast<size_t>(id)] == varNumber;
  };
  const size_t before = es.refs.size();
  std::erase_if(es.refs, alone);
  es.count = static_cast<int32_t>(es.refs.size());
  return static_cast<int>(before - es.refs.size());
}

int zeffinfo(ZDesign* d, HostDataSet* ds, int modelVarSlot, int classSlot,
             StatementRecord* statement, int effectSlot, int noIntercept, int columnCountFlag) {
  ZEffLib* lib = effLib();
  d->allocator = effectsPool();
  d->nameLengthLimit = lib ? lib->nameLimit : 20;
  d->buildCode = 0;
  d->defaultDescending = 0;
  d->defaultOrder = 'M';
  d->defaultCoding = kCodingEffect;
  d->defaultMissing = 0;
  d->defaultRef = -2;
  d->delimiter = ' ';

  StatementRecord* proc = procRecord();
  static const std::vector<int> kNone;
  const OptionSlot* ms = proc ? proc->slot(modelVarSlot) : nullptr;
  const OptionSlot* cs = proc ? proc->slot(classSlot) : nullptr;
  const std::vector<int>& modelSlot = ms ? ms->vars : kNone;
  readModelVars(d, ds, modelSlot);
  readClassVars(d, ds, cs ? cs->vars : kNone);
  if (!d->skipExpansion) {
    if (int rc = expandEffects(d, ds, &d->lookup)) return rc;
  }
  d->designVarTable.count = d->designVarCount;
  d->designVarTable.vars = d->designVars;

  std::vector<EffectRec*> chain = chainOf(statement, effectSlot);
  d->replicateCount = static_cast<int32_t>(chain.size());
  d->replicates = allocArray<int32_t>(chain.size());
  int64_t total = 0;
  for (size_t i = 0; i < chain.size(); ++i) {
    int64_t r = 1;
    for (int32_t s : constructedStatements(chain[i])) r *= d->lookup[s].count;
    d->replicates[i] = static_cast<int32_t>(r);
    total += r;
  }
  // One spare record in front for the intercept.
  ZEffect* records = allocArray<ZEffect>(static_cast<size_t>(total) + 1);
  ZEffect* next = records + 1;
  for (size_t i = 0; i < chain.size(); ++i) {
    ZEffect base;
    fillEffect(d, &base, chain[i], static_cast<int32_t>(modelSlot.size()));
    int32_t r = d->replicates[i];
    if (r == 1) {
      *next = base;
      if (base.constructedCount) zeffnamebuf(d, next);
      ++next;
      continue;
    }
    std::vector<int32_t> radix;
    for (int32_t s : constructedStatements(chain[i])) radix.push_back(d->lookup[s].count);
    for (int32_t k = 0; k < r; ++k, ++next) {
      makeCopy(d, next, base, radix, k);
      next->copy = k > 0 ? 1 : 0;
    }
  }
  nameApart(d, records + 1, static_cast<int32_t>(total));
  d->effectCount = static_cast<int32_t>(total);
  d->effects = records + 1;
  d->flags = noIntercept ? d->flags | dflag::kNoIntercept : d->flags & ~dflag::kNoIntercept;
  d->flags = columnCountFlag ? d->flags | dflag::kFullRank : d->flags & ~dflag::kFullRank;
  if (!noIntercept) {
    d->effects = records;
    d->effects[0].name = d->effects[0].chainName = effStrdup("Intercept");
    d->effects[0].owner = d;
    ++d->effectCount;
  }
  d->results = allocArray<EffectResult>(static_cast<size_t>(d->effectCount));
  for (int32_t i = 0; i < d->effectCount; ++i) listAllClass(d, &d->effects[i]);
  return 0;
}

void zeffnamebuf(ZDesign* d, ZEffect* z) { z->name = effStrdup(effectName(d, z, false)); }

}  // namespace vsf
