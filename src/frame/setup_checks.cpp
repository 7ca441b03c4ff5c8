// The set-up's settling of option combinations: method and effects, the role variable, the
// crossproducts, the statistics columns, the step plots, the roles and folds and the forced
// effects. Messages are in set 848; a refusal raises the step code to at least 1012.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "effects/effects.h"
#include "frame/setup_internal.h"
#include "frame/state.h"
#include "grammar/methods.h"
#include "grammar/slot_reader.h"
#include "statements/statements.h"

namespace vsf {

namespace {

bool penalized(const SelectionOptions& o) { return methodFamily(o.method).penalized(); }
bool splitsEffects(const SelectionOptions& o) { return methodFamily(o.method).splitsEffects(); }

// The constructed-effect statements a path method cannot take.
int checkEffectStatements(VsfState* s) {
  bool unsplitSpline = false;
  for (const StatementRecord* r = hostv().parse->firstStatement(); r; r = r->next) {
    if (r->name != "EFFECT") continue;
    int type = Slots(r).integer(slots::effect::kType, 0);
    if (type == effkind::kMultimember || type == effkind::kCollection || type == effkind::kLag) {
      refuseMsg(s->stepCode, 217, step::kInternal);
      return rc::kStatement;
    }
    if (type == effkind::kPolynomial && r->flag(flags::effect::kNoSeparate)) {
      refuseMsg(s->stepCode, 229, step::kInternal);
      return rc::kNoSeparate;
    }
    if (type == effkind::kSpline && !r->flag(flags::effect::kSplit)) unsplitSpline = true;
  }
  if (unsplitSpline) hostMsg(848, 218);
  return 0;
}

// The column a criterion switches on; the held-out ASE comes with VALIDATE as STOP= or
// CHOOSE= only.
void switchColumn(SelectionOptions& o, CriterionCode code, bool validateCounts) {
  const int c = criterionInfo(code).statsColumn;
  if (c < 0 || (c == kStatsAse && !validateCounts)) return;
  o.stats[c] = 1;
  if (c == kStatsSl) o.stats[kStatsFValue] = 1;
}

// Held-out roles and the statistics columns of the criteria.
void heldOutAndColumns(VsfState* s) {
  SelectionOptions& o = s->settings.options;
  const PartitionSettings& p = s->settings.partition;
  // An unmatched role value counts as test when TRAIN= is given.
  bool test =
      s->settings.test.dataSet || p.testLength != 0 || p.testFraction != 0.0 || p.trainLength != 0;
  bool validation =
      s->settings.validation.dataSet || p.validateLength != 0 || p.validateFraction != 0.0;
  o.testAsePerStep = test;
  o.validAsePerStep = validation;
  switchColumn(o, o.stop, true);
  switchColumn(o, o.select, false);
  switchColumn(o, o.choose, true);
  if (test || validation) o.stats[kStatsAse] = 1;
}

// BIC and CP need the full model's error variance, hence the whole crossproducts.
void fullModelStatistics(VsfState* s) {
  SelectionOptions& o = s->settings.options;
  if (!fullModelWanted(&o)) return;
  if (s->settings.threads.buildIncremental) repairMsg(s->stepCode, 147);
  o.buildFullSscp = 1;
  o.fullModelVariance = 1;
}

// The INTERLACED label style cannot show split CLASS variables or split splines.
void settleLabelStyle(VsfState* s) {
  ZDesign* d = s->lev.design;
  if (!d || d->labelStyle != 0) return;
  for (int c = 0; c < d->classCount; ++c) {
    if (d->classVars[c].split) {
      repairMsg(s->stepCode, 219);
      d->labelStyle = 1;
      return;
    }
  }
  for (int k = 0; k < d->designVarCount; ++k) {
    const ZDesignVar& v = d->designVars[k];
    if (v.type != effkind::kSpline || !v.spline) continue;
    if (v.spline->split || (d->flags & dflag::kSplitAll)) {
      repairMsg(s->stepCode, 220);
      d->labelStyle = 1;
      return;
    }
  }
}

// PRESS needs the hat matrix, which LAR, LASSO and ELASTICNET do not have.
int settlePress(VsfState* s) {
  SelectionOptions& o = s->settings.options;
  if (!o.pressPerStep) return 0;
  if (o.method == kMethodLar || o.method == kMethodLasso) {
    o.pressPerStep = o.stats[kStatsPress] = 0;
    if (o.choose == kCritPress || o.stop == kCritPress) {
      refuseMsg(s->stepCode, 157, step::kInternal);
      return rc::kPathPress;
    }
    hostMsg(848, 158);
  } else if (o.method == kMethodElasticNet) {
    o.pressPerStep = o.stats[kStatsPress] = 0;
    int refused = o.stop == kCritPress ? 2126 : o.choose == kCritPress ? 2127 : 0;
    if (refused) {
      refuseMsg(s->stepCode, refused, step::kInternal);
      return rc::kElasticNetPress;
    }
    hostMsg(848, 2125);
  }
  return 0;
}

bool candidatesTableOn(const VsfState* s) {
  return s->settings.options.detailsBeyondSummary && s->settings.options.stepTables.candidates;
}

// The candidate plots and table of the step methods.
void settleStepPlots(VsfState* s) {
  SelectionOptions& o = s->settings.options;
  PlotSettings& p = s->settings.plots;
  const bool table = candidatesTableOn(s);
  if (penalized(o) || o.method == kMethodNone) {
    if (p.candidatesPlot.on == 2 && p.selectogram.on == 2 && !table) {
      p.candidatesPlot.on = p.selectogram.on = 0;
    } else if (p.candidatesPlot.on || p.selectogram.on || table) {
      hostMsg(848, 118);
      p.candidatesPlot.on = p.selectogram.on = 0;
      o.stepTables.candidates = 0;
    }
  } else if (p.candidatesPlot.on == 2 && !table) {
    p.candidatesPlot.on = 0;
  }
  o.candidateValues = p.candidatesPlot.on || candidatesTableOn(s);
  if (p.coefficients.on || p.candidatesPlot.on) o.detailsBits |= 2;
}

// Under model averaging the step graphs belong to each sample's selection, which is shown only
// with DETAILS: graphs asked for by name without it are named once.
void noteSampleOnlyPlots(VsfState* s) {
  const PlotSettings& p = s->settings.plots;
  if (!s->settings.counts.modelAverage || s->settings.modelAverage.details ||
      !s->settings.graphicsOn)
    return;
  std::vector<std::string> asked;
  for (const auto& [on, name] :
       {std::pair{p.coefficients.on, "COEFFICIENTS"}, std::pair{p.criteria.on, "CRITERIA"},
        std::pair{p.ase.on, "ASE"}, std::pair{p.candidatesPlot.on, "CANDIDATES"}})
    if (on & 1) asked.push_back(name);  // ALL asks only for the graphs that apply
  std::string names;
  for (size_t k = 0; k < asked.size(); ++k)
    names += (k == 0 ? "" : k + 1 == asked.size() ? " and " : ", ") + asked[k];
  if (!names.empty()) hostMsg(848, 272, {std::string_view(names)});
}

// Coefficient norms exist only on the LAR, LASSO and ELASTICNET paths.
void settleStepAxes(VsfState* s) {
  const MethodCode m = s->settings.options.method;
  if (m == kMethodLar || m == kMethodLasso || m == kMethodElasticNet) return;
  bool changed = false;
  for (PlotFamily* f :
       {&s->settings.plots.coefficients, &s->settings.plots.ase, &s->settings.plots.criteria}) {
    if (f->on && f->stepAxis == 3) {
      f->stepAxis = 1;
      changed = true;
    }
  }
  if (changed) repairMsg(s->stepCode, 198);
}

}  // namespace

int checkMethodAndEffects(VsfState* s) {
  SelectionOptions& o = s->settings.options;
  if (o.method == kMethodNone) o.choose = kCritNone;
  if (o.include != 0 && penalized(o)) {
    refuseMsg(s->stepCode, 997, step::kInternal);
    return rc::kStatement;
  }
  if (s->settings.responseCount > 0)
    s->settings.responseName = hostv().str->fromBytes(s->settings.response.name);
  if (splitsEffects(o))
    if (int rc = checkEffectStatements(s); rc != 0) return rc;
  const ZDesign* d = s->lev.design;
  if (o.noInt && (!d || d->effectCount <= 1)) {
    refuseMsg(s->stepCode, 154, step::kInternal);
    return rc::kNoEffects;
  }
  if (o.method != kMethodStepwise) o.dropRule = kDropBeforeAdd;
  return 0;
}

void findRoleVariable(VsfState* s) {
  int number = -1;
  if (!s->settings.inputReader ||
      hostv().ds->findVar(s->settings.inputReader, "_ROLE_", &number) != 0)
    return;
  if (s->settings.test.dataSet || s->settings.validation.dataSet) {
    hostMsg(848, 179);
    return;
  }
  PartitionSettings& p = s->settings.partition;
  if (p.hasPartition) {
    hostMsg(848, 126);
    return;
  }
  hostMsg(848, 127);
  p.roleVariable = number;
  p.trainValue = "TRAIN", p.validateValue = "VALIDATE", p.testValue = "TEST";
  p.trainLength = 5, p.validateLength = 8, p.testLength = 4;
}

void settleCrossproducts(VsfState* s) {
  SelectionOptions& o = s->settings.options;
  ZDesign* d = s->lev.design;
  ReaderTarget t{s->settings, s->lev, s->res.mainPool, s->stepCode};
  applyPerformanceSettings(&t, d ? d->effectCount : 0);
  if (splitsEffects(o) && d && d->classCount > 0) {
    bool classEffects = false;
    for (int e = 0; e < d->effectCount && !classEffects; ++e)
      classEffects = d->effects[e].keyCount > 0 || d->effects[e].allClassCount > 0;
    if (classEffects) {
      o.designPerByGroup = 1;
      s->settings.classes.globalSplit = 1;
      for (int c = 0; c < d->classCount; ++c) d->classVars[c].split = 1;
      hostMsg(848, 119);
    }
  }
  if (penalized(o)) {
    o.allSparse = 0;
    o.allDense = 1;
    if (o.hierarchy != 0) {
      repairMsg(s->stepCode, 205);
      o.hierarchy = 0;
    }
  }
}

int settleStatistics(VsfState* s) {
  SelectionOptions& o = s->settings.options;
  if (o.detailsBeyondSummary) o.detailsBits |= 1;
  heldOutAndColumns(s);
  fullModelStatistics(s);
  if (o.stats[kStatsPress]) o.pressPerStep = 1;
  if (s->settings.displaysSuppressed) {
    for (uint8_t& c : o.stats) c = 0;
    o.stb = 0;
    o.detailsBits = 0;
    o.detailsBeyondSummary = 0;
  }
  settleLabelStyle(s);
  if (int rc = settlePress(s); rc != 0) return rc;
  settleStepPlots(s);
  noteSampleOnlyPlots(s);
  settleStepAxes(s);
  return 0;
}

int settleRolesAndFolds(VsfState* s) {
  SelectionOptions& o = s->settings.options;
  PartitionSettings& p = s->settings.partition;
  if (p.roleVariable >= 0) {
    if (hostv().ds->varByNumber(s->settings.inputReader, p.roleVariable,
                                &s->settings.roleVariable) != 0 ||
        s->settings.roleVariable.length <= 0)
      return rc::kMemory;
    s->settings.roleVariable.number = p.roleVariable;
    int width =
        s->settings.roleVariable.type == kVarCharacter ? s->settings.roleVariable.length : 32;
    s->res.roleBuffer = static_cast<char*>(
        kernel().poolAlloc(s->res.mainPool, static_cast<size_t>(width) + 1, kAllocZero));
    if (!s->res.roleBuffer) return rc::kMemory;
    p.trainFraction = 0.0;
  }
  o.rolesPresent = p.roleVariable >= 0 || p.trainFraction != 1.0 ||
                   s->settings.validation.dataSet || s->settings.test.dataSet;
  if (o.stop == kCritValidate && p.validateFraction == 0.0 && p.validateLength == 0 &&
      !s->settings.validation.dataSet) {
    refuseMsg(s->stepCode, 125, step::kInternal);
    return rc::kNoValidation;
  }
  const PlotSettings& pl = s->settings.plots;
  for (const PlotFamily* f : {&pl.coefficients, &pl.ase, &pl.criteria})
    if (f->on && f->stepAxis == 3) o.coefNormPerStep = 1;
  o.kfold = o.cvMethod != kCvNone && o.choose != kCritCvExternal;
  o.externalCv = o.cvMethod != kCvNone && o.choose == kCritCvExternal;
  if (!o.kfold) o.cvDetails = kCvDetailsNone;
  o.foldStats = o.kfold && (o.cvDetails == kCvPressOnly || o.cvDetails == kCvAll);
  o.foldEstimates = o.kfold && (o.cvDetails == kCvCoeffs || o.cvDetails == kCvAll);
  o.folds = o.kfold || o.externalCv ? o.cvFolds : 0;
  return 0;
}

void settleForcedEffects(VsfState* s) {
  SelectionOptions& o = s->settings.options;
  const int32_t effects = s->lev.design ? s->lev.design->effectCount : 0;
  if (o.include != 0 && o.method == kMethodNone) {
    repairMsg(s->stepCode, 128);
    o.include = 0;
    o.forcedEffects = o.noInt ? 0 : 1;
  }
  if (o.forcedEffects > effects - o.noInt) {
    o.forcedEffects = effects - o.noInt;
    repairMsg(s->stepCode, 135);
    o.buildFullSscp = 1;
  }
  if (o.adaptive) o.buildFullSscp = 1;
  if (o.buildFullSscp) {
    o.incrementalSscp = 0;
    o.fullSweepMode = 1;
  } else {
    o.incrementalSscp = !splitsEffects(o) && o.method != kMethodNone;
  }
  // Built effect by effect, a classical method keeps the rows of the effects that entered
  // beside the response's: its search scores every candidate from them, not by one trial
  // pass over the rows per candidate.
  o.effectStore = o.incrementalSscp;
}

int wholeCrossproductsFit(VsfState* s) {
  ZDesign* d = s->lev.design;
  if (!s->settings.options.buildFullSscp || !d || zeffsepfits(d) == 0) return 0;
  raiseStepCode(s->stepCode, d->buildCode);
  return rc::kNoMemoryLeft;
}

}  // namespace vsf
