// readModelOptions: the MODEL statement's response, method, criteria, limits and penalized
// settings, with their defaults and repairs, in the order the repairs depend on each other.
#include "base/codes.h"
#include "base/host.h"
#include "effects/effects.h"
#include "grammar/slot_reader.h"
#include "statements/statements.h"

namespace vsf {

namespace {

namespace ms = slots::model;
namespace mf = flags::model;

constexpr int kMaxInt = 2147483647;

bool isPathMethod(int m) {
  return m == kMethodLar || m == kMethodLasso || m == kMethodElasticNet || m == kMethodHxLasso;
}
bool isOptimizerMethod(int m) { return m == kMethodHxGLasso || m == kMethodGroupLasso; }
bool takesL1(int m) {
  return m == kMethodLasso || m == kMethodElasticNet || m == kMethodHxLasso ||
         m == kMethodHxGLasso || m == kMethodGroupLasso;
}

// Variables the model uses: responses, the effects' continuous and CLASS variables.
bool isModelVariable(const StatementRecord* model, int number) {
  const StatementRecord* proc = hostv().parse->procedureRecord();
  const OptionSlot* lists[] = {model->slot(ms::kResponses),
                               proc ? proc->slot(slots::proc::kModelVars) : nullptr,
                               proc ? proc->slot(slots::proc::kClassVars) : nullptr};
  for (const OptionSlot* l : lists)
    if (l)
      for (int v : l->vars)
        if (v == number) return true;
  return false;
}

// Elastic-net settings (step 6 and 7): every other method drops them.
void readElasticNet(ReaderTarget* s, const StatementRecord* m, const Slots& r) {
  SelectionOptions& o = s->settings.options;
  bool l2Given = r.given(ms::kL2);
  o.l2 = l2Given ? r.number(ms::kL2, kL2Search) : kL2Search;
  o.enScale = m->flag(mf::kEnScale);
  o.l2Search = r.integer(ms::kL2Search, kL2SearchNone);
  o.l2Steps = r.integer(ms::kL2Steps, 50);
  o.l2Low = r.number(ms::kL2Low, 0.0);
  o.l2High = r.number(ms::kL2High, 1.0);
  o.showL2Search = m->flag(mf::kShowL2Search);

  if (o.method != kMethodElasticNet) {
    if (o.enScale) repairMsg(s->stepCode, 2102), o.enScale = 0;
    if (l2Given) repairMsg(s->stepCode, 2103), o.l2 = 0.0;
    if (o.l2Search != kL2SearchNone) repairMsg(s->stepCode, 2104), o.l2Search = kL2SearchNone;
    if (o.l2Steps != 50) repairMsg(s->stepCode, 2105);
    o.l2Steps = 1;
    if (o.l2Low != 0.0) repairMsg(s->stepCode, 2106), o.l2Low = 0.0;
    if (o.l2High != 1.0) repairMsg(s->stepCode, 2107), o.l2High = 0.0;
    if (o.showL2Search) repairMsg(s->stepCode, 2115), o.showL2Search = 0;
    return;
  }
  // A negative L2 the user gave asks for the search; it is not taken for a fixed value.
  if (l2Given && o.l2 < 0) {
    repairMsg(s->stepCode, 2101);
    l2Given = false;
    o.l2 = kL2Search;
  }
  if (l2Given) {
    o.showL2Search = 0;
    if (o.l2Search != kL2SearchNone) repairMsg(s->stepCode, 2108), o.l2Search = kL2SearchNone;
    if (o.l2Steps != 50) repairMsg(s->stepCode, 2109);
    o.l2Steps = 2;
    if (o.l2Low != 0.0) repairMsg(s->stepCode, 2110), o.l2Low = 0.0;
    if (o.l2High != 1.0) repairMsg(s->stepCode, 2111), o.l2High = 1.0;
  }
  if (o.l2Low >= o.l2High) {
    repairMsg(s->stepCode, 2122);
    o.l2 = o.l2Low;
    l2Given = true;
    o.l2Search = kL2SearchNone;
    o.showL2Search = 0;
  }
  if (!l2Given && o.l2Search == kL2SearchNone) o.l2Search = kL2SearchGrid;
}

// Step 8: the L1 target and its choice. Returns -50 for STOP=L1 without a method that has one.
int readL1(ReaderTarget* s, const StatementRecord* m, const Slots& r, bool stopL1) {
  SelectionOptions& o = s->settings.options;
  bool l1Given = r.given(ms::kL1);
  o.l1 = r.number(ms::kL1, -1.0);
  o.showStepL1 = m->flag(mf::kShowStepL1);
  o.linearCvEx = m->flag(mf::kLinearCvEx);
  int choice = r.integer(ms::kL1Choice, kL1ChoiceRatio);
  if (!takesL1(o.method)) {
    if (stopL1) {
      refuseMsg(s->stepCode, 2131, step::kStatement);
      return rc::kStopL1;
    }
    if (l1Given) repairMsg(s->stepCode, 2116);
    if (r.given(ms::kL1Choice)) repairMsg(s->stepCode, 2112);
    o.l1 = -1.0;
    o.l1ChoiceStop = o.l1Choice = 0;
    o.showStepL1 = o.linearCvEx = 0;
    return 0;
  }
  o.l1ChoiceStop = o.l1Choice = static_cast<uint8_t>(choice);
  if (!stopL1) {
    o.l1ChoiceStop = 0;
    if (l1Given) repairMsg(s->stepCode, 2119), o.l1 = -1.0;
  } else if (!l1Given) {
    repairMsg(s->stepCode, 2118);
    o.l1 = 0.0;
  }
  if (o.method == kMethodGroupLasso && choice != kL1ChoiceRatio) {
    repairMsg(s->stepCode, 4104);
    o.l1ChoiceStop = o.l1Choice = kL1ChoiceRatio;
  }
  return 0;
}

// Step 10: screening of path candidates.
void readScreening(ReaderTarget* s, const StatementRecord* m, const Slots& r) {
  SelectionOptions& o = s->settings.options;
  o.screen = static_cast<uint8_t>(r.integer(ms::kScreen, kScreenNone));
  if (o.method != kMethodLasso && o.method != kMethodElasticNet && o.screen != kScreenNone) {
    repairMsg(s->stepCode, 4002);
    o.screen = kScreenNone;
  }
  o.screenSteps = r.integer(ms::kScreenSteps, 4);
  o.keepNum = r.integer(ms::kKeepNum, -1);
  o.keepRatio = r.number(ms::kKeepRatio, -1.0);
  if (r.given(ms::kKeepNum) && r.given(ms::kKeepRatio)) repairMsg(s->stepCode, 4010);
  if (!r.given(ms::kKeepRatio)) o.keepNum = r.integer(ms::kKeepNum, 100);
  o.showScreen = m->flag(mf::kShowScreen);
}

// Step 14: a significance level given where no SL criterion uses it, or at 0 or 1.
double readLevel(ReaderTarget* s, const Slots& r, int slot, double fallback, int unusedMsg,
                 int edgeMsg) {
  const SelectionOptions& o = s->settings.options;
  if (!r.given(slot) || r.number(slot, -1.0) == -1.0) return fallback;
  double v = r.number(slot, fallback);
  if (o.select != kCritSl && o.stop != kCritSl) repairMsg(s->stepCode, unusedMsg);
  if (v == 0.0 || v == 1.0) {
    repairMsg(s->stepCode, edgeMsg, {fallback});
    return fallback;
  }
  return v;
}

// Step 19: cross validation. Returns -48 when external CV is combined with STOP=CV.
int readCrossValidation(ReaderTarget* s, const StatementRecord* m, const Slots& r) {
  SelectionOptions& o = s->settings.options;
  bool on = o.stop == kCritCv || o.select == kCritCv || o.choose == kCritCv ||
            o.choose == kCritCvExternal;
  if (o.choose == kCritCvExternal && o.stop == kCritCv) {
    refuseMsg(s->stepCode, 2128, step::kInternal);
    return rc::kCvExternalStop;
  }
  o.cvMethod = on ? 1 : 0;
  o.cvFolds = 5;
  if (m->flag(mf::kCvMethod)) {
    if (!on) {
      repairMsg(s->stepCode, 159);
    } else {
      o.cvMethod = m->flag(mf::kCvIndex)   ? 4
                   : m->flag(mf::kCvBlock) ? 2
                   : m->flag(mf::kCvSplit) ? 3
                                           : 1;
      o.cvFolds = r.integer(ms::kCvFolds, 5);
    }
  }
  if (m->flag(mf::kCvDetails)) {
    if (!on) {
      repairMsg(s->stepCode, 160);
    } else {
      o.cvDetails = m->flag(mf::kCvDetailsPress) ? 1 : m->flag(mf::kCvDetailsCoeffs) ? 2 : 3;
    }
  }
  return 0;
}

// Steps 15 and 16: statistics columns and step-detail tables.
void readDisplays(ReaderTarget* s, const StatementRecord* m, const Slots& r) {
  SelectionOptions& o = s->settings.options;
  static const int kStatsFlags[kStatsCount] = {
      mf::kStatsAll,   mf::kStatsSl,      mf::kStatsFValue, mf::kStatsAic,
      mf::kStatsAicc,  mf::kStatsSbc,     mf::kStatsBic,    mf::kStatsCp,
      mf::kStatsPress, mf::kStatsRsquare, mf::kStatsAdjRsq, mf::kStatsAse};
  bool all = m->flag(mf::kStatsAll);
  for (int c = 0; c < kStatsCount; ++c) o.stats[c] = all || m->flag(kStatsFlags[c]);
  o.stb = m->flag(mf::kStb);

  o.detailsBeyondSummary = r.integer(ms::kDetails, 0) > 1;
  StepDetailTables& t = o.stepTables;
  t.candidatesShown = m->flag(mf::kStepsShowAll) ? kMaxInt : r.integer(ms::kCandidatesShow, 10);
  bool listed = m->flag(mf::kStepsList) && !m->flag(mf::kStepsAll);
  t.anova = !listed || m->flag(mf::kStepsAnova);
  t.fitStatistics = !listed || m->flag(mf::kStepsFitStats);
  t.parameterEstimates = !listed || m->flag(mf::kStepsParmEst);
  t.candidates = !listed || m->flag(mf::kStepsCandidates);
}

// Steps 1 to 3: standardization, the CV index variable, the method, the effects, the response.
int readMethodAndEffects(ReaderTarget* s, const StatementRecord* m, const Slots& r) {
  SelectionOptions& o = s->settings.options;
  s->settings.noStandardize = m->flag(mf::kNoStandardize);
  if (m->flag(mf::kCvIndex) && r.count(ms::kCvIndexVar) > 0) {
    int v = m->slot(ms::kCvIndexVar)->vars[0];
    if (isModelVariable(m, v)) {
      refuseMsg(s->stepCode, 162, step::kInternal);
      return rc::kCvIndexVariable;
    }
    o.cvIndexVariable = v;
  }
  o.method = static_cast<uint8_t>(r.integer(ms::kSelection, kMethodStepwise));
  ZDesign* design = s->lev.design;
  if (design) {
    design->flags |= 0x01 | 0x20;
    if (isPathMethod(o.method)) design->flags |= 0x2000;
  }
  int built =
      zeffinfo(design, s->settings.inputReader, slots::proc::kModelVars, slots::proc::kClassVars,
               const_cast<StatementRecord*>(m), ms::kEffects, 0, 0);
  if (design) raiseStepCode(s->stepCode, design->buildCode);
  if (built != 0) {
    raiseStepCode(s->stepCode, step::kInternal);
    return rc::kEffects;
  }
  int responses = r.count(ms::kResponses);
  if (responses == 0) {
    refuseMsg(s->stepCode, 216, step::kStatement);
    return rc::kNoResponse;
  }
  if (responses > 1) {
    refuseMsg(s->stepCode, 228, step::kStatement);
    return rc::kResponses;
  }
  s->settings.responseCount = 1;
  int v = m->slot(ms::kResponses)->vars[0];
  if (s->settings.inputReader && v >= 0)
    hostv().ds->varByNumber(s->settings.inputReader, v, &s->settings.response);
  return 0;
}

}  // namespace

int readModelOptions(ReaderTarget* s, const StatementRecord* m) {
  if (!m) return rc::kNoModel;  // checkStatements has refused the step already
  SelectionOptions& o = s->settings.options;
  Slots r(m);
  if (int rc = readMethodAndEffects(s, m, r); rc != 0) return rc;

  // Step 4: limits and criteria as given.
  o.hierarchy = static_cast<uint8_t>(r.integer(ms::kHierarchy, 0));
  o.noInt = m->flag(mf::kNoInt);
  o.include = r.integer(ms::kInclude, 0);
  o.forcedEffects = o.include + (o.noInt ? 0 : 1);
  o.select = static_cast<uint8_t>(r.integer(ms::kSelect, kCritSbc));
  o.choose = static_cast<uint8_t>(r.integer(ms::kChoose, kCritNone));
  int stop = r.integer(ms::kStop, kCritNone);
  o.maxSteps = r.integer(ms::kMaxSteps, 0);
  o.steps = r.integer(ms::kSteps, 0);
  o.stopSteps = r.integer(ms::kStopSteps, 0);
  o.start = r.integer(ms::kStart, 0);

  // Step 5.
  o.fuzz = 1e-12;
  if (r.given(ms::kFuzz)) {
    o.fuzz = r.number(ms::kFuzz, 1e-12);
    if (o.fuzz > 1e-06) {
      repairMsg(s->stepCode, 129, {o.fuzz});
      o.fuzz = 1e-06;
    }
  }
  readElasticNet(s, m, r);
  if (int rc = readL1(s, m, r, stop == kCritL1); rc != 0) return rc;

  // Step 9: external cross validation only for the path methods that can run it.
  o.showCvEx = 0;
  if (o.choose == kCritCvExternal) {
    o.showCvEx = m->flag(mf::kShowCvEx);
    if (o.method != kMethodLar && o.method != kMethodLasso && o.method != kMethodElasticNet &&
        o.method != kMethodGroupLasso) {
      repairMsg(s->stepCode, 2113);
      o.choose = kCritNone;
    }
  } else if (m->flag(mf::kShowCvEx)) {
    repairMsg(s->stepCode, 2114);
  }
  o.externalCv = o.choose == kCritCvExternal;
  readScreening(s, m, r);

  // Step 11: path and optimizer methods select nothing and stop at SBC by default.
  int stopDefault = o.select;
  bool lsCoeffs = m->flag(mf::kLsCoeffs);
  if (isPathMethod(o.method)) {
    o.pathMethod = 1;
    o.select = kCritNone;
    stopDefault = kCritSbc;
    if (lsCoeffs) {
      if (o.method == kMethodElasticNet) {
        refuseMsg(s->stepCode, 2123, step::kStatement);
        return rc::kLsCoeffs;
      }
      if (o.method == kMethodLar)
        o.method = kMethodLarLs;
      else if (o.method == kMethodLasso)
        o.method = kMethodLassoLs;
    }
  } else if (isOptimizerMethod(o.method)) {
    o.optimizerMethod = 1;
    o.select = kCritNone;
    stopDefault = kCritSbc;
    if (lsCoeffs) {
      refuseMsg(s->stepCode, 2124, step::kStatement);
      return rc::kLsCoeffs;
    }
  }

  // Step 12: the optimizer's tolerances.
  bool optimizer = o.method == kMethodHxLasso || isOptimizerMethod(o.method);
  o.rho = optimizer ? r.number(ms::kRho, 0.9) : -1.0;
  o.tolerance = optimizer ? r.number(ms::kTol, 1e-06) : -1.0;
  if (!optimizer && r.given(ms::kRho)) repairMsg(s->stepCode, 4102);
  if (!optimizer && r.given(ms::kTol)) repairMsg(s->stepCode, 4103);

  // Step 13: stop rules.
  bool stopCriterion = r.given(ms::kStop) && stop != kCritStopNone;
  if ((stopCriterion || o.stopSteps) && o.steps) {
    repairMsg(s->stepCode, 155);
    stop = kCritNone;
    o.stopSteps = 0;
  }
  if (stop == kCritStopNone) {
    o.stop = kCritNone;
  } else if (!r.given(ms::kStop) && !o.steps && !o.stopSteps) {
    o.stop = static_cast<uint8_t>(stopDefault);
  } else {
    o.stop = static_cast<uint8_t>(stop);
  }

  // Step 14: significance levels and the step limits.
  bool stepwise = o.method == kMethodStepwise;
  o.entryLevel = readLevel(s, r, ms::kSlEntry, stepwise ? 0.15 : 0.5, 110, 111);
  o.stayLevel = readLevel(s, r, ms::kSlStay, stepwise ? 0.15 : 0.1, 115, 116);
  if (o.maxSteps && o.steps && o.maxSteps < o.steps) {
    repairMsg(s->stepCode, 112);
    o.maxSteps = o.steps;
  }

  readDisplays(s, m, r);

  // Steps 17 and 18.
  o.dropRule = static_cast<uint8_t>(r.integer(ms::kDrop, 1));
  if (o.dropRule != 1 && o.select == kCritSl) {
    repairMsg(s->stepCode, 120);
    o.dropRule = 1;
  }
  o.orderSelect = m->flag(mf::kOrderSelect);
  if (o.orderSelect && o.method == kMethodBackward) {
    repairMsg(s->stepCode, 130);
    o.orderSelect = 0;
  }

  if (int rc = readCrossValidation(s, m, r); rc != 0) return rc;

  // Step 20: criteria the group LASSO cannot compute.
  if (o.method == kMethodGroupLasso) {
    auto unusable = [](int c) {
      return c == kCritCp || c == kCritBic || c == kCritPress || c == kCritCv;
    };
    if (o.stop == kCritSl || unusable(o.stop)) {
      refuseMsg(s->stepCode, 3501, step::kInternal);
      return rc::kGroupLassoCriterion;
    }
    if (unusable(o.choose)) {
      refuseMsg(s->stepCode, 3502, step::kInternal);
      return rc::kGroupLassoCriterion;
    }
  }

  // Step 21: p-values and adaptive weights.
  s->settings.showPValues = m->flag(mf::kShowPValues) || o.method == kMethodNone;
  o.adaptive = m->flag(mf::kAdaptive);
  if (o.adaptive) {
    if (o.method == kMethodLar || o.method == kMethodLarLs) {
      repairMsg(s->stepCode, 237);
      o.adaptive = 0;
    } else if (o.method == kMethodGroupLasso) {
      repairMsg(s->stepCode, 4237);
      o.adaptive = 0;
    } else {
      o.adaptiveGamma = r.number(ms::kGamma, 1.0);
      if (r.given(ms::kInEst)) {
        s->settings.initialEstimates = r.dataSet(ms::kInEst);
        o.initialEstimatesGiven = 1;
      }
      if (o.method == kMethodLassoLs) {
        repairMsg(s->stepCode, 238);
        o.method = kMethodLasso;
      }
    }
  }
  return 0;
}

}  // namespace vsf
