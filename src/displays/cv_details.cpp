// CVDetails: per cross-validation fold the observations fitted and left out and the fold's
// PRESS, then the total.
#include <cstring>

#include "base/codes.h"
#include "base/host.h"
#include "displays/displays_internal.h"
#include "selection/group.h"

namespace vsf {

namespace {

// The CLASS variable the folds are indexed by (CVMETHOD=INDEX), which names the column of the
// folds' values; or null.
const LevelVar* indexVariable(const StepView* s) {
  const ZDesign* d = s->lev.design;
  if (s->display.cvMethod != kCvIndex || !d || s->display.cvIndexVariable < 0) return nullptr;
  for (int32_t c = 0; c < d->classCount; ++c)
    if (d->classVars[c].desc && d->classVars[c].desc->number == s->display.cvIndexVariable)
      return &d->classVars[c];
  return nullptr;
}

}  // namespace

// Returns 0, or -2 when the text buffer of a character index variable cannot be had.
int printCvDetails(StepView* s, const SelectionState* sel, HostPool* allocator) {
  DisplayClock clock(&s->output);
  const LevelVar* index = indexVariable(s);
  const bool character = index && index->desc->type == kVarCharacter;
  const int textWidth = character ? std::max(index->desc->length, 1) : 0;
  char* text = nullptr;
  if (character) {
    text = static_cast<char*>(allocator ? kernel().poolAlloc(allocator, textWidth, 0) : nullptr);
    if (!text) return rc::kMemory;
  }
  struct Row {
    int32_t index = 0;
    double value = 0, fitted = 0, leftOut = 0, press = 0;
    char control = ' ';
  } r;
  DataTable t(&s->output);
  t.create("CVDetails", {argString(key::kLabel2, msgStr(790))});
  t.column(ctype::kInt, "Index", &r.index);
  if (index && character)
    t.variableColumn(
        index->desc, text,
        {argString(key::kTemplate, hstr("IndexCharVar")), argInt(dkey::kTextWidth, textWidth)});
  else if (index)
    t.variableColumn(index->desc, &r.value, {argString(key::kTemplate, hstr("IndexNumVar"))});
  t.column(ctype::kDouble, "NOBSFITTED", &r.fitted);
  t.column(ctype::kDouble, "NOBSLEFTOUT", &r.leftOut);
  t.column(ctype::kDouble, "CVPRESS", &r.press);
  t.column(ctype::kChar, "Control", &r.control);
  t.endColumns();
  t.bind("Stat.VARSIFTER.CVDetails");

  const GroupState& g = s->group;
  for (int32_t i = 0; i < sel->folds && sel->foldRecs; ++i) {
    const FoldRecord& f = sel->foldRecs[i];
    r.index = i + 1;
    r.leftOut = f.rows;
    r.fitted = sel->totals.obsUsed - f.rows;
    r.press = f.sse;
    r.control = ' ';
    // The fold's own value: the CLASS levels may be in another order than the folds.
    const auto k = static_cast<size_t>(i);
    if (character)
      fillField(text, textWidth, k < g.indexFoldTexts.size() ? g.indexFoldTexts[k] : "");
    else if (index)
      r.value = k < g.indexFoldValues.size() ? g.indexFoldValues[k] : missingValue('.');
    t.row();
  }
  r.control = '-';
  r.index = -1;
  r.fitted = r.leftOut = -1.0;
  r.press = sel->fit.cvPress;
  r.value = -1.0;
  if (character) std::memset(text, ' ', textWidth);
  t.row();
  t.close();
  t.release();
  return 0;
}

}  // namespace vsf
