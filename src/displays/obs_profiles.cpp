// Observation counts: the NObs table of the analysis data (with rows per partition role) and
// one per separate validation or test data set, inside the ObsProfiles group.
#include <algorithm>

#include "displays/displays_internal.h"
#include "selection/group.h"

namespace vsf {

namespace {

int widestLabel(std::initializer_list<int> messages) {
  int w = 0;
  for (int m : messages) w = std::max(w, msgLength(m));
  return w;
}

bool bound(const DataSetBinding& b) { return b.dataSet != nullptr; }

std::vector<OutputArgItem> widthDynamic(const char* name, int width) {
  std::vector<OutputArgItem> d;
  addDynamic(d, name, valueInt(width));
  return d;
}

}  // namespace

int printNObsRoles(StepView* s, const SelectionState* sel, int sourceWidth) {
  DisplayClock clock(&s->output);
  const DisplayOptions& o = s->display;
  const bool roles = o.rolesPresent, freq = o.freqPresent;
  const bool separate = bound(s->settings.validation) || bound(s->settings.test);
  const bool validRow = roles &&
                        (sel->totals.validRows > 0 || s->settings.partition.validationRows) &&
                        !bound(s->settings.validation);
  const bool testRow = roles && (sel->totals.testRows > 0 || s->settings.partition.testRows) &&
                       !bound(s->settings.test);
  const bool ignoredRow = roles && sel->totals.noRoleRows > 0;

  int width = widestLabel({501, 502});
  if (roles) width = std::max(width, msgLength(505));
  if (validRow) width = std::max(width, msgLength(507));
  if (testRow) width = std::max(width, msgLength(509));
  if (ignoredRow) width = std::max(width, msgLength(511));
  if (freq) width = std::max(width, widestLabel({503, 504}));
  if (freq && roles) width = std::max(width, msgLength(506));
  if (freq && validRow) width = std::max(width, msgLength(508));
  if (freq && testRow) width = std::max(width, msgLength(510));
  if (freq && ignoredRow) width = std::max(width, msgLength(512));

  HostString* label = nullptr;
  HostString* source = msgStr(516);
  double n = 0;
  DataTable t(&s->output);
  if (!separate) {
    t.create("NObs", {argString(key::kLabel2, msgStr(500))});
  } else {
    t.create("NObs", {argString(key::kLabel2, msgStr(513)), argString(key::kTitle, msgStr(516))});
    std::vector<OutputArgItem> title;
    addDynamic(title, "tableTitle", valueString(msgStr(513)));
    sendRequest(t.table(), op::kSetDynamic, title);
    t.column(ctype::kString, "DataSource", &source, widthDynamic("SourceWidth", sourceWidth));
  }
  t.column(ctype::kString, "Label", &label, widthDynamic("LabelWidth", width));
  t.column(ctype::kDouble, "N", &n);
  t.column(ctype::kDouble, "NObsRead", &sel->totals.obsRead);
  t.column(ctype::kDouble, "NObsUsed", &sel->totals.rowsStored);
  // Without FREQ every observation read counts once: the sum is the count, never an unfilled 0.
  double freqRead = freq ? sel->totals.freqRead : sel->totals.obsRead;
  t.column(ctype::kDouble, "SumFreqsRead", &freqRead);
  t.column(ctype::kDouble, "SumFreqsUsed", &sel->totals.freqStored);
  if (roles) {
    t.column(ctype::kDouble, "NObsTraining", &sel->totals.obsUsed);
    t.column(ctype::kDouble, "SumTrainingFreqs", &sel->totals.trainFreq);
    if (!bound(s->settings.validation)) {
      t.column(ctype::kDouble, "NObsValidation", &sel->totals.validRows);
      t.column(ctype::kDouble, "SumValidationFreqs", &sel->totals.validFreq);
    }
    if (!bound(s->settings.test)) {
      t.column(ctype::kDouble, "NObsTest", &sel->totals.testRows);
      t.column(ctype::kDouble, "SumTestFreqs", &sel->totals.testFreq);
    }
    t.column(ctype::kDouble, "NObsIgnored", &sel->totals.noRoleRows);
    t.column(ctype::kDouble, "SumIgnoredFreqs", &sel->totals.noRoleFreq);
  }
  t.endColumns();
  t.bind("Stat.VARSIFTER.NObs");
  auto row = [&](int message, double value, bool when) {
    if (!when) return;
    label = msgStr(message);
    n = value;
    t.row();
  };
  row(501, sel->totals.obsRead, true);
  row(502, sel->totals.rowsStored, true);
  row(505, sel->totals.obsUsed, roles);
  row(507, sel->totals.validRows, validRow);
  row(509, sel->totals.testRows, testRow);
  row(511, sel->totals.noRoleRows, ignoredRow);
  row(503, sel->totals.freqRead, freq);
  row(504, sel->totals.freqStored, freq);
  row(506, sel->totals.trainFreq, freq && roles);
  row(508, sel->totals.validFreq, freq && validRow);
  row(510, sel->totals.testFreq, freq && testRow);
  row(512, sel->totals.noRoleFreq, freq && ignoredRow);
  t.close();
  t.release();
  return 0;
}

int printNObsSource(StepView* s, const SelectionState* sel, const DataSetBinding* binding,
                    int sourceWidth) {
  DisplayClock clock(&s->output);
  const bool test = binding == &s->settings.test;
  int width = widestLabel({501, 502});
  if (s->display.freqPresent) width = std::max(width, widestLabel({503, 504}));
  struct Counts {
    double read, used, freqRead, freqUsed;
  } c = test ? Counts{sel->totals.testObsRead, sel->totals.testRows, sel->totals.testFreqRead,
                      sel->totals.testFreq}
             : Counts{sel->totals.validObsRead, sel->totals.validRows, sel->totals.validFreqRead,
                      sel->totals.validFreq};
  if (!binding->hasFreq) c.freqRead = c.read;  // each observation read counts once
  HostString* title = msgStr(test ? 514 : 515);
  HostString* source = msgStr(test ? 517 : 518);
  HostString* label = nullptr;
  double n = 0;
  DataTable t(&s->output);
  t.create("NObs", {argString(key::kLabel2, title), argString(key::kTitle, source)});
  std::vector<OutputArgItem> dyn;
  addDynamic(dyn, "tableTitle", valueString(title));
  sendRequest(t.table(), op::kSetDynamic, dyn);
  t.column(ctype::kString, "DataSource", &source, widthDynamic("SourceWidth", sourceWidth));
  t.column(ctype::kString, "Label", &label, widthDynamic("LabelWidth", width));
  t.column(ctype::kDouble, "N", &n);
  t.column(ctype::kDouble, "NObsRead", &c.read);
  t.column(ctype::kDouble, "NObsUsed", &c.used);
  t.column(ctype::kDouble, "SumFreqsRead", &c.freqRead);
  t.column(ctype::kDouble, "SumFreqsUsed", &c.freqUsed);
  t.endColumns();
  t.bind("Stat.VARSIFTER.NObs");
  auto row = [&](int message, double value) {
    label = msgStr(message);
    n = value;
    t.row();
  };
  row(501, c.read);
  row(502, c.used);
  if (binding->hasFreq) {
    row(503, c.freqRead);
    row(504, c.freqUsed);
  }
  t.close();
  t.release();
  return 0;
}

int printObsProfiles(StepView* s, const SelectionState* sel) {
  const bool separate = bound(s->settings.validation) || bound(s->settings.test);
  void* group = nullptr;
  int sourceWidth = 0;
  if (separate) {
    group = openGroup(&s->output, "ObsProfiles", msgStr(793), {argFlag(dkey::kFlag435, 0)});
    sourceWidth = widestLabel({516, 517, 518});
  }
  printNObsRoles(s, sel, sourceWidth);
  if (bound(s->settings.validation)) printNObsSource(s, sel, &s->settings.validation, sourceWidth);
  if (bound(s->settings.test)) printNObsSource(s, sel, &s->settings.test, sourceWidth);
  if (group) closeGroup(&s->output, group);
  return 0;
}

}  // namespace vsf
