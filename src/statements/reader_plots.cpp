// readPlotsOptions: the PLOTS option of the procedure statement into the plot settings. Its
// table reads the global options and those of one plot; each plot of the step path takes the
// global step axis, step range and switches unless it has its own.
#include "base/host.h"
#include "grammar/slot_reader.h"
#include "statements/option_table.h"
#include "statements/statements.h"

namespace vsf {

namespace {

namespace ps = slots::proc;
namespace pf = flags::proc;

constexpr int kWholeEnd = 2147483647;

#define VSF_PLOTS(field) VSF_FIELD(settings.plots.field)
// clang-format off
constexpr OptionRow kPlotsRows[] = {
    {"CANDIDATES", ps::kPlotCandidates, kOptInteger, 10, {2}, VSF_PLOTS(candidates), kFixedOnRead},
    {"STEPAXIS", ps::kStepAxis, kOptCode, 0, {}, VSF_PLOTS(stepAxis), kSetUpSettles},
    {"STARTSTEP", ps::kStartStep, kOptInteger, -1, {}, VSF_PLOTS(startStep), kStatementRules},
    {"ENDSTEP", ps::kEndStep, kOptInteger, kWholeEnd, {}, VSF_PLOTS(endStep), kStatementRules},
    {"MAXSTEPLABEL", ps::kMaxStepLabel, kOptInteger, 20, {9, 256}, VSF_PLOTS(maxStepLabel), kFixedOnRead},
    {"MAXPARMLABEL", ps::kMaxParmLabel, kOptInteger, 32, {0, 256}, VSF_PLOTS(maxParmLabel), kFixedOnRead},
    {"ALL", pf::kPlotAll, kOptFlag, 0, {}, VSF_PLOTS(all), kFixedOnRead},
    {"LABELGAP", ps::kLabelGap, kOptPercent, 5.0, {0, 100}, VSF_PLOTS(labelGap), kFixedOnRead},
    {"NORMALIZEDCRITERIA", pf::kNormalizedCriteria, kOptFlag, 0, {},
     VSF_PLOTS(selectogram.normalized), kNoEffect},
    {"EMPHASIS", ps::kEmphasis, kOptNumber, 1.0, {0, 1}, VSF_PLOTS(selectogram.emphasis), kNoEffect},
    {"EFFECTSELECTPCT(MINPCT=)", ps::kEspMinPct, kOptNumber, -1.0, {0, 100},
     VSF_PLOTS(effectSelectPct.minPct), kFixedOnRead},
    {"EFFECTSELECTPCT(ORDER=)", ps::kEspOrder, kOptCode, 2, {}, VSF_PLOTS(effectSelectPct.order), kFixedOnRead},
    {"PARMDIST(MINPCT=)", ps::kPdMinPct, kOptNumber, -1.0, {0, 100}, VSF_PLOTS(parmDist.minPct), kFixedOnRead},
    {"PARMDIST(ORDER=)", ps::kPdOrder, kOptCode, 2, {}, VSF_PLOTS(parmDist.order), kFixedOnRead},
    {"PLOTSPERPANEL", ps::kPlotsPerPanel, kOptInteger, 9, {1, 16},
     VSF_PLOTS(parmDist.plotsPerPanel), kFixedOnRead},
    {"NOBOXPLOTS", pf::kNoBoxPlots, kOptFlag, 0, {}, VSF_PLOTS(parmDist.noBoxPlots), kFixedOnRead},
};
// clang-format on
#undef VSF_PLOTS

// The plots of the step path, each with its own step axis, step range and switches.
struct FamilyLayout {
  PlotFamily PlotSettings::*family;
  int requestFlag, axisSlot, startSlot, endSlot, unpackFlag, logpFlag;  // -1: none
};
constexpr FamilyLayout kFamilies[] = {
    {&PlotSettings::coefficients, pf::kPlotCoef, ps::kCoefStepAxis, ps::kCoefStartStep,
     ps::kCoefEndStep, pf::kCoefUnpack, pf::kCoefLogp},
    {&PlotSettings::ase, pf::kPlotAse, ps::kAseStepAxis, ps::kAseStartStep, ps::kAseEndStep, -1,
     -1},
    {&PlotSettings::criteria, pf::kPlotCriteria, ps::kCritStepAxis, ps::kCritStartStep,
     ps::kCritEndStep, pf::kCritUnpack, -1},
};

// A step range whose first step lies after its last is the whole range; true when replaced.
bool fixRange(PlotFamily& f) {
  if (f.startStep <= f.endStep) return false;
  f.startStep = -1;
  f.endStep = kWholeEnd;
  return true;
}

uint8_t onValue(const StatementRecord* p, int requestFlag, bool all) {
  return static_cast<uint8_t>((p->flag(requestFlag) ? 1 : 0) + (all ? 2 : 0));
}

bool readFamily(const StatementRecord* p, const PlotSettings& g, const FamilyLayout& l,
                PlotFamily* f) {
  Slots r(p);
  f->on = onValue(p, l.requestFlag, g.all);
  f->stepAxis = r.integer(l.axisSlot, g.stepAxis);
  f->startStep = r.integer(l.startSlot, g.startStep);
  f->endStep = r.integer(l.endSlot, g.endStep);
  f->unpack = l.unpackFlag >= 0 && (p->flag(pf::kPlotUnpack) || p->flag(l.unpackFlag));
  f->logp = l.logpFlag >= 0 && (p->flag(pf::kPlotLogp) || p->flag(l.logpFlag));
  return fixRange(*f);
}

// A plot this build reads and does not draw, and a switch the candidates plot has no use for.
void noEffectNotes(const StatementRecord* p) {
  if (p->flag(pf::kPlotSelectogram)) noEffectMsg("PLOTS=SELECTOGRAM");
  if (p->flag(pf::kCandidatesLogp)) noEffectMsg("LOGP of PLOTS=CANDIDATES");
}

}  // namespace

OptionTable plotsOptionTable() { return {"proc", kPlotsRows}; }

void readPlotsOptions(ReaderTarget* s, const StatementRecord* p) {
  PlotSettings& g = s->settings.plots;
  g = PlotSettings();
  bool plots = p->flag(pf::kPlots);
  g.given = plots;
  if (plots) {
    if (p->flag(pf::kNoPrint)) {
      hostMsg(210, 1102);
      return;
    }
    if (p->flag(pf::kPlotNone)) {
      s->settings.graphicsOn = 0;
      const int others[] = {pf::kPlotCriteria, pf::kPlotAse,         pf::kPlotAll,
                            pf::kPlotCoef,     pf::kPlotSelectogram, pf::kPlotCandidates};
      for (int f : others) {
        if (p->flag(f)) {
          hostMsg(210, 1100);
          break;
        }
      }
      return;
    }
    if (!s->settings.graphicsOn) {
      hostMsg(210, 1104);
      raiseStepCode(s->stepCode, step::kWarning);
      return;
    }
    if (!p->flag(pf::kPlotEquals)) {
      hostMsg(210, 1108);
      s->settings.graphicsOn = 0;
      return;
    }
  }

  readRows(s, kPlotsRows, p);
  Slots r(p);
  bool reset = false;
  for (const FamilyLayout& l : kFamilies) reset |= readFamily(p, g, l, &(g.*l.family));
  if (reset) repairMsg(s->stepCode, 224);

  g.selectogram.on = onValue(p, pf::kPlotSelectogram, g.all);

  g.candidatesPlot.on = onValue(p, pf::kPlotCandidates, g.all);
  g.candidatesPlot.show = r.integer(ps::kCandidatesShow, g.candidates);

  // The model-averaging plots: ALL asks for them only when there is model averaging.
  bool averaging = s->settings.counts.modelAverage != 0;
  g.effectSelectPct.on = onValue(p, pf::kPlotEsp, g.all && averaging);
  if (p->flag(pf::kPlotEsp) && !averaging) {
    repairMsg(s->stepCode, 244);
    g.effectSelectPct.on = 0;
  }
  g.parmDist.on = onValue(p, pf::kPlotParmDist, g.all && averaging);
  g.parmDist.unpack = p->flag(pf::kPlotUnpack) || p->flag(pf::kPdUnpack);
  if (p->flag(pf::kPlotParmDist) && !averaging) {
    repairMsg(s->stepCode, 245);
    g.parmDist.on = 0;
  }
  noEffectNotes(p);
}

}  // namespace vsf
