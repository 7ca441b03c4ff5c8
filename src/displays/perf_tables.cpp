// PerfSettings (threading and crossproduct settings at the start of the step) and Timing (the
// time of each phase at its end), both asked for by PERFORMANCE DETAILS.
#include <algorithm>
#include <vector>

#include "base/host.h"
#include "displays/displays_internal.h"
#include "selection/group.h"

namespace vsf {

int printPerfSettings(StepView* s) {
  DisplayClock clock(&s->output);
  const ThreadOptions& th = s->settings.threads;
  FactoidTable t(&s->output);
  t.create("PerfSettings", "Stat.VARSIFTER.PerfSettings", msgStr(730),
           {argString(key::kLabel, msgStr(730))});
  t.entry(msgStr(731), valueString(msgStr(th.threadsOn ? 732 : 733)));
  if (th.threadsOn && !th.effectiveThreaded) t.entry(msgStr(742), valueString(msgStr(733)));
  if (th.requestedWorkers != th.hostCpuCount) {
    t.entry(msgStr(735), valueInt(th.requestedWorkers));
    t.entry(msgStr(736), valueInt(th.hostCpuCount));
  } else {
    t.entry(msgStr(734), valueInt(th.requestedWorkers));
  }
  t.entry(msgStr(739), valueString(msgStr(s->display.buildFullSscp ? 740 : 741)));
  t.close();
  t.release();
  return 0;
}

namespace {

struct TimingRow {
  int label;
  double value;
  bool shown;
  bool summed;
};

}  // namespace

// Replaces the step's start time by the step's total elapsed time. Not timed itself.
int printTiming(StepView* s, PhaseTimers* timers) {
  const PhaseTimers& tm = *timers;
  const bool all = s->settings.threads.allDetails != 0;
  const bool averaging = s->settings.modelAverage.on != 0;
  const TimingRow rows[] = {
      {701, tm.setup, true, true},
      {702, tm.levelization, true, true},
      {703, tm.screening, tm.screening > 0, true},
      {705, tm.dataPass, true, true},
      {704, tm.averaging, averaging, true},
      {706, tm.selection, true, true},
      {707, s->output.clockTotal, all && s->output.clockTotal != 0, false},
      {708, tm.passes, all && tm.passes != 0, false},
      {709, tm.trials, all && tm.trials != 0, false},
      {710, tm.recording, all && tm.recording != 0, false},
      {711, tm.output, all && tm.output != 0, false},
      {712, tm.cleanup, true, true},
  };
  int width = std::max({msgLength(701), msgLength(702), msgLength(703), msgLength(705),
                        msgLength(706), msgLength(712), msgLength(713), msgLength(714)});
  if (averaging) width = std::max(width, msgLength(704));
  if (all)
    for (int m = 707; m <= 711; ++m) width = std::max(width, msgLength(m));
  std::vector<char> section(static_cast<size_t>(std::max(width, 1)));
  double time = 0;
  char control = ' ';

  DataTable t(&s->output);
  t.create("Timing", {argString(key::kLabel2, msgStr(700))});
  t.column(ctype::kText, "CodeSection", section.data(),
           {argInt(dkey::kTextWidth, static_cast<int>(section.size()))});
  t.column(ctype::kDouble, "time", &time);
  t.column(ctype::kChar, "Control", &control);
  t.endColumns();
  t.bind("Stat.VarSifter.Timing");
  auto write = [&](int label, double value, char mark) {
    fillField(section.data(), static_cast<int>(section.size()), msgText(label));
    time = value < 0 ? 0 : value;
    control = mark;
    t.row();
  };
  double sum = 0;
  for (const TimingRow& r : rows) {
    if (!r.shown) continue;
    write(r.label, r.value, ' ');
    if (r.summed) sum += r.value < 0 ? 0 : r.value;
  }
  const double total = hostClock() - timers->stepStart;
  timers->stepStart = total;
  write(714, std::max(total - sum, 0.0), ' ');
  write(713, total, '-');
  t.close();
  t.release();
  return 0;
}

}  // namespace vsf
