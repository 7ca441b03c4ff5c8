// The procedure's grammar as the host's parser sees it: it builds, its LL(1) table has no
// conflicts, every word and option field it declares is used, and its words hold the keywords
// of the tables its rules are made from.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "grammar/codes.h"
#include "grammar/codings.h"
#include "grammar/grammar.h"
#include "grammar/slots.h"
#include "host/parse/parse_internal.h"

namespace vsf {
namespace {

TEST(ParseGrammar, BuildsWithoutConflicts) {
  GrammarDescriptor g;
  std::string error;
  ASSERT_TRUE(buildGrammarFrom(grammarText(), &g, &error)) << error;
  host::parse::LLTable table(g);
  for (const std::string& c : table.conflicts) ADD_FAILURE() << c;
  EXPECT_EQ(g.keywordCount, 446);
  EXPECT_EQ(g.firstNonterminal, 447);
  EXPECT_EQ(g.word(g.keywordCount), "$$$");
  std::set<int> used;
  for (const auto& rhs : table.rhs)
    for (int s : rhs)
      if (s > 0 && s < g.firstNonterminal) used.insert(s);
  std::string unused;
  for (int k = g.tokenClassCount + 1; k < g.keywordCount; ++k)
    if (!used.count(k)) unused += " " + std::string(g.word(k));
  // A word no statement takes would be listed as accepted, yet refused wherever it is written.
  EXPECT_EQ(unused, "") << "keywords no statement uses";
}

// The keywords stand between the token classes and the end marker, each once in ascending byte
// order, and every keyword of the codings' and DROP= rules' tables is among them: a rule made
// from a table whose keyword is not a word fails every step.
TEST(ParseGrammar, WordsHoldEveryKeywordOfTheTables) {
  int count = 0;
  const char* const* words = grammarWords(&count);
  ASSERT_GT(count, kTokenClassCount + 1);
  EXPECT_STREQ(words[count - 1], "$$$");
  for (int k = kTokenClassCount; k + 2 < count; ++k)
    EXPECT_LT(std::strcmp(words[k], words[k + 1]), 0) << words[k] << " before " << words[k + 1];
  const std::set<std::string> keywords(words + kTokenClassCount, words + count - 1);
  std::vector<std::string_view> tables;
  for (const Coding& c : coding_rows::kCodings)
    for (std::string_view keyword : c.keywords)
      if (!keyword.empty()) tables.push_back(keyword);
  for (const DropKeyword& d : kDropRules) tables.push_back(d.keyword);
  ASSERT_FALSE(tables.empty());
  for (std::string_view keyword : tables)
    EXPECT_TRUE(keywords.count(std::string(keyword))) << keyword << " is not a word of the grammar";
}

}  // namespace
}  // namespace vsf
