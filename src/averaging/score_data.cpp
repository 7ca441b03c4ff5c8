// One SCORE data set: each observation decoded against the analysis levels, predicted where the
// selected model applies and written with missing values where it does not; the counts and
// sums of squared residuals go to the ScoreInfo table.
#include <cmath>
#include <string>

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
  if (s->settings.displaysSuppressed) return;
  FactoidTable t(&s->res.output);
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
  // The LagDesigns group of the LAG design variables the model uses comes here once LAG effects
  // have design values.
}

}  // namespace

int scoreDataSet(StepView* s, ZLevCtx* lev, SelectionState* sel, const ScoreRequest& q,
                 ScoreOutput* out, int index, bool ownReader) {
  const ZDesign* d = lev->design;
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
  const bool predict = !out->missingVariable && sel->run.status >= 0 && model.present;
  std::vector<double> row(static_cast<size_t>(std::max(d->columnCount, 1)), 0.0);
  std::vector<int32_t> newLevels(static_cast<size_t>(std::max(d->effectCount, 0)), 0);
  bool missingLevelNote = false, anyResponse = false;
  lev->start(lev);
  while (lev->next(lev)) {
    c.read += 1;
    clearComputed(&slots);
    if (!predict) {
      if (slots.dataSet) hostv().ds->append(slots.dataSet);
      continue;
    }
    double y = dotMissing(), w = 1.0, f = 1.0;
    const uint32_t status = zreadobs(lev, responseRead ? &y : nullptr, weightRead ? &w : nullptr,
                                     freqRead ? &f : nullptr);
    bool freqValid = true, weightValid = true;
    if (freqRead) {
      f = std::floor(f);
      freqValid = std::isfinite(f) && f > 0;
      if (freqValid) c.freqRead += f;
    }
    if (weightRead) weightValid = std::isfinite(w) && w > 0;
    const RowFit fit = checkModelRow(lev, model, status, false, &newLevels);
    missingLevelNote |= fit == RowFit::kMissingLevel;
    if (fit == RowFit::kApplies) {
      const bool hasResponse = responseRead && std::isfinite(y);
      c.used += 1;
      if (hasResponse) c.usedWithResponse += 1, anyResponse = true;
      if (freqRead && freqValid) {
        c.freqUsed += f;
        if (hasResponse) c.freqWithResponse += f;
      }
      buildModelDesignRow(lev, row.data());
      double predicted = predictRow(model, d, row.data());
      if (predictWithSampleModels(s, row.data(), &slots) && slots.predicted)
        predicted = *slots.predicted;
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
  if (responseRead && !anyResponse) c.sse = c.weightedSse = dotMissing();
  if (freqRead && c.freqWithResponse == 0) c.weightedSse = dotMissing();
  printScoreInfo(s, q, c, index, freqRead, weightRead);
  const std::string name = dataSetNameOf(q.input);
  if (missingLevelNote) hostMsg(848, 191, {std::string_view(name)});
  for (int32_t e = 0; e < d->effectCount; ++e)
    if (newLevels[static_cast<size_t>(e)] > 0)
      hostMsg(
          848, 192,
          {std::string_view(name), std::string_view(d->effects[e].name ? d->effects[e].name : "")});
  return 0;
}

}  // namespace vsf
