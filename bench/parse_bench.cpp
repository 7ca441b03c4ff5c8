// Parsing speed: a step whose MODEL statement lists many effects, through the host's parser
// alone and through the whole statement phase of a step.
//   cmake -S . -B build-bench -DVSF_BENCH=ON && cmake --build build-bench --target parse_bench
//   build-bench/bench/parse_bench
#include <benchmark/benchmark.h>

#include <cctype>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/host.h"
#include "common/test_host.h"
#include "frame/state.h"
#include "grammar/grammar.h"
#include "host/parse/parse_internal.h"
#include "statements/statements.h"

namespace {

using namespace vsf;

// Every data set opens; every name is a numeric variable of it, numbered as first asked.
HostDataSet* openAny(std::string_view, int, uint32_t*) {
  static int anything;
  return reinterpret_cast<HostDataSet*>(&anything);
}
std::string lastAny() { return "D"; }
std::vector<std::string>& names() {
  static std::vector<std::string> v;
  return v;
}
std::unordered_map<std::string, int>& numbers() {
  static std::unordered_map<std::string, int> m;
  return m;
}
int findAny(HostDataSet*, std::string_view name, int* n) {
  std::string key(name);
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  auto [it, added] = numbers().try_emplace(key, static_cast<int>(names().size()));
  if (added) names().emplace_back(name);
  *n = it->second;
  return 0;
}
int varAny(HostDataSet*, int n, VarDescriptor* d) {
  if (n < 0 || static_cast<size_t>(n) >= names().size()) return -1;
  d->number = n;
  d->name = names()[static_cast<size_t>(n)];
  d->type = kVarNumeric;
  return 0;
}
int noGroups(HostDataSet*) { return 0; }
// The set-up starts the reader and asks what the data set is: one without observations.
int atStart(HostDataSet*) { return 0; }
int attrAny(HostDataSet*, int code, void* out) {
  if (code == dsattr::kKind) return *static_cast<int32_t*>(out) = 1, 0;
  if (code == dsattr::kObsCount) return *static_cast<int64_t*>(out) = 0, 0;
  return -1;
}
const HostDsFamily kAny = [] {
  HostDsFamily f{};
  f.open = openAny;
  f.lastName = lastAny;
  f.findVar = findAny;
  f.varByNumber = varAny;
  f.nextByGroup = noGroups;
  f.setup = atStart;
  f.start = atStart;
  f.readNext = noGroups;
  f.attr = attrAny;
  return f;
}();

HostVector gVector;

void setUp() {
  static bool done = [] {
    test::ensureHost();
    gVector = *host::hostVector();
    gVector.ds = &kAny;
    test::loadProcedure(&gVector);
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

// The whole step: context, state, grammar, bridge, parse with the effects library building
// the effect chain, checks and every reader (zeffinfo making the design's effects).
void BM_StepStatements(benchmark::State& state) {
  setUp();
  host::session().log.setEcho(false);
  std::string text = program(static_cast<int>(state.range(0)));
  int code = 0;
  for (auto _ : state) benchmark::DoNotOptimize(code = host::runStep(text, 1));
  if (code != 0) state.SkipWithError("the step failed");
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StepStatements)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
