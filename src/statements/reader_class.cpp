// readClassOptions: the CLASS statement's global options become the design's defaults and go
// to every CLASS variable's LevelVar; the per-variable ones override them for the listed
// variables (the last value of a list wins). Runs after zeffinfo has made the LevelVars.
#include <cstring>
#include <set>
#include <string_view>
#include <tuple>
#include <utility>

#include "base/codes.h"
#include "base/host.h"
#include "base/strings.h"
#include "effects/effects.h"
#include "grammar/slot_reader.h"
#include "statements/statements.h"

namespace vsf {

namespace {

namespace ps = slots::proc;
namespace pf = flags::proc;

// The per-variable values of an option: value slot and index slot, parallel. An index is a
// position in the CLASS statement's list, which is the LevelVar's position in the design.
struct PerVariable {
  const OptionSlot* values;
  const OptionSlot* indexes;
  size_t size() const {
    if (!values || !indexes || !values->given) return 0;
    return std::min(values->numbers.size(), indexes->numbers.size());
  }
  int index(size_t k) const { return static_cast<int>(indexes->numbers[k]); }
  double value(size_t k) const { return values->numbers[k]; }
};

PerVariable perVariable(const StatementRecord* p, int valueSlot, int indexSlot) {
  return {p->slot(valueSlot), p->slot(indexSlot)};
}

// The CLASS variables of the design and those the CLASS statement lists (the first listed).
struct ClassVars {
  LevelVar* vars;
  int32_t count;
  int32_t listed;
  LevelVar* at(int i) const { return i >= 0 && i < listed ? &vars[i] : nullptr; }
};

// The last value of a global keyword list, or none.
bool lastGlobal(const StatementRecord* p, int slot, double* value) {
  const OptionSlot* s = p->slot(slot);
  if (!s || !s->given || s->numbers.empty()) return false;
  *value = s->numbers.back();
  return true;
}

int32_t orderCode(double negated) {
  switch (static_cast<int>(-negated)) {
    case 1:
      return 'D';
    case 2:
      return 'F';
    case 3:
      return 'I';
    default:
      return 'M';
  }
}

// A REF= level text, right-trimmed, kept in the MAIN POOL for the step; null when refused.
char* keepText(ReaderTarget* s, std::string_view text) {
  size_t n = static_cast<size_t>(ztrimlen(text.data(), static_cast<int>(text.size())));
  auto* p = static_cast<char*>(kernel().poolAlloc(s->mainPool, n + 1, kAllocZero));
  if (!p) return nullptr;
  std::memcpy(p, text.data(), n);
  p[n] = '\0';
  return p;
}

// The coding a PARAM= slot holds: the grammar stores each code negated.
CodingCode codingAt(double slot) { return static_cast<CodingCode>(static_cast<int>(-slot)); }

void readCodings(ReaderTarget* s, const StatementRecord* p, ZDesign* d, const ClassVars& c) {
  PerVariable param = perVariable(p, ps::kParamValue, ps::kParamIndex);
  double global = 0;
  bool hasGlobal = lastGlobal(p, ps::kParam, &global);
  bool fullRank = hasGlobal || param.size() > 0;
  if (hasGlobal) {
    const Coding& coding = codingOf(codingAt(global));
    // QFR is EFFECT's columns without the full-rank parametrization.
    d->defaultCoding = coding.fullRank ? coding.code : kCodingEffect;
    if (!coding.fullRank) fullRank = false;
  }
  for (int32_t i = 0; i < c.count; ++i)
    if (c.vars[i].coding == kCodingEffect) c.vars[i].coding = d->defaultCoding;
  std::set<int> listed;
  for (size_t k = 0; k < param.size(); ++k) {
    const Coding& coding = codingOf(codingAt(param.value(k)));
    listed.insert(param.index(k));
    if (LevelVar* v = c.at(param.index(k)); v && coding.fullRank) v->coding = coding.code;
  }
  if (fullRank && !hasGlobal && static_cast<int32_t>(listed.size()) < c.listed)
    repairMsg(s->stepCode, 230);
  if (!fullRank && param.size() > 0) repairMsg(s->stepCode, 231);
  d->flags = fullRank ? d->flags | dflag::kFullRank : d->flags & ~dflag::kFullRank;
}

void readOrders(const StatementRecord* p, ZDesign* d, const ClassVars& c) {
  double order = 0;
  if (lastGlobal(p, ps::kOrder, &order)) d->defaultOrder = orderCode(order);
  for (int32_t i = 0; i < c.count; ++i) c.vars[i].order = d->defaultOrder;
  PerVariable per = perVariable(p, ps::kOrderValue, ps::kOrderIndex);
  for (size_t k = 0; k < per.size(); ++k)
    if (LevelVar* v = c.at(per.index(k))) v->order = orderCode(per.value(k));
}

// 0, or rc::kMemory when a level text cannot be kept.
int readReferences(ReaderTarget* s, const StatementRecord* p, ZDesign* d, const ClassVars& c) {
  const OptionSlot* g = p->slot(ps::kRef);
  char* globalText = nullptr;
  std::pair<int, int> globalPlace;
  if (g && g->given) {
    d->defaultRef = static_cast<int32_t>(g->number);
    if (d->defaultRef == -3 && !(globalText = keepText(s, g->text))) return rc::kMemory;
    if (!g->places.empty()) globalPlace = g->places.front();
  }
  for (int32_t i = 0; i < c.count; ++i) {
    c.vars[i].refIndex = d->defaultRef;
    c.vars[i].refText = globalText;
    std::tie(c.vars[i].refLine, c.vars[i].refColumn) = globalPlace;
  }
  PerVariable ref = perVariable(p, ps::kRefValue, ps::kRefIndex);
  const OptionSlot* texts = p->slot(ps::kRefText);
  int textAt = 0;  // the texts come in the order of the quoted values
  for (size_t k = 0; k < ref.size(); ++k) {
    int32_t value = static_cast<int32_t>(ref.value(k));
    std::string_view text;
    const int at = textAt;
    bool quoted = value == -3 && texts && zlstget(texts->names, textAt++, &text) == 0;
    LevelVar* v = c.at(ref.index(k));
    if (!v) continue;
    v->refIndex = value;
    v->refText = quoted ? keepText(s, text) : nullptr;
    if (quoted && !v->refText) return rc::kMemory;
    std::tie(v->refLine, v->refColumn) = quoted && static_cast<size_t>(at) < texts->places.size()
                                             ? texts->places[static_cast<size_t>(at)]
                                             : std::pair<int, int>();
  }
  for (int32_t i = 0; i < c.count; ++i)
    if (codingOf(c.vars[i].coding).referenceFirst) c.vars[i].refIndex = -1;
  return 0;
}

// Switch options (DESCENDING, MISSING, SPLIT): the global one for all, then the listed.
// Returns how many per-variable values were given.
int applySwitch(const StatementRecord* p, bool global, int valueSlot, int indexSlot,
                const ClassVars& c, int32_t LevelVar::*field) {
  for (int32_t i = 0; i < c.count; ++i) c.vars[i].*field = global;
  PerVariable per = perVariable(p, valueSlot, indexSlot);
  for (size_t k = 0; k < per.size(); ++k)
    if (LevelVar* v = c.at(per.index(k))) v->*field = 1;
  return static_cast<int>(per.size());
}

// CPREFIX= and LPREFIX=: true when given at all.
bool applyPrefix(const StatementRecord* p, int globalSlot, int valueSlot, int indexSlot,
                 int32_t* global, const ClassVars& c, int32_t LevelVar::*field) {
  Slots r(p);
  *global = r.integer(globalSlot, -1);
  for (int32_t i = 0; i < c.count; ++i) c.vars[i].*field = *global;
  PerVariable per = perVariable(p, valueSlot, indexSlot);
  for (size_t k = 0; k < per.size(); ++k)
    if (LevelVar* v = c.at(per.index(k))) v->*field = static_cast<int32_t>(per.value(k));
  return r.given(globalSlot) || per.size() > 0;
}

char readDelimiter(ReaderTarget* s, const StatementRecord* p) {
  const OptionSlot* d = p->slot(ps::kDelimiter);
  if (!d || !d->given) return ' ';
  if (d->text.empty()) {
    repairMsg(s->stepCode, 204);
    return ' ';
  }
  if (d->text.size() > 1) repairMsg(s->stepCode, 203, {std::string_view(d->text)});
  return d->text[0];
}

}  // namespace

int readClassOptions(ReaderTarget* s, const StatementRecord* p) {
  ZDesign* d = s->lev.design;
  if (!d) return 0;
  Slots r(p);
  const ClassVars c{d->classVars, d->classCount, std::min(r.count(ps::kClassVars), d->classCount)};
  readCodings(s, p, d, c);
  readOrders(p, d, c);
  if (int rc = readReferences(s, p, d, c); rc != 0) return rc;

  d->defaultDescending = r.given(ps::kDesc);
  applySwitch(p, d->defaultDescending, ps::kDescValue, ps::kDescIndex, c, &LevelVar::descending);
  ClassSettings& cs = s->settings.classes;
  cs.globalSplit = p->flag(pf::kSplit);
  cs.splitCount =
      applySwitch(p, cs.globalSplit, ps::kSplitValue, ps::kSplitIndex, c, &LevelVar::split);
  s->settings.options.designPerByGroup = cs.splitCount > 0 || cs.globalSplit;

  bool interlaced = d->labelStyle == 0;
  if (applyPrefix(p, ps::kCprefix, ps::kCprefixValue, ps::kCprefixIndex, &d->defaultCprefix, c,
                  &LevelVar::cprefix) &&
      !interlaced)
    repairMsg(s->stepCode, 221);
  if (applyPrefix(p, ps::kLprefix, ps::kLprefixValue, ps::kLprefixIndex, &d->defaultLprefix, c,
                  &LevelVar::lprefix) &&
      !interlaced)
    repairMsg(s->stepCode, 222);

  d->defaultMissing = r.given(ps::kMissing);
  applySwitch(p, d->defaultMissing, ps::kMissingValue, ps::kMissingIndex, c,
              &LevelVar::missingLevel);
  bool removed = false;
  for (int32_t i = 0; i < c.count; ++i) {
    LevelVar& v = c.vars[i];
    if (v.missingLevel && !codingOf(v.coding).missingLevel) {
      v.missingLevel = 0;
      removed = true;
    }
  }
  if (removed) hostMsg(500, 911);
  cs.showCoding = p->flag(pf::kShowCoding);
  cs.delimiter = d->delimiter = readDelimiter(s, p);
  return 0;
}

}  // namespace vsf
