// The macro variables of the selected model: _VSFIND lists the selected effects' names,
// _VSFMOD the OUTDESIGN variables that hold the selected model's columns; each BY group sets
// its numbered form (up to MAXMACRO=) and the first group the plain one.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "averaging/averaging.h"
#include "averaging/model_internal.h"
#include "base/codes.h"
#include "base/host.h"
#include "design/design.h"
#include "effects/effects.h"
#include "selection/group.h"

namespace vsf {

namespace {

// Sets `<base><n>` and for the first group `<base>`, as MAXMACRO= allows; the note past the
// limit comes once, at the first group beyond it.
void setPair(const StepView* s, const char* base, int32_t n, const std::string& value) {
  const int32_t limit = s->settings.maxMacroByGroups;
  if (limit != 0 && n <= limit)
    hostv().macro->setText(std::string(base) + std::to_string(n), value);
  else if (limit != 0 && n == limit + 1)
    hostMsg(848, 151, {limit});
  if (n == 1 && limit >= 0) hostv().macro->setText(base, value);
}

std::string varName(const LevelVar& v) { return v.desc ? v.desc->name : std::string(); }

// Selected: in the model, the intercept aside.
bool selected(const SelectionState* sel, int32_t e) {
  return sel->sweep.states && inModel(sel->sweep.states[e]) &&
         sel->sweep.states[e] != EffectState::kIntercept;
}

// The selected candidates in the order the list shows them: candidate order, or with
// ORDERSELECT the order they first entered.
std::vector<int32_t> listOrder(const StepView* s, const SelectionState* sel) {
  const DisplayOptions& o = s->display;
  const int32_t E = sel->layout.effectCount, start = o.noInt ? 0 : 1;
  std::vector<int32_t> order;
  if (!o.orderSelect) {
    for (int32_t e = start; e < E; ++e)
      if (selected(sel, e)) order.push_back(e);
    return order;
  }
  std::vector<uint8_t> written(static_cast<size_t>(E > 0 ? E : 0), 0);
  auto take = [&](int32_t e) {
    if (e < start || e >= E || written[static_cast<size_t>(e)] || !selected(sel, e)) return;
    written[static_cast<size_t>(e)] = 1;
    order.push_back(e);
  };
  if (methodFamily(o.method).grouped) {
    for (int32_t i = start; i < sel->steps.changeListLength && sel->steps.changes; ++i)
      if (sel->steps.changes[i] >= 0) take(sel->steps.changes[i]);
  } else {
    for (int32_t i = start; i < sel->steps.stepCount && sel->steps.effect; ++i)
      take(sel->steps.effect[i]);
  }
  return order;
}

}  // namespace

std::string formatEffectName(const StepView* s, int32_t candidate) {
  const ZDesign* d = s->lev.design;
  const std::vector<CandidateEntry>* table = s->group.candidates.table;
  int32_t effect = candidate;
  if (table && candidate >= 0 && candidate < static_cast<int32_t>(table->size())) {
    const CandidateEntry& c = (*table)[static_cast<size_t>(candidate)];
    if (c.splitCount > 0 && c.label)
      return std::string(c.label, static_cast<size_t>(c.labelLength));
    effect = c.effect;
  }
  if (!d || effect < 0 || effect >= d->effectCount) return {};
  const ZEffect& z = d->effects[effect];
  std::string name;
  auto part = [&](const std::string& text) {
    if (!name.empty()) name += '*';
    name += text;
  };
  for (int i = 0; i < z.contCount; ++i) part(varName(d->modelVars[z.cont[i]]));
  for (int i = 0; i < z.constructedCount; ++i) {
    const ZDesignVar& v = d->designVars[z.constructed[i]];
    part(v.name ? std::string(v.name, static_cast<size_t>(v.nameLength)) : std::string());
  }
  for (int i = 0; i < z.crossCount; ++i) part(varName(d->classVars[z.cross[i]]));
  if (z.nestCount > 0) {
    name += '(';
    for (int i = 0; i < z.nestCount; ++i) {
      if (i) name += '*';
      name += varName(d->classVars[z.nest[i]]);
    }
    name += ')';
  }
  return name;
}

int setEffectsMacroVars(StepView* s, int byGroupCount) {
  const SelectionState* sel = &s->group.selection;
  std::string value;
  if (sel->run.status == 0)
    for (int32_t e : listOrder(s, sel)) {
      if (!value.empty()) value += ' ';
      value += formatEffectName(s, e);
    }
  setPair(s, "_VSFIND", byGroupCount, value);
  return 0;
}

// A variable name as a later statement can use it from a blank-separated list: as it stands
// when it is a plain name, else as a name literal ('cyl 4'n), a quote doubled inside.
std::string usableName(const std::string& name) {
  auto plain = [](unsigned char c) { return std::isalnum(c) || c == '_'; };
  const bool ok = !name.empty() && !std::isdigit(static_cast<unsigned char>(name[0])) &&
                  std::all_of(name.begin(), name.end(), plain);
  if (ok) return name;
  std::string literal = "'";
  for (char c : name) literal += c == '\'' ? std::string("''") : std::string(1, c);
  return literal + "'n";
}

int setModelMacroVars(StepView* s, SelectionState* sel, const OutputData* data) {
  const StepSettings& st = s->settings;
  if (!st.outDesignDataSet || data->outDesignDiscarded) return 0;
  const int32_t n = static_cast<int32_t>(s->group.byGroupNumber);
  const OutDesignColumns& des = data->design;
  std::string value;
  if (sel->run.status == 0 && s->group.groupOutDesignWidth > 0) {
    const std::vector<CandidateEntry>* table = s->group.candidates.table;
    const bool names = st.outDesignParmNames && !st.hasByStatement;
    const std::string prefix = st.outDesignPrefix && st.outDesignPrefixLength > 0
                                   ? std::string(st.outDesignPrefix, st.outDesignPrefixLength)
                                   : std::string("_X");
    // c: the OUTDESIGN column (from 0), the intercept's first when the model has one.
    int32_t c = s->display.noInt ? 0 : 1;
    for (int32_t e = 1; e < sel->layout.effectCount; ++e) {
      if (!table || e >= static_cast<int32_t>(table->size())) break;
      const CandidateEntry& entry = (*table)[static_cast<size_t>(e)];
      const int32_t columns = entry.columns;
      if (!selected(sel, e)) {
        if (st.outDesignFullModel) c += columns;
        continue;
      }
      // A column whose variable was refused ended the step when it was defined.
      for (int32_t j = 0; j < columns; ++j, ++c) {
        if (!value.empty()) value += ' ';
        const int32_t column = s->lev.design->effects[entry.effect].startColumn +
                               (entry.columnMap ? entry.columnMap[j] : j);
        value +=
            names ? usableName(des.nameOfDesignColumn(column)) : prefix + std::to_string(c + 1);
      }
    }
  }
  setPair(s, "_VSFMOD", n, value);
  return 0;
}

}  // namespace vsf
