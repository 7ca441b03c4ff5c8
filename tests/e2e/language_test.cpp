// The language reference cannot drift from the grammar: every keyword of the grammar appears in
// docs/language.md, and every example program in it parses and runs on the example data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "common/csv.h"
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
  const std::filesystem::path library = processScratch("language_lib");
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

// The criteria follow the formulas the reference gives beside R's (fixture:
// tests/reference/criteria_formulas.R), on the reference's own example, and the worked numbers
// it quotes are that example's.
TEST(LanguageReference, CriteriaFollowTheirFormulas) {
  const std::string text = reference();
  const std::regex block("```vsf\n([^`]*stats=\\(aic aicc sbc bic cp\\)[^`]*)```");
  std::smatch example;
  ASSERT_TRUE(std::regex_search(text, example, block)) << "no example of the criteria";
  const CommandRun r = runCommand(example[1], VSF_SHARED_DATA);
  ASSERT_EQ(r.status, 0) << r.output;
  const Json rows = theOne(r, "SelectionSummary")["rows"];
  const Csv R = readCsv("e2e/criteria_formulas.csv");
  ASSERT_EQ(rows.size(), R.rows.size());
  for (size_t k = 0; k < R.rows.size(); ++k) {
    SCOPED_TRACE(k);
    const double n = R.number(k, "n"), p = R.number(k, "p"), sse = R.number(k, "sse");
    const double q = n * R.number(k, "sigma2") / sse;
    const double aic = R.number(k, "extract_aic") + n + 2;
    const struct {
      const char* column;
      double want;
    } criteria[] = {
        {"AIC", aic},
        {"AIC", R.number(k, "r_aic") - n * std::log(2 * M_PI)},
        {"AICC", aic + 2 * (p + 1) * (p + 2) / (n - p - 2)},
        {"SBC", R.number(k, "extract_aic_log_n")},
        {"SBC", R.number(k, "r_bic") - n * (std::log(2 * M_PI) + 1) - std::log(n)},
        {"BIC", n * std::log(sse / n) + 2 * q * (p + 2 - q)},
        {"CP", R.number(k, "extract_aic_scale")},
    };
    for (const auto& c : criteria)
      EXPECT_NEAR(number(rows[k][c.column]), c.want, 1e-10 * std::fabs(c.want) + 1e-12) << c.column;
  }
  for (const char* quoted : {"= 97.84", "= 99.32", "68.24", "= 65.67", "= 6.90"})
    EXPECT_NE(text.find(quoted), std::string::npos) << quoted;
  EXPECT_NEAR(number(rows[2]["AIC"]), 97.84, 0.005);
  EXPECT_NEAR(number(rows[2]["AICC"]), 99.32, 0.005);
  EXPECT_NEAR(number(rows[2]["SBC"]), 68.24, 0.005);
  EXPECT_NEAR(number(rows[2]["BIC"]), 65.67, 0.005);
  EXPECT_NEAR(number(rows[2]["CP"]), 6.90, 0.005);
}

// The example of the reference that holds `text`.
std::string exampleWith(const std::string& reference, const std::string& text) {
  const std::regex block("```vsf\n([^`]*)```");
  for (std::sregex_iterator it(reference.begin(), reference.end(), block), end; it != end; ++it)
    if ((*it)[1].str().find(text) != std::string::npos) return (*it)[1];
  ADD_FAILURE() << "no example with " << text;
  return "";
}

// The penalized recipes show what they say: cross validation over the whole path with each
// fold's table, and the elastic net's L2 chosen among those tried, with the tried ones shown.
TEST(LanguageReference, PenalizedRecipesShowWhatTheySay) {
  const std::string text = reference();
  CommandRun r = runCommand(exampleWith(text, "showcvex"), VSF_SHARED_DATA);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(entryValue(theOne(r, "ModelInfo"), "Choose Criterion"), "External Cross Validation");
  const Json cv = theOne(r, "CVExternal");
  int folds = 0;
  for (const Json& row : cv["rows"]) folds = std::max(folds, static_cast<int>(number(row["Fold"])));
  EXPECT_EQ(folds, 10);
  EXPECT_EQ(r.output.find("chose among the steps taken before"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("every effect is in the model"), std::string::npos) << r.output;

  r = runCommand(exampleWith(text, "showl2search"), VSF_SHARED_DATA);
  ASSERT_EQ(r.status, 0) << r.output;
  const Json tried = theOne(r, "ElasticNetTuneL2")["rows"];
  ASSERT_EQ(tried.size(), 4u);
  EXPECT_DOUBLE_EQ(number(tried[0]["L2"]), 0.001);
  EXPECT_DOUBLE_EQ(number(tried[3]["L2"]), 1);
  double best = NAN;
  for (const Json& row : tried)
    if (row["OptCriterion"] == 1) best = number(row["L2"]);
  EXPECT_EQ(number(entryValue(theOne(r, "ElasticNetParaSummary"), "Chosen L2")), best);
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
