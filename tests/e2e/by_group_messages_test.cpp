// Every message written while a BY group runs names the group, in the log and in the JSON
// document.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

// Notes, warnings and errors of a group name it, before their text, in the log and in the
// document's log entries; the step's own lines name none.
TEST(GroupMessages, EveryMessageOfAGroupNamesIt) {
  DataLibrary lib({});
  // g=2: c has one level; g=3: y is exactly 2x + 1; g=4: three rows for five folds; g=5: one.
  std::string rows = "g,y,x,c\n";
  for (int i = 0; i < 12; ++i)
    rows += "1," + std::to_string(i % 5 + 0.3 * i) + "," + std::to_string(0.3 * i) + "," +
            (i % 2 ? "a" : "b") + "\n";
  for (int i = 0; i < 12; ++i)
    rows += "2," + std::to_string((i * 7) % 5 + 0.1 * i) + "," + std::to_string(0.1 * i) + ",a\n";
  for (int i = 0; i < 12; ++i)
    rows += "3," + std::to_string(0.5 * i + 1) + "," + std::to_string(0.25 * i) + "," +
            (i % 2 ? "a" : "b") + "\n";
  rows += "4,0.5,0.2,a\n4,0.7,0.9,b\n4,0.1,0.4,a\n5,0.9,0.5,a\n";
  std::ofstream(lib.path() / "msgs.csv") << rows;
  const CommandRun r = runCommand(
      "proc varsifter data=msgs seed=1; by g; class c;"
      " model y = x c / selection=forward(choose=cv) cvmethod=random(5); run;",
      lib.dir());
  const std::vector<std::string> said = {
      "NOTE: BY group g=2: The CLASS variable c has only one level.",
      "NOTE: BY group g=3: The selected model fits the data exactly",
      "WARNING: BY group g=4: Only 3 of the 5 cross validation folds requested could be formed.",
      "ERROR: BY group g=5: Cross validation needs more than one fold.",
  };
  for (const std::string& text : said)
    EXPECT_NE(r.output.find(text), std::string::npos) << text << "\n" << r.output;
  std::vector<std::string> logged;
  for (const Json& line : r.document["log"]) {
    const std::string text =
        line["level"].get<std::string>() + ": " + line["text"].get<std::string>();
    const bool step = text.find("Step 1 at line") != std::string::npos ||
                      text.find("ended with return code") != std::string::npos;
    EXPECT_EQ(text.find(": BY group g="), step ? std::string::npos : text.find(':')) << text;
    logged.push_back(text);
  }
  for (const std::string& text : said) {
    bool found = false;
    for (const std::string& line : logged) found = found || line.rfind(text, 0) == 0;
    EXPECT_TRUE(found) << text;
  }
}

}  // namespace
}  // namespace vsf::test
