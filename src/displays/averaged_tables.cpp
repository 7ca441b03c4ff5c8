// The tables of model averaging over the samples: how often each effect was selected
// (EffectSelectPct), the distinct models best first (ModelSelectFreq) and the averaged
// parameter estimates (AvgParmEst, RefitAvgParmEst in the refit pass).
#include <algorithm>
#include <cstring>
#include <numeric>

#include "base/codes.h"
#include "design/design.h"
#include "displays/displays_internal.h"
#include "graphs/graphs.h"
#include "selection/group.h"

namespace vsf {

namespace {

std::vector<int32_t> allEffects(int32_t n) {
  std::vector<int32_t> e(static_cast<size_t>(std::max(n, 0)));
  std::iota(e.begin(), e.end(), 0);
  return e;
}

// The averaged samples that selected each effect (the share AvgParmEst's MINPCT= tests, over
// the same samples as its other percentages).
std::vector<int32_t> averagedSelectCounts(const ResampleSet& set, int32_t effects) {
  std::vector<int32_t> count(static_cast<size_t>(effects), 0);
  const AveragedResults& a = set.results;
  for (size_t k = 0; k < set.fits.size() && k < a.sampleInAverage.size(); ++k) {
    if (!a.sampleInAverage[k]) continue;
    for (int32_t e : set.fits[k].effects)
      if (e >= 0 && e < effects) count[static_cast<size_t>(e)] += 1;
  }
  return count;
}

}  // namespace

int printEffectSelectPct(StepView* s, int mode, void** plotData, int32_t* plotRows) {
  const ModelAverageOptions& m = s->settings.modelAverage;
  const auto& p = s->settings.plots.effectSelectPct;
  const AveragedResults& a = s->group.resampling.results;
  const SelectionState* sel = &s->group.selection;
  DisplayClock clock(&s->output);
  int32_t order = m.espOrder;
  double minPct = m.espMinPct;
  if (mode == 2) {
    if (p.order != 0) order = p.order;
    if (p.minPct != -1) minPct = p.minPct;
  }
  const double scale = 100.0 / std::max(a.samplesFitted, 1);
  auto shown = [&](int32_t e) {
    const double pct = a.effectSelectCount[static_cast<size_t>(e)] * scale;
    return pct != 0 && pct >= minPct && candidateLabel(s, e) != "Intercept";
  };
  int width = 0;
  for (int32_t e = 0; e < sel->layout.effectCount; ++e)
    if (shown(e)) width = std::max(width, static_cast<int>(candidateLabel(s, e).size()));
  std::vector<char> name(static_cast<size_t>(std::max(width, 1)), ' ');
  double pct = 0;
  DataTable t(&s->output);
  t.create(mode == 2 ? "EffectSelPercentageForPlot" : "EffectSelectPct",
           {argString(key::kLabel2, msgStr(1150))});
  t.column(ctype::kText, "Effect", name.data(), {argInt(dkey::kTextWidth, std::max(width, 1))});
  t.column(ctype::kDouble, "SelectionPct", &pct);
  t.endColumns();
  std::vector<OutputArgItem> dynamics;
  addDynamic(dynamics, "tableHeader",
             valueString(minPct != 0 ? msgStr(1152, {minPct}) : msgStr(1150)));
  addDynamic(dynamics, "samplesFitted", valueInt(a.samplesFitted));
  // The plot's own table feeds only the plot.
  t.bind(mode == 2 ? "Stat.VARSIFTER.Phantom.EffectSelPercentageForPlot"
                   : "Stat.VARSIFTER.EffectSelectPct",
         dynamics, true, mode != 0 ? plotData : nullptr);
  int32_t rows = 0;
  for (int32_t e :
       effectsInOrder(allEffects(sel->layout.effectCount), a.effectSelectCount, order)) {
    if (!shown(e)) continue;
    fillField(name.data(), std::max(width, 1), candidateLabel(s, e));
    pct = a.effectSelectCount[static_cast<size_t>(e)] * scale;
    t.row();
    rows += 1;
  }
  if (mode != 0 && plotRows) *plotRows = rows;
  t.close();
  t.release();
  return 0;
}

int printModelSelectFreq(StepView* s) {
  const ModelAverageOptions& m = s->settings.modelAverage;
  if (m.msfTable == 0) return 0;
  const AveragedResults& a = s->group.resampling.results;
  const SelectionState* sel = &s->group.selection;
  // The indicator columns are the last run's model; a run that ended empty shows none.
  const int32_t r = sel->sweep.entryOrder ? std::max(sel->sweep.effectsInModel, 0) : 0;
  if (a.samplesFitted <= 0) return 0;  // nothing was fitted: the step said so
  DisplayClock clock(&s->output);
  const int32_t shownModels =
      std::min(static_cast<int32_t>(a.modelOrder.size()), std::max(m.msfBest, 0));
  int width = 0, footnote = 0;
  for (int32_t k = 0; k < shownModels; ++k) {
    const DistinctModel& d = a.distinctModels[static_cast<size_t>(a.modelOrder[k])];
    int w = 0;
    for (int32_t e : d.effects) w += static_cast<int>(candidateLabel(s, e).size()) + 1;
    width = std::max(width, w);
    if (!d.inAverage) footnote = 1;
  }
  std::vector<int32_t> indicator(static_cast<size_t>(r), 0);
  std::string text;
  std::vector<char> effects(static_cast<size_t>(std::max(width, 1)), ' ');
  int32_t notUsed = 0, times = 0, count = 0;
  double pct = 0, score = 0;
  char control = ' ';
  DataTable t(&s->output);
  t.create("ModelSelectFreq", {argString(key::kLabel2, msgStr(1160))});
  if (m.subsetMinModelFreq != 0 || m.subsetBest != 0) t.column(ctype::kInt, "NotUsed", &notUsed);
  t.column(ctype::kInt, "TimesSelected", &times);
  t.column(ctype::kDouble, "SelectionPct", &pct);
  t.column(ctype::kInt, "NEffectsInModel", &count);
  t.column(ctype::kDouble, "FreqScore", &score);
  t.column(ctype::kText, "EffectsInModel", effects.data(),
           {argInt(dkey::kTextWidth, std::max(width, 1))});
  for (int32_t j = 0; j < r; ++j)
    t.column(ctype::kInt, std::string(candidateLabel(s, sel->sweep.entryOrder[j])),
             &indicator[static_cast<size_t>(j)],
             {argString(key::kTemplate, hstr("EffectIndicator"))});
  t.column(ctype::kChar, "Control", &control);
  t.endColumns();
  std::vector<OutputArgItem> dynamics;
  addDynamic(dynamics, "widthMax", valueInt(width));
  addDynamic(dynamics, "printFootnote", valueInt(footnote));
  addDynamic(dynamics, "samplesFitted", valueInt(a.samplesFitted));
  t.bind("Stat.VARSIFTER.ModelSelectFreq", dynamics, true);
  for (int32_t k = 0; k < shownModels; ++k) {
    const DistinctModel& d = a.distinctModels[static_cast<size_t>(a.modelOrder[k])];
    times = d.frequency;
    pct = d.frequency * 100.0 / a.samplesFitted;
    control = ' ';
    if (!d.inAverage && !notUsed) notUsed = 1, control = '-';
    count = static_cast<int32_t>(d.effects.size());
    score = d.frequency + d.meanEffectSelectFraction;
    std::fill(indicator.begin(), indicator.end(), 0);
    text.clear();
    for (int32_t e : d.effects) {
      text += candidateLabel(s, e);
      text += ' ';
      for (int32_t j = 0; j < r; ++j)
        if (sel->sweep.entryOrder[j] == e) indicator[static_cast<size_t>(j)] = 1;
    }
    fillField(effects.data(), std::max(width, 1), text);
    t.row();
  }
  t.close();
  t.release();
  return 0;
}

int printAvgParmEst(StepView* s, bool nonzeroParms) {
  const ModelAverageOptions& m = s->settings.modelAverage;
  if (m.parmEstTable == 0) return 0;
  const ResampleSet& set = s->group.resampling;
  const AveragedResults& a = set.results;
  const SelectionState* sel = &s->group.selection;
  const DisplayOptions& o = s->display;
  const bool refit = set.refitPass != 0;
  const ZDesign* d = s->lev.design;
  const int classCount = d ? d->classCount : 0;
  if (a.samplesAveraged <= 0) return rc::kMemory;
  DisplayClock clock(&s->output);
  const std::vector<int32_t> model(sel->sweep.entryOrder,
                                   sel->sweep.entryOrder + sel->sweep.effectsInModel);
  std::vector<uint8_t> used(static_cast<size_t>(std::max(classCount, 1)), 0);
  int effectWidth = o.noInt ? 0 : static_cast<int>(candidateLabel(s, 0).size());
  int levelsAt = o.noInt ? 0 : textWidth(candidateLabel(s, 0));  // a page column
  for (int32_t e : model) {
    effectWidth = std::max(effectWidth, static_cast<int>(candidateLabel(s, e).size()));
    levelsAt = std::max(levelsAt, textWidth(candidateLabel(s, e)));
    if (const ZEffect* z = candidateEffect(s, e))
      for (int k = 0; k < z->allClassCount; ++k)
        if (z->allClass[k] >= 0 && z->allClass[k] < classCount) used[z->allClass[k]] = 1;
  }
  int parmWidth = 0;
  for (int32_t e : model)
    for (int32_t i = 0; i < candidateColumns(s, e); ++i)
      parmWidth =
          std::max(parmWidth, parameterText(s, e, candidateColumn(s, e, i), levelsAt, nullptr, 0));
  effectWidth = std::max(effectWidth, 1), parmWidth = std::max(parmWidth, 1);
  std::vector<char> effectText(static_cast<size_t>(effectWidth)),
      parmText(static_cast<size_t>(parmWidth));
  std::vector<char> texts(static_cast<size_t>(kClassText) * std::max(classCount, 1));
  std::vector<double> values(static_cast<size_t>(std::max(classCount, 1)));
  auto* textSlots = reinterpret_cast<char(*)[kClassText]>(texts.data());
  int32_t forcedIn = 0, nonzero = 0, trimmed = 0;
  double nonzeroPct = 0, mean = 0, stdDev = 0, median = 0, lower = 0, upper = 0;

  DataTable t(&s->output);
  t.create(refit ? "RefitAvgParmEst" : "AvgParmEst", {argString(key::kLabel2, msgStr(559))});
  t.column(ctype::kText, "Effect", effectText.data(), {argInt(dkey::kTextWidth, effectWidth)});
  classColumns(t, d, used.data(), textSlots, values.data());
  if (o.include && !refit) t.column(ctype::kInt, "ForcedIn", &forcedIn);
  parameterColumn(t, s, parmText.data(), parmWidth, levelsAt);
  if (!refit) {
    t.column(ctype::kInt, "NumberNonzero", &nonzero);
    if (m.trimFraction != 0) t.column(ctype::kInt, "TrimmedNumberNonzero", &trimmed);
    t.column(ctype::kDouble, "NonZeroPct", &nonzeroPct);
  }
  t.column(ctype::kDouble, "Mean", &mean);
  t.column(ctype::kDouble, "StdDev", &stdDev);
  t.column(ctype::kDouble, "Median", &median);
  t.column(ctype::kDouble, "LowerQuantile", &lower);
  t.column(ctype::kDouble, "UpperQuantile", &upper);
  t.endColumns();
  const double q = m.alpha / 2, trim = 100 * m.trimFraction;
  std::vector<OutputArgItem> dynamics;
  if (nonzeroParms) addDynamic(dynamics, "title2", valueString(msgStr(566)));
  addDynamic(dynamics, "title1Space", valueInt(nonzeroParms ? 0 : 1));
  addDynamic(dynamics, "printFootnote", valueFlag(o.include));
  addDynamic(dynamics, "confidence", valueDouble(100 * (1 - q)));
  addDynamic(dynamics, "quantileLower", valueString(msgStr(565, {100 * q})));
  addDynamic(dynamics, "quantileUpper", valueString(msgStr(565, {100 * (1 - q)})));
  addDynamic(dynamics, "meanHeader", valueString(trim != 0 ? msgStr(561, {trim}) : msgStr(563)));
  addDynamic(dynamics, "stdDevHeader", valueString(trim != 0 ? msgStr(562, {trim}) : msgStr(564)));
  addDynamic(dynamics, "samplesAveraged", valueInt(a.samplesAveraged));
  t.bind("Stat.VARSIFTER.AvgParmEst", dynamics, true);

  const std::vector<int32_t> selected = averagedSelectCounts(set, sel->layout.effectCount);
  const double scale = 100.0 / a.samplesAveraged;
  bool leftOut = false;
  for (int32_t e : effectsInOrder(model, selected, m.peOrder)) {
    if (m.peMinPct > selected[static_cast<size_t>(e)] * scale) {
      leftOut = true;
      continue;
    }
    forcedIn = sel->sweep.states[e] == EffectState::kForced ? 1 : 0;
    const ZEffect* z = candidateEffect(s, e);
    for (int32_t i = 0; i < candidateColumns(s, e); ++i) {
      const size_t c = static_cast<size_t>(sel->sweep.firstParam[e] + i);
      if (a.avgEstimate[c] == 0) continue;
      const int32_t column = candidateColumn(s, e, i);
      fillField(effectText.data(), effectWidth, candidateLabel(s, e));
      std::fill(texts.begin(), texts.end(), ' ');
      std::fill(values.begin(), values.end(), missingLowest());
      parameterText(s, e, column, levelsAt, parmText.data(), parmWidth);
      if (const int32_t* row = columnLevels(z, column))
        zorthname(d, z, row, textSlots, values.data());
      mean = nonzeroParms ? a.nzEstimate[c] : a.avgEstimate[c];
      stdDev = nonzeroParms ? a.nzStdDev[c] : a.avgStdDev[c];
      median = nonzeroParms ? a.nzMedian[c] : a.avgMedian[c];
      lower = nonzeroParms ? a.nzLower[c] : a.avgLower[c];
      upper = nonzeroParms ? a.nzUpper[c] : a.avgUpper[c];
      nonzero = a.parmNonzeroCount[c];
      trimmed = static_cast<int32_t>((1 - m.trimFraction) * nonzero);
      nonzeroPct = nonzero * scale;
      t.row();
    }
  }
  t.close();
  t.release(leftOut ? msgStr(567, {m.peMinPct}) : nullptr);
  return 0;
}

}  // namespace vsf
