// Coefficient plots: the standardized coefficient of every parameter that took part in the
// selection over the steps, the curves labelled at the right edge, and beside them the choice
// criterion (or the entry and removal p-values of a selection by significance level); one
// panel, or with UNPACK two graphs. They draw from the hidden Coefficients table, one row per
// plotted parameter and step, built from the step records read back one at a time so that
// memory holds one step however long the selection.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "base/codes.h"
#include "datapass/utilfiles.h"
#include "graphs/graphs_internal.h"

namespace vsf {

namespace {

constexpr double kExpFloor = -708.3964185;  // below it e^x is 0 in doubles

struct Parameter {
  int32_t index = 0;  // in the estimates
  int32_t curve = 0;  // its effect's ordinal among the plotted effects; 0 without labels
  std::string label;
};

// A label cut to `limit` bytes around "..." in its middle, its start and its end kept, so that
// the levels of one effect, which differ at their end, stay apart; never inside a character.
// A short limit keeps the start.
std::string cutLabel(std::string_view s, size_t limit) {
  constexpr size_t kShortest = 9;  // below it a middle cut leaves too little of either end
  if (s.size() <= limit) return std::string(s);
  if (limit < kShortest) return std::string(textHead(s, limit));
  const size_t keep = limit - 3;
  const std::string_view head = textHead(s, (keep + 1) / 2);
  size_t from = s.size() - (keep - head.size());
  while (from < s.size() && (static_cast<unsigned char>(s[from]) & 0xC0) == 0x80) ++from;
  return std::string(head) + "..." + std::string(s.substr(from));
}

// Every column of each effect a step moved, the intercept left out. Labels are cut to
// MAXPARMLABEL= (0: no labels) with one note.
std::vector<Parameter> plottedParameters(StepView* s, const SelectionState* sel,
                                         const uint8_t* seen, int* width) {
  const int limit = s->settings.plots.maxParmLabel;
  std::vector<Parameter> list;
  int curve = 0, longest = 0;
  for (int32_t e = s->display.noInt ? 0 : 1; seen && e < sel->layout.effectCount; ++e) {
    if (!seen[e]) continue;
    ++curve;
    int32_t columns = candidateColumns(s, e);
    if (columns <= 0) columns = sel->layout.columnCount ? sel->layout.columnCount[e] : 0;
    for (int32_t i = 0; i < columns; ++i) {
      Parameter p;
      p.index = (sel->sweep.firstParam ? sel->sweep.firstParam[e] : 0) + i;
      if (limit > 0) {
        p.curve = curve;
        const int32_t column = candidateColumn(s, e, i);
        p.label.resize(static_cast<size_t>(parameterText(s, e, column, -1, nullptr, 0)));
        parameterText(s, e, column, -1, p.label.data(), static_cast<int>(p.label.size()));
        longest = std::max(longest, static_cast<int>(p.label.size()));
      }
      list.push_back(std::move(p));
    }
  }
  if (longest > limit && limit > 0) {
    for (Parameter& p : list) p.label = cutLabel(p.label, static_cast<size_t>(limit));
    hostMsg(kMsgSet, 201, {limit});
  }
  *width = std::min(longest, limit);
  return list;
}

// The right-edge labels at the last plotted step: the curves ends far enough apart, walking
// down from the largest and up from the smallest, those near zero left out.
std::vector<bool> rightEdgeLabels(const std::vector<double>& est, double gap) {
  const size_t n = est.size();
  std::vector<bool> marked(n, false);
  if (n == 0) return marked;
  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return est[a] > est[b]; });
  const double range = est[order.front()] - est[order.back()];
  marked[order.front()] = true;
  double last = est[order.front()];
  for (size_t k = 1; k + 1 < n; ++k) {
    const double v = est[order[k]];
    if (v <= range / 100) break;
    if (v < last - gap * range) marked[order[k]] = true, last = v;
  }
  if (est[order.back()] != 0) marked[order.back()] = true;
  last = est[order.back()];
  for (size_t k = n - 1; k-- > 0;) {
    const double v = est[order[k]];
    if (v >= -range / 100) break;
    if (v > last + gap * range) marked[order[k]] = true, last = v;
  }
  return marked;
}

