// readPlotsOptions: the PLOTS option of the procedure statement into the plot settings; each
// plot takes the global step axis, step range and switches unless it has its own.
#include "base/host.h"
#include "grammar/slot_reader.h"
#include "statements/statements.h"

namespace vsf {

namespace {

namespace ps = slots::proc;
namespace pf = flags::proc;

constexpr int kWholeEnd = 2147483647;

struct FamilyLayout {
  int requestFlag, axisSlot, startSlot, endSlot, unpackFlag, logpFlag;  // -1: none
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

}  // namespace

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

  Slots r(p);
  g.candidates = r.integer(ps::kPlotCandidates, 10);
  g.stepAxis = r.integer(ps::kStepAxis, 0);
  g.startStep = r.integer(ps::kStartStep, -1);
  g.endStep = r.integer(ps::kEndStep, kWholeEnd);
  g.maxStepLabel = r.integer(ps::kMaxStepLabel, 20);
  g.maxParmLabel = r.integer(ps::kMaxParmLabel, 32);
  g.all = p->flag(pf::kPlotAll);

  bool reset = false;
  reset |= readFamily(p, g,
                      {pf::kPlotCoef, ps::kCoefStepAxis, ps::kCoefStartStep, ps::kCoefEndStep,
                       pf::kCoefUnpack, pf::kCoefLogp},
                      &g.coefficients);
  reset |= readFamily(
      p, g, {pf::kPlotAse, ps::kAseStepAxis, ps::kAseStartStep, ps::kAseEndStep, -1, -1}, &g.ase);
  reset |= readFamily(p, g,
                      {pf::kPlotCriteria, ps::kCritStepAxis, ps::kCritStartStep, ps::kCritEndStep,
                       pf::kCritUnpack, -1},
                      &g.criteria);
  if (reset) repairMsg(s->stepCode, 224);
  g.labelGap = r.number(ps::kLabelGap, 5.0) / 100.0;

  g.selectogram.on = onValue(p, pf::kPlotSelectogram, g.all);
  g.selectogram.logp = p->flag(pf::kPlotLogp) || p->flag(pf::kSelectogramLogp);
  g.selectogram.normalized = p->flag(pf::kNormalizedCriteria);
  g.selectogram.emphasis = r.number(ps::kEmphasis, 1.0);
  g.selectogram.candidates = r.integer(ps::kSelectogramCandidates, g.candidates);

  g.candidatesPlot.on = onValue(p, pf::kPlotCandidates, g.all);
  g.candidatesPlot.logp = p->flag(pf::kPlotLogp) || p->flag(pf::kCandidatesLogp);
  g.candidatesPlot.show = r.integer(ps::kCandidatesShow, g.candidates);

  // The model-averaging plots: ALL asks for them only when there is model averaging.
  bool averaging = s->settings.counts.modelAverage != 0;
  g.effectSelectPct.on = onValue(p, pf::kPlotEsp, g.all && averaging);
  g.effectSelectPct.minPct = r.number(ps::kEspMinPct, -1.0);
  g.effectSelectPct.order = r.integer(ps::kEspOrder, 2);
  if (p->flag(pf::kPlotEsp) && !averaging) {
    repairMsg(s->stepCode, 244);
    g.effectSelectPct.on = 0;
  }
  g.parmDist.on = onValue(p, pf::kPlotParmDist, g.all && averaging);
  g.parmDist.unpack = p->flag(pf::kPlotUnpack) || p->flag(pf::kPdUnpack);
  g.parmDist.minPct = r.number(ps::kPdMinPct, -1.0);
  g.parmDist.order = r.integer(ps::kPdOrder, 2);
  g.parmDist.plotsPerPanel = r.integer(ps::kPlotsPerPanel, 9);
  g.parmDist.noBoxPlots = p->flag(pf::kNoBoxPlots);
  if (p->flag(pf::kPlotParmDist) && !averaging) {
    repairMsg(s->stepCode, 245);
    g.parmDist.on = 0;
  }
}

}  // namespace vsf
