// The size of the selection problem (Dimensions) and the screening of a path's candidates
// (ScreeningInfo, SISCorrelation).
#include <algorithm>

#include "base/codes.h"
#include "base/host.h"
#include "displays/displays_internal.h"
#include "selection/group.h"

namespace vsf {

namespace {

OutputArgItem threeDecimals() { return argString(dkey::kFormatName, hstr("pvalue.3")); }

bool safeRule(ScreenCode c) { return c == kScreenZanvi || c == kScreenZanvi2 || c == kScreenDpp; }

}  // namespace

// The stored counts hold the intercept's slot under NOINT too: it is not shown.
int printDimensions(StepView* s, const SelectionState*) {
  const ZDesign* d = s->lev.design;
  if (!d) return 0;
  DisplayClock clock(&s->output);
  const DisplayOptions& o = s->display;
  const int32_t noInt = o.noInt ? 1 : 0;
  FactoidTable t(&s->output);
  t.create("Dimensions", "Stat.VARSIFTER.Dimensions", msgStr(760),
           {argString(key::kLabel, msgStr(760))});
  t.entry(msgStr(761), valueInt(d->effectCount - noInt));
  if (o.designPerByGroup) t.entry(msgStr(762), valueInt(s->group.candidates.count - noInt));
  t.entry(msgStr(763), valueInt(d->columnCount - noInt));
  t.close();
  t.release();
  return 0;
}

int printScreeningInfo(StepView* s, const SelectionState* sel) {
  const DisplayOptions& o = s->display;
  if (o.screen == kScreenNone) return 0;
  DisplayClock clock(&s->output);
  FactoidTable t(&s->output);
  t.create("ScreeningInfo", "Stat.VARSIFTER.ScreeningInfo", msgStr(4020),
           {argString(key::kLabel, msgStr(4020))});
  if (safeRule(o.screen)) {
    t.entry(msgStr(4021), valueString(msgStr(4022)));
  } else {
    const PathScreening& sc = sel->path.screen;
    t.entry(msgStr(4021), valueString(msgStr(4023)));
    if (sc.keepFraction != -1.0)
      t.entry(msgStr(4026), valueDouble(o.keepRatio), {threeDecimals()});
    else
      t.entry(msgStr(4027), valueInt(o.keepNum));
    t.entry(msgStr(4024), valueInt(sc.kept));
    // The effects ranked are those the selection may enter.
    const double fraction = sc.ranked > 0 ? static_cast<double>(sc.kept) / sc.ranked : 0.0;
    t.entry(msgStr(4025), valueDouble(fraction), {threeDecimals()});
  }
  t.close();
  t.release();
  return 0;
}

// Every kept effect and at most the next five; 0, or -2 when the name buffer cannot be had.
int printSisCorrelation(StepView* s, const SelectionState* sel) {
  const PathScreening& sc = sel->path.screen;
  if (!sc.sisEffect || sc.ranked == 0) return 0;
  int width = 0;
  for (int32_t r = 0; r < sc.ranked; ++r)
    width = std::max(width, static_cast<int>(candidateLabel(s, sc.sisEffect[r]).size()));
  char* name = width > 0 && sel->modelPool
                   ? static_cast<char*>(kernel().poolAlloc(sel->modelPool, width, 0))
                   : nullptr;
  if (!name) return rc::kMemory;
  DisplayClock clock(&s->output);
  struct Row {
    int32_t rank = 0, out = 0;
    double correlation = 0;
  } row;
  DataTable t(&s->output);
  t.create("SISCorrelation", {argString(key::kLabel2, msgStr(4030))});
  t.column(ctype::kInt, "Rank", &row.rank);
  t.column(ctype::kText, "Effect", name, {argInt(dkey::kTextWidth, width)});
  t.column(ctype::kDouble, "absCorr", &row.correlation);
  t.column(ctype::kInt, "corrOut", &row.out);
  t.endColumns();
  std::vector<OutputArgItem> footnote;
  addDynamic(footnote, "printFootnote", valueInt(sc.ranked > sc.kept ? 1 : 0));
  t.bind("Stat.VARSIFTER.SISCorr", footnote);
  for (int32_t r = 0; r < std::min(sc.ranked, sc.kept + 5); ++r) {
    row.rank = r + 1;
    fillField(name, width, candidateLabel(s, sc.sisEffect[r]));
    row.correlation = sc.sisCorrelation[r];
    row.out = r >= sc.kept ? 1 : 0;
    t.row();
  }
  t.close();
  t.release();
  return 0;
}

}  // namespace vsf