// The criterion columns of the Coefficients table in their order; their names and labels are
// the registry's.
constexpr CriterionCode kCriteria[] = {kCritAic,    kCritAicc,      kCritSbc, kCritRsquare,
                                       kCritAdjRsq, kCritBic,       kCritCp,  kCritPress,
                                       kCritCv,     kCritCvExternal};
constexpr int kCriterionCount = sizeof(kCriteria) / sizeof(kCriteria[0]);

// The second plot's criterion: CHOOSE, else STOP, else AICC.
CriterionCode secondPlot(const DisplayOptions& o) {
  return o.choose != kCritNone ? o.choose : o.stop != kCritNone ? o.stop : kCritAicc;
}

// The values of one row, bound to the table's columns.
struct Row {
  int32_t step = 0, curveNumber = 0, curveIndex = 0;
  double normBeta = 0, estimate = 0, rightEdge = 0;
  double criteria[kCriterionCount] = {};
  double pAdd = 0, pDrop = 0, logAdd = 0, logDrop = 0, validation = 0;
  std::string stepLabel, parameter;  // fixed widths
  void clearCriteria() {
    const double dot = missingValue('.');
    for (double& c : criteria) c = dot;
    pAdd = pDrop = logAdd = logDrop = validation = dot;
  }
};

struct Columns {
  bool normBeta, parameter, fullModel, press, cv, cvEx, validation;
};

Columns columnsOf(const StepView* s, const SelectionState* sel, int parmWidth) {
  const DisplayOptions& o = s->display;
  return Columns{o.coefNormPerStep && stepNorms(sel),
                 s->settings.plots.maxParmLabel != 0 && parmWidth > 0,
                 o.fullModelVariance != 0,
                 o.pressPerStep != 0,
                 o.kfold != 0,
                 o.externalCv != 0,
                 sel->totals.validFreq > 0 || s->settings.partition.validationRows != 0};
}

void defineColumns(DataTable& t, const Columns& c, Row& r) {
  auto labelled = [](int message) {
    return std::vector<OutputArgItem>{argString(key::kLabel2, msgStr(message))};
  };
  t.column(ctype::kInt, "Step", &r.step);
  t.column(ctype::kInt, "CurveNumber", &r.curveNumber);
  if (c.normBeta) t.column(ctype::kDouble, "NormBeta", &r.normBeta);
  t.column(ctype::kText, "StepLabel", r.stepLabel.data(),
           {argInt(dkey::kTextWidth, static_cast<int32_t>(r.stepLabel.size()))});
  if (c.parameter)
    t.column(ctype::kText, "Parameter", r.parameter.data(),
             {argInt(dkey::kTextWidth, static_cast<int32_t>(r.parameter.size()))});
  t.column(ctype::kInt, "CurveIndex", &r.curveIndex);
  t.column(ctype::kDouble, "StandardizedEst", &r.estimate);
  t.column(ctype::kDouble, "RhsLabelYValue", &r.rightEdge);
  for (int k = 0; k < kCriterionCount; ++k) {
    const CriterionCode code = kCriteria[k];
    if ((criterionInfo(code).fullModel && !c.fullModel) || (code == kCritPress && !c.press) ||
        (code == kCritCv && !c.cv) || (code == kCritCvExternal && !c.cvEx))
      continue;
    const CriterionGraphTexts& g = criterionInfo(code).graph;
    t.column(ctype::kDouble, g.coefficientColumn, &r.criteria[k], labelled(g.coefficientLabel));
  }
  t.column(ctype::kDouble, "PValAdd", &r.pAdd, labelled(840));
  t.column(ctype::kDouble, "PValDrop", &r.pDrop, labelled(840));
  t.column(ctype::kDouble, "LogPValAdd", &r.logAdd, labelled(841));
  t.column(ctype::kDouble, "LogPValDrop", &r.logDrop, labelled(841));
  if (c.validation) t.column(ctype::kDouble, "ValidationASE", &r.validation, labelled(854));
}

