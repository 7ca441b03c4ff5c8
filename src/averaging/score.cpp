// SCORE: each request's data set read with the selected model's variables bound to its rows,
// every observation predicted where the model applies and written to the OUT= data set, inside
// a "ScoreDetails" group with one "ScoreData" group and ScoreInfo table per request.
#include <cmath>
#include <string>

#include "averaging/averaging.h"
#include "averaging/model_internal.h"
#include "base/codes.h"
#include "base/host.h"
#include "datapass/rowslots.h"
#include "effects/effects.h"
#include "levelize/levelize.h"
#include "output/output.h"
#include "selection/group.h"

namespace vsf {

namespace {

// Binds the model's variables in the request's data set: the names of those it lacks (or
// holds with another type), empty when it has them all.
std::string bindModelVariables(const ZDesign* d, const AppliedModel& m, const ScoreRequest& q,
                               ScoreOutput* out) {
  for (int32_t c = 0; c < d->classCount; ++c) q.classSlots[c] = nullptr;
  for (int32_t j = 0; j < d->modelVarCount; ++j) q.modelSlots[j] = nullptr;
  std::string lacking;
  auto bind = [&](const LevelVar& v, VarDescriptor** slot) {
    if (!v.desc || *slot) return;
    VarDescriptor found;
    if (int rc = findLikeVariable(q.input, *v.desc, &found); rc != 0) {
      lacking += (lacking.empty() ? "" : ", ") + v.desc->name;
      if (rc == rc::kVarType) lacking += " (of the other type there)";
      return;
    }
    out->found.push_back(std::move(found));
    *slot = &out->found.back();
  };
  for (size_t c = 0; c < m.classUsed.size(); ++c)
    if (m.classUsed[c]) bind(d->classVars[c], &q.classSlots[c]);
  for (size_t j = 0; j < m.contUsed.size(); ++j)
    if (m.contUsed[j]) bind(d->modelVars[j], &q.modelSlots[j]);
  return lacking;
}

// The response, weight or frequency of the request's data set, when usable there.
VarDescriptor* optional(const VarDescriptor& like, HostDataSet* ds, bool usable, ScoreOutput* out) {
  VarDescriptor found;
  if (!usable || findLikeVariable(ds, like, &found) != 0) return nullptr;
  out->found.push_back(std::move(found));
  return &out->found.back();
}

void* openScoreGroup(OutputSink* sink, std::string_view name, HostString* label,
                     std::vector<OutputArgItem> more) {
  return openGroup(sink, name, label, std::move(more));
}

}  // namespace

int scoreRequests(StepView* s, ZLevCtx* lev, SelectionState* sel, const ScoreRequest* requests,
                  OutputData* data, LagDesignPrinter lagDesigns) {
  const StepSettings& st = s->settings;
  if (st.scoreCount == 0) return 0;
  const ZDesign* d = lev->design;
  AppliedModel model;
  selectedModel(s, sel, &model);
  OutputSink* sink = &s->output;
  void* details = openScoreGroup(sink, "ScoreDetails", msgStr(815), {argFlag(dkey::kFlag435, 0)});
  for (int32_t i = 0; i < st.scoreCount; ++i) {
    const ScoreRequest& q = requests[i];
    ScoreOutput& out = data->score[static_cast<size_t>(i)];
    const std::string name = dataSetNameOf(q.input);
    void* group = openScoreGroup(sink, "ScoreData", hstr(name),
                                 {argString(dkey::kBaseName, hstr("ScoreData")), argFlag(436, 1),
                                  argFlag(dkey::kFlag435, 0)});
    int rc = 0;
    if (q.input == st.inputReader) {
      rc = scoreDataSet(s, lev, sel, q, &out, i, false, lagDesigns);
    } else {
      out.found.clear();
      out.missingVariable = 0;
      if (const std::string lacking = bindModelVariables(d, model, q, &out); !lacking.empty()) {
        hostMsg(848, 184,
                {std::string_view(name), std::string_view(dataSetNameOf(q.output)),
                 std::string_view(lacking)});
        raiseStepCode(s->stepCode, step::kWarning);
        out.missingVariable = 1;
      }
      if (q.verify && hostv().ds->verify(st.inputReader, q.input) != 0) {
        hostMsg(848, 186, {std::string_view(name)});
        raiseStepCode(s->stepCode, step::kWarning);
      } else {
        // Found when the data set has them with their type (the set-up said when not).
        VarDescriptor* response = optional(st.response, q.input, true, &out);
        VarDescriptor* weight =
            optional(st.weightVariable, q.input, s->display.weightPresent, &out);
        VarDescriptor* freq = optional(st.freqVariable, q.input, s->display.freqPresent, &out);
        switchRowSlots(s->res.dataPass.analysis, lev, q.input,
                       out.missingVariable ? nullptr : q.classSlots,
                       out.missingVariable ? nullptr : q.modelSlots, response, weight, freq);
        hostv().ds->setup(q.input);
        rc = scoreDataSet(s, lev, sel, q, &out, i, true, lagDesigns);
        restoreRowSlots(s->res.dataPass.analysis, lev);
      }
    }
    if (rc != 0) return rc;
    closeGroup(sink, group);
  }
  closeGroup(sink, details);
  return 0;
}

}  // namespace vsf
