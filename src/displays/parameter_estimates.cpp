// ParameterEstimates: one row per parameter of every effect in the model with its CLASS
// levels, DF, estimate, standardized estimate and, for least-squares fits, its standard
// error, t value and p-value; per-fold estimates when the folds kept theirs.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/codes.h"
#include "base/host.h"
#include "design/design.h"
#include "displays/displays_internal.h"
#include "numerics/numerics.h"
#include "selection/group.h"

namespace vsf {

namespace {

// Width of a CLASS variable's column: its coded level names or its character values.
int classWidth(const LevelVar& v) {
  if (codingOf(v.coding).codedNames()) return std::min(codedNameWidth(v), kClassText);
  int w = 1;
  for (int l = 0; l < v.levelCount && v.levels; ++l)
    w = std::max(w, static_cast<int>(v.levels[l].length));
  return std::min(w, kClassText);
}

struct Context {
  StepView* s;
  const SelectionState* sel;
  const ZDesign* d;  // null when the step has no design (names then come from the labels)
};

int32_t columnsShown(const Context& c, int32_t e) {
  int32_t n = candidateColumns(c.s, e);
  return n > 0 ? n : (c.sel->layout.columnCount ? c.sel->layout.columnCount[e] : 0);
}

struct Widths {
  int effect = 0, parameter = 0, effects = 0;
  int levelsAt = 0;  // the page column where the levels follow the effect's label
};

Widths widthsOf(const Context& c, uint8_t* classUsed) {
  Widths w;
  auto widen = [&](int32_t e) {
    const std::string_view label = candidateLabel(c.s, e);
    w.effect = std::max(w.effect, static_cast<int>(label.size()));
    w.levelsAt = std::max(w.levelsAt, textWidth(label));
  };
  if (!c.s->display.noInt) widen(0);
  int32_t e = -1, cursor = -1;
  while (nextDisplayEffect(c.s, c.sel, nullptr, &e, &cursor)) widen(e);
  e = cursor = -1;
  while (nextDisplayEffect(c.s, c.sel, nullptr, &e, &cursor)) {
    ++w.effects;
    if (const ZEffect* z = candidateEffect(c.s, e))
      for (int k = 0; k < z->allClassCount; ++k)
        if (z->allClass[k] >= 0 && z->allClass[k] < c.d->classCount) classUsed[z->allClass[k]] = 1;
    for (int32_t i = 0; i < columnsShown(c, e); ++i)
      w.parameter = std::max(
          w.parameter, parameterText(c.s, e, candidateColumn(c.s, e, i), w.levelsAt, nullptr, 0));
  }
  return w;
}

struct Row {
  int32_t forcedIn = 0, df = 0;
  double estimate = 0, stb = 0, stdErr = 0, t = 0, probT = 0;
};

// Standard error, t value and p-value of one estimate from its swept diagonal.
void inference(double estimate, double invDiag, double mse, double dfe, Row* r) {
  const double dot = missingValue('.');
  if (!std::isfinite(mse) || isMissing(mse)) {
    r->stdErr = r->t = r->probT = dot;
    return;
  }
  r->stdErr = std::sqrt(std::max(invDiag, 0.0) * std::max(mse, 0.0));
  if (r->stdErr > 0) {
    r->t = estimate / r->stdErr;
    double p = zprobf(r->t * r->t, 1, dfe);
    r->probT = p < 0 ? dot : p;
  } else {
    r->t = estimate >= 0 ? missingCodeI() : missingCodeM();
    r->probT = 0;
  }
}

void foldColumns(DataTable& t, int folds, double* values) {
  for (int i = 1; i <= folds; ++i) {
    std::string name = "CVEstimate" + std::to_string(i);
    std::vector<OutputArgItem> more = {argString(key::kTemplate, hstr("CVEstimate"))};
    addDynamic(more, "CVEstimateHead", valueString(hstr(std::to_string(i))));
    addDynamic(more, "dynamicGlue", valueInt(i <= 2 ? 100 : 1));
    if (i == folds) {
      addDynamic(more, "spanStart", valueString(hstr("CVEstimate1")));
      addDynamic(more, "spanEnd", valueString(hstr(name)));
    }
    t.column(ctype::kDouble, name, &values[i - 1], more);
  }
}

}  // namespace

void classColumns(DataTable& t, const ZDesign* d, const uint8_t* used, char (*texts)[kClassText],
                  double* values) {
  for (int v = 0; d && v < d->classCount; ++v) {
    if (!used[v]) continue;
    const LevelVar& lv = d->classVars[v];
    if (codingOf(lv.coding).codedNames() || !lv.desc) {
      std::string name = lv.desc ? lv.desc->name.substr(0, 26) : "class" + std::to_string(v);
      t.column(ctype::kText, "param_" + name, texts[v],
               {argString(key::kLabel2, hstr(lv.desc ? lv.desc->name : name)),
                argString(key::kTemplate, hstr("Var")), argInt(dkey::kTextWidth, classWidth(lv))});
    } else if (lv.desc->type == kVarNumeric) {
      t.variableColumn(
          lv.desc, &values[v],
          {argString(key::kTemplate, hstr("NumVar")), argInt(dkey::kDecimals, kOwnFormat)});
    } else {
      t.variableColumn(
          lv.desc, texts[v],
          {argString(key::kTemplate, hstr("Var")), argInt(dkey::kTextWidth, classWidth(lv))});
    }
  }
}

void parameterColumn(DataTable& t, const StepView* s, char* text, int width, int levelsAt) {
  std::vector<OutputArgItem> more = {argInt(dkey::kTextWidth, width)};
  if (const int at = parameterLevelsAt(s, levelsAt); at >= 0)
    addDynamic(more, "levelsAt", valueInt(at));
  t.column(ctype::kText, "Parameter", text, more);
}

int nextDisplayEffect(const StepView* s, const SelectionState* sel, uint8_t* seen, int32_t* effect,
                      int32_t* cursor) {
  if (!seen) {
    for (int32_t e = *effect + 1; e < sel->layout.effectCount; ++e) {
      if (!inModel(sel->sweep.states[e])) continue;
      *effect = e;
      return 1;
    }
    *effect = sel->layout.effectCount;
    return 0;
  }
  const bool group =
      methodFamily(s->display.method).kind == MethodKind::kGroup && sel->steps.changes;
  const int32_t* list = group ? sel->steps.changes : sel->steps.effect;
  const int32_t length = group ? sel->steps.changeListLength : sel->steps.stepCount;
  for (int32_t k = *cursor + 1; list && k < length; ++k) {
    const int32_t e = list[k];
    *cursor = k;
    if (e < 0 || e >= sel->layout.effectCount || seen[e] || !inModel(sel->sweep.states[e]))
      continue;
    seen[e] = 1;
    *effect = e;
    return 1;
  }
  *cursor = length;
  return 0;
}

// Returns 0 (also when no effect is shown), or -2 when a work buffer cannot be had.
int printParameterEstimates(StepView* s, const SelectionState* sel, HostPool* allocator,
                            uint8_t entryOrder) {
  DisplayClock clock(&s->output);
  const DisplayOptions& o = s->display;
  const Context c{s, sel, s->lev.design};
  const int classCount = c.d ? c.d->classCount : 0;
  auto take = [&](size_t n) {
    return allocator ? kernel().poolAlloc(allocator, n, kAllocZero) : nullptr;
  };
  auto* classUsed = static_cast<uint8_t*>(take(std::max(classCount, 1)));
  if (!classUsed) return rc::kMemory;
  const Widths w = widthsOf(c, classUsed);
  if (w.effects == 0) return 0;  // no effect to show
  const bool ordered = entryOrder && o.method != kMethodBackward;
  auto* effectText = static_cast<char*>(take(std::max(w.effect, 1)));
  auto* parmText = static_cast<char*>(take(std::max(w.parameter, 1)));
  auto* texts = static_cast<char(*)[kClassText]>(take(kClassText * std::max(classCount, 1)));
  auto* values = static_cast<double*>(take(sizeof(double) * std::max(classCount, 1)));
  auto* seen =
      ordered ? static_cast<uint8_t*>(take(std::max(sel->layout.effectCount, 1))) : nullptr;
  const DisplayFlags f = displayFlags(s, sel);
  const int folds = f.foldEstimates && sel->foldRecs ? sel->folds : 0;
  auto* foldValues = static_cast<double*>(take(sizeof(double) * std::max(folds, 1)));
  if (!effectText || !parmText || !texts || !values || (ordered && !seen) || !foldValues)
    return rc::kMemory;

  const bool statistics = !f.pathEstimates && !f.groupPath;
  Row r;
  DataTable t(&s->output);
  t.create("ParameterEstimates", {argString(key::kLabel2, msgStr(560))});
  t.column(ctype::kText, "Effect", effectText, {argInt(dkey::kTextWidth, std::max(w.effect, 1))});
  classColumns(t, c.d, classUsed, texts, values);
  if (o.include) t.column(ctype::kInt, "ForcedIn", &r.forcedIn);
  parameterColumn(t, s, parmText, std::max(w.parameter, 1), w.levelsAt);
  if (!f.groupPath) t.column(ctype::kInt, "DF", &r.df);
  t.column(ctype::kDouble, "Estimate", &r.estimate);
  std::vector<OutputArgItem> stb, probT;
  addDynamic(stb, "showSTB", valueFlag(o.stb));
  addDynamic(probT, "showProbt", valueFlag(s->settings.showPValues));
  t.column(ctype::kDouble, "StandardizedEst", &r.stb, stb);
  if (statistics) {
    t.column(ctype::kDouble, "StdErr", &r.stdErr);
    t.column(ctype::kDouble, "tValue", &r.t);
    t.column(ctype::kDouble, "Probt", &r.probT, probT);
  }
  foldColumns(t, folds, foldValues);
  t.endColumns();
  std::vector<OutputArgItem> footnote;
  addDynamic(footnote, "printFootnote", valueFlag(o.include != 0));
  t.bind("Stat.VARSIFTER.ParameterEstimates", footnote, true);

  const double dfe = sel->totals.trainFreq - sel->sweep.sweptColumns;
  const double sse = sel->fit.trainSse > 0 ? sel->fit.trainSse : 0;
  const double mse = dfe > 0 ? sse / dfe : missingValue('.');
  int32_t e = -1, cursor = -1;
  while (nextDisplayEffect(c.s, sel, seen, &e, &cursor)) {
    const ZEffect* z = candidateEffect(c.s, e);
    r.forcedIn = sel->sweep.states[e] == EffectState::kForced ? 1 : 0;
    for (int32_t i = 0; i < columnsShown(c, e); ++i) {
      const int32_t column = candidateColumn(c.s, e, i);
      // The candidate's columns lie together in the estimates; `column` is within its effect.
      const int32_t parm = (sel->sweep.firstParam ? sel->sweep.firstParam[e] : 0) + i;
      fillField(effectText, std::max(w.effect, 1), candidateLabel(s, e));
      std::memset(texts, ' ', static_cast<size_t>(kClassText) * std::max(classCount, 1));
      for (int v = 0; v < classCount; ++v) values[v] = missingLowest();
      parameterText(c.s, e, column, w.levelsAt, parmText, std::max(w.parameter, 1));
      if (const int32_t* row = columnLevels(z, column)) zorthname(c.d, z, row, texts, values);
      const double inv = sel->sweep.invDiag[parm];
      if (inv == -1.0) {
        r.df = 0, r.estimate = r.stb = 0;
        r.stdErr = r.t = r.probT = missingValue('.');
      } else {
        r.df = 1, r.estimate = sel->sweep.estimates[parm], r.stb = sel->sweep.stdEstimates[parm];
        if (statistics) inference(r.estimate, inv, mse, dfe, &r);
      }
      for (int k = 0; k < folds; ++k)
        foldValues[k] =
            sel->foldRecs[k].estimates ? sel->foldRecs[k].estimates[parm] : missingValue('.');
      t.row();
    }
  }
  t.close();
  t.release();
  return 0;
}

void noteFitQuality(StepView* s, const SelectionState* sel) {
  if (sel->run.status != 0 || !sel->sweep.invDiag) return;
  const StepHistory& h = sel->steps;
  // The SSE the criteria see: 0 when they are -Infty, rounding noise when they are finite but
  // mean nothing.
  if (h.stepCount > 0 && h.sse) {
    const double sse = h.sse[h.stepCount - 1];
    if (sse == 0)
      hostMsg(848, 9101);
    else if (fitsExactly(sel->totals, sse))
      hostMsg(848, 9103);
  }
  const Context c{s, sel, s->lev.design};
  std::string aliased;
  int32_t e = -1, cursor = -1;
  while (nextDisplayEffect(s, sel, nullptr, &e, &cursor)) {
    const int32_t first = sel->sweep.firstParam ? sel->sweep.firstParam[e] : 0;
    const int32_t n = columnsShown(c, e);
    bool none = n > 0;
    for (int32_t i = 0; i < n && none; ++i) none = sel->sweep.invDiag[first + i] == -1.0;
    if (none) aliased += (aliased.empty() ? "" : " ") + std::string(candidateLabel(s, e));
  }
  if (!aliased.empty()) hostMsg(848, 9102, {std::string_view(aliased)});
}

}  // namespace vsf