// The smallest and largest finite log p-value of the plotted steps' F tests.
struct LogRange {
  double low = INFINITY, high = -INFINITY;
  bool any() const { return low <= high; }
};

// Step i's criteria and the F test of its change, on the first row of the step.
void stepValues(const SelectionState* sel, int32_t i, Row* r, LogRange* logs) {
  const StepHistory& h = sel->steps;
  for (int k = 0; k < kCriterionCount; ++k)
    r->criteria[k] = infinityAsSpecial(stepCriterion(sel->steps, kCriteria[k], i));
  r->validation = stepCriterion(sel->steps, kCritValidate, i);
  if (i == 0) return;
  const int32_t* cols = h.sweptColumns ? h.sweptColumns : h.parameters;
  double f = 0;
  const double lp =
      effectFTestLogPValue(h.sse[i - 1], cols[i - 1], h.sse[i], cols[i], h.effects[i - 1],
                           h.effects[i], sel->totals.trainFreq, &f, sel->fit.tol);
  double p = missingValue('.');
  if (std::isfinite(lp)) {
    p = lp < kExpFloor ? 0 : std::exp(lp);
    logs->low = std::min(logs->low, lp);
    logs->high = std::max(logs->high, lp);
  }
  const double logValue = std::isfinite(lp) ? lp : missingValue('.');
  if (h.parameters[i - 1] < h.parameters[i])
    r->pAdd = p, r->logAdd = logValue;
  else
    r->pDrop = p, r->logDrop = logValue;
}

// Reads the step records and writes the rows of the range.
class TableWriter {
 public:
  TableWriter(StepView* s, const SelectionState* sel, const StepMarks& marks,
              const StepRange& range, std::vector<Parameter>& parms, Row& r, DataTable& t)
      : s_(s), sel_(sel), marks_(marks), range_(range), parms_(parms), r_(r), t_(t) {}

  // 0, -1 (record pool), -6 (unreadable record) or the failed sample-id read's code.
  int run(int sample, ScratchFileObject* stream, int64_t* position);
  int32_t longestRightEdge() const { return longestRightEdge_; }
  LogRange logs;

 private:
  int readRecord(SelectionState* record, ScratchFileObject* stream, int64_t* position);
  void writeRows(const SelectionState& record, int32_t display);
  void dropPool();

  StepView* s_;
  const SelectionState* sel_;
  const StepMarks& marks_;
  StepRange range_;
  std::vector<Parameter>& parms_;
  Row& r_;
  DataTable& t_;
  int32_t longestRightEdge_ = 0;
};

void TableWriter::dropPool() {
  if (s_->output.modelPool) kernel().poolDestroy(s_->output.modelPool);
  s_->output.modelPool = nullptr;
}

int TableWriter::readRecord(SelectionState* record, ScratchFileObject* stream, int64_t* position) {
  dropPool();
  if (!(s_->output.modelPool = kernel().poolCreate("model pool", kPoolPlain))) return rc::kPool;
  // The records were written under the run's options, which the history reader follows.
  shareRunOptions(record, s_->group.selection);
  record->modelPool = s_->output.modelPool;
  record->streamFile = stream;
  record->streamPosition = position;
  if (readStepHistory(record) != 0) {
    dropPool();
    return rc::kHistory;
  }
  return 0;
}

int TableWriter::run(int sample, ScratchFileObject* stream, int64_t* position) {
  const double* norms = stepNorms(sel_);
  const double lastNorm = norms ? norms[sel_->steps.stepCount - 1] : 0;
  // A sample's records are its step count at most: the next sample's, or the stream's end,
  // follow them.
  for (int32_t i = 0; i < sel_->steps.stepCount; ++i) {
    const int32_t display = displayStep(s_, sel_, i);
    if (sample < 0 && display > range_.last) break;
    if (sample >= 0) {
      int32_t id = 0;
      const int64_t before = *position;
      if (int rc = streamReadAt(stream, &id, 4, position); rc != 0) return rc;
      if (id != sample) {
        *position = before;
        break;
      }
    }
    SelectionState record;
    if (int rc = readRecord(&record, stream, position); rc != 0) return rc;
    if (display >= range_.first && display <= range_.last) {
      r_.clearCriteria();
      stepValues(sel_, i, &r_, &logs);
      r_.normBeta = norms && lastNorm > 0 ? norms[i] / lastNorm : missingValue('.');
      writeRows(record, display);
    }
    dropPool();
  }
  return 0;
}

