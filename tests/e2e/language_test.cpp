// The language reference cannot drift from the grammar: every keyword of the grammar appears in
// docs/language.md, and every example program in it parses and runs on the example data.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "e2e/command_support.h"
#include "grammar/grammar.h"

namespace vsf::test {
namespace {

std::string reference() {
  std::ifstream in(VSF_SOURCE_DIR "/docs/language.md");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The reference's words in capitals.
std::set<std::string> wordsOf(const std::string& text) {
  std::set<std::string> words;
  std::string w;
  for (char c : text + " ") {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
      w += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    } else if (!w.empty()) {
      words.insert(w);
      w.clear();
    }
  }
  return words;
}

TEST(LanguageReference, NamesEveryKeywordOfTheGrammar) {
  const std::set<std::string> words = wordsOf(reference());
  int count = 0;
  const char* const* all = grammarWords(&count);
  // The token classes come first and the end marker last; symbols are not words.
  for (int k = kTokenClassCount; k + 1 < count; ++k) {
    std::string keyword = all[k];
    if (!std::isalpha(static_cast<unsigned char>(keyword[0])) && keyword[0] != '_') continue;
    if (keyword.back() == '$') keyword.pop_back();  // written without its mark
    EXPECT_TRUE(words.count(keyword)) << keyword << " is not in docs/language.md";
  }
}

TEST(LanguageReference, EveryExampleRuns) {
  // Output data sets go to a copy of the example library.
  const std::filesystem::path library = ::testing::TempDir() + "language_lib";
  std::filesystem::remove_all(library);
  std::filesystem::copy(VSF_SHARED_DATA, library);
  const std::string text = reference();
  const std::regex block("```vsf\n([^`]*)```");
  int examples = 0;
  for (std::sregex_iterator it(text.begin(), text.end(), block), end; it != end; ++it) {
    const std::string program = (*it)[1];
    SCOPED_TRACE(program);
    ++examples;
    CommandRun r = runCommand(program, library.string());
    // No statement error: a syntax error or a name that is not found says where it is.
    EXPECT_EQ(r.output.find("ERROR: Line "), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("return code 3000"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("return code 2000"), std::string::npos) << r.output;
  }
  EXPECT_GE(examples, 15);
  std::filesystem::remove_all(library);
}

TEST(LanguageReference, HelpPointsAtIt) {
  CommandRun r = runArgs("--help-statements");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("docs/language.md"), std::string::npos) << r.output;
  for (const char* statement : {"PROC VARSIFTER", "MODEL", "CLASS", "BY", "PARTITION"})
    EXPECT_NE(r.output.find(statement), std::string::npos) << statement;
  EXPECT_NE(runArgs("--help").output.find("--help-statements"), std::string::npos);
}

}  // namespace
}  // namespace vsf::test
