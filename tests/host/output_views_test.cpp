// Data objects of bound tables, filtered views over them and graph requests.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "base/strings.h"
#include "common/graph_rows.h"
#include "host/output_driver.h"

namespace vsf::test {
namespace {

using nlohmann::json;
namespace status = host::output::status;

constexpr uint16_t kGraphView = 307;
constexpr uint16_t kNestedList = 174;

// A SelectionSummary-like table of steps 0 to 5 whose data object feeds graphs.
struct Steps {
  int32_t step = 0;
  double ase = 0;
  char label[4];
  void* table = nullptr;
  void* data = nullptr;
};

void makeSteps(OutputDriver& o, Steps* s, std::string_view name = "Summary") {
  s->table = o.create("data", name);
  o.column(s->table, 3, "Step", &s->step);
  o.column(s->table, 5, "ASE", &s->ase);
  o.column(s->table, 6, "StepLabel", s->label, {argInt(289, 4)});
  void* inst = o.bind(s->table, "Stat.VARSIFTER.Summary", {}, &s->data);
  ASSERT_NE(s->data, nullptr);
  for (s->step = 0; s->step <= 5; ++s->step) {
    s->ase = s->step == 3 ? missingValue('.') : 10.0 / (s->step + 1);
    const char label[4] = {static_cast<char>('0' + s->step), '+', 'x', 0};
    std::memcpy(s->label, label, sizeof label);
    EXPECT_EQ(OutputDriver::call(s->table, op::kWriteRow), 0);
  }
  o.finishTable(s->table, inst);
}

int makeView(OutputDriver& o, void* data, std::string_view where, void** view) {
  return OutputDriver::call(o.manager, op::kFilteredView,
                            {argPointer(key::kFilterData, argtype::kString, data),
                             argString(key::kWhere, o.str(where)), argBound(key::kView, view)});
}

TEST(OutputViews, WhereClausesSelectRows) {
  OutputDriver o;
  Steps s;
  makeSteps(o, &s);
  int64_t rows = -1;
  ASSERT_TRUE(host::output::dataObjectRows(s.data, &rows));
  EXPECT_EQ(rows, 6);
  struct Case {
    const char* where;
    int64_t rows;
  } cases[] = {
      {"where=(step >= 2 and step <= 4)", 3},
      {"where = ( STEP ge 2 & Step le 4 )", 3},
      {"step = 0 or step = 5", 2},
      {"not (step < 5)", 1},
      {"ase > 2", 3},
      {"ase < 2", 2},            // the missing value lies below every number
      {"steplabel = '1+x'", 1},  // texts compare without trailing blanks
      {"step ^= 1 and step ~= 2 and step != 3 and step <> 4", 2},
      {"step > -1", 6},
      {"where=(step >= 7)", 0},
  };
  for (const Case& c : cases) {
    void* view = nullptr;
    ASSERT_EQ(makeView(o, s.data, c.where, &view), 0) << c.where;
    ASSERT_TRUE(host::output::dataObjectRows(view, &rows));
    EXPECT_EQ(rows, c.rows) << c.where;
    EXPECT_EQ(OutputDriver::call(o.manager, op::kReleaseView, {argBound(key::kView, view)}), 0);
  }
}

TEST(OutputViews, UnreadableClausesAndStaleHandlesAreRefused) {
  OutputDriver o;
  Steps s;
  makeSteps(o, &s);
  struct Case {
    const char* where;
  } bad[] = {{"where=(stp >= 2)"}, {"step >= "}, {"steplabel > 3"}, {"(step > 1"},
             {"step > 1 2"},       {"'open"},    {"step @ 2"},      {"steplabel"}};
  for (const Case& c : bad) {
    void* view = nullptr;
    EXPECT_EQ(makeView(o, s.data, c.where, &view), static_cast<int32_t>(status::kBadWhere))
        << c.where;
  }
  void* view = nullptr;
  EXPECT_EQ(makeView(o, s.table, "step > 1", &view), static_cast<int32_t>(status::kBadHandle));
  ASSERT_EQ(makeView(o, s.data, "step > 1", &view), 0);
  EXPECT_EQ(OutputDriver::call(o.manager, op::kReleaseView, {argBound(key::kView, view)}), 0);
  EXPECT_EQ(OutputDriver::call(o.manager, op::kReleaseView, {argBound(key::kView, view)}),
            static_cast<int32_t>(status::kBadState));
  int64_t rows = 0;
  EXPECT_FALSE(host::output::dataObjectRows(s.table, &rows));  // a table is no data object
}

TEST(OutputViews, GraphRequestsKeepTheirDataAndVariables) {
  OutputDriver o;
  Steps s, best;
  makeSteps(o, &s);
  makeSteps(o, &best, "BestStep");
  void* view = nullptr;
  ASSERT_EQ(makeView(o, s.data, "where=(step >= 1 and step <= 2)", &view), 0);

  OutputArgItem axis[4] = {argString(key::kDynamicName, o.str("_STEPAXIS")),
                           argString(key::kDynamicValue, o.str("STEP")),
                           argString(key::kDynamicName, o.str("_STEPTIP")),
                           argString(key::kDynamicValue, nullptr)};
  OutputArgItem list;
  list.key = kNestedList;
  list.type = 28;
  uint16_t n = 4;
  std::memcpy(list.value + 2, &n, 2);
  list.aux = axis;
  void* both[2] = {s.data, best.data};
  EXPECT_EQ(
      OutputDriver::call(
          o.manager, op::kRenderGraph,
          {argString(key::kName, o.str("CriterionPanel")),
           argString(key::kLabel2, o.str("Criteria")), argString(key::kTitle, o.str("Fit")),
           argString(key::kTemplate, o.str("Stat.VARSIFTER.Graphics.CriterionPanel")),
           argDataObject(key::kGraphData, 2, both), argString(key::kDynamicName, o.str("_NROWS")),
           argInt(key::kDynamicValue, 3), list}),
      0);
  EXPECT_EQ(OutputDriver::call(
                o.manager, op::kRenderGraph,
                {argString(key::kName, o.str("ASEPlot")),
                 argString(key::kTemplate, o.str("Stat.VARSIFTER.Graphics.ASEPlot")),
                 argDataObject(key::kGraphData, 1, best.data), argBound(kGraphView, view),
                 argString(key::kDynamicName, o.str("_ASEROLES")), argInt(key::kDynamicValue, 0)}),
            0);
  EXPECT_EQ(OutputDriver::call(o.manager, op::kReleaseView, {argBound(key::kView, view)}), 0);

  const std::string text = host::output::jsonText();
  const json out = json::parse(text)["output"];
  ASSERT_EQ(out.size(), 4u);
  const json& panel = out[2];
  EXPECT_EQ(panel["type"], "graph");
  EXPECT_EQ(panel["template"], "Stat.VARSIFTER.Graphics.CriterionPanel");
  ASSERT_EQ(panel["data"].size(), 2u);
  EXPECT_EQ(panel["data"][0]["table"], "Summary");
  EXPECT_EQ(panel["data"][0]["rows"].size(), 6u);
  EXPECT_EQ(panel["data"][1]["table"], "BestStep");
  EXPECT_EQ(panel["variables"], json::parse(R"([{"name":"_NROWS","value":3}])"));
  EXPECT_EQ(panel["lists"][0], json::parse(R"([{"name":"_STEPAXIS","value":"STEP"},
                                               {"name":"_STEPTIP","value":null}])"));
  // A graph names the rows of its table that it sees; the table holds their values.
  EXPECT_EQ(out[3]["data"][0]["rows"], json::parse("[1, 2]"));
  EXPECT_EQ(out[3]["data"][0]["tableId"], out[0]["id"]);
  const auto ordered = nlohmann::ordered_json::parse(text);
  const json ase = withGraphRows(ordered["output"][3], ordered);
  ASSERT_EQ(ase["data"].size(), 2u);  // the view takes the first place
  EXPECT_EQ(ase["data"][0]["where"], "where=(step >= 1 and step <= 2)");
  EXPECT_EQ(ase["data"][0]["rows"], json::parse(R"([{"Step":1,"ASE":5.0,"StepLabel":"1+x"},
                                                    {"Step":2,"ASE":3.3333333333333335,
                                                     "StepLabel":"2+x"}])"));
  EXPECT_EQ(ase["data"][1]["table"], "BestStep");
  // The listing says where each graph went: here, with no page and no files, nowhere.
  EXPECT_NE(o.listing().find("Graph ASEPlot (ASEPlot): not drawn"), std::string::npos);
}

TEST(OutputViews, GraphRequestsWithoutLiveDataAreRefused) {
  OutputDriver o;
  Steps s;
  makeSteps(o, &s);
  auto graph = [&](std::vector<OutputArgItem> more) {
    std::vector<OutputArgItem> items = {
        argString(key::kName, o.str("G")),
        argString(key::kTemplate, o.str("Stat.VARSIFTER.Graphics.G"))};
    items.insert(items.end(), more.begin(), more.end());
    return OutputDriver::call(o.manager, op::kRenderGraph, items);
  };
  void* dummy = nullptr;  // read as a list of one handle: it must be pointer-sized
  EXPECT_EQ(graph({}), static_cast<int32_t>(status::kBadArgument));  // no data
  EXPECT_EQ(graph({argDataObject(key::kGraphData, 1, &dummy)}),
            static_cast<int32_t>(status::kBadHandle));
  EXPECT_EQ(
      graph({argDataObject(key::kGraphData, 1, s.data), argString(key::kDynamicName, o.str("_X"))}),
      static_cast<int32_t>(status::kBadArgument));  // a name without its value
  EXPECT_EQ(graph({argDataObject(key::kGraphData, 1, s.data), argInt(999, 1)}),
            static_cast<int32_t>(status::kBadArgument));
  EXPECT_EQ(graph({argDataObject(key::kGraphData, 1, s.data)}), 0);
}

}  // namespace
}  // namespace vsf::test
