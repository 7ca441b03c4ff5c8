// readClassOptions: the CLASS statement's global options become the design defaults, the
// per-variable ones override them for the listed variables (the last value of a list wins).
#include <set>

#include "effects/effects.h"
#include "frame/module.h"
#include "frame/reader_util.h"
#include "frame/state.h"
#include "frame/statements_internal.h"
#include "frame/strings.h"

namespace vsf {

namespace {

namespace ps = slots::proc;
namespace pf = flags::proc;

// The per-variable values of an option: value slot and index slot, parallel.
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

// The last value of a global keyword list, or none.
bool lastGlobal(const StatementRecord* p, int slot, double* value) {
  const OptionSlot* s = p->slot(slot);
  if (!s || !s->given || s->numbers.empty()) return false;
  *value = s->numbers.back();
  return true;
}

char orderCode(double negated) {
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

void readCodings(VsfState* s, const StatementRecord* p, std::vector<ClassVarSettings>& vars) {
  ClassSettings& c = s->classes;
  PerVariable param = perVariable(p, ps::kParamValue, ps::kParamIndex);
  double global = 0;
  bool hasGlobal = lastGlobal(p, ps::kParam, &global);
  c.fullRank = hasGlobal || param.size() > 0;
  if (hasGlobal) {
    int code = static_cast<int>(-global);
    if (code == kCodingQfr) {
      c.defaultCoding = 0;
      c.fullRank = 0;
    } else {
      c.defaultCoding = code;
    }
  }
  for (ClassVarSettings& v : vars)
    if (v.coding == 0) v.coding = c.defaultCoding;
  std::set<int> listed;
  for (size_t k = 0; k < param.size(); ++k) {
    int i = param.index(k);
    int code = static_cast<int>(-param.value(k));
    listed.insert(i);
    if (code != kCodingQfr && i >= 0 && static_cast<size_t>(i) < vars.size()) vars[i].coding = code;
  }
  if (c.fullRank && !hasGlobal && listed.size() < vars.size()) repairMsg(s, 230);
  if (!c.fullRank && param.size() > 0) repairMsg(s, 231);
  if (ZDesign* d = s->lev.design) {
    if (c.fullRank)
      d->flags |= 0x10;
    else
      d->flags &= ~0x10u;
  }
}

void readReferences(const StatementRecord* p, ClassSettings& c) {
  std::vector<ClassVarSettings>& vars = c.vars;
  const OptionSlot* g = p->slot(ps::kRef);
  if (g && g->given) {
    c.defaultReference = static_cast<int32_t>(g->number);
    if (c.defaultReference == -3) {
      c.defaultReferenceText = g->text.c_str();
      c.defaultReferenceLength = ztrimlen(g->text.data(), static_cast<int>(g->text.size()));
    }
  }
  for (ClassVarSettings& v : vars) {
    v.reference = c.defaultReference;
    v.referenceText = c.defaultReferenceText;
    v.referenceLength = c.defaultReferenceLength;
  }
  PerVariable ref = perVariable(p, ps::kRefValue, ps::kRefIndex);
  const OptionSlot* texts = p->slot(ps::kRefText);
  size_t textAt = 0;  // the texts come in the order of the quoted values
  for (size_t k = 0; k < ref.size(); ++k) {
    int i = ref.index(k);
    if (i < 0 || static_cast<size_t>(i) >= vars.size()) continue;
    ClassVarSettings& v = vars[i];
    v.reference = static_cast<int32_t>(ref.value(k));
    v.referenceText = nullptr;
    v.referenceLength = 0;
    std::string_view text;
    if (v.reference == -3 && texts &&
        zlstget(texts->names, static_cast<int>(textAt++), &text) == 0) {
      v.referenceText = text.data();
      v.referenceLength = ztrimlen(text.data(), static_cast<int>(text.size()));
    }
  }
  for (ClassVarSettings& v : vars)
    if (v.coding == kCodingOrdinal) v.reference = -1;
}

// Flag options (DESCENDING, MISSING, SPLIT): the global one for all, then the listed.
template <typename Field>
int applyFlags(const StatementRecord* p, bool global, int valueSlot, int indexSlot,
               std::vector<ClassVarSettings>& vars, Field field) {
  for (ClassVarSettings& v : vars) v.*field = global;
  PerVariable per = perVariable(p, valueSlot, indexSlot);
  for (size_t k = 0; k < per.size(); ++k) {
    int i = per.index(k);
    if (i >= 0 && static_cast<size_t>(i) < vars.size()) vars[i].*field = 1;
  }
  return static_cast<int>(per.size());
}

template <typename Field>
bool applyIntegers(const StatementRecord* p, int globalSlot, int valueSlot, int indexSlot,
                   int32_t* global, std::vector<ClassVarSettings>& vars, Field field) {
  Slots r(p);
  *global = r.integer(globalSlot, -1);
  for (ClassVarSettings& v : vars) v.*field = *global;
  PerVariable per = perVariable(p, valueSlot, indexSlot);
  for (size_t k = 0; k < per.size(); ++k) {
    int i = per.index(k);
    if (i >= 0 && static_cast<size_t>(i) < vars.size())
      vars[i].*field = static_cast<int32_t>(per.value(k));
  }
  return r.given(globalSlot) || per.size() > 0;
}

void readDelimiter(VsfState* s, const StatementRecord* p) {
  ClassSettings& c = s->classes;
  c.delimiter = ' ';
  const OptionSlot* d = p->slot(ps::kDelimiter);
  if (!d || !d->given) return;
  if (d->text.empty()) {
    repairMsg(s, 204);
    return;
  }
  c.delimiter = d->text[0];
  if (d->text.size() > 1) repairMsg(s, 203, {std::string_view(d->text)});
}

}  // namespace

void readClassOptions(VsfState* s, const StatementRecord* p) {
  ClassSettings& c = s->classes;
  Slots r(p);
  c.vars.assign(static_cast<size_t>(r.count(ps::kClassVars)), ClassVarSettings());
  readCodings(s, p, c.vars);

  double order = 0;
  c.defaultOrder = lastGlobal(p, ps::kOrder, &order) ? orderCode(order) : 'M';
  for (ClassVarSettings& v : c.vars) v.order = c.defaultOrder;
  PerVariable perOrder = perVariable(p, ps::kOrderValue, ps::kOrderIndex);
  for (size_t k = 0; k < perOrder.size(); ++k) {
    int i = perOrder.index(k);
    if (i >= 0 && static_cast<size_t>(i) < c.vars.size())
      c.vars[i].order = orderCode(perOrder.value(k));
  }
  readReferences(p, c);

  c.defaultDescending = r.given(ps::kDesc);
  applyFlags(p, c.defaultDescending, ps::kDescValue, ps::kDescIndex, c.vars,
             &ClassVarSettings::descending);
  c.globalSplit = p->flag(pf::kSplit);
  c.splitCount = applyFlags(p, c.globalSplit, ps::kSplitValue, ps::kSplitIndex, c.vars,
                            &ClassVarSettings::split);
  s->options.designPerByGroup = c.splitCount > 0 || c.globalSplit;

  bool interlaced = s->design.labelStyle == 0;
  if (applyIntegers(p, ps::kCprefix, ps::kCprefixValue, ps::kCprefixIndex, &c.defaultCprefix,
                    c.vars, &ClassVarSettings::cprefix) &&
      !interlaced)
    repairMsg(s, 221);
  if (applyIntegers(p, ps::kLprefix, ps::kLprefixValue, ps::kLprefixIndex, &c.defaultLprefix,
                    c.vars, &ClassVarSettings::lprefix) &&
      !interlaced)
    repairMsg(s, 222);

  c.defaultMissing = r.given(ps::kMissing);
  applyFlags(p, c.defaultMissing, ps::kMissingValue, ps::kMissingIndex, c.vars,
             &ClassVarSettings::missing);
  bool removed = false;
  for (ClassVarSettings& v : c.vars) {
    if (v.missing && (v.coding == kCodingPoly || v.coding == kCodingOrthPoly)) {
      v.missing = 0;
      removed = true;
    }
  }
  if (removed) hostMsg(500, 911);
  c.showCoding = p->flag(pf::kShowCoding);
  readDelimiter(s, p);
}

}  // namespace vsf
