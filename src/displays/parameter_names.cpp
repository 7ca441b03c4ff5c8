// ParameterNames: each OUTDESIGN design column's variable name beside the parameter it holds,
// so that the OUTDESIGN data set can be read.
#include <algorithm>
#include <string>
#include <vector>

#include "averaging/averaging.h"
#include "design/design.h"
#include "displays/displays_internal.h"
#include "effects/effects.h"
#include "selection/group.h"

namespace vsf {

namespace {

std::string columnText(const ZDesign* d, int which, int32_t column) {
  if (!d || !d->parmNames[which] || column < 0 || column >= d->columnCount) return {};
  const char* t = d->parmNames[which][column];
  return t ? t : "";
}

}  // namespace

void listModelParameters(const StepView* s, const SelectionState* sel, std::vector<int32_t>* out) {
  const std::vector<CandidateEntry>* table = s->group.candidates.table;
  const ZDesign* d = s->lev.design;
  for (int32_t i = 0; i < sel->sweep.effectsInModel && sel->sweep.entryOrder; ++i) {
    const int32_t e = sel->sweep.entryOrder[i];
    if (!table || e < 0 || e >= static_cast<int32_t>(table->size())) continue;
    const CandidateEntry& c = (*table)[static_cast<size_t>(e)];
    for (int32_t j = 0; j < c.columns; ++j) out->push_back(d->effects[c.effect].startColumn + j);
  }
}

int printParameterNames(StepView* s, SelectionState* sel, const OutputData* data) {
  const StepSettings& st = s->settings;
  const ZDesign* d = s->lev.design;
  const OutDesignColumns& des = data->design;
  const int noInt = s->display.noInt ? 1 : 0;
  std::vector<int32_t> list;
  int32_t n = 0;
  if (st.outDesignFullModel) {
    n = std::max(d->columnCount - noInt, 0);
  } else if (sel->run.status >= 0) {
    listModelParameters(s, sel, &list);
    n = static_cast<int32_t>(list.size());
  }
  const bool names = st.outDesignParmNames && !st.hasByStatement;
  const std::string prefix = st.outDesignPrefix && st.outDesignPrefixLength > 0
                                 ? std::string(st.outDesignPrefix, st.outDesignPrefixLength)
                                 : std::string("_X");
  struct Row {
    std::string name, parameter;
  };
  std::vector<Row> rows;
  for (int32_t i = 0; i < n; ++i) {
    if (static_cast<size_t>(i) < des.failed.size() && des.failed[static_cast<size_t>(i)]) continue;
    const int32_t c = list.empty() ? i + noInt : list[static_cast<size_t>(i)];
    Row r;
    r.name = names ? des.nameOfDesignColumn(c) : prefix + std::to_string(i + 1);
    r.parameter = columnText(d, 1, c);
    if (r.parameter.empty()) r.parameter = names ? r.name : columnText(d, 0, c);
    rows.push_back(std::move(r));
  }
  int nameWidth = 0, parameterWidth = 0;
  for (const Row& r : rows) {
    nameWidth = std::max(nameWidth, static_cast<int>(r.name.size()));
    parameterWidth = std::max(parameterWidth, static_cast<int>(r.parameter.size()));
  }
  if (nameWidth == 0 || parameterWidth == 0) return 0;

  std::vector<char> name(static_cast<size_t>(nameWidth)),
      parameter(static_cast<size_t>(parameterWidth));
  double by = s->group.byGroupNumber;
  DataTable t(&s->output);
  t.create("ParameterNames", {argString(key::kLabel2, msgStr(880))});
  t.column(ctype::kText, "Name", name.data(), {argInt(dkey::kTextWidth, nameWidth)});
  t.column(ctype::kText, "Parameter", parameter.data(), {argInt(dkey::kTextWidth, parameterWidth)});
  if (s->byGroupCount > 1) t.column(ctype::kDouble, "_BY_", &by);
  t.endColumns();
  t.bind("Stat.VARSIFTER.ParameterNames");
  for (const Row& r : rows) {
    fillField(name.data(), nameWidth, r.name);
    fillField(parameter.data(), parameterWidth, r.parameter);
    t.row();
  }
  t.close();
  t.release();
  return 0;
}

}  // namespace vsf
