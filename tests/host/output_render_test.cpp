// The whole document as the command writes it: HTML that holds together, JSON with the macro
// variables and the log, hidden tables kept out of the listing and the page.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "host/output_driver.h"

namespace vsf::test {
namespace {

using nlohmann::json;

// Every opened element is closed in order; void and self-closed elements stand alone.
bool balanced(const std::string& html, std::string* why) {
  static const std::regex tag(R"(<(/?)([a-zA-Z][a-zA-Z0-9]*)[^>]*?(/?)>)");
  static const char* const voids[] = {"meta", "hr", "br", "img", "link", "input"};
  std::vector<std::string> open;
  for (auto it = std::sregex_iterator(html.begin(), html.end(), tag); it != std::sregex_iterator();
       ++it) {
    std::string name = (*it)[2];
    if (std::find(std::begin(voids), std::end(voids), name) != std::end(voids) || (*it)[3] == "/")
      continue;
    if ((*it)[1] == "") {
      open.push_back(name);
    } else if (open.empty() || open.back() != name) {
      *why = "</" + name + "> closes " + (open.empty() ? "nothing" : "<" + open.back() + ">");
      return false;
    } else {
      open.pop_back();
    }
  }
  if (!open.empty()) *why = "<" + open.back() + "> is never closed";
  return open.empty();
}

// One of everything: a group with a data table, a factoid, a hidden table, a text line and a
// graph, with texts that need escaping.
void buildDocument(OutputDriver& o) {
  void* g = o.openGroup("Summary", "Summary <of> the fit & more");
  double x = 1.5;
  char control = ' ';
  void* t = o.create("data", "Values");
  o.column(t, 5, "X<1>", &x);
  o.column(t, 1, "Control", &control);
  void* data = nullptr;
  void* inst = o.bind(t, "Stat.VARSIFTER.Values", {}, &data);
  OutputDriver::call(t, op::kWriteRow);
  control = '-';
  OutputDriver::call(t, op::kWriteRow);
  o.finishTable(t, inst);
  void* f = o.create("factoid", "Info", {argString(key::kLabel2, o.str("Information"))});
  OutputDriver::call(
      f, op::kFactoidRow,
      {argString(key::kLabel2, o.str("Data")), argString(key::kDynamicValue, o.str("a\"b"))});
  OutputDriver::call(f, op::kClose);
  OutputDriver::call(f, op::kCloseHandle);
  void* hidden = o.create("data", "Coefficients");
  o.column(hidden, 5, "Value", &x);
  void* hinst = o.bind(hidden, "Stat.VARSIFTER.Phantom.Coefficients");
  OutputDriver::call(hidden, op::kWriteRow);
  o.finishTable(hidden, hinst);
  OutputDriver::call(o.manager, op::kCenteredText,
                     {argInt(371, 1), argChar(key::kJustify, 'c'),
                      argString(key::kText, o.str("The model <b> & more"))});
  OutputDriver::call(o.manager, op::kRenderGraph,
                     {argString(key::kName, o.str("ASEPlot")),
                      argString(key::kTemplate, o.str("Stat.VARSIFTER.Graphics.ASEPlot")),
                      argDataObject(key::kGraphData, 1, data)});
  OutputDriver::call(g, op::kCloseHandle);
}

TEST(OutputRender, HtmlPageHoldsTogetherAndEscapesTexts) {
  OutputDriver o;
  buildDocument(o);
  std::string html = host::output::htmlText();
  std::string why;
  EXPECT_TRUE(balanced(html, &why)) << why;
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(html.find("<h2>Summary &lt;of&gt; the fit &amp; more</h2>"), std::string::npos);
  EXPECT_NE(html.find("<th>X&lt;1&gt;</th>"), std::string::npos);
  EXPECT_NE(html.find("<tr class=\"block\">"), std::string::npos);
  EXPECT_NE(html.find("<td>a&quot;b</td>"), std::string::npos);
  EXPECT_NE(html.find("The model &lt;b&gt; &amp; more"), std::string::npos);
  EXPECT_NE(html.find("data-name=\"ASEPlot\""), std::string::npos);
  EXPECT_EQ(html.find("Coefficients"), std::string::npos);  // hidden tables stay out
}

TEST(OutputRender, JsonCarriesHiddenTablesMacrosAndLog) {
  OutputDriver o;
  host::session().macros["_VSFIND"] = "Intercept x1";
  buildDocument(o);
  json doc = json::parse(host::output::jsonText());
  const json& items = doc["output"][0]["items"];
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0]["name"], "Values");
  EXPECT_EQ(items[1]["type"], "factoid");
  EXPECT_EQ(items[2]["name"], "Coefficients");
  EXPECT_EQ(items[2]["displayed"], false);
  EXPECT_EQ(items[2]["path"], "Summary.Coefficients");
  EXPECT_EQ(items[4]["type"], "graph");
  EXPECT_EQ(doc["macros"]["_VSFIND"], "Intercept x1");
  EXPECT_TRUE(doc["log"].is_array());
  host::session().macros.erase("_VSFIND");
  EXPECT_EQ(o.listing().find("Coefficients"), std::string::npos);
}

