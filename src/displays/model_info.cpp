// ModelInfo: what the step was asked to do, before any data are read.
#include <cstring>
#include <string>

#include "base/host.h"
#include "displays/displays_internal.h"
#include "selection/group.h"

namespace vsf {

namespace {

std::string dataSetName(HostDataSet* ds) {
  std::string name;
  if (ds && hostv().ds->attr) hostv().ds->attr(ds, dsattr::kName, &name);
  return name;
}

std::string variableName(const StepView* s, int number) {
  VarDescriptor v;
  if (s->settings.inputReader && number >= 0 && hostv().ds->varByNumber &&
      hostv().ds->varByNumber(s->settings.inputReader, number, &v) == 0)
    return v.name;
  return std::string();
}

struct Entries {
  FactoidTable& t;
  void text(int label, std::string_view value) { t.entry(msgStr(label), valueString(hstr(value))); }
  void message(int label, int value) { t.entry(msgStr(label), valueString(msgStr(value))); }
  void integer(int label, int32_t value) { t.entry(msgStr(label), valueInt(value)); }
  void number(int label, double value) { t.entry(msgStr(label), valueDouble(value)); }
};

// The rows of a method that selects: criteria, limits, levels, folds, forced effects.
void selectionRows(const StepView* s, Entries& e) {
  const DisplayOptions& o = s->display;
  const DisplayFlags f = displayFlags(s, nullptr);
  if (!f.pathEstimates && !f.groupPath) e.message(676, criterionInfo(o.select).texts.name);
  if (o.steps) {
    e.integer(677, o.steps);
  } else if (o.stopSteps) {
    e.integer(678, o.stopSteps);
  } else {
    e.message(679, criterionInfo(o.stop).texts.name);
  }
  if (o.choose != kCritNone) e.message(680, criterionInfo(o.choose).texts.name);
  // The significance levels of a classical method's entries and removals.
  const bool sl = o.select == kCritSl || o.stop == kCritSl || o.choose == kCritSl;
  const bool classical = methodFamily(o.method).kind == MethodKind::kClassical;
  const MethodMoves moves = methodInfo(o.method).moves;
  if (sl && classical && (moves == MethodMoves::kAdds || moves == MethodMoves::kBoth))
    e.number(681, o.entryLevel);
  if (sl && classical && (moves == MethodMoves::kDrops || moves == MethodMoves::kBoth))
    e.number(682, o.stayLevel);
  auto folds = [&](int methodLabel, int indexLabel, int foldsLabel) {
    e.message(methodLabel, 690 + codeIndex(o.cvMethod));
    if (o.cvMethod == kCvIndex)
      e.text(indexLabel, variableName(s, o.cvIndexVariable));
    else
      e.integer(foldsLabel, o.cvFolds);
  };
  if (o.kfold || (o.cvMethod != kCvNone && !o.externalCv)) folds(690, 695, 689);
  if (o.externalCv) folds(3402, 3403, 3401);
  if (o.include) e.number(683, o.include);
  e.message(684, 440 + o.hierarchy);
}

}  // namespace

int printModelInfo(StepView* s) {
  DisplayClock clock(&s->output);
  const DisplayOptions& o = s->display;
  FactoidTable t(&s->output);
  t.create("ModelInfo", "Stat.VARSIFTER.ModelInfo", msgStr(670));
  Entries e{t};
  e.text(671, dataSetName(s->settings.inputReader));
  if (s->settings.validation.dataSet) e.text(672, dataSetName(s->settings.validation.dataSet));
  if (s->settings.test.dataSet) e.text(673, dataSetName(s->settings.test.dataSet));
  if (o.freqPresent) e.text(685, s->settings.freqVariable.name);
  if (o.weightPresent) e.text(686, s->settings.weightVariable.name);
  e.text(687, s->settings.response.name);
  if (o.method == kMethodStepwise && competitiveDrop(o.dropRule))
    e.message(674, 439);
  else
    e.message(674, o.adaptive ? 438 : methodInfo(o.method).label);
  if (o.adaptive && s->settings.initialEstimates)
    e.text(698, dataSetName(s->settings.initialEstimates));
  if (o.adaptive && o.adaptiveGamma != 1.0) e.number(697, o.adaptiveGamma);
  if (o.maxSteps) e.integer(675, o.maxSteps);
  if (o.method != kMethodNone) selectionRows(s, e);
  const double fraction = s->settings.partition.trainFraction;
  if ((fraction > 0 && fraction < 1) || o.cvMethod == kCvRandom) {
    uint32_t seed = static_cast<uint32_t>(s->settings.procedureSeed);
    OutputArgItem v;
    v.type = ctype::kUnsigned;
    std::memcpy(v.value, &seed, 4);
    t.entry(msgStr(688), v);
  }
  t.close();
  t.release();
  return 0;
}

}  // namespace vsf
