// Levelization of one BY group of 1,000,000 rows with three CLASS variables of 10, 100 and
// 10,000 levels: the whole zlev pass (level collection, order and coding, the combination pass
// through zreadobs, column counts), and the level collection alone. The generated CSV is
// read once through the host (its binary copy); every iteration levelizes it from scratch.
//   levelize_bench [--benchmark_min_time=...]
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/host.h"
#include "common/test_host.h"
#include "effects/effects.h"
#include "frame/host/dataset.h"
#include "host/data/data.h"
#include "host/session.h"
#include "levelize/levelize.h"
#include "levelize/levelize_internal.h"

namespace {

using namespace vsf;

constexpr long kRows = 1000000;
const int kLevels[3] = {10, 100, 10000};

// The data set: a, b, c numeric codes or character labels of 10, 100 and 10,000 levels, and
// a continuous x.
std::filesystem::path makeCsv(bool character) {
  auto dir = std::filesystem::temp_directory_path() / fmt::format("vsf_levbench_{}", ::getpid());
  std::filesystem::create_directories(dir);
  auto path = dir / (character ? "labels.csv" : "codes.csv");
  if (std::filesystem::exists(path)) return path;
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fputs("a,b,c,x\n", f);
  std::mt19937_64 gen(2024);
  std::string line;
  for (long i = 0; i < kRows; ++i) {
    line.clear();
    for (int k = 0; k < 3; ++k) {
      long v = static_cast<long>(gen() % static_cast<unsigned long>(kLevels[k]));
      line += character ? fmt::format("L{}", v) : fmt::format("{}", v);
      line += ',';
    }
    line += fmt::format("{}\n", static_cast<double>(gen() % 100000) / 100.0);
    std::fputs(line.c_str(), f);
  }
  std::fclose(f);
  return path;
}

struct Setup {
  explicit Setup(bool character) {
    static bool loaded = [] {
      host::session().log.setEcho(false);
      host::initNameValueStore(static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
      test::loadProcedure(host::hostVector());
      return true;
    }();
    (void)loaded;
    auto path = makeCsv(character);
    host::session().options.utilPath = path.parent_path();
    const HostDsFamily& ds = *hostv().ds;
    reader = ds.open("'" + path.string() + "'", kDsInput, nullptr);
    ds.nextByGroup(reader);
    for (const char* name : {"a", "b", "c"}) {
      VarDescriptor& d = descs.emplace_back();
      int number = -1;
      ds.findVar(reader, name, &number);
      ds.varByNumber(reader, number, &d);
      LevelVar v;
      v.desc = &d;
      v.formattedWidth = d.type == kVarCharacter ? d.length : 12;
      classVars.push_back(v);
    }
    VarDescriptor& x = descs.emplace_back();
    int number = -1;
    ds.findVar(reader, "x", &number);
    ds.varByNumber(reader, number, &x);
    modelVars.resize(1);
    modelVars[0].desc = &x;
    // Intercept a b c x.
    effects.resize(5);
    for (int k = 0; k < 3; ++k) {
      keys[k][0] = k;
      ZEffect& z = effects[static_cast<size_t>(k + 1)];
      z.crossCount = z.keyCount = 1;
      z.key = z.cross = keys[k];
      z.nest = keys[k] + 1;
      z.multipliers = keys[k] + 1;
    }
    effects[4].contCount = 1;
    effects[4].cont = &zero;
    results.resize(effects.size());
    design.classCount = 3;
    design.classVars = classVars.data();
    design.modelVarCount = 1;
    design.modelVars = modelVars.data();
    design.effectCount = static_cast<int32_t>(effects.size());
    design.effects = effects.data();
    design.results = results.data();
    alloc.reader = reader;
    ctx.alloc = &alloc;
    ctx.design = &design;
  }

  void newGroup() {
    alloc.allocator = hostv().proc->heapNew(0, 1024, 0x1004);
    design.classVars[0].levelCount = 0;
    design.modelVars[0].levelCount = 0;
  }
  void endGroup() {
    HostPool* heap = alloc.allocator;
    zlevfree(&ctx, -1);
    hostv().proc->heapFree(heap);
  }

  HostDataSet* reader = nullptr;
  std::deque<VarDescriptor> descs;
  std::vector<LevelVar> classVars, modelVars;
  std::vector<ZEffect> effects;
  std::vector<EffectResult> results;
  int32_t keys[3][2] = {};
  int32_t zero = 0;
  ZDesign design;
  ZLevCtx ctx;
  LevAllocRecord alloc;
};

Setup& setupFor(bool character) {
  static Setup codes(false);
  static Setup labels(true);
  return character ? labels : codes;
}

// The whole pass; with full-rank codings there is no combination pass.
void BM_Zlev(benchmark::State& state) {
  Setup& s = setupFor(state.range(0) != 0);
  s.design.flags = state.range(1) ? dflag::kFullRank : 0;
  for (auto _ : state) {
    s.newGroup();
    int status = zlev(&s.ctx);
    if (status != 0) state.SkipWithError("levelization failed");
    benchmark::DoNotOptimize(s.design.columnCount);
    s.endGroup();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  state.counters["columns"] = 1 + 10 + 100 + 10000 + 1;
}
BENCHMARK(BM_Zlev)
    ->ArgNames({"character", "fullrank"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

// The level collection alone (first read of the group).
void BM_LevelCollection(benchmark::State& state) {
  Setup& s = setupFor(state.range(0) != 0);
  s.design.flags = 0;
  for (auto _ : state) {
    s.newGroup();
    levPrepare(&s.ctx);
    LevelizeWork* w = levCollect(&s.ctx);
    benchmark::DoNotOptimize(w->levelCounts[2]);
    levelizeWorkFree(w);
    s.endGroup();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_LevelCollection)->ArgName("character")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The floor: one pass of bound reads of the same values (three formatted, one number).
void BM_BoundRead(benchmark::State& state) {
  Setup& s = setupFor(state.range(0) != 0);
  const HostDsFamily& ds = *hostv().ds;
  char text[3][16];
  double x = 0;
  HostBindList* list = ds.bindBegin(s.reader, 4);
  for (int k = 0; k < 3; ++k)
    ds.bindVar(list, s.classVars[static_cast<size_t>(k)].desc->number, text[k],
               s.classVars[static_cast<size_t>(k)].formattedWidth, kBindFormatted);
  ds.bindVar(list, s.modelVars[0].desc->number, &x, 8, kBindNumeric);
  ds.bindEnd(list);
  for (auto _ : state) {
    ds.mode(s.reader, 'B');
    ds.start(s.reader);
    long n = 0;
    while (ds.readNext(s.reader) == 1) ++n;
    benchmark::DoNotOptimize(n);
  }
  ds.bindEnd(ds.bindBegin(s.reader, 0));
  s.alloc.active = -1;
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_BoundRead)->ArgName("character")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