TEST(OutputRender, ClosedTablesNeverReleasedAreListedWhenTheStepEnds) {
  OutputDriver o;
  int32_t n = 3;
  void* t = o.create("data", "Unreleased");
  o.column(t, 3, "N", &n);
  o.bind(t, "Stat.VARSIFTER.Unreleased");
  OutputDriver::call(t, op::kWriteRow);
  OutputDriver::call(t, op::kClose);
  void* open = o.create("data", "NeverClosed");  // a step that ended halfway
  (void)open;
  EXPECT_EQ(o.listing(), "");
  host::output::finish();
  EXPECT_NE(o.listing().find("Unreleased"), std::string::npos);
  EXPECT_EQ(o.listing().find("NeverClosed"), std::string::npos);
  json out = json::parse(host::output::jsonText())["output"];
  EXPECT_EQ(out[1]["complete"], false);
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A table wider than the page breaks its longest headers at their spaces and fits the page; a
// group's description that repeats its label is listed once, and a text line keeps a blank
// line from the heading above it.
TEST(OutputRender, ListingFitsThePageAndSaysThingsOnce) {
  OutputDriver o;
  void* g = o.openGroup("SelectedModel", "Selected Model");
  EXPECT_EQ(OutputDriver::call(o.manager, op::kGroupAttributes,
                               {argInt(440, 1), argInt(key::kMinusOne, -1),
                                argString(key::kText, o.str("Selected Model"))}),
            0);
  OutputDriver::call(o.manager, op::kCenteredText,
                     {argInt(371, 1), argChar(key::kJustify, 'c'),
                      argString(key::kText, o.str("The selected model is the last."))});
  double values[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  void* t = o.create("data", "Wide");
  const char* headers[8] = {"Adjusted R-Square One",   "Adjusted R-Square Two",
                            "Adjusted R-Square Three", "Adjusted R-Square Four",
                            "Adjusted R-Square Five",  "Adjusted R-Square Six",
                            "Adjusted R-Square Seven", "Adjusted R-Square Eight"};
  for (int k = 0; k < 8; ++k) o.column(t, 5, headers[k], &values[k]);
  void* inst = o.bind(t, "Stat.VARSIFTER.Wide");
  OutputDriver::call(t, op::kWriteRow);
  o.finishTable(t, inst);
  OutputDriver::call(g, op::kCloseHandle);

  const std::vector<std::string> lines = linesOf(o.listing());
  size_t said = 0, widest = 0, headerLines = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    said += lines[i].find("Selected Model") != std::string::npos;
    widest = std::max(widest, lines[i].size());
    headerLines += lines[i].find("Adjusted") != std::string::npos;
    if (lines[i].find("The selected model") != std::string::npos) {
      ASSERT_GE(i, 2u);
      EXPECT_TRUE(lines[i - 1].empty());
      EXPECT_NE(lines[i - 2].find("Selected Model"), std::string::npos);
    }
  }
  EXPECT_EQ(said, 1u) << o.listing();
  EXPECT_LE(widest, 100u) << o.listing();
  // Broken headers stack their words, the last line on the cells; a header that need not
  // break stays whole on that line.
  EXPECT_EQ(headerLines, 2u) << o.listing();
  EXPECT_NE(o.listing().find("Adjusted  Adjusted"), std::string::npos);
  EXPECT_NE(o.listing().find("Five  Adjusted R-Square Six"), std::string::npos);
}

// A table's lines form one block centred on the page: every line starts at the block's indent
// and ends without blanks, a row of blank cells is an empty line, and a block's rule starts at
// the indent and spans the table.
TEST(OutputRender, ATableIsCentredAsOneBlockAndItsLinesEndWithoutBlanks) {
  OutputDriver o;
  char name[8] = "", note[8] = "", control = ' ';
  void* t = o.create("data", "Values");
  o.column(t, 6, "Name", name, {argInt(289, 7)});
  o.column(t, 6, "Note", note, {argInt(289, 7)});
  o.column(t, 1, "Control", &control);
  void* inst = o.bind(t, "Stat.VARSIFTER.Values");
  const struct {
    const char *name, *note;
    char control;
  } rows[] = {{"a", "first", ' '}, {"", "", ' '}, {"b", "", '-'}};
  for (const auto& r : rows) {
    std::snprintf(name, sizeof name, "%s", r.name);
    std::snprintf(note, sizeof note, "%s", r.note);
    control = r.control;
    OutputDriver::call(t, op::kWriteRow);
  }
  o.finishTable(t, inst);

  const std::vector<std::string> lines = linesOf(o.listing());
  auto at = [&](const std::string& start) {
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].find_first_not_of(' ') != std::string::npos &&
          lines[i].substr(lines[i].find_first_not_of(' ')).starts_with(start))
        return i;
    return lines.size();
  };
  const size_t head = at("Name"), first = at("a"), rule = at("---"), second = at("b");
  ASSERT_LT(second, lines.size()) << o.listing();
  const size_t indent = lines[head].find('N');
  EXPECT_GT(indent, 0u);
  for (size_t i : {first, rule, second}) EXPECT_EQ(lines[i].find_first_not_of(' '), indent);
  EXPECT_EQ(lines[head], std::string(indent, ' ') + "Name  Note");
  EXPECT_EQ(lines[first], std::string(indent, ' ') + "a     first");
  EXPECT_EQ(lines[first + 1], "");  // the blank row
  EXPECT_EQ(rule, first + 2);
  EXPECT_EQ(lines[rule], std::string(indent, ' ') + std::string(11, '-'));
  EXPECT_EQ(lines[second], std::string(indent, ' ') + "b");
  for (const std::string& line : lines) EXPECT_FALSE(line.ends_with(' ')) << '"' << line << '"';
}

