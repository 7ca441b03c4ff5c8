// The JSON document as a file: every table's rows stand once, a row on a line, the graphs name
// the rows of their tables, and the light indentation keeps the file near its compact size.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "common/files.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

// Each line of the text without its indentation and its trailing comma.
std::multiset<std::string> trimmedLines(const std::string& text) {
  std::multiset<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    line.erase(0, line.find_first_not_of(' '));
    if (!line.empty() && line.back() == ',') line.pop_back();
    lines.insert(line);
  }
  return lines;
}

void eachItem(const Json& items, const std::function<void(const Json&)>& f) {
  for (const Json& item : items) {
    f(item);
    if (item["type"] == "group") eachItem(item["items"], f);
  }
}

TEST(JsonLayout, RowsStandOnceOnLinesOfTheirOwn) {
  struct Case {
    const char* name;
    const char* program;
    size_t graphs;  // at least
  } cases[] = {
      {"two graphs of one hidden table, every step's tables",
       "proc varsifter data=diabetes plots(unpack)=all; class sex;\n"
       "  model y = age sex bmi bp s1-s6 / selection=forward(select=sbc) details=all; run;\n",
       5},
      {"graphs of filtered views, in BY groups",
       "proc varsifter data=mtcars plots(startstep=2)=(criteria ase);\n  by am notsorted;\n"
       "  model mpg = cyl disp hp wt qsec / selection=forward(select=sbc stop=none); run;\n",
       4},
      {"no graphs", "proc varsifter data=mtcars; model mpg = wt hp; run;\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir("vsf_json_layout");
    std::ofstream(dir.path() / "p.vsf") << c.program;
    const fs::path file = dir.path() / "out.json";
    const CommandRun r =
        runArgs(shellQuoted((dir.path() / "p.vsf").string()) + " --lib " +
                shellQuoted(VSF_SHARED_DATA) + " --json " + shellQuoted(file.string()));
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string text = fileText(file);
    const Json document = Json::parse(text);
    const std::string compact = document.dump(-1, ' ', false, Json::error_handler_t::replace);
    EXPECT_LE(static_cast<double>(text.size()), 1.5 * static_cast<double>(compact.size()));

    const std::multiset<std::string> lines = trimmedLines(text);
    std::map<int, const Json*> tables;
    std::multiset<std::string> rows;
    size_t graphs = 0;
    eachItem(document["output"], [&](const Json& item) {
      if (item["type"] != "table") return;
      tables[item["id"].get<int>()] = &item;
      for (const Json& row : item["rows"]) rows.insert(row.dump());
    });
    // As many lines as the tables hold rows of that text: none repeated, none broken.
    for (const std::string& row : rows) EXPECT_EQ(lines.count(row), rows.count(row)) << row;
    EXPECT_FALSE(rows.empty());
    eachItem(document["output"], [&](const Json& item) {
      if (item["type"] != "graph") return;
      ++graphs;
      for (const Json& data : item["data"]) {
        ASSERT_TRUE(tables.count(data["tableId"].get<int>())) << data["tableId"];
        const Json& table = *tables[data["tableId"].get<int>()];
        EXPECT_EQ(data["table"], table["name"]);
        EXPECT_FALSE(data["rows"].empty()) << item["name"];
        int64_t last = -1;
        for (const Json& index : data["rows"]) {
          ASSERT_TRUE(index.is_number_unsigned()) << index;
          EXPECT_GT(index.get<int64_t>(), last);
          EXPECT_LT(index.get<size_t>(), table["rows"].size());
          last = index.get<int64_t>();
        }
        if (!data.contains("where")) {
          EXPECT_EQ(data["rows"].size(), table["rows"].size());
        }
      }
    });
    EXPECT_GE(graphs, c.graphs);
  }
}

}  // namespace
}  // namespace vsf::test
