// The OUTPUT rows of a BY group, and without a BY statement its OUTDESIGN rows: every
// observation is read once more, the selected model applied where it can be, and the role and
// fold the data pass gave it written beside its prediction.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "averaging/averaging.h"
#include "averaging/model_internal.h"
#include "base/host.h"
#include "effects/effects.h"
#include "levelize/levelize.h"
#include "selection/group.h"

namespace vsf {

namespace {

void setMissing(double* slot) {
  if (slot) *slot = dotMissing();
}

// The design slots from `from` on, missing.
void clearDesign(OutDesignColumns* c, size_t from) {
  for (size_t k = from; k < c->slots.size(); ++k) setMissing(c->slots[k]);
}

// The notes of the rows the model could not be applied to: once per group.
void rowNotes(const ZDesign* d, HostDataSet* out, bool missingLevel,
              std::vector<int32_t>* newLevels) {
  const std::string name = dataSetNameOf(out);
  if (missingLevel) hostMsg(848, 193, {std::string_view(name)});
  for (int32_t e = 0; e < d->effectCount; ++e) {
    if ((*newLevels)[static_cast<size_t>(e)] == 0) continue;
    hostMsg(
        848, 194,
        {std::string_view(name), std::string_view(d->effects[e].name ? d->effects[e].name : "")});
    (*newLevels)[static_cast<size_t>(e)] = 0;
  }
}

}  // namespace

void setRoleText(char* slot, int32_t role) {
  if (!slot) return;
  const char* text = role == 1 ? "TRAIN" : role == 2 ? "VALIDATE" : role == 4 ? "TEST" : "";
  std::memset(slot, ' ', 8);
  std::memcpy(slot, text, std::strlen(text));
}

int writeOutputByGroup(StepView* s, ZLevCtx* lev, SelectionState* sel, void*, OutputData* data) {
  const StepSettings& st = s->settings;
  const ZDesign* d = lev->design;
  OutputSlots& out = data->output;
  OutDesignColumns& des = data->design;
  const bool designHere = des.dataSet && !st.hasByStatement;
  const bool fullModel = st.outDesignFullModel;
  AppliedModel model;
  selectedModel(s, sel, &model);
  if (designHere && sel->run.status != -202) clearDesign(&des, static_cast<size_t>(des.columns));
  if (des.row.size() < static_cast<size_t>(d->columnCount))
    des.row.assign(static_cast<size_t>(d->columnCount), 0.0);
  if (out.by) *out.by = s->group.byGroupNumber;

  // The roles and folds the fit gave the observations, one tag each in reading order. A group
  // without a model has none to give (one skipped before its data pass has no tags) and its
  // observations are not decoded (a group skipped by its levels has nothing to decode them by).
  const bool tagged =
      model.present &&
      (out.role || out.cvIndex || !out.sampleFreq.empty() || (designHere && des.role)) &&
      obsTagsOpen(&s->res.obsTags);
  int64_t storedRow = 0;  // the draws follow the stored rows, which the tags mark
  ObsTagReader tags(&s->res.obsTags, s->group.obsTagStart);
  std::vector<int32_t> newLevels(static_cast<size_t>(std::max(d->effectCount, 0)), 0);
  bool missingLevel = false;
  std::vector<double> sampleWork;  // the samples' predictions of a row
  double* const* designSlots = des.slots.data();
  lev->start(lev);
  while (lev->next(lev)) {
    const int32_t tag = tagged ? tags.next() : 0;
    const int64_t stored = tagged && obsTagRole(tag) != 0 ? storedRow++ : -1;
    for (size_t k = 0; k < out.sampleFreq.size(); ++k)
      if (out.sampleFreq[k]) {
        const int32_t f = sampleFrequency(s, stored, static_cast<int32_t>(k));
        *out.sampleFreq[k] = f >= 0 ? f : dotMissing();
      }
    double y = 0, w = 1, f = 1;
    const uint32_t status = model.present ? zreadobs(lev, &y, lev->weights ? &w : nullptr,
                                                     lev->frequency ? &f : nullptr)
                                          : 0;
    const RowFit fit = checkModelRow(lev, model, &newLevels);
    missingLevel |= fit == RowFit::kMissingLevel;
    int32_t role = 0, fold = -1;
    if (fit != RowFit::kApplies) {
      clearComputed(&out);
      if (designHere) clearDesign(&des, 0);
    } else {
      double* row = des.row.data();
      buildModelDesignRow(lev, row);
      const double predicted = predictRow(model, d, row);
      predictWithSampleModels(s, row, &out, &sampleWork);
      if (out.predicted) *out.predicted = predicted;
      if (out.residual)
        *out.residual = std::isfinite(y) && std::isfinite(predicted) ? y - predicted : dotMissing();
      // The whole row's other values widen the design data set; they do not decide whether the
      // observation is predicted.
      if (designHere && fullModel && fullRowIncomplete(status))
        clearDesign(&des, 0);
      else if (designHere && fullModel)
        copyFullRow(row, s->display.noInt, designSlots, des.slots.size());
      else if (designHere)
        copyModelColumns(model, d, row, designSlots, des.slots.size());
      role = obsTagRole(tag);
      fold = role == 1 ? obsTagFold(tag) : -1;
    }
    setRoleText(out.role, role);
    if (out.cvIndex) *out.cvIndex = fold >= 0 ? fold + 1 : 0;
    if (out.dataSet) hostv().ds->append(out.dataSet);
    if (designHere) {
      setRoleText(des.role, role);
      hostv().ds->append(des.dataSet);
    }
  }
  if (out.dataSet) rowNotes(d, out.dataSet, missingLevel, &newLevels);
  return 0;
}

}  // namespace vsf
