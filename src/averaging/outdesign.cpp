// The OUTDESIGN data set: its design-column variables (named after the parameters, or by a
// prefix and their number), the carried analysis variables, `_ROLE_` and `_BY_`; defined in the
// BY group without a BY statement, else once by the separate pass, whose rows are written here
// group by group.
#include <algorithm>
#include <string>

#include "averaging/averaging.h"
#include "averaging/model_internal.h"
#include "base/codes.h"
#include "base/host.h"
#include "design/design.h"
#include "effects/effects.h"
#include "grammar/slot_reader.h"
#include "levelize/levelize.h"
#include "selection/group.h"

namespace vsf {

namespace {

// The design columns written, with the column each one's parameter name is kept at.
struct DesignColumns {
  std::vector<int32_t> row, name;
};

DesignColumns fullColumns(const ZDesign* d, int noInt, int32_t count) {
  DesignColumns c;
  for (int32_t k = 0; k < count; ++k) {
    c.row.push_back(k + noInt);
    c.name.push_back(k + noInt);
  }
  (void)d;
  return c;
}

DesignColumns modelColumns(const ZDesign* d, const AppliedModel& m) {
  DesignColumns c;
  for (const ModelTerm& t : m.terms) {
    const int32_t start = d->effects[t.effect].startColumn;
    for (int32_t j = 0; j < t.columns; ++j) {
      c.row.push_back(start + (t.map ? t.map[j] : j));
      c.name.push_back(c.row.back());  // a split column's name is that of its data
    }
  }
  return c;
}

const char* parmText(const ZDesign* d, int which, int32_t column) {
  if (!d->parmNames[which] || column < 0 || column >= d->columnCount) return "";
  const char* t = d->parmNames[which][column];
  return t ? t : "";
}

std::string genericName(const StepSettings& st, int32_t k) {
  std::string prefix = st.outDesignPrefix && st.outDesignPrefixLength > 0
                           ? std::string(st.outDesignPrefix, st.outDesignPrefixLength)
                           : std::string("_X");
  return prefix + std::to_string(k + 1);
}

// The variables carried beside the design columns: every analysis variable, or the BY
// variables and the response.
void carryInputs(const StepSettings& st, HostDataSet* out) {
  if (st.outDesignAddInputVars) {
    (void)carryAll(out, st.inputReader);
    return;
  }
  std::vector<int> numbers;
  const OptionSlot* by = st.byVariables;
  for (int i = 0; st.hasByStatement && by && i < by->count; ++i) {
    std::string_view name;
    int number = -1;
    if (zlstget(by->names, i, &name) == 0 &&
        hostv().ds->findVar(st.inputReader, name, &number) == 0)
      numbers.push_back(number);
  }
  if (st.response.number >= 0) numbers.push_back(st.response.number);
  hostv().ds->outCarry(out, st.inputReader, numbers.data(), static_cast<int>(numbers.size()));
}

// A variable the host refused (a design column, `_ROLE_` or `_BY_` named like another) leaves
// a data set without it: the step fails, and `_VSFMOD` keeps no list from an earlier step or
// group.
int refuseColumns(const StepView* s, const OutDesignColumns& des) {
  const bool lost = (roleColumnWanted(s) && !des.role) || (s->settings.hasByStatement && !des.by) ||
                    std::find(des.failed.begin(), des.failed.end(), 1) != des.failed.end();
  if (!lost) return 0;
  const int32_t limit = s->settings.maxMacroByGroups;
  if (limit >= 0) hostv().macro->setText("_VSFMOD", "");
  for (int32_t n = 1; limit != 0 && n <= s->byGroupCount && n <= limit; ++n)
    hostv().macro->setText("_VSFMOD" + std::to_string(n), "");
  hostMsg(848, 232, {std::string_view("_VSFMOD")});
  raiseStepCode(s->stepCode, step::kInternal);
  return rc::kOutputVariable;
}

// Defines the columns' variables, the carried ones, `_ROLE_` and `_BY_`, and readies the data
// set. Labels are the parameters' labels unless `labels` is false.
void defineColumns(const StepView* s, HostDataSet* out, const DesignColumns& c, bool labels,
                   OutDesignColumns* des) {
  const StepSettings& st = s->settings;
  const ZDesign* d = s->lev.design;
  const bool names = st.outDesignParmNames && d->parmNames[0];
  des->slots.clear(), des->names.clear(), des->failed.clear(), des->designColumn.clear();
  for (size_t k = 0; k < c.row.size(); ++k) {
    std::string name = names ? parmText(d, 0, c.name[k]) : genericName(st, static_cast<int32_t>(k));
    if (name.empty()) name = genericName(st, static_cast<int32_t>(k));
    std::string label;
    if (labels) {
      label = parmText(d, 1, c.name[k]);
      if (label.empty()) label = parmText(d, 0, c.name[k]);
      if (label.size() > 256) label.resize(256);
    }
    double* slot = addNumber(out, name, label);
    des->slots.push_back(slot);
    des->names.push_back(name);
    des->designColumn.push_back(c.row[k]);
    des->failed.push_back(slot ? 0 : 1);
  }
  carryInputs(st, out);
  des->role = nullptr, des->by = nullptr;
  if (roleColumnWanted(s)) {
    des->role = static_cast<char*>(addVariable(out, "_ROLE_", kVarCharacter, 8));
    setRoleText(des->role, 0);
  }
  if (st.hasByStatement) des->by = addNumber(out, "_BY_");
  hostv().ds->outReady(out);
  des->dataSet = out;
}

// The selected model's columns (or every column with FULLMODEL) get parameter names: 0 or the
// naming's failure.
int nameColumns(const StepView* s, ZLevCtx* lev, const AppliedModel& m) {
  const CandidateData& c = s->group.candidates;
  if (!c.table || c.count <= 0) return 0;
  std::vector<int32_t> set;
  if (s->settings.outDesignFullModel) {
    for (int32_t k = 0; k < c.count; ++k) set.push_back(k);
  } else {
    for (const ModelTerm& t : m.terms) set.push_back(t.candidate);
  }
  if (set.empty()) return 0;
  return nameDesignParameters(lev, c.table, c.count, set, nullptr);
}

}  // namespace

int defineOutDesignVariables(StepView* s, ZLevCtx* lev, HostDataSet* outDesign, OutputData* data,
                             int32_t* width) {
  const StepSettings& st = s->settings;
  const ZDesign* d = lev->design;
  OutDesignColumns& des = data->design;
  const SelectionState& sel = s->group.selection;
  if (st.outputDataSet || (outDesign && !st.hasByStatement)) {
    if (d->columnCount <= 0) return -2;
    des.row.assign(static_cast<size_t>(d->columnCount), 0.0);
  }
  *width = 0;
  if (!outDesign) return 0;
  AppliedModel model;
  selectedModel(s, &sel, &model);
  const int noInt = s->display.noInt ? 1 : 0;
  const int32_t full = std::max(d->columnCount - noInt, 0);
  des.largestColumns = std::max(des.largestColumns, full);
  if (sel.run.status == 0 || st.outDesignFullModel)
    if (int rc = nameColumns(s, lev, model); rc != 0) return rc;
  if (sel.run.status == -202) return 0;
  const int32_t columns = st.outDesignFullModel ? full : sel.run.status < 0 ? 0 : model.parameters;
  *width = columns;
  if (st.hasByStatement) {
    des.largestSelected = std::max(des.largestSelected, model.parameters);
    return 0;
  }
  des.columns = columns;
  defineColumns(s, outDesign,
                st.outDesignFullModel ? fullColumns(d, noInt, columns) : modelColumns(d, model),
                true, &des);
  return refuseColumns(s, des);
}

int defineOutDesignPassVariables(StepView* s, HostDataSet* outDesign, OutputData* data,
                                 int32_t columns) {
  OutDesignColumns& des = data->design;
  DesignColumns c;
  for (int32_t k = 0; k < columns; ++k) c.row.push_back(k), c.name.push_back(k);
  des.columns = columns;
  defineColumns(s, outDesign, c, false, &des);
  return refuseColumns(s, des);
}

int writeOutDesignGroup(StepView* s, ZLevCtx* lev, SelectionState* sel, OutputData* data,
                        ObsTagReader* tags) {
  const StepSettings& st = s->settings;
  const ZDesign* d = lev->design;
  OutDesignColumns& des = data->design;
  const bool fullModel = st.outDesignFullModel;
  const bool fitted = sel->run.status != runstatus::kNotLevelized;
  AppliedModel model;
  const bool present = sel->run.status == 0 && sel->sweep.entryOrder;
  buildAppliedModel(s, sel->sweep.entryOrder, present ? sel->sweep.effectsInModel : 0, nullptr,
                    nullptr, present, &model);
  if (des.row.size() < static_cast<size_t>(d->columnCount))
    des.row.assign(static_cast<size_t>(d->columnCount), 0.0);
  const int noInt = s->display.noInt ? 1 : 0;
  // A group's whole row may be narrower than the widest group's.
  const size_t fullWidth =
      std::min(static_cast<size_t>(std::max(d->columnCount - noInt, 0)), des.slots.size());
  const bool tagged = des.role && fitted && tags;
  if (des.by) *des.by = s->group.byGroupNumber;
  lev->start(lev);
  while (lev->next(lev)) {
    const int32_t tag = tagged ? tags->next() : 0;
    double y = 0, w = 1, f = 1;
    const uint32_t status =
        zreadobs(lev, &y, lev->weights ? &w : nullptr, lev->frequency ? &f : nullptr);
    int32_t role = 0;
    for (double* slot : des.slots)
      if (slot) *slot = dotMissing();
    if (checkModelRow(lev, model, nullptr) == RowFit::kApplies &&
        !(fullModel && fullRowIncomplete(status))) {
      double* row = des.row.data();
      buildModelDesignRow(lev, row);
      if (fullModel)
        copyFullRow(row, noInt, des.slots.data(), fullWidth);
      else
        copyModelColumns(model, d, row, des.slots.data(), des.slots.size());
      role = obsTagRole(tag);
    }
    setRoleText(des.role, role);
    hostv().ds->append(des.dataSet);
  }
  return 0;
}

}  // namespace vsf