void TableWriter::writeRows(const SelectionState& record, int32_t display) {
  std::vector<double> est(parms_.size());
  for (size_t k = 0; k < parms_.size(); ++k) {
    const int32_t p = parms_[k].index;
    const bool aliased = record.sweep.invDiag && record.sweep.invDiag[p] == -1.0;
    est[k] = aliased || !record.sweep.stdEstimates ? 0 : record.sweep.stdEstimates[p];
  }
  std::vector<bool> edge(parms_.size(), false);
  if (display == range_.last && s_->settings.plots.maxParmLabel != 0)
    edge = rightEdgeLabels(est, s_->settings.plots.labelGap);
  r_.step = display;
  fillField(r_.stepLabel.data(), static_cast<int>(r_.stepLabel.size()),
            stepLabelText(s_, marks_, display));
  for (size_t k = 0; k < parms_.size(); ++k) {
    r_.curveNumber = static_cast<int32_t>(k) + 1;
    r_.curveIndex = parms_[k].curve;
    fillField(r_.parameter.data(), static_cast<int>(r_.parameter.size()), parms_[k].label);
    r_.estimate = est[k];
    r_.rightEdge = edge[k] ? est[k] : missingValue('.');
    if (edge[k])
      longestRightEdge_ = std::max(longestRightEdge_, static_cast<int32_t>(parms_[k].label.size()));
    t_.row();
    r_.clearCriteria();
  }
}

// Everything the graphs of one call share.
struct Settings {
  StepAxisCode axis;
  std::vector<OutputArgItem> axisList;
  const CriterionGraphTexts* second;
  bool pValues, logScale;
  double baseline;
  int32_t parmWidth, steps;
  int32_t rightEdge;  // the longest right-edge label
};

OutputArgItem pValueText(const Settings& g, const char* logText, const char* text) {
  if (!g.pValues) return valueString(nullptr);
  return valueString(hstr(g.logScale ? logText : text));
}

double offsetRight(int32_t longest, bool panel) {
  const double base = panel ? 0.06 : 0.07, per = panel ? 0.0105 : 0.0115;
  return longest > 5 ? base + per * (longest - 5) : base;
}

void sendCoefficientGraph(StepView* s, const Settings& g, void* data, bool panel) {
  static constexpr int kPanelLabels[] = {1013, 1014, 1015}, kPlotLabels[] = {1016, 1017, 1018};
  const int axis = static_cast<int>(g.axis) - 1;
  const char* name = panel ? "CoefficientPanel" : "CoefficientPlot";
  GraphRequest r(name, msgStr(panel ? kPanelLabels[axis] : kPlotLabels[axis]), msgStr(842));
  r.setTemplate(name);
  r.data(data);
  r.var("_SHOWPVAL", valueInt(g.pValues ? 1 : 0));
  r.var("_PVALLABEL",
        g.pValues ? valueString(msgStr(g.logScale ? 841 : 840)) : valueString(nullptr));
  r.var("_PVALADDVAR", pValueText(g, "logPValAdd", "PValAdd"));
  r.var("_PVALDROPVAR", pValueText(g, "logPValDrop", "PValDrop"));
  r.var("_OFFSET_RIGHT", valueDouble(offsetRight(g.rightEdge, panel)));
  r.bareValue(valueDouble(g.pValues ? 1.0 : 0.0));
  r.var("_CRITERION", valueString(hstr(g.second->name)));
  r.var("_METHOD", valueString(methodName(s)));
  r.var("_NUMSTEPS", valueInt(g.steps - 1));
  r.var("_PARMLABELLENMAX", valueInt(g.parmWidth));
  r.var("_BASELINE", valueDouble(g.baseline));
  r.var("_DEPNAME", valueString(s->settings.responseName));
  r.var("_INTTICKS", intTicks(g.axis));
  r.list(&g.axisList);
  r.send(s);
}

