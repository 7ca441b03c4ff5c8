// The variable lists of the design as the EFFECT statements extend them, and the reading of
// an EFFECT statement's slots.
#include <algorithm>
#include <new>

#include "base/codes.h"
#include "base/host.h"
#include "base/strings.h"
#include "effects/effect_stmt_internal.h"
#include "effects/effinfo_internal.h"
#include "effects/efflib_internal.h"

namespace vsf {

namespace {

const OptionSlot kEmptySlot{};

const OptionSlot& slotOf(const StatementRecord* s, int slot) {
  const OptionSlot* o = s->slot(slot);
  return o ? *o : kEmptySlot;
}

// Grows a LevelVar array by one record, returning the new record.
LevelVar* appendLevelVar(LevelVar** array, int32_t* count) {
  auto* grown =
      static_cast<LevelVar*>(effAlloc(sizeof(LevelVar) * static_cast<size_t>(*count + 1)));
  for (int32_t i = 0; i < *count; ++i) new (grown + i) LevelVar((*array)[i]);
  new (grown + *count) LevelVar();
  effFree(*array);
  *array = grown;
  return &grown[(*count)++];
}

}  // namespace

EffectStatement::EffectStatement(const StatementRecord* record, int32_t n)
    : s(record), number(n), name(effectStatementName(record)), type(integer(es::kType, 0)) {}

bool EffectStatement::given(int slot) const { return slotOf(s, slot).given != 0; }

int32_t EffectStatement::integer(int slot, int32_t fallback) const {
  return given(slot) ? static_cast<int32_t>(slotOf(s, slot).number) : fallback;
}

double EffectStatement::real(int slot, double fallback) const {
  return given(slot) ? slotOf(s, slot).number : fallback;
}

const std::string& EffectStatement::text(int slot) const { return slotOf(s, slot).text; }
const std::vector<int>& EffectStatement::list(int slot) const { return slotOf(s, slot).vars; }
const std::vector<double>& EffectStatement::numbers(int slot) const {
  return slotOf(s, slot).numbers;
}

std::vector<int> distinctVars(const std::vector<int>& list) {
  std::vector<int> out;
  for (int v : list)
    if (std::find(out.begin(), out.end(), v) == out.end()) out.push_back(v);
  return out;
}

int32_t zeffvarcount(const std::vector<int>& list) {
  return static_cast<int32_t>(distinctVars(list).size());
}

int32_t zclassfind(const ZDesign* d, int number) {
  for (int32_t i = 0; i < d->classCount; ++i)
    if (d->classVars[i].desc && d->classVars[i].desc->number == number) return i;
  return rc::kNotFound;
}

bool zanyclass(const ZDesign* d, const std::vector<int>& list) {
  return std::any_of(list.begin(), list.end(), [d](int v) { return zclassfind(d, v) >= 0; });
}

std::string zcharactervar(HostDataSet* ds, const ZDesign* d, const std::vector<int>& list) {
  for (int number : list) {
    VarDescriptor desc;
    if (zclassfind(d, number) >= 0 || !ds || hostv().ds->varByNumber(ds, number, &desc) != 0)
      continue;
    if (desc.type == kVarCharacter) return desc.name;
  }
  return {};
}

bool zaddmodelvars(HostDataSet* ds, ZDesign* d, const std::vector<int>& list,
                   std::vector<int32_t>* indexes) {
  bool ok = true;
  indexes->clear();
  for (int number : list) {
    int32_t at = -1;
    if (zclassfind(d, number) < 0) {
      for (int32_t i = 0; i < d->modelVarCount && at < 0; ++i)
        if (d->modelVars[i].desc && d->modelVars[i].desc->number == number) at = i;
      if (at < 0) {
        VarDescriptor* desc = effDescriptor(ds, number);
        if (!desc) {
          ok = false;
        } else {
          appendLevelVar(&d->modelVars, &d->modelVarCount)->desc = desc;
          at = d->modelVarCount - 1;
        }
      }
    }
    indexes->push_back(at);
  }
  return ok;
}

int32_t zaddclassvar(HostDataSet* ds, ZDesign* d, int number) {
  VarDescriptor* desc = effDescriptor(ds, number);
  if (!desc) return rc::kNotFound;
  LevelVar* v = appendLevelVar(&d->classVars, &d->classCount);
  v->desc = desc;
  initClassVar(d, v);
  return d->classCount - 1;
}

void makeMomentSums(ZDesign* d) {
  std::vector<int32_t> lists[2];
  for (int32_t i = 0; i < d->designVarCount; ++i) {
    const ZDesignVar& v = d->designVars[i];
    if (!v.first || !v.poly || v.poly->standardize < 1 || v.poly->standardize > 2) continue;
    std::vector<int32_t>& l = lists[v.poly->standardize - 1];
    for (int32_t j = 0; j < v.poly->varCount; ++j)
      if (std::find(l.begin(), l.end(), v.poly->vars[j]) == l.end()) l.push_back(v.poly->vars[j]);
  }
  for (int k = 0; k < 2; ++k) {
    if (lists[k].empty()) continue;
    auto* m = new (effAlloc(sizeof(MomentSums))) MomentSums();
    size_t n = static_cast<size_t>(d->modelVarCount);
    m->sums = static_cast<double*>(effAlloc(sizeof(double) * n));
    m->squares = static_cast<double*>(effAlloc(sizeof(double) * n));
    m->listCount = static_cast<int32_t>(lists[k].size());
    m->list = static_cast<int32_t*>(effAlloc(sizeof(int32_t) * lists[k].size()));
    std::copy(lists[k].begin(), lists[k].end(), m->list);
    d->moments[k] = m;
  }
}

}  // namespace vsf
