// Parsing speed: a step whose MODEL statement lists many effects, through the host's parser
// alone and through the whole statement phase of a step.
//   cmake -S . -B build-bench -DVSF_BENCH=ON && cmake --build build-bench --target parse_bench
//   build-bench/bench/parse_bench
#include <benchmark/benchmark.h>

#include <string>

#include "common/test_host.h"
#include "frame/grammar_internal.h"
#include "frame/state.h"
#include "frame/statements_internal.h"
#include "host/parse/parse_internal.h"

namespace {

using namespace vsf;

// Every data set opens; every variable is numeric.
HostDataSet* openAny(std::string_view, int, uint32_t*) {
  static int anything;
  return reinterpret_cast<HostDataSet*>(&anything);
}
std::string lastAny() { return "D"; }
int findAny(HostDataSet*, std::string_view, int* n) {
  *n = 0;
  return 0;
}
int varAny(HostDataSet*, int n, VarDescriptor* d) {
  d->number = n;
  d->name = "y";
  d->type = kVarNumeric;
  return 0;
}
int noGroups(HostDataSet*) { return 0; }
const HostDsFamily kAny = [] {
  HostDsFamily f{};
  f.open = openAny;
  f.lastName = lastAny;
  f.findVar = findAny;
  f.varByNumber = varAny;
  f.nextByGroup = noGroups;
  return f;
}();

HostVector gVector;

void setUp() {
  static bool done = [] {
    test::ensureHost();
    gVector = *host::hostVector();
    gVector.ds = &kAny;
    mcn_main(&gVector, nullptr);
    host::parse::dataFamily() = &kAny;
    return true;
  }();
  (void)done;
}

// n effects: main effects x1..x(n/2) and crossings x(k)*z(k) for the rest.
std::string program(int n) {
  std::string t = "proc varsifter data=d; model y =";
  for (int k = 1; k <= n; ++k)
    t += k % 2 ? " x" + std::to_string(k) : " x" + std::to_string(k) + "*z" + std::to_string(k);
  t += " / selection=lasso(stop=sbc) stats=all;\nrun;\n";
  return t;
}

void BM_ParserOnly(benchmark::State& state) {
  setUp();
  host::session().stepText = program(static_cast<int>(state.range(0)));
  host::session().stepLine = 1;
  const GrammarDescriptor* g = buildGrammar();
  ParseCallbacks none;
  for (auto _ : state) {
    hostv().parse->run(g, 0, &none);
    benchmark::DoNotOptimize(hostv().parse->firstStatement());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ParserOnly)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The whole step: context, state, grammar, bridge, parse, checks and every reader.
void BM_StepStatements(benchmark::State& state) {
  setUp();
  host::session().log.setEcho(false);
  std::string text = program(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(host::runStep(text, 1));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StepStatements)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
