// The procedure's grammar as the host's parser sees it: it builds, its LL(1) table has no
// conflicts, and every word and option field it declares is used.
#include <gtest/gtest.h>

#include <set>
#include <string>

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

}  // namespace
}  // namespace vsf