// A best-value mark keeps a place of its own in both renderings, so the marked number's digits
// stand under the unmarked one's; a table without headings has no head row on the page.
TEST(OutputRender, MarkedNumbersStayInLine) {
  OutputDriver o;
  double sbc = 0;
  int32_t best = 0;
  void* t = o.create("data", "SelectionSummary");
  o.column(t, 5, "SBC", &sbc);
  o.column(t, 3, "OptSBC", &best);
  void* inst = o.bind(t, "Stat.VARSIFTER.SelectionSummary");
  for (auto [v, b] : {std::pair{117.25, 0}, std::pair{68.5, 1}}) {
    sbc = v, best = b;
    OutputDriver::call(t, op::kWriteRow);
  }
  o.finishTable(t, inst);
  char text[40] = "Selection stopped.";
  void* reason = o.create("data", "StopReason");
  o.column(reason, 6, "Reason", text, {argInt(289, 39)});  // its width
  void* rinst = o.bind(reason, "Stat.VARSIFTER.StopReason");
  OutputDriver::call(reason, op::kWriteRow);
  o.finishTable(reason, rinst);

  std::vector<std::string> numbers;
  for (const std::string& line : linesOf(o.listing()))
    if (line.find("117.25") != std::string::npos || line.find("68.5") != std::string::npos)
      numbers.push_back(line);
  ASSERT_EQ(numbers.size(), 2u) << o.listing();
  EXPECT_EQ(numbers[0].find("117.25") + 6, numbers[1].find("68.5") + 4) << o.listing();
  EXPECT_EQ(numbers[1].back(), '*');

  const std::string html = host::output::htmlText();
  EXPECT_NE(html.find("117.25<span class=\"mark\"></span>"), std::string::npos) << html;
  EXPECT_NE(html.find("68.5<span class=\"mark\">*</span>"), std::string::npos) << html;
  const size_t at = html.find("data-name=\"StopReason\"");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(html.find("<thead>", at), std::string::npos);
}

