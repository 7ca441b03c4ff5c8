// The page and the listing on any screen: the page sets its viewport and keeps its graphs at a
// readable size, scrolling sideways on a narrow screen; a long effect list breaks at its blanks,
// in the page at the page's width and in the listing at its line width, its words whole and in
// order, while the JSON document keeps the list as one value.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

TEST(PageLayout, ThePageSetsItsViewportAndGraphsKeepAReadableSize) {
  const CommandRun r =
      runCommand("proc varsifter data=mtcars plots=coefficients; model mpg = wt hp qsec; run;\n",
                 VSF_SHARED_DATA);
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string head = r.html.substr(0, r.html.find("</head>"));
  EXPECT_NE(head.find("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"),
            std::string::npos)
      << head;
  // A graph no narrower than 600 pixels, its figure scrolling sideways below that.
  EXPECT_TRUE(std::regex_search(head, std::regex(R"(figure\.graph \{[^}]*overflow-x: auto)")));
  EXPECT_TRUE(std::regex_search(head, std::regex(R"(figure\.graph svg \{[^}]*min-width: 600px)")));
  EXPECT_NE(r.html.find("<figure class=\"graph\""), std::string::npos);
}

// Every effect of 100 enters; then a list of a few effects stays on one line.
TEST(PageLayout, LongEffectListsBreakAtTheirBlanks) {
  ScratchDir lib("vsf_page_layout");
  {
    std::ofstream out(lib.path() / "wide.csv");
    out << "y";
    for (int j = 1; j <= 100; ++j) out << ",x" << j;
    out << '\n';
    uint64_t s = 52;
    for (int i = 0; i < 130; ++i) {
      double y = 0;
      std::string row;
      for (int j = 1; j <= 100; ++j) {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        const double x = static_cast<double>(s >> 11) / 9007199254740992.0;
        y += x * (j % 7);
        row += "," + std::to_string(x);
      }
      s = s * 6364136223846793005ULL + 1442695040888963407ULL;
      out << y + static_cast<double>(s >> 11) / 9007199254740992.0 << row << '\n';
    }
  }
  struct Case {
    const char* model;
    size_t effects;
    bool breaks;
  } cases[] = {
      {"x1-x100 / selection=forward(select=sl slentry=1 stop=none)", 101, true},
      {"x1-x3 / selection=forward(select=sl slentry=1 stop=none)", 4, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    const CommandRun r =
        runCommand(std::string("proc varsifter data=wide; model y = ") + c.model + "; run;\n",
                   lib.path().string());
    ASSERT_LT(r.status, 2) << r.output;
    const std::vector<Json> selected = findAll(r.document, "SelectedEffects");
    ASSERT_EQ(selected.size(), 1u);
    const std::string list = selected[0]["rows"][0]["Effects"];
    ASSERT_EQ(words(list).size(), c.effects) << list;

    // The listing: the table's lines within the page, the list's words in order.
    const size_t from = r.output.find("Selected Effects");
    ASSERT_NE(from, std::string::npos);
    const std::string block = r.output.substr(from, r.output.find("\n\n", from + 20) - from);
    std::istringstream in(block.substr(block.find('\n') + 1));
    std::string listed;
    size_t lines = 0;
    for (std::string line; std::getline(in, line);) {
      if (line.empty()) continue;
      ++lines;
      EXPECT_LE(line.size(), 100u) << line;
      listed += " " + line;
    }
    EXPECT_EQ(lines > 1, c.breaks) << block;
    std::vector<std::string> shown = words(listed);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), "Effects:");
    shown.erase(shown.begin());
    EXPECT_EQ(shown, words(list));

    // The page: the list in one cell that may break, the label beside it in one that may not.
    EXPECT_EQ(r.html.find("<td class=\"l w\">" + list + "</td>") != std::string::npos, c.breaks);
    EXPECT_NE(r.html.find("<td class=\"l\">Effects:</td>"), std::string::npos);
    EXPECT_NE(r.html.find("td.w { white-space: normal;"), std::string::npos);
  }
}

}  // namespace
}  // namespace vsf::test
