// The data pass of one BY group over a CSV data set: every observation read (zreadobs), its
// design row built (zxrow) and packed into the blocks of the group's utility files. Runs one
// procedure step through the host and reports the step's own timers, then times one threaded
// crossproducts pass (kernSscp) over the stored rows.
//   datapass_bench FILE WORKERS [UTIL_BUFFERS]
// The response is the first column, every other column a continuous effect; SELECTION=NONE.
#include <fmt/format.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "base/host.h"
#include "common/test_host.h"
#include "frame/state.h"
#include "host/session.h"
#include "levelize/levelize.h"
#include "selection/selection.h"

namespace {

using Clock = std::chrono::steady_clock;

vsf::VsfState* gState = nullptr;
vsf::HostCoreFamily gCore;
vsf::HostVector gVector;
int32_t gTimedGroup = 0;
double gSscpSeconds = 0;

// Keeps the step's state, and times one crossproducts pass right after the data pass.
double clockHook() {
  auto* s = static_cast<vsf::VsfState*>(vsf::host::session().procContext);
  if (s) gState = s;
  if (s && s->group.utilFiles.count > 0 && s->byGroupCount != gTimedGroup) {
    gTimedGroup = s->byGroupCount;
    vsf::SelectionState& sel = s->group.selection;
    const vsf::SelectionState saved = sel;
    s->settings.options.buildFullSscp = 1;
    auto t = Clock::now();
    if (vsf::buildModelPool(&sel) == 0 && vsf::runDataPass(&sel, vsf::kernSscp, 0) == 0)
      gSscpSeconds = std::chrono::duration<double>(Clock::now() - t).count();
    if (sel.modelPool) vsf::kernel().poolDestroy(sel.modelPool);
    sel = saved;
  }
  return vsf::host::hostVector()->core->clock();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vsf;
  if (argc < 3) {
    fmt::print(stderr, "usage: datapass_bench FILE WORKERS [UTIL_BUFFERS]\n");
    return 2;
  }
  const std::string file = std::filesystem::absolute(argv[1]).string();
  const int workers = std::atoi(argv[2]);
  const int buffers = argc > 3 ? std::atoi(argv[3]) : 0;
  host::Session& session = host::session();
  session.log.setEcho(false);
  session.options.threads = workers > 1;
  session.options.cpuCount = workers;
  host::initNameValueStore(workers);
  gCore = *host::hostVector()->core;
  gCore.clock = &clockHook;
  gVector = *host::hostVector();
  gVector.core = &gCore;
  test::loadProcedure(&gVector);

  // x1 is the response; x2 .. xN the effects. A single quote in the path would end a string
  // in single quotes.
  const char quote = file.find('\'') == std::string::npos ? '\'' : '"';
  std::string step = fmt::format(
      "proc varsifter data={}{}{}; model x1 = x2--x{} / selection=none; performance {} {}; run;",
      quote, file, quote, 100,
      workers > 1 ? fmt::format("threads cpucount={}", workers) : "nothreads",
      buffers > 0 ? fmt::format("util_buffers$={}", buffers) : "");
  auto t = Clock::now();
  int code = host::runStep(step, 1);
  double total = std::chrono::duration<double>(Clock::now() - t).count();
  if (code != 0 || !gState) {
    for (const auto& l : session.log.lines()) fmt::print(stderr, "{}: {}\n", l.level, l.text);
    return 1;
  }
  const VsfState& s = *gState;
  const double rows = s.group.selection.totals.rowsStored;
  fmt::print("workers {} buffers {}\n", workers, buffers);
  fmt::print("rows stored {:.0f}, columns {}\n", rows, s.group.largestColumnCount);
  fmt::print("levelization (first read, CSV parse) {:.2f} s\n", s.res.timers.levelization);
  fmt::print("data pass {:.2f} s ({:.0f} rows/s)\n", s.res.timers.dataPass,
             rows / s.res.timers.dataPass);
  fmt::print("crossproducts pass after it {:.3f} s\n", gSscpSeconds);
  fmt::print("step {:.2f} s\n", total);
  return 0;
}
