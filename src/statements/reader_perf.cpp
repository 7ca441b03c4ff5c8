// Thread options and the PERFORMANCE statement: requested workers from the global THREADS and
// CPUCOUNT options and the statement; the statement's table reads the detail switches and the
// data-path settings.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "base/host.h"
#include "base/hostcalls.h"
#include "base/strings.h"
#include "grammar/methods.h"
#include "grammar/slot_reader.h"
#include "statements/option_table.h"
#include "statements/statements.h"

namespace vsf {

namespace {

namespace qs = slots::perf;
namespace qf = flags::perf;

constexpr int kMaxWorkers = 1024;

#define VSF_THREADS(field) VSF_FIELD(settings.threads.field)
// clang-format off
constexpr OptionRow kPerformanceRows[] = {
    {"DETAILS", qf::kDetails, kOptFlag, 0, {}, VSF_THREADS(perfDetails), kStatementRules},
    {"ALLDETAILS$", qf::kAllDetails, kOptFlag, 0, {}, VSF_THREADS(allDetails), kFixedOnRead},
    {"PERFSTATUS$", qf::kPerfStatus, kOptFlag, 0, {}, VSF_THREADS(perfStatus), kNoEffect},
    {"FORCE$", qf::kForce, kOptFlag, 0, {}, VSF_THREADS(force), kFixedOnRead},
    {"FULL", qf::kBuildFull, kOptFlag, 0, {}, VSF_THREADS(buildFull), kFixedOnRead},
    {"INCREMENTAL", qf::kBuildIncremental, kOptFlag, 0, {}, VSF_THREADS(buildIncremental), kFixedOnRead},
    {"UTIL_BUFFERS$", qs::kUtilBuffers, kOptInteger, 0, {0}, VSF_OPTION(utilBuffers), kFixedOnRead},
    {"UTIL_PAGESIZE$", qs::kUtilPageSize, kOptInteger, 0, {1, 10000}, VSF_OPTION(utilPageSizeKb), kFixedOnRead},
    {"ALLSPARSE$", qf::kAllSparse, kOptFlag, 0, {}, VSF_OPTION(allSparse), kSetUpSettles},
    {"ALLDENSE$", qf::kAllDense, kOptFlag, 0, {}, VSF_OPTION(allDense), kSetUpSettles},
    {"UTIL_DETAILS$", qf::kUtilDetails, kOptFlag, 0, {}, VSF_OPTION(utilDetails), kFixedOnRead},
    {"FULL_SWEEP$", qs::kFullSweep, kOptCode, 0, {}, VSF_OPTION(fullSweepMode), kSetUpSettles},
};
// clang-format on
#undef VSF_THREADS

// A host system option read as a number; false when it has no numeric value.
bool systemOptionNumber(std::string_view name, double* value) {
  std::string text;
  if (!hostv().proc->optionText(name, &text)) return false;
  const char* b = text.c_str();
  char* end = nullptr;
  *value = std::strtod(b, &end);
  return end != b;
}

[[noreturn]] void globalOptionFailed(const char* line) {
  hostv().proc->diagText(line);
  hostEndStep(step::kInternal);
}

int32_t hostCpuCount() {
  int64_t n = 0;
  uint32_t st = kernel().nameValueGetInt("host.cpucount", &n);
  if (st != 0 || n <= 0) return 1;
  return n > kMaxWorkers ? kMaxWorkers : static_cast<int32_t>(n);
}

}  // namespace

void zthrglob(uint8_t* threadsOn, int32_t* count) {
  double threads = 0, cpus = 0;
  if (!systemOptionNumber("THREADS", &threads))
    globalOptionFailed("problem with global threads option");
  if (!systemOptionNumber("CPUCOUNT", &cpus))
    globalOptionFailed("problem with global cpucount option");
  *threadsOn = threads != 0;
  // A count of 0 or less would leave a step without a worker.
  *count = cpus < 1 ? 1 : cpus > kMaxWorkers ? kMaxWorkers : static_cast<int32_t>(cpus);
}

void zthropt(const StatementRecord* list, ThreadOptions* t) {
  t->statement = nullptr;
  t->requestedWorkers = 0;
  t->hostCpuCount = 1;
  t->threadsOn = 0;
  int found = 0;
  for (const StatementRecord* r = list; r; r = r->next) {
    if (r->name.compare(0, 7, "PERFORM") == 0) {
      t->statement = r;
      ++found;
    }
  }
  if (found > 1) hostMsg(210, 1300);
  t->hostCpuCount = hostCpuCount();
  zthrglob(&t->threadsOn, &t->requestedWorkers);

  const StatementRecord* p = t->statement;
  if (!p) return;
  if (p->flag(qf::kThreads)) t->threadsOn = 1;
  if (p->flag(qf::kNoThreads)) t->threadsOn = 0;
  Slots r(p);
  if (p->flag(qf::kCpuMin)) t->requestedWorkers = 1;
  // MAX asks for every processor there is, not for more than the host has.
  else if (p->flag(qf::kCpuMax))
    t->requestedWorkers = t->hostCpuCount;
  else if (p->flag(qf::kCpuActual))
    t->requestedWorkers = t->hostCpuCount;
  else if (r.given(qs::kCpuCount))
    t->requestedWorkers = r.integer(qs::kCpuCount, 1);
}

int32_t allowedWorkers(const ThreadOptions& t) {
  return t.threadsOn && t.requestedWorkers > 0
             ? std::min(t.requestedWorkers, std::max(1, t.hostCpuCount))
             : 1;
}

int ztestthread(std::string_view key) {
  auto read = [](const std::string& name) {
    double v = 0;
    if (!hostv().macro->getNum(name, &v) || znotfinite(v)) return -1;
    return v != 0 ? 1 : 0;
  };
  int result = read("_testthread");
  if (!key.empty()) {
    int keyed = read("_testthread" + std::string(key));
    if (keyed >= 0 && keyed > result) result = keyed;
  }
  return result;
}

void readPerformanceOptions(ReaderTarget* s) {
  zthropt(hostv().parse->firstStatement(), &s->settings.threads);
  const StatementRecord* p = s->settings.threads.statement;
  readRows(s, kPerformanceRows, p);
  Slots r(p);
  s->settings.threads.timing = r.flag(qf::kDetails) && !r.flag(qf::kNoTiming);
  if (r.flag(qf::kUtilRandom)) s->settings.options.utilAccessMode = 2;
  if (r.flag(qf::kPerfStatus)) noEffectMsg("PERFSTATUS");
}

OptionTable performanceOptionTable() { return {"perf", kPerformanceRows}; }

// Without BUILDSSCP= a classical method builds the whole crossproducts matrix for models of up
// to this many effects (other methods: fewer than 10). Its one pass costs O(n p^2), the
// incremental road's O(n p) per pass with one pass per entry and far slower row loops: on
// 1,000,000 rows a FORWARD selection by SBC among 100 candidates (20 entries) takes 3.5 s on
// the whole matrix and 8.5 s effect by effect, and the methods' benchmark puts the crossing
// near 2,000 columns for 20 entries (bench/RESULTS.md). A path without screening does the
// same: in data-pass mode each of its steps costs two or three passes over the rows, and the
// path takes a step per effect at least (bench/RESULTS.md). Screening works by passes.
constexpr int kWholeMatrixEffects = 1000;

bool wholeMatrixRoad(const SelectionOptions& o) {
  const MethodFamily family = methodFamily(o.method);
  return !family.penalized() || (family.splitsEffects() && o.screen == kScreenNone);
}

void applyPerformanceSettings(ReaderTarget* s, int effectCount) {
  ThreadOptions& t = s->settings.threads;
  SelectionOptions& o = s->settings.options;
  if (t.buildFull)
    o.buildFullSscp = 1;
  else if (t.buildIncremental)
    o.buildFullSscp = 0;
  else
    o.buildFullSscp =
        effectCount < 10 || (wholeMatrixRoad(o) && effectCount <= kWholeMatrixEffects);
  // The optimizer's problem is made from the whole crossproducts matrix.
  if (methodFamily(o.method).byOptimizer()) o.buildFullSscp = 1;
  if (o.method == kMethodBackward) {
    o.buildFullSscp = 1;
    if (t.buildIncremental) repairMsg(s->stepCode, 146);
  } else if (o.method == kMethodNone && !t.force) {
    o.buildFullSscp = 1;
    if (t.buildIncremental) repairMsg(s->stepCode, 149);
  }
  t.effectiveThreaded = t.threadsOn;
  t.effectiveWorkers = allowedWorkers(t);
  if (s->settings.displaysSuppressed) t.perfDetails = 0;
  if (s->settings.modelAverage.on && s->settings.hasByStatement) {
    t.effectiveWorkers = 1;
    t.effectiveThreaded = 0;
  }
}

}  // namespace vsf
