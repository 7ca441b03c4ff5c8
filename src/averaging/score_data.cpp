// One SCORE data set: its lag tables built as the analysis builds its own, each observation
// decoded against the analysis levels, predicted where the selected model applies and written
// with missing values where it does not; the counts and sums of squared residuals go to the
// ScoreInfo table, and notes say which observations were not scored and why.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "averaging/averaging.h"
#include "averaging/model_internal.h"
#include "base/host.h"
#include "effects/effects.h"
#include "levelize/levelize.h"
#include "output/output.h"
#include "selection/group.h"

namespace vsf {

namespace {

// The ScoreInfo factoid of request `index`.
void printScoreInfo(StepView* s, const ScoreRequest& q, const ScoreCounts& c, int index,
                    bool freqRead, bool weightRead) {
  FactoidTable t(&s->output);
  t.create("ScoreInfo", "Stat.VARSIFTER.ScoreInfo", msgStr(800),
           {argString(key::kTitle, msgStr(816))});
  std::vector<OutputArgItem> title;
  addDynamic(title, "titleText",
             valueString(s->settings.scoreCount > 1 ? msgStr(813, {index + 1}) : msgStr(800)));
  sendRequest(t.table(), op::kSetDynamic, title);
  auto blank = [&] { t.entry(hstr(" "), valueString(hstr(" "))); };
  const bool residual = q.residual.on;
  t.entry(msgStr(801), valueString(hstr(dataSetNameOf(q.input))));
  t.entry(msgStr(802), valueString(hstr(dataSetNameOf(q.output))));
  blank();
  t.entry(msgStr(803), valueDouble(c.read));
  t.entry(msgStr(804), valueDouble(c.used));
  if (residual) t.entry(msgStr(807), valueDouble(c.usedWithResponse));
  if (freqRead) {
    blank();
    t.entry(msgStr(805), valueDouble(c.freqRead));
    t.entry(msgStr(806), valueDouble(c.freqUsed));
    if (residual) t.entry(msgStr(808), valueDouble(c.freqWithResponse));
  }
  if (residual) {
    blank();
    const std::vector<OutputArgItem> format = {argInt(dkey::kWidth, 11),
                                               argInt(dkey::kDecimals, 98)};
    if (freqRead || weightRead)
      t.entry(msgStr(freqRead && weightRead ? 809
                     : weightRead           ? 810
                                            : 811),
              valueDouble(c.sse), format);
    t.entry(msgStr(812), valueDouble(c.weightedSse), format);
  }
  t.close();
  t.release();
}

// The lag design of the scored data of each LAG design variable the model uses whose EFFECT
// statement asked for details.
void printLagDesigns(StepView* s, const ZDesign* d, const AppliedModel& m, LagDesignPrinter print) {
  auto shown = [&](int32_t k) {
    const ZDesignVar& v = d->designVars[k];
    return m.designVarUsed[static_cast<size_t>(k)] && v.type == effkind::kLag && v.lag && v.report;
  };
  bool any = false;
  for (int32_t k = 0; k < d->designVarCount; ++k) any |= shown(k);
  if (!any || !print) return;
  OutputSink* sink = &s->output;
  void* group = openGroup(sink, "LagDesigns", msgStr(909), {argFlag(dkey::kFlag286, 0)});
  for (int32_t k = 0; k < d->designVarCount; ++k)
    if (shown(k)) print(sink, d->designVars[k], d);
  closeGroup(sink, group);
}

// The lag tables of the scored data, made by the analysis's own set-up from this data set's
// subjects and periods, for the LAG design variables the model uses; the others are skipped
// for the pass. 0, or the first failure (its error names the data sets; step code 1012).
int scoredLagTables(StepView* s, ZLevCtx* lev, const AppliedModel& m, const ScoreRequest& q) {
  ZDesign* d = lev->design;
  std::vector<LagRecord*> lags;
  std::vector<ZDesignVar*> vars;
  for (int32_t k = 0; k < d->designVarCount; ++k) {
    ZDesignVar& v = d->designVars[k];
    if (v.type != effkind::kLag || !v.lag) continue;
    const bool used = m.designVarUsed[static_cast<size_t>(k)] != 0;
    v.lag->notAvailable = used ? 0 : 1;
    if (used) lags.push_back(v.lag), vars.push_back(&v);
  }
  if (lags.empty()) return 0;
  const std::string input = dataSetNameOf(q.input), output = dataSetNameOf(q.output);
  d->lagEffects = 0;  // no lag is looked up while the tables are rebuilt
  zlagtables(lev, static_cast<int>(lags.size()), lags.data());
  int rc = 0;
  for (ZDesignVar* v : vars)
    if ((rc = zlagpass(lev, v, input.c_str(), output.c_str())) != 0) break;
  d->lagEffects = 1;
  if (rc != 0) raiseStepCode(s->stepCode, step::kInternal);
  return rc;
}

void endLagSkips(ZDesign* d) {
  for (int32_t k = 0; k < d->designVarCount; ++k)
    if (d->designVars[k].type == effkind::kLag && d->designVars[k].lag)
      d->designVars[k].lag->notAvailable = 0;
}

// Why observations were not scored, for the notes after the pass.
struct LeftOut {
  int64_t badValue = 0, noLag = 0, missingLevel = 0;
  UnseenLevels unseen;
  std::vector<int32_t> newLevels;  // per design effect
};

// Counts an unusable observation under its reason.
void countLeftOut(ZLevCtx* lev, const AppliedModel& m, RowFit fit, LeftOut* out) {
  if (fit == RowFit::kBadValue || fit == RowFit::kMembers)
    out->badValue += 1;
  else if (fit == RowFit::kNoLag)
    out->noLag += 1;
  else if (fit == RowFit::kMissingLevel && !out->unseen.add(lev, m.classUsed.data()))
    out->missingLevel += 1;
}

void leftOutNotes(const ZDesign* d, const std::string& name, LeftOut* out) {
  const std::string_view n(name);
  out->unseen.report(d, n, 6160, 6162);
  if (out->missingLevel > 0) hostMsg(848, 191, {n, static_cast<long long>(out->missingLevel)});
  for (int32_t e = 0; e < d->effectCount; ++e)
    if (out->newLevels[static_cast<size_t>(e)] > 0)
      hostMsg(848, 192, {n, std::string_view(d->effects[e].name ? d->effects[e].name : "")});
  if (out->badValue > 0) hostMsg(848, 6164, {n, static_cast<long long>(out->badValue)});
  if (out->noLag > 0) hostMsg(848, 6165, {n, static_cast<long long>(out->noLag)});
}

// The rows scored with a value of a spline's variable outside the range of the analysis data,
// per variable, where the basis continues its end pieces.
struct BeyondKnots {
  std::vector<int32_t> vars;  // continuous variables of the model's splines
  std::vector<int64_t> rows;