void sendSecondGraph(StepView* s, const Settings& g, void* data) {
  static constexpr int kLabels[] = {1019, 1020, 1021};
  GraphRequest r("ChooseCriterionPlot", msgStr(kLabels[static_cast<int>(g.axis) - 1]), msgStr(843));
  r.setTemplate(g.pValues ? "PValuePlot" : "ChooseCriterionPlot");
  r.data(data);
  if (g.pValues) {
    r.var("_PVALLABEL", valueString(msgStr(g.logScale ? 841 : 840)));
    r.var("_PVALADDVAR", pValueText(g, "logPValAdd", "PValAdd"));
    r.var("_PVALDROPVAR", pValueText(g, "logPValDrop", "PValDrop"));
    r.var("_OFFSET_RIGHT", valueDouble(offsetRight(g.rightEdge, false)));
  } else {
    r.var("_OFFSET_RIGHT", valueDouble(offsetRight(g.rightEdge, false)));
    r.var("_CRITERION", valueString(hstr(g.second->name)));
    r.var("_CRITERIONLABEL", valueString(labelText(s, g.second->label, g.second->folds)));
    r.var("_SHORTCRITERIONLABEL", valueString(msgStr(g.second->shortLabel)));
  }
  r.var("_NUMSTEPS", valueInt(g.steps - 1));
  r.var("_PARMLABELLENMAX", valueInt(g.parmWidth));
  if (g.pValues) r.var("_BASELINE", valueDouble(g.baseline));
  r.var("_DEPNAME", valueString(s->settings.responseName));
  r.var("_INTTICKS", intTicks(g.axis));
  r.list(&g.axisList);
  r.send(s);
}

}  // namespace

int plotCoefficients(StepView* s, int sample, const SelectionState* sel, const StepMarks& marks,
                     int64_t* position, ScratchFileObject* stream) {
  const PlotFamily& f = s->settings.plots.coefficients;
  if (!f.on || sel->steps.stepCount <= 0) return 0;
  DisplayClock clock(&s->output);
  int parmWidth = 0;
  std::vector<Parameter> parms = plottedParameters(s, sel, marks.effectSeen, &parmWidth);
  const StepRange range = stepRange(s, sel, f);
  if (range.empty()) {
    emptyRangeWarning(s, 227);
    return 0;
  }
  // Nothing but the intercept took part: the plots would be empty frames.
  if (parms.empty()) {
    hostMsg(kMsgSet, 273);
    return 0;
  }
  int64_t local = 0;
  if (sample < 0 || !stream) {
    stream = s->group.groupScratch.file;
    position = &local;
  }

  Row r;
  r.stepLabel.assign(static_cast<size_t>(std::max(marks.labelWidth, 1)), ' ');
  r.parameter.assign(static_cast<size_t>(std::max(parmWidth, 1)), ' ');
  const Columns columns = columnsOf(s, sel, parmWidth);
  DataTable t(&s->output);
  t.create("Coefficients");
  defineColumns(t, columns, r);
  t.endColumns();
  void* data = nullptr;
  bindPhantom(s, t, "Coefficients", &data);
  TableWriter writer(s, sel, marks, range, parms, r, t);
  const int rc = writer.run(sample, stream, position);
  t.close();
  t.release();
  if (rc != 0) return rc;

  Settings g;
  g.axis = stepAxis(f, sel, kLabelledSteps);
  g.axisList = stepAxisList(marks, g.axis, range);
  const CriterionCode second = secondPlot(s->display);
  g.second = &criterionGraphTexts(second);
  g.pValues = second == kCritSl;
  g.logScale = f.logp != 0;
  const LogRange& logs = writer.logs;
  g.baseline = g.pValues && g.logScale && logs.any() ? logs.low - 0.05 * (logs.high - logs.low) : 0;
  g.parmWidth = columns.parameter ? parmWidth : 0;
  g.steps = sel->steps.stepCount;
  g.rightEdge = writer.longestRightEdge();
  sendCoefficientGraph(s, g, data, !f.unpack);
  if (f.unpack) sendSecondGraph(s, g, data);
  return 0;
}

}  // namespace vsf
