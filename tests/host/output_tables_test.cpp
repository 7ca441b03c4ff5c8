// Tables, factoids, groups and text lines driven as the procedure drives them; checked in the
// listing and the JSON document.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "base/strings.h"
#include "frame/host/dataset.h"
#include "host/output_driver.h"

namespace vsf::test {
namespace {

using nlohmann::json;

constexpr uint16_t kDecimals = 270;
constexpr uint16_t kWidth = 272;
constexpr uint16_t kTextWidth = 289;
constexpr uint16_t kVariable = 2224;
constexpr uint16_t kReleaseNote = 378;

json document() { return json::parse(host::output::jsonText()); }

// A generic table (no template of ours) with a column of every kind, two bound rows.
struct MixedRow {
  char control = ' ';
  int32_t count = 0;
  double value = 0;
  char text[8];
  HostString* label = nullptr;
  double height = 0;
};

void* mixedTable(OutputDriver& o, MixedRow* row, VarDescriptor* var) {
  void* t = o.create("data", "Mixed", {argString(key::kLabel2, o.str("Mixed Columns"))});
  EXPECT_EQ(o.column(t, 3, "Count", &row->count, {argInt(kDecimals, 0)}), 0);
  EXPECT_EQ(o.column(t, 5, "Value", &row->value), 0);
  EXPECT_EQ(o.column(t, 6, "Text", row->text,
                     {argInt(kTextWidth, 8), argString(key::kLabel2, o.str("Text Label"))}),
            0);
  EXPECT_EQ(o.column(t, 66, "Label", &row->label), 0);
  var->name = "height";
  var->label = "Height (cm)";
  EXPECT_EQ(
      OutputDriver::call(t, op::kDefineColumn,
                         {argPointer(kVariable, 7, var), argBound(key::kValue, &row->height)}),
      0);
  EXPECT_EQ(o.column(t, 1, "Control", &row->control), 0);
  return t;
}

TEST(OutputTables, BoundRowsAreReadWhenEachRowIsWritten) {
  OutputDriver o;
  MixedRow row;
  VarDescriptor var;
  void* t = mixedTable(o, &row, &var);
  void* inst = o.bind(t, "Stat.VARSIFTER.NoSuchTable");
  std::memcpy(row.text, "abc     ", 8);
  row.count = 1;
  row.value = 2.0 / 3;
  row.label = o.str("first");
  row.height = 170.5;
  EXPECT_EQ(OutputDriver::call(t, op::kWriteRow), 0);
  row.control = '-';
  row.count = 2;
  row.value = missingValue('.');
  std::memcpy(row.text, "x\0zzzzzz", 8);  // a terminated text ends at its NUL
  row.label = nullptr;
  row.height = missingValue('A');
  EXPECT_EQ(OutputDriver::call(t, op::kWriteRow), 0);
  o.finishTable(t, inst);

  json j = document()["output"][0];
  EXPECT_EQ(j["type"], "table");
  EXPECT_EQ(j["name"], "Mixed");
  EXPECT_EQ(j["path"], "Mixed");
  EXPECT_EQ(j["template"], "Stat.VARSIFTER.NoSuchTable");
  EXPECT_EQ(j["title"], "Mixed Columns");
  ASSERT_EQ(j["rows"].size(), 2u);
  const json& r0 = j["rows"][0];
  const json& r1 = j["rows"][1];
  EXPECT_EQ(r0["Count"], 1);
  EXPECT_DOUBLE_EQ(r0["Value"].get<double>(), 2.0 / 3);
  EXPECT_EQ(r0["Text"], "abc");
  EXPECT_EQ(r0["Label"], "first");
  EXPECT_EQ(r0["height"], 170.5);
  EXPECT_EQ(r0["Control"], " ");
  EXPECT_EQ(r1["Value"], json({{"missing", "."}}));
  EXPECT_EQ(r1["height"], json({{"missing", "A"}}));
  EXPECT_EQ(r1["Text"], "x");
  EXPECT_TRUE(r1["Label"].is_null());
  EXPECT_EQ(j["columns"][2]["header"], "Text Label");
  EXPECT_EQ(j["columns"][4]["header"], "Height (cm)");
  EXPECT_EQ(j["columns"][5]["shown"], false);

  // Generic rendering: headers from labels or names, a best fit for doubles, the '-' of the
  // Control column starting a block.
  const std::string indent(24, ' ');
  std::string expected = "\n" + std::string(43, ' ') + "Mixed Columns\n\n" + indent +
                         "Count         Value  Text Label  Label  Height (cm)\n" + indent +
                         "    1  0.6666666667  abc         first        170.5\n" + indent +
                         std::string(51, '-') + "\n" + indent +
                         "    2             .  x                           .A\n";
  EXPECT_EQ(o.listing(), expected);
}

// A table made again under the same name (the next BY group's) takes what its own requests say:
// the same items give the same columns, and a changed text, a buffer of bytes rewritten in
// place or a variable relabelled at the same address are read again.
TEST(OutputTables, ATableMadeAgainTakesItsColumnsFromItsOwnRequests) {
  OutputDriver o;
  int32_t count = 0;
  double value = 0;
  char bytes[8] = "first";
  VarDescriptor var;
  var.name = "height";
  auto defineAll = [&](const char* label) {
    void* t = o.create("data", "Again");
    EXPECT_EQ(o.column(t, 3, "Count", &count, {argString(key::kLabel2, o.str(label))}), 0);
    EXPECT_EQ(o.column(t, 5, "Value", &value, {argBytes(key::kLabel2, bytes)}), 0);
    EXPECT_EQ(OutputDriver::call(t, op::kDefineColumn,
                                 {argPointer(kVariable, 7, &var), argBound(key::kValue, &value)}),
              0);
    void* inst = o.bind(t, "Stat.VARSIFTER.NoSuchTable");
    EXPECT_EQ(OutputDriver::call(t, op::kWriteRow), 0);
    o.finishTable(t, inst);
  };
  var.label = "Height (cm)";
  defineAll("Counted");
  defineAll("Counted");
  std::memcpy(bytes, "second", 7);
  var.label = "Height (in)";
  defineAll("Counted again");

  const json out = document()["output"];
  ASSERT_EQ(out.size(), 3u);
  auto headers = [&](size_t i) {
    std::vector<std::string> h;
    for (const json& c : out[i]["columns"]) h.push_back(c["header"]);
    return h;
  };
  EXPECT_EQ(headers(0), (std::vector<std::string>{"Counted", "first", "Height (cm)"}));
  EXPECT_EQ(headers(1), headers(0));
  EXPECT_EQ(headers(2), (std::vector<std::string>{"Counted again", "second", "Height (in)"}));

  // A name given twice is refused however the column was made.
  void* first = o.create("data", "Twice");
  EXPECT_EQ(o.column(first, 5, "Other", &value), 0);
  EXPECT_EQ(o.column(first, 3, "Count", &count), 0);
  void* second = o.create("data", "Twice");
  EXPECT_EQ(o.column(second, 3, "Count", &count), 0);
  EXPECT_NE(o.column(second, 3, "Count", &count), 0);
}

TEST(OutputTables, TemplateHidesColumnsFormatsValuesAndAddsFootnotes) {
  OutputDriver o;
  struct {
    char source[6];
    double df, ss, f, p;
  } row;
  void* t = o.create("data", "ANOVA", {argString(key::kLabel2, o.str("Analysis of Variance"))});
  o.column(t, 6, "Source", row.source, {argInt(kTextWidth, 6)});
  o.column(t, 5, "DF", &row.df);
  o.column(t, 5, "SS", &row.ss);
  o.column(t, 5, "FValue", &row.f);
  o.column(t, 5, "ProbF", &row.p);
  void* inst =
      o.bind(t, "stat.varsifter.anova",  // paths do not depend on case
             {argString(key::kDynamicName, o.str("showProbF")), argInt(key::kDynamicValue, 0)});
  auto write = [&](const char* s, double df, double ss, double f, double p) {
    std::memset(row.source, ' ', 6);
    std::memcpy(row.source, s, std::strlen(s));
    row.df = df, row.ss = ss, row.f = f, row.p = p;
    EXPECT_EQ(OutputDriver::call(t, op::kWriteRow), 0);
  };
  write("Model", 3, 1234.5678901234, missingValue('I'), 0);
  write("Error", 10, 0, missingValue('-'), missingValue('-'));
  EXPECT_EQ(OutputDriver::call(t, op::kClose), 0);
  EXPECT_EQ(OutputDriver::call(o.manager, op::kRelease,
                               {argPointer(0, argtype::kOutHandle, inst),
                                argString(kReleaseNote, o.str("Two effects were dropped."))}),
            0);
  std::string l = o.listing();
  EXPECT_NE(l.find("Analysis of Variance"), std::string::npos);
  EXPECT_NE(l.find("Source  DF  Sum of Squares  F Value"), std::string::npos) << l;
  EXPECT_NE(l.find("Model    3    1234.5678901    Infty"), std::string::npos) << l;
  EXPECT_NE(l.find("Error   10               0\n"), std::string::npos) << l;
  EXPECT_EQ(l.find("p Value"), std::string::npos);
  EXPECT_NE(l.find("Two effects were dropped."), std::string::npos);
  json j = document()["output"][0];
  EXPECT_EQ(j["rows"][0]["FValue"], json({{"infinity", "+"}, {"missing", "I"}}));
  EXPECT_EQ(j["rows"][1]["ProbF"], json({{"missing", "-"}}));
  EXPECT_EQ(j["columns"][4]["shown"], false);
  EXPECT_EQ(j["note"], "Two effects were dropped.");
}

TEST(OutputTables, FootnoteFollowsItsDynamicValueAndHeadersTakeDynamics) {
  OutputDriver o;
  struct {
    char effect[4];
    int32_t forced;
    double estimate;
    double fold;
  } row;
  void* t = o.create("data", "ParameterEstimates", {argString(key::kLabel2, o.str("Estimates"))});
  o.column(t, 6, "Effect", row.effect, {argInt(kTextWidth, 4)});
  o.column(t, 3, "ForcedIn", &row.forced);
  o.column(t, 5, "Estimate", &row.estimate);
  o.column(t, 5, "CVEstimate1", &row.fold,
           {argString(key::kTemplate, o.str("CVEstimate")),
            argString(key::kDynamicName, o.str("CVEstimateHead")),
            argString(key::kDynamicValue, o.str("Fold 1"))});
  void* inst = o.bind(
      t, "Stat.VARSIFTER.ParameterEstimates",
      {argString(key::kDynamicName, o.str("printFootnote")), argFlag(key::kDynamicValue, 1)});
  std::memcpy(row.effect, "x1  ", 4);
  row.forced = 1, row.estimate = 2.5, row.fold = 2.25;
  OutputDriver::call(t, op::kWriteRow);
  std::memcpy(row.effect, "x2  ", 4);
  row.forced = 0, row.estimate = -1, row.fold = -1.5;
  OutputDriver::call(t, op::kWriteRow);
  o.finishTable(t, inst);
  std::string l = o.listing();
  EXPECT_NE(l.find("Effect  Estimate  Fold 1"), std::string::npos) << l;
  EXPECT_NE(l.find("x1*          2.5    2.25"), std::string::npos) << l;
  EXPECT_NE(l.find("* Effect forced into the model"), std::string::npos);
  EXPECT_EQ(l.find("ForcedIn"), std::string::npos);
}

// A text column whose "levelsAt" names the page column of its levels: the listing keeps the
// label's padding, the JSON document leaves it out; counted in characters, not bytes. A column
// without it keeps its blanks.
TEST(OutputTables, AlignedLevelsArePaddingOnlyInTheListing) {
  struct Case {
    const char* text;
    int levelsAt;  // -1: no dynamic
    const char* json;
  } cases[] = {
      {"cyl       4", 9, "cyl 4"},
      {"Intercept", 9, "Intercept"},
      {"wt", 9, "wt"},
      {"cyl*carb  4 1", 9, "cyl*carb 4 1"},
      {"c\xC3\xA9   u", 4, "c\xC3\xA9 u"},
      {" a b", 0, " a b"},
      {"cyl       4", -1, "cyl       4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    OutputDriver o;
    char text[16];
    void* t = o.create("data", "Parms");
    if (c.levelsAt >= 0)
      o.column(t, 6, "Parameter", text,
               {argInt(kTextWidth, 16), argString(key::kDynamicName, o.str("levelsAt")),
                argInt(key::kDynamicValue, c.levelsAt)});
    else
      o.column(t, 6, "Parameter", text, {argInt(kTextWidth, 16)});
    void* inst = o.bind(t, "Stat.VARSIFTER.NoSuchTable");
    std::memset(text, ' ', sizeof text);
    std::memcpy(text, c.text, std::strlen(c.text));
    OutputDriver::call(t, op::kWriteRow);
    o.finishTable(t, inst);
    EXPECT_EQ(document()["output"][0]["rows"][0]["Parameter"], c.json);
    EXPECT_NE(o.listing().find(c.text), std::string::npos) << o.listing();
  }
}

TEST(OutputTables, FactoidEntriesTakeTheirWidthsDecimalsAndFormats) {
  OutputDriver o;
  void* f = o.create("factoid", "FitStatistics",
                     {argString(key::kTemplate, o.str("Stat.VARSIFTER.FitStatistics")),
                      argString(key::kLabel2, o.str("Fit Statistics"))});
  auto entry = [&](const char* label, OutputArgItem value, std::vector<OutputArgItem> more) {
    std::vector<OutputArgItem> items = {argString(key::kLabel2, o.str(label)), value};
    items.insert(items.end(), more.begin(), more.end());
    EXPECT_EQ(OutputDriver::call(f, op::kFactoidRow, items), 0) << label;
  };
  entry("Root MSE", argDouble(key::kDynamicValue, 1.23456789012),
        {argInt(kWidth, 11), argInt(kDecimals, 98)});
  entry("R-Square", argDouble(key::kDynamicValue, 0.912345),
        {argInt(kWidth, 6), argInt(kDecimals, 4)});
  entry("AIC", argString(key::kDynamicValue, o.str("-Infty")), {});
  entry("Effects", argInt(key::kDynamicValue, 42), {});
  entry("Fraction", argDouble(key::kDynamicValue, 0.0004), {argString(340, o.str("pvalue.3"))});
  entry("Missing", argDouble(key::kDynamicValue, missingValue('.')), {});
  EXPECT_EQ(OutputDriver::call(f, op::kClose), 0);
  EXPECT_EQ(o.listing(), "");  // listed when released
  EXPECT_EQ(OutputDriver::call(f, op::kCloseHandle), 0);
  const std::string indent(39, ' ');
  std::string expected = "\n" + std::string(43, ' ') + "Fit Statistics\n\n" + indent +
                         "Root MSE    1.23456789\n" + indent + "R-Square    0.9123\n" + indent +
                         "AIC         -Infty\n" + indent + "Effects     42\n" + indent +
                         "Fraction    <.001\n" + indent + "Missing     .\n";
  EXPECT_EQ(o.listing(), expected);
  json j = document()["output"][0];
  EXPECT_EQ(j["type"], "factoid");
  EXPECT_EQ(j["entries"][0]["value"], 1.23456789012);
  EXPECT_EQ(j["entries"][0]["text"], "1.23456789");
  EXPECT_EQ(j["entries"][2]["value"], "-Infty");
  EXPECT_EQ(j["entries"][3]["value"], 42);
  EXPECT_EQ(j["entries"][5]["value"], json({{"missing", "."}}));
}

TEST(OutputTables, GroupsNestAndHeadTheirFirstListedItem) {
  OutputDriver o;
  void* details = o.openGroup("StepDetails", "Step Details", {argFlag(435, 0)});
  void* step = o.openGroup("Step1", "Step 1",
                           {argString(288, o.str("Step")), argDouble(437, 1), argFlag(435, 1)});
  EXPECT_EQ(OutputDriver::call(o.manager, op::kGroupAttributes,
                               {argInt(440, 2), argInt(key::kMinusOne, -1), argFlag(358, 1),
                                argString(key::kText, o.str("Effect x1 entered"))}),
            0);
  void* empty = o.openGroup("Empty", "Nothing inside");
  EXPECT_EQ(OutputDriver::call(empty, op::kCloseHandle), 0);
  int32_t n = 7;
  void* t = o.create("data", "Inner");
  o.column(t, 3, "N", &n);
  void* inst = o.bind(t, "Stat.VARSIFTER.Inner");
  OutputDriver::call(t, op::kWriteRow);
  o.finishTable(t, inst);
  OutputArgItem four = argInt(0, 4);  // the step driver sends one item with its close
  EXPECT_EQ(OutputDriver::call(step, op::kCloseHandle, {four}), 0);
  EXPECT_EQ(OutputDriver::call(details, op::kCloseHandle), 0);
  EXPECT_EQ(OutputDriver::call(o.manager, op::kCenteredText,
                               {argInt(371, 1), argChar(key::kJustify, 'l'),
                                argString(key::kText, o.str("After the groups"))}),
            0);
  EXPECT_EQ(OutputDriver::call(o.manager, op::kCenteredText,
                               {argChar(580, '-'), argInt(371, 1), argInt(280, 1)}),
            0);

  json out = document()["output"];
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0]["type"], "group");
  EXPECT_EQ(out[0]["label"], "Step Details");
  const json& inner = out[0]["items"][0];
  EXPECT_EQ(inner["name"], "Step1");
  EXPECT_EQ(inner["baseName"], "Step");
  EXPECT_EQ(inner["number"], 1.0);
  EXPECT_FALSE(inner.contains("flags"));  // the output system's own keys are not shown
  EXPECT_EQ(inner["items"][0],
            json({{"type", "heading"}, {"step", 1}, {"level", 2}, {"text", "Effect x1 entered"}}));
  EXPECT_EQ(inner["items"][1]["name"], "Empty");
  EXPECT_EQ(inner["items"][2]["path"], "StepDetails.Step1.Inner");
  EXPECT_EQ(out[1],
            json({{"type", "text"}, {"step", 1}, {"text", "After the groups"}, {"justify", "l"}}));
  EXPECT_EQ(out[2]["type"], "rule");

  std::string l = o.listing();
  size_t a = l.find("Step Details"), b = l.find("Step 1\n"), c = l.find("Effect x1 entered"),
         d = l.find("Inner");
  EXPECT_TRUE(a < b && b < c && c < d) << l;
  EXPECT_EQ(l.find("Nothing inside"), std::string::npos);  // an empty group has no heading
  EXPECT_NE(l.find("\nAfter the groups\n"), std::string::npos);
  EXPECT_NE(l.find(std::string(100, '-')), std::string::npos);
}

TEST(OutputTables, ClosingAGroupClosesTheGroupsOpenInsideIt) {
  OutputDriver o;
  void* outer = o.openGroup("Outer", "Outer");
  void* inner = o.openGroup("Inner", "Inner");
  EXPECT_EQ(OutputDriver::call(outer, op::kCloseHandle), 0);
  EXPECT_LT(OutputDriver::call(inner, op::kCloseHandle), 0);
  void* t = o.create("factoid", "After");  // belongs to the top again
  (void)t;
  json out = document()["output"];
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1]["path"], "After");
}

}  // namespace
}  // namespace vsf::test
