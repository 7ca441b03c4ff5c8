// The statement parser's lexer: token classes, texts, numbers, places, comments, keywords
// and the step's boundaries.
#include <gtest/gtest.h>

#include "grammar/grammar.h"
#include "host/parse/parse_internal.h"

namespace vsf::host::parse {
namespace {

const GrammarDescriptor& grammar() {
  static GrammarDescriptor g = [] {
    GrammarDescriptor d;
    std::string error;
    EXPECT_TRUE(buildGrammarFrom(grammarText(), &d, &error)) << error;
    return d;
  }();
  return g;
}

std::vector<Token> tokens(std::string_view text) {
  static Vocabulary words(grammar());
  return lex(text, words, 1);
}

struct LexCase {
  const char* text;
  TokenClass cls;
  const char* value;  // the token's text
  double number;
};

TEST(ParseLexer, OneTokenOfEachKind) {
  const LexCase cases[] = {
      {"'it''s'", TokenClass::kQuoted, "it's", 0},
      {"\"say \"\"hi\"\"\"", TokenClass::kQuoted, "say \"hi\"", 0},
      {"'a b'n", TokenClass::kNameLiteral, "a b", 0},
      {"'01jan2000'd", TokenClass::kDate, "01jan2000", 0},
      {"'12:00't", TokenClass::kTime, "12:00", 0},
      {"'x'dt", TokenClass::kDateTime, "x", 0},
      {"42", TokenClass::kInteger, "42", 42},
      {"-7", TokenClass::kInteger, "-7", -7},
      {"3000000000", TokenClass::kNumber, "3000000000", 3e9},
      {"-1.5e-3", TokenClass::kNumber, "-1.5e-3", -0.0015},
      {".5", TokenClass::kNumber, ".5", 0.5},
      {"1E6", TokenClass::kNumber, "1E6", 1e6},
      {".", TokenClass::kMissing, ".", 0},
      {".A", TokenClass::kMissing, ".A", 0},
      {"work.diab", TokenClass::kCompound, "work.diab", 0},
      {"best12.", TokenClass::kFormat, "best12.", 0},
      {"x_1", TokenClass::kName, "x_1", 0},
      {"12abc", TokenClass::kBad, "12abc", 0},
      {"#", TokenClass::kBad, "#", 0},
      {";", TokenClass::kEndStatement, ";", 0},
  };
  for (const LexCase& c : cases) {
    std::vector<Token> t = tokens(c.text);
    ASSERT_EQ(t.size(), 2u) << c.text;
    EXPECT_EQ(t[0].cls, c.cls) << c.text;
    EXPECT_EQ(t[0].pub.text, c.value) << c.text;
    EXPECT_EQ(t[0].pub.written, c.text) << c.text;
    EXPECT_DOUBLE_EQ(t[0].pub.number, c.number) << c.text;
    EXPECT_EQ(t[1].cls, TokenClass::kEnd);
  }
}

TEST(ParseLexer, KeywordsAndTheirUndocumentedForms) {
  const GrammarDescriptor& g = grammar();
  struct Case {
    const char* text;
    const char* word;  // the keyword matched, null for a plain name
  } cases[] = {{"Model", "MODEL"},    {"force", "FORCE$"}, {"FORCE$", "FORCE$"},
               {"zanvi2", "ZANVI2$"}, {"zanvi", "ZANVI"},  {"modelx", nullptr},
               {"_all_", "_ALL_"},    {"x$", nullptr},     {"(", "("}};
  for (const Case& c : cases) {
    Token t = tokens(c.text)[0];
    if (c.word) {
      ASSERT_GT(t.symbol, 0) << c.text;
      EXPECT_EQ(g.word(t.symbol), c.word) << c.text;
    } else {
      EXPECT_EQ(t.cls, TokenClass::kName) << c.text;
      EXPECT_FALSE(t.word) << c.text;
    }
  }
  EXPECT_TRUE(tokens("model")[0].word);  // may stand for a name
  EXPECT_FALSE(tokens("(")[0].word);
}

TEST(ParseLexer, CommentsPlacesAndStepBoundaries) {
  std::vector<Token> t = tokens(
      "PROC varsifter /* a; comment */ data=x;\n"
      "  * a statement comment; model a * b;\n"
      "run; model ignored;");
  std::vector<std::string> texts;
  for (const Token& k : t) texts.push_back(k.pub.text);
  const std::vector<std::string> expected = {"varsifter", "data", "=", "x", ";",  "model",
                                             "a",         "*",    "b", ";", "RUN"};
  EXPECT_EQ(texts, expected);
  EXPECT_EQ(t.back().cls, TokenClass::kEnd);
  EXPECT_EQ(t[5].pub.line, 2);
  EXPECT_EQ(t[5].pub.column, 26);
  EXPECT_EQ(t.back().pub.line, 3);
  // RUN is a boundary only where a statement begins.
  std::vector<Token> u = tokens("model run = quit;");
  EXPECT_EQ(u.size(), 6u);
  EXPECT_EQ(u[1].pub.text, "run");
}

// A comment or string that never closes ends the tokens where it opens: the rest of the text
// is no token of its own.
TEST(ParseLexer, UnclosedCommentsAndStringsEndTheText) {
  struct Case {
    const char* text;
    const char* opener;
    int line, column;
    size_t before;  // tokens before it
  } cases[] = {
      {"'open", "'", 1, 1, 0},
      {"model y = x;\n  score out=\"s p=pred;\nrun;", "\"", 2, 13, 8},
      {"model y = x; /* a comment\nscore;\nrun;", "/*", 1, 14, 5},
      {"/* never closed", "/*", 1, 1, 0},
      {"model y = x /* closed */ '/* in a string */' 'it''s", "'", 1, 46, 5},
  };
  for (const Case& c : cases) {
    std::vector<Token> t = tokens(c.text);
    ASSERT_EQ(t.size(), c.before + 2) << c.text;
    const Token& bad = t[c.before];
    EXPECT_TRUE(bad.unclosed) << c.text;
    EXPECT_EQ(bad.cls, TokenClass::kBad) << c.text;
    EXPECT_EQ(bad.pub.text, c.opener) << c.text;
    EXPECT_EQ(bad.pub.written, c.opener) << c.text;
    EXPECT_EQ(bad.pub.line, c.line) << c.text;
    EXPECT_EQ(bad.pub.column, c.column) << c.text;
    EXPECT_EQ(t.back().cls, TokenClass::kEnd) << c.text;
  }
  EXPECT_FALSE(tokens("'closed'")[0].unclosed);
}

// Columns count characters, not the bytes of UTF-8; a character the language has no use for
// is one bad token, not a byte of it.
TEST(ParseLexer, ColumnsCountCharacters) {
  std::vector<Token> t = tokens("x /* \xC3\xA9\xE2\x82\xAC */ '\xC3\xBC' y\n\xC3\xA9 z");
  ASSERT_EQ(t.size(), 6u);
  EXPECT_EQ(t[1].pub.column, 12);  // the quoted string, after two characters of five bytes
  EXPECT_EQ(columnAfter(t[1]), 15);
  EXPECT_EQ(t[2].pub.column, 16);
  EXPECT_EQ(t[3].cls, TokenClass::kBad);
  EXPECT_EQ(t[3].pub.text, "\xC3\xA9");
  EXPECT_EQ(t[3].pub.line, 2);
  EXPECT_EQ(t[4].pub.column, 3);
  EXPECT_EQ(characters("a\xC3\xA9\xF0\x9F\x98\x80"), 3);
  EXPECT_EQ(characters(""), 0);
}

}  // namespace
}  // namespace vsf::host::parse