  BeyondKnots(const ZDesign* d, const AppliedModel& m) {
    for (int32_t k = 0; k < d->designVarCount; ++k) {
      const ZDesignVar* v = &d->designVars[k];
      if (!m.designVarUsed[static_cast<size_t>(k)] || v->type != effkind::kSpline) continue;
      if (v->copy && v->copyOf >= 0) v = &d->designVars[v->copyOf];
      for (int32_t j = 0; j < v->valueCount; ++j)
        if (std::find(vars.begin(), vars.end(), v->values[j]) == vars.end())
          vars.push_back(v->values[j]);
    }
    rows.assign(vars.size(), 0);
  }
  void count(const ZLevCtx* lev) {
    for (size_t i = 0; i < vars.size(); ++i)
      rows[i] += zbeyondknots(lev->design->modelVars[vars[i]], lev->values[vars[i]]);
  }
  void report(const ZDesign* d, std::string_view name) const {
    for (size_t i = 0; i < vars.size(); ++i) {
      if (rows[i] == 0) continue;
      const LevelVar& v = d->modelVars[vars[i]];
      // The ends as the data hold them, not the last digits of their centre and half-range.
      auto end = [](double x) {
        char text[32];
        std::snprintf(text, sizeof text, "%.12g", x);
        return std::string(text);
      };
      const std::string lo = end(v.center - v.halfRange), hi = end(v.center + v.halfRange);
      hostMsg(848, 6166,
              {name, v.desc ? std::string_view(v.desc->name) : std::string_view(),
               std::string_view(lo), std::string_view(hi), static_cast<long long>(rows[i])});
    }
  }
};

}  // namespace

int scoreDataSet(StepView* s, ZLevCtx* lev, SelectionState* sel, const ScoreRequest& q,
                 ScoreOutput* out, int index, bool ownReader, LagDesignPrinter lagDesigns) {
  ZDesign* d = lev->design;
  ScoreCounts& c = out->counts;
  c = ScoreCounts();
  OutputSlots& slots = out->slots;
  const bool responseRead = ownReader ? lev->responseCount > 0 && s->settings.responseRecord &&
                                            s->settings.responseRecord->desc
                                      : q.responseUsable;
  const bool weightRead = lev->weights != nullptr, freqRead = lev->frequency != nullptr;
  if (!responseRead) c.sse = c.weightedSse = dotMissing();
  AppliedModel model;
  selectedModel(s, sel, &model);
  bool predict = !out->missingVariable && sel->run.status >= 0 && model.present;
  // After a LAG failure every observation is still written, with missing predictions.
  const bool lagFailure = predict && scoredLagTables(s, lev, model, q) != 0;
  predict = predict && !lagFailure;
  std::vector<double> row(static_cast<size_t>(std::max(d->columnCount, 1)), 0.0);
  LeftOut left;
  BeyondKnots beyond(d, model);
  left.newLevels.assign(static_cast<size_t>(std::max(d->effectCount, 0)), 0);
  bool anyResponse = false;
  std::vector<double> sampleWork;  // the samples' predictions of a row
  if (slots.by) *slots.by = s->group.byGroupNumber;
  lev->start(lev);
  while (lev->next(lev)) {
    c.read += 1;
    clearComputed(&slots);
    if (!predict) {
      if (slots.dataSet) hostv().ds->append(slots.dataSet);
      continue;
    }
    double y = dotMissing(), w = 1.0, f = 1.0;
    // Its status bits say nothing the model's own check does not.
    (void)zreadobs(lev, responseRead ? &y : nullptr, weightRead ? &w : nullptr,
                   freqRead ? &f : nullptr);
    bool freqValid = true, weightValid = true;
    if (freqRead) {
      f = std::floor(f);
      freqValid = std::isfinite(f) && f > 0;
      if (freqValid) c.freqRead += f;
    }
    if (weightRead) weightValid = std::isfinite(w) && w > 0;
    const RowFit fit = checkModelRow(lev, model, &left.newLevels);
    if (fit != RowFit::kApplies) countLeftOut(lev, model, fit, &left);
    if (fit == RowFit::kApplies) {
      const bool hasResponse = responseRead && std::isfinite(y);
      c.used += 1;
      if (hasResponse) c.usedWithResponse += 1, anyResponse = true;
      if (freqRead && freqValid) {
        c.freqUsed += f;
        if (hasResponse) c.freqWithResponse += f;
      }
      beyond.count(lev);
      buildModelDesignRow(lev, row.data());
      const double predicted = predictRow(model, d, row.data());
      predictWithSampleModels(s, row.data(), &slots, &sampleWork);
      if (slots.predicted) *slots.predicted = predicted;
      if (hasResponse && std::isfinite(predicted)) {
        const double r = y - predicted;
        if (slots.residual) *slots.residual = r;
        c.sse += r * r;
        if (freqValid && weightValid) c.weightedSse += f * w * r * r;
      }
    }
    if (slots.dataSet) hostv().ds->append(slots.dataSet);
  }
  out->readInGroups += c.read;
  if (responseRead && !anyResponse) c.sse = c.weightedSse = dotMissing();
  if (freqRead && c.freqWithResponse == 0) c.weightedSse = dotMissing();
  if (!s->settings.displaysSuppressed) {
    printScoreInfo(s, q, c, index, freqRead, weightRead);
    if (predict) printLagDesigns(s, d, model, lagDesigns);
  }
  endLagSkips(d);
  leftOutNotes(d, dataSetNameOf(q.input), &left);
  beyond.report(d, dataSetNameOf(q.input));
  return 0;
}

}  // namespace vsf
