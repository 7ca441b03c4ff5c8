// readModelOptions: the MODEL statement's response, method, criteria, limits and penalized
// settings. Its table reads the options one by one; the rules that span several options then
// repair them, in the order the repairs depend on each other.
#include <algorithm>

#include "base/codes.h"
#include "base/host.h"
#include "effects/effects.h"
#include "grammar/methods.h"
#include "grammar/slot_reader.h"
#include "statements/option_table.h"
#include "statements/statements.h"

namespace vsf {

namespace {

namespace ms = slots::model;
namespace mf = flags::model;

constexpr int kMaxInt = 2147483647;

bool takesL1(MethodCode m) {
  return m == kMethodLasso || m == kMethodElasticNet || m == kMethodHxLasso ||
         m == kMethodHxGLasso || m == kMethodGroupLasso;
}

// The responses and the effects' continuous variables. A CLASS variable is the model's only
// when an effect uses it (classOfEffects): one that is only listed may index the folds.
bool isResponseOrContinuous(const StatementRecord* model, int number) {
  const StatementRecord* proc = hostv().parse->procedureRecord();
  const OptionSlot* lists[] = {model->slot(ms::kResponses),
                               proc ? proc->slot(slots::proc::kModelVars) : nullptr};
  for (const OptionSlot* l : lists)
    if (l)
      for (int v : l->vars)
        if (v == number) return true;
  return false;
}

// Whether an effect of the model depends on the CLASS variable of that number: as a member,
// also of a constructed effect, or as a LAG effect's WITHIN= or PERIOD= variable.
bool classOfEffects(const ZDesign* d, int number) {
  auto is = [&](int32_t c) {
    return c >= 0 && c < d->classCount && d->classVars[c].desc &&
           d->classVars[c].desc->number == number;
  };
  for (int32_t e = 0; e < d->effectCount; ++e) {
    const ZEffect& z = d->effects[e];
    if (std::any_of(z.allClass, z.allClass + z.allClassCount, is)) return true;
    for (int32_t k = 0; k < z.constructedCount && d->designVars; ++k) {
      const LagRecord* lag = d->designVars[z.constructed[k]].lag;
      if (lag && (is(lag->time) || std::any_of(lag->keys, lag->keys + lag->keyCount, is)))
        return true;
    }
  }
  return false;
}

// The CVMETHOD=INDEX variable is one of the model's.
int refuseIndexVariable(ReaderTarget* s, const StatementRecord* m, int v) {
  VarDescriptor index;
  const bool named =
      s->settings.inputReader && hostv().ds->varByNumber(s->settings.inputReader, v, &index) == 0;
  refuseMsg(s->stepCode, 162, step::kInternal,
            {std::string_view(named ? index.name : "?"), m->line, m->column});
  return rc::kCvIndexVariable;
}

// The groups of rows a rule repairs together.
enum ModelGroup : uint8_t { kElasticNetOnly = 1 };

// clang-format off
constexpr OptionRow kModelRows[] = {
    {"NOSTANDARDIZE$", mf::kNoStandardize, kOptFlag, 0, {}, VSF_FIELD(settings.noStandardize), kFixedOnRead},
    {"SELECTION", ms::kSelection, kOptCode, codeValue(kMethodStepwise), {}, VSF_OPTION(method), kRunChanges},
    {"HIERARCHY", ms::kHierarchy, kOptCode, 0, {}, VSF_OPTION(hierarchy), kSetUpSettles},
    {"NOINT", mf::kNoInt, kOptFlag, 0, {}, VSF_OPTION(noInt), kFixedOnRead},
    {"INCLUDE", ms::kInclude, kOptInteger, 0, {0}, VSF_OPTION(include), kSetUpSettles},
    {"SELECT", ms::kSelect, kOptCode, codeValue(kCritSbc), {}, VSF_OPTION(select), kStatementRules},
    {"CHOOSE", ms::kChoose, kOptCode, codeValue(kCritNone), {}, VSF_OPTION(choose), kSetUpSettles},
    {"MAXSTEPS", ms::kMaxSteps, kOptInteger, 0, {1}, VSF_OPTION(maxSteps), kStatementRules},
    {"STEPS", ms::kSteps, kOptInteger, 0, {1}, VSF_OPTION(steps), kFixedOnRead},
    {"STOP=n", ms::kStopSteps, kOptInteger, 0, {1}, VSF_OPTION(stopSteps), kStatementRules},
    {"START", ms::kStart, kOptInteger, 0, {1}, VSF_OPTION(start), kStatementRules},
    {"FUZZ", ms::kFuzz, kOptNumber, kFuzz, {0, 1}, VSF_OPTION(fuzz), kStatementRules, {129, 1e-06, kWhenAbove}},
    // The elastic net's own, in the order of their messages when another method drops them.
    {"ENSCALE", mf::kEnScale, kOptFlag, 0, {}, VSF_OPTION(enScale), kStatementRules, {2102, 0}, kElasticNetOnly},
    {"L2", ms::kL2, kOptNumber, kL2Search, {}, VSF_OPTION(l2), kStatementRules,
     {2103, 0.0, kWhenGiven}, kElasticNetOnly},
    {"L2SEARCH", ms::kL2Search, kOptCode, codeValue(kL2SearchNone), {}, VSF_OPTION(l2Search), kStatementRules,
     {2104, codeValue(kL2SearchNone)}, kElasticNetOnly},
    {"L2STEPS", ms::kL2Steps, kOptInteger, 50, {2}, VSF_OPTION(l2Steps), kStatementRules,
     {2105, 1}, kElasticNetOnly},
    {"L2LOW", ms::kL2Low, kOptNumber, 0.0, {0}, VSF_OPTION(l2Low), kStatementRules, {2106, 0.0}, kElasticNetOnly},
    {"L2HIGH", ms::kL2High, kOptNumber, 1.0, {0}, VSF_OPTION(l2High), kStatementRules, {2107, 0.0}, kElasticNetOnly},
    {"SHOWL2SEARCH$", mf::kShowL2Search, kOptFlag, 0, {}, VSF_OPTION(showL2Search), kStatementRules,
     {2115, 0}, kElasticNetOnly},
    {"L1", ms::kL1, kOptNumber, -1.0, {0}, VSF_OPTION(l1), kStatementRules},
    {"L1CHOICE", ms::kL1Choice, kOptCode, codeValue(kL1ChoiceRatio), {}, VSF_OPTION(l1Choice), kStatementRules},
    {"SHOWSTEPL1$", mf::kShowStepL1, kOptFlag, 0, {}, VSF_OPTION(showStepL1), kStatementRules},
    {"LINEARCVEX$", mf::kLinearCvEx, kOptFlag, 0, {}, VSF_OPTION(linearCvEx), kStatementRules},
    // Only LASSO and the elastic net screen their candidates.
    {"SCREEN", ms::kScreen, kOptCode, codeValue(kScreenNone), {}, VSF_OPTION(screen), kSetUpSettles, {4002, codeValue(kScreenNone)}},
    {"SCREENSTEPS$", ms::kScreenSteps, kOptInteger, 4, {1}, VSF_OPTION(screenSteps), kFixedOnRead},
    {"KEEPNUM", ms::kKeepNum, kOptInteger, 100, {1}, VSF_OPTION(keepNum), kStatementRules},
    {"KEEPRATIO", ms::kKeepRatio, kOptNumber, -1.0, {0, 1}, VSF_OPTION(keepRatio), kFixedOnRead},
    {"SHOWSCREEN$", mf::kShowScreen, kOptFlag, 0, {}, VSF_OPTION(showScreen), kFixedOnRead},
    {"STB", mf::kStb, kOptFlag, 0, {}, VSF_OPTION(stb), kSetUpSettles},
    {"CANDIDATES(SHOW=)", ms::kCandidatesShow, kOptInteger, 10, {1},
     VSF_OPTION(stepTables.candidatesShown), kStatementRules},
    // SELECT=SL compares by significance only.
    {"DROP", ms::kDrop, kOptCode, codeValue(kDropBeforeAdd), {}, VSF_OPTION(dropRule), kSetUpSettles, {120, codeValue(kDropBeforeAdd)}},
    // BACKWARD removes in its own order.
    {"ORDERSELECT", mf::kOrderSelect, kOptFlag, 0, {}, VSF_OPTION(orderSelect), kStatementRules, {130, 0}},
    {"ADAPTIVE", mf::kAdaptive, kOptFlag, 0, {}, VSF_OPTION(adaptive), kStatementRules},
};
// clang-format on

constexpr const OptionRow& kFuzzRow = rowNamed(kModelRows, "FUZZ");
constexpr const OptionRow& kScreenRow = rowNamed(kModelRows, "SCREEN");
constexpr const OptionRow& kDropRow = rowNamed(kModelRows, "DROP");
constexpr const OptionRow& kOrderSelectRow = rowNamed(kModelRows, "ORDERSELECT");

// The elastic net's settings: every other method drops them; a fixed L2 overrides the search
// options; an empty L2 range is a fixed L2.
void readElasticNet(ReaderTarget* s, const Slots& r) {
  SelectionOptions& o = s->settings.options;
  bool l2Given = r.given(ms::kL2);
  if (o.method != kMethodElasticNet) {
    repairGroup(s, kModelRows, kElasticNetOnly, r);
    o.l2Steps = 1;
    return;
  }
  // A negative L2 the user gave asks for the search; it is not taken for a fixed value.
  if (l2Given && o.l2 < 0) {
    repairMsg(s->stepCode, 2101);
    l2Given = false;
    o.l2 = kL2Search;
  }
  // A fixed L2 outranks the options of the search.
  if (l2Given) {
    o.showL2Search = 0;
    if (o.l2Search != kL2SearchNone) repairMsg(s->stepCode, 2108), o.l2Search = kL2SearchNone;
    if (o.l2Steps != 50) repairMsg(s->stepCode, 2109);
    o.l2Steps = 2;
    if (o.l2Low != 0.0) repairMsg(s->stepCode, 2110), o.l2Low = 0.0;
    if (o.l2High != 1.0) repairMsg(s->stepCode, 2111), o.l2High = 1.0;
  }
  // An empty range of the search is a fixed L2 at its low end.
  if (o.l2Low >= o.l2High) {
    repairMsg(s->stepCode, 2122);
    o.l2 = o.l2Low;
    l2Given = true;
    o.l2Search = kL2SearchNone;
    o.showL2Search = 0;
  }
  if (!l2Given && o.l2Search == kL2SearchNone) o.l2Search = kL2SearchGrid;
}

// The L1 target and its choice: only the methods with an L1 path take them, and STOP=L1 needs
// one. Refuses STOP=L1 of another method.
int readL1(ReaderTarget* s, const Slots& r, bool stopL1) {
  SelectionOptions& o = s->settings.options;
  bool l1Given = r.given(ms::kL1);
  if (!takesL1(o.method)) {
    if (stopL1) {
      refuseMsg(s->stepCode, 2131, step::kStatement);
      return rc::kStopL1;
    }
    if (l1Given) repairMsg(s->stepCode, 2116);
    if (r.given(ms::kL1Choice)) repairMsg(s->stepCode, 2112);
    if (o.showStepL1) repairMsg(s->stepCode, 2117);
    o.l1 = -1.0;
    o.l1ChoiceStop = o.l1Choice = kL1ChoiceNone;
    o.showStepL1 = o.linearCvEx = 0;
    return 0;
  }
  o.l1ChoiceStop = o.l1Choice;
  if (!stopL1) {
    o.l1ChoiceStop = kL1ChoiceNone;
    if (l1Given) repairMsg(s->stepCode, 2119), o.l1 = -1.0;
  } else if (!l1Given) {
    repairMsg(s->stepCode, 2118);
    o.l1 = 0.0;
  }
  if (o.method == kMethodGroupLasso && o.l1Choice != kL1ChoiceRatio) {
    repairMsg(s->stepCode, 4104);
    o.l1ChoiceStop = o.l1Choice = kL1ChoiceRatio;
  }
  return 0;
}

// Screening: only LASSO and the elastic net screen; KEEPRATIO= alone leaves no count, and a
// ratio of 0 would keep no effect.
int readScreening(ReaderTarget* s, const Slots& r) {
  SelectionOptions& o = s->settings.options;
  if (o.method != kMethodLasso && o.method != kMethodElasticNet) repairRow(s, kScreenRow, r);
  if (r.given(ms::kKeepRatio) && !(r.number(ms::kKeepRatio, 1.0) > 0)) {
    refuseMsg(s->stepCode, 6148, step::kStatement, {r.number(ms::kKeepRatio, 0.0)});
    return rc::kStatement;
  }
  if (r.given(ms::kKeepNum) && r.given(ms::kKeepRatio)) repairMsg(s->stepCode, 4010);
  if (r.given(ms::kKeepRatio) && !r.given(ms::kKeepNum)) o.keepNum = -1;
  return 0;
}

// A significance level: given where no SL criterion uses it, or at 0 or 1, it is repaired.
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

// Cross validation: its method and details only where a criterion is CV. Refuses external CV
// together with STOP=CV.
int readCrossValidation(ReaderTarget* s, const StatementRecord* m, const Slots& r) {
  SelectionOptions& o = s->settings.options;
  bool on = o.stop == kCritCv || o.select == kCritCv || o.choose == kCritCv ||
            o.choose == kCritCvExternal;
  if (o.choose == kCritCvExternal && o.stop == kCritCv) {
    refuseMsg(s->stepCode, 2128, step::kInternal);
    return rc::kCvExternalStop;
  }
  o.cvMethod = on ? kCvRandom : kCvNone;
  o.cvFolds = 5;
  if (m->flag(mf::kCvMethod)) {
    if (!on) {
      repairMsg(s->stepCode, 159);
    } else {
      o.cvMethod = m->flag(mf::kCvIndex)   ? kCvIndex
                   : m->flag(mf::kCvBlock) ? kCvBlock
                   : m->flag(mf::kCvSplit) ? kCvSplit
                                           : kCvRandom;
      o.cvFolds = r.integer(ms::kCvFolds, 5);
    }
  }
  if (m->flag(mf::kCvDetails)) {
    if (!on) {
      repairMsg(s->stepCode, 160);
    } else if (o.choose == kCritCvExternal) {
      // The folds' details are those of k-fold cross validation; SHOWCVEX shows the external
      // folds' paths.
      repairMsg(s->stepCode, 6191);
    } else {
      o.cvDetails = m->flag(mf::kCvDetailsPress)    ? kCvPressOnly
                    : m->flag(mf::kCvDetailsCoeffs) ? kCvCoeffs
                                                    : kCvAll;
    }
  }
  return 0;
}

// The statistics columns, and the step-detail tables of DETAILS=STEPS(...): all of them unless
// some are listed.
void readDisplays(ReaderTarget* s, const StatementRecord* m, const Slots& r) {
  SelectionOptions& o = s->settings.options;
  static const int kStatsFlags[kStatsCount] = {
      mf::kStatsAll,   mf::kStatsSl,      mf::kStatsFValue, mf::kStatsAic,
      mf::kStatsAicc,  mf::kStatsSbc,     mf::kStatsBic,    mf::kStatsCp,
      mf::kStatsPress, mf::kStatsRsquare, mf::kStatsAdjRsq, mf::kStatsAse};
  bool all = m->flag(mf::kStatsAll);
  for (int c = 0; c < kStatsCount; ++c) o.stats[c] = all || m->flag(kStatsFlags[c]);

  o.detailsBeyondSummary = r.integer(ms::kDetails, 0) > 1;
  StepDetailTables& t = o.stepTables;
  if (m->flag(mf::kStepsShowAll)) t.candidatesShown = kMaxInt;
  bool listed = m->flag(mf::kStepsList) && !m->flag(mf::kStepsAll);
  t.anova = !listed || m->flag(mf::kStepsAnova);
  t.fitStatistics = !listed || m->flag(mf::kStepsFitStats);
  t.parameterEstimates = !listed || m->flag(mf::kStepsParmEst);
  t.candidates = !listed || m->flag(mf::kStepsCandidates);
}

// The CV index variable, which must not be a model variable; the effects of the method; the
// one response.
int readMethodAndEffects(ReaderTarget* s, const StatementRecord* m, const Slots& r) {
  SelectionOptions& o = s->settings.options;
  if (m->flag(mf::kCvIndex) && r.count(ms::kCvIndexVar) > 0) {
    int v = m->slot(ms::kCvIndexVar)->vars[0];
    if (isResponseOrContinuous(m, v)) return refuseIndexVariable(s, m, v);
    o.cvIndexVariable = v;
  }
  ZDesign* design = s->lev.design;
  if (design) {
    design->flags |= 0x01 | 0x20;
    if (methodFamily(o.method).splitsEffects()) design->flags |= dflag::kSplitAll;
  }
  // The response among its own effects (a variable list or _NUMERIC_ that covers it) would
  // fit itself exactly: it leaves the effects, as in R's formulas.
  VarDescriptor response;
  if (r.count(ms::kResponses) == 1 && s->settings.inputReader &&
      hostv().ds->varByNumber(s->settings.inputReader, m->slot(ms::kResponses)->vars[0],
                              &response) == 0 &&
      zeffdropvar(const_cast<StatementRecord*>(m), ms::kEffects, slots::proc::kModelVars,
                  response.number) > 0)
    repairMsg(s->stepCode, 6103, {std::string_view(response.name)});
  int built =
      zeffinfo(design, s->settings.inputReader, slots::proc::kModelVars, slots::proc::kClassVars,
               const_cast<StatementRecord*>(m), ms::kEffects, 0, 0);
  if (design) raiseStepCode(s->stepCode, design->buildCode);
  if (built != 0) {
    raiseStepCode(s->stepCode, step::kInternal);
    return rc::kEffects;
  }
  if (o.cvIndexVariable >= 0 && design && classOfEffects(design, o.cvIndexVariable))
    return refuseIndexVariable(s, m, o.cvIndexVariable);
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

OptionTable modelOptionTable() { return {"model", kModelRows}; }

int readModelOptions(ReaderTarget* s, const StatementRecord* m) {
  if (!m) return rc::kNoModel;  // checkStatements has refused the step already
  SelectionOptions& o = s->settings.options;
  Slots r(m);
  readRows(s, kModelRows, m);
  if (int rc = readMethodAndEffects(s, m, r); rc != 0) return rc;

  o.forcedEffects = o.include + (o.noInt ? 0 : 1);
  CriterionCode stop = static_cast<CriterionCode>(r.integer(ms::kStop, codeIndex(kCritNone)));
  repairRow(s, kFuzzRow, r);
  readElasticNet(s, r);
  if (int rc = readL1(s, r, stop == kCritL1); rc != 0) return rc;

  // External cross validation only for the path methods that can run it.
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
  if (int rc = readScreening(s, r); rc != 0) return rc;

  // Penalized methods select nothing and stop at SBC by default. LSCOEFFS turns LAR and
  // LASSO into their least-squares variants; the optimizer's LASSO leaves it aside.
  const MethodFamily family = methodFamily(o.method);
  CriterionCode stopDefault = o.select;
  if (family.penalized()) {
    o.select = kCritNone;
    stopDefault = kCritSbc;
  }
  if (m->flag(mf::kLsCoeffs) && family.penalized()) {
    if (family.grouped) {
      refuseMsg(s->stepCode, 2124, step::kStatement);
      return rc::kLsCoeffs;
    }
    if (o.method == kMethodElasticNet) {
      refuseMsg(s->stepCode, 2123, step::kStatement);
      return rc::kLsCoeffs;
    }
    if (o.method == kMethodLar)
      o.method = kMethodLarLs;
    else if (o.method == kMethodLasso)
      o.method = kMethodLassoLs;
  }

  // The optimizer's tolerances.
  const bool optimizer = family.byOptimizer();
  o.rho = optimizer ? r.number(ms::kRho, 0.9) : -1.0;
  // Each step lowers the penalty by the factor RHO=: 0 or 1 leaves no path.
  if (optimizer && !(o.rho > 0 && o.rho < 1)) {
    refuseMsg(s->stepCode, 6144, step::kStatement, {o.rho});
    return rc::kStatement;
  }
  o.tolerance = optimizer ? r.number(ms::kTol, 1e-06) : -1.0;
  if (!optimizer && r.given(ms::kRho)) repairMsg(s->stepCode, 4102);
  if (!optimizer && r.given(ms::kTol)) repairMsg(s->stepCode, 4103);

  // STEPS= outranks the stop rules.
  bool stopCriterion = r.given(ms::kStop) && stop != kCritStopNone;
  if ((stopCriterion || o.stopSteps) && o.steps) {
    repairMsg(s->stepCode, 155);
    stop = kCritNone;
    o.stopSteps = 0;
  }
  if (stop == kCritStopNone) {
    o.stop = kCritNone;
  } else if (!r.given(ms::kStop) && !o.steps && !o.stopSteps) {
    o.stop = stopDefault;
  } else {
    o.stop = stop;
  }

  // Significance levels and the step limits.
  bool stepwise = o.method == kMethodStepwise;
  o.entryLevel = readLevel(s, r, ms::kSlEntry, stepwise ? 0.15 : 0.5, 110, 111);
  o.stayLevel = readLevel(s, r, ms::kSlStay, stepwise ? 0.15 : 0.1, 115, 116);
  if (o.maxSteps && o.steps && o.maxSteps < o.steps) {
    repairMsg(s->stepCode, 112);
    o.maxSteps = o.steps;
  }

  // Only FORWARD and STEPWISE begin from a model of the first effects.
  if (o.start && o.method != kMethodForward && o.method != kMethodStepwise) {
    repairMsg(s->stepCode, 6190);
    o.start = 0;
  }

  readDisplays(s, m, r);

  if (o.select == kCritSl) repairRow(s, kDropRow, r);
  if (o.method == kMethodBackward) repairRow(s, kOrderSelectRow, r);

  if (int rc = readCrossValidation(s, m, r); rc != 0) return rc;

  // Criteria the group LASSO cannot compute.
  if (o.method == kMethodGroupLasso) {
    auto unusable = [](CriterionCode c) {
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

  // P-values, and the adaptive weights of the methods that have them.
  s->settings.showPValues = m->flag(mf::kShowPValues) || o.method == kMethodNone;
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