// The listing counts a text's width in characters, not bytes: levels and labels outside ASCII
// keep the columns after them in line, in data tables and factoids alike.
TEST(OutputRender, ListingAlignsTextsOutsideAscii) {
  OutputDriver o;
  char level[16] = "";
  double estimate = 0;
  void* t = o.create("data", "ParameterEstimates");
  o.column(t, 6, "Level", level, {argInt(289, 15)});
  o.column(t, 5, "Estimate", &estimate);
  void* inst = o.bind(t, "Stat.VARSIFTER.ParameterEstimates");
  const std::pair<const char*, double> rows[] = {
      {"plain", 1.25}, {"\xC3\xA9 accent", 2.5}, {"\xE6\x97\xA5\xE6\x9C\xAC", 3.75}};
  for (const auto& [text, value] : rows) {
    std::snprintf(level, sizeof level, "%s", text);
    estimate = value;
    OutputDriver::call(t, op::kWriteRow);
  }
  o.finishTable(t, inst);
  void* f = o.create("factoid", "Info", {argString(key::kLabel2, o.str("Information"))});
  for (const char* label : {"Data Set",
                            "Donn\xC3\xA9"
                            "es"})
    OutputDriver::call(
        f, op::kFactoidRow,
        {argString(key::kLabel2, o.str(label)), argString(key::kDynamicValue, o.str("WORK.D"))});
  OutputDriver::call(f, op::kClose);
  OutputDriver::call(f, op::kCloseHandle);

  // Where each value ends, counted in characters.
  auto endOf = [](const std::string& line, const std::string& value) {
    const size_t at = line.find(value);
    size_t characters = 0;
    for (size_t i = 0; i < at + value.size(); ++i)
      characters += (static_cast<unsigned char>(line[i]) & 0xC0) != 0x80;
    return characters;
  };
  std::vector<size_t> numberEnds, valueStarts;
  for (const std::string& line : linesOf(o.listing())) {
    for (const char* v : {"1.25", "2.5", "3.75"})
      if (line.find(v) != std::string::npos) numberEnds.push_back(endOf(line, v));
    if (line.find("WORK.D") != std::string::npos) valueStarts.push_back(endOf(line, "WORK.D"));
  }
  ASSERT_EQ(numberEnds.size(), 3u) << o.listing();
  EXPECT_EQ(numberEnds[1], numberEnds[0]) << o.listing();
  EXPECT_EQ(numberEnds[2], numberEnds[0]) << o.listing();
  ASSERT_EQ(valueStarts.size(), 2u) << o.listing();
  EXPECT_EQ(valueStarts[1], valueStarts[0]) << o.listing();
}

}  // namespace
}  // namespace vsf::test
