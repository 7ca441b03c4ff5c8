// Drawing the step graphs of a long selection: the SelectionSummary, BestStep and Coefficients
// data a selection of STEPS steps over PARAMS parameters sends, the coefficient panel, the
// criterion panel and the ASE plot requested over them, then every graph drawn into SVG.
//   build/bench/graphs_bench --benchmark_min_time=0.5
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/hostcalls.h"
#include "common/test_host.h"
#include "frame/host/host_vector.h"
#include "host/output/output_internal.h"
#include "host/output/plot_internal.h"
#include "host/session.h"

namespace {

using namespace vsf;

HostString* str(std::string_view s) { return host::hostVector()->str->fromBytes(s); }

int call(void* object, uint32_t op, std::vector<OutputArgItem> items) {
  return zhdlcall(static_cast<HostObject*>(object), nullptr, op, static_cast<int>(items.size()),
                  items.data());
}

// A table of numeric columns (the first ones integers) bound under a template; its data object.
struct Table {
  void* table = nullptr;
  void* instance = nullptr;
  void* data = nullptr;
  std::vector<double> values;
  std::vector<int32_t> ints;
  Table(void* manager, const char* name, const std::vector<const char*>& intColumns,
        const std::vector<const char*>& columns, const char* path) {
    values.resize(columns.size());
    ints.resize(intColumns.size());
    call(manager, op::kCreate,
         {argBytes(key::kSystem, "oxs"), argBytes(key::kKind, "data"),
          argOutHandle(key::kHandle, &table), argInt(key::kMinusOne, -1),
          argString(key::kName, str(name))});
    for (size_t i = 0; i < intColumns.size(); ++i)
      call(table, op::kDefineColumn,
           {argInt(key::kColumnKind, 3), argString(key::kName, str(intColumns[i])),
            argBound(key::kValue, &ints[i])});
    for (size_t i = 0; i < columns.size(); ++i)
      call(table, op::kDefineColumn,
           {argInt(key::kColumnKind, 5), argString(key::kName, str(columns[i])),
            argBound(key::kValue, &values[i])});
    call(table, op::kEndColumns, {});
    call(manager, op::kBindTemplate,
         {argOutHandle(0, &instance), argPointer(0, argtype::kOutHandle, table),
          argString(key::kTemplate, str(path)),
          argPointer(key::kFilterData, argtype::kOutHandle2, &data)});
  }
  void row() { call(table, op::kWriteRow, {}); }
  void end(void* manager) {
    call(table, op::kClose, {});
    call(manager, op::kRelease, {argPointer(0, argtype::kOutHandle, instance)});
  }
};

void graph(void* manager, const char* name, std::vector<void*> data,
           std::vector<OutputArgItem> more) {
  OutputArgItem d = argDataObject(key::kGraphData, 0, data.data());
  const uint16_t n = static_cast<uint16_t>(data.size());
  std::memcpy(d.value + 2, &n, 2);
  std::vector<OutputArgItem> items = {
      argString(key::kName, str(name)), argString(key::kTitle, str(name)),
      argString(key::kTemplate, str(std::string("Stat.VARSIFTER.Graphics.") + name)), d};
  items.insert(items.end(), more.begin(), more.end());
  call(manager, op::kRenderGraph, items);
}

OutputArgItem pair(const char* name) { return argString(key::kDynamicName, str(name)); }
OutputArgItem text(const char* value) { return argString(key::kDynamicValue, str(value)); }

// The document of one selection's graphs.
void buildSelection(int steps, int params) {
  test::ensureHost();
  host::output::reset();
  host::output::setListingStream(nullptr);
  void* manager = nullptr;
  call(host::outputRoot(), op::kCreate,
       {argBytes(key::kSystem, "oxs"), argBytes(key::kKind, "manager"),
        argOutHandle(key::kHandle, &manager)});
  Table summary(manager, "SelectionSummary", {"Step"}, {"AIC", "AICC", "SBC", "AdjRSq", "ASE"},
                "Stat.VARSIFTER.SelectionSummary");
  for (int s = 0; s <= steps; ++s) {
    summary.ints[0] = s;
    for (size_t c = 0; c < summary.values.size(); ++c)
      summary.values[c] = 1000 - 200 * std::log1p(s) + 0.3 * s + static_cast<double>(c);
    summary.row();
  }
  summary.end(manager);
  Table best(manager, "BestStep", {"AICStep", "AICCStep", "SBCStep", "ADJRSQStep"},
             {"AICVal", "AICCVal", "SBCVal", "ADJRSQVal"}, "Stat.VARSIFTER.Phantom.BestStep");
  for (int32_t& i : best.ints) i = steps / 3;
  best.row();
  best.end(manager);
  Table coef(manager, "Coefficients", {"Step", "CurveNumber", "CurveIndex"},
             {"StandardizedEst", "RhsLabelYValue", "SBC"}, "Stat.VARSIFTER.Phantom.Coefficients");
  for (int s = 0; s <= steps; ++s)
    for (int p = 1; p <= params; ++p) {
      coef.ints = {s, p, p};
      const double est = s < p ? 0 : std::sin(p) * (1 - std::exp(-(s - p + 1) / 20.0));
      coef.values = {est, s == steps ? est : std::nan(""), p == 1 ? 900.0 - s : std::nan("")};
      coef.row();
    }
  coef.end(manager);

  OutputArgItem axis[] = {pair("_STEPAXIS"),      text("STEP"),
                          pair("_STEPAXISLABEL"), text("Step"),
                          pair("_CHOSENVALUE"),   argInt(key::kDynamicValue, steps)};
  OutputArgItem list;
  list.key = 174, list.type = 28;
  const uint16_t n = 6;
  std::memcpy(list.value + 2, &n, 2);
  list.aux = axis;
  graph(manager, "CoefficientPanel", {coef.data},
        {pair("_CRITERION"), text("SBC"), pair("_SHOWPVAL"), argInt(key::kDynamicValue, 0), list});
  OutputArgItem cells[16];
  const char* names[] = {"AIC", "AICC", "SBC", "AdjRSq"};
  const char* prefixes[] = {"AIC", "AICC", "SBC", "ADJRSQ"};
  std::vector<std::string> texts;
  for (int c = 0; c < 4; ++c) {
    const std::string k = std::to_string(c + 1);
    texts.insert(texts.end(),
                 {"_CRITERION" + k, names[c], "_OPTSTEP" + k, std::string(prefixes[c]) + "Step",
                  "_OPTVAL" + k, std::string(prefixes[c]) + "Val", "_LABEL" + k, names[c]});
  }
  for (int k = 0; k < 16; ++k) cells[k] = k % 2 ? text(texts[k].c_str()) : pair(texts[k].c_str());
  OutputArgItem panel = list;
  const uint16_t m = 16;
  std::memcpy(panel.value + 2, &m, 2);
  panel.aux = cells;
  graph(manager, "CriterionPanel", {summary.data, best.data},
        {pair("_NCOLS"), argInt(key::kDynamicValue, 2), list, panel});
  graph(manager, "ASEPlot", {summary.data}, {list});
}

void BM_DrawStepGraphs(benchmark::State& state) {
  const int steps = static_cast<int>(state.range(0)), params = static_cast<int>(state.range(1));
  buildSelection(steps, params);
  size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (const host::output::Graph& g : host::output::doc().graphs)
      bytes += host::output::svgText(host::output::drawGraph(g)).size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["graphs"] = static_cast<double>(host::output::doc().graphs.size());
  state.counters["svg_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_DrawStepGraphs)
    ->Args({500, 20})
    ->Args({500, 100})
    ->Args({500, 500})
    ->Unit(benchmark::kMillisecond);

}  // namespace
