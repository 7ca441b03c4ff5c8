// The text of a syntax error: what was expected, the keyword a misspelling stands for, the
// options of the list the word stands in, the grammar's advice for words from other programs,
// and the place of a ";" left out.
#include <fmt/format.h>

#include <algorithm>
#include <cctype>

#include "host/parse/parser.h"
#include "host/range_errors.h"
#include "host/spelling.h"

namespace vsf::host::parse {

namespace {

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

std::string describe(const GrammarDescriptor& g, const Vocabulary& v, int symbol) {
  if (symbol == v.classSymbol(TokenClass::kEndStatement)) return "\";\"";
  if (symbol == v.classSymbol(TokenClass::kName)) return "a name";
  if (symbol == v.classSymbol(TokenClass::kQuoted)) return "a quoted string";
  if (symbol == v.classSymbol(TokenClass::kInteger)) return "an integer";
  if (symbol == v.classSymbol(TokenClass::kNumber)) return "a number";
  if (symbol == v.classSymbol(TokenClass::kCompound)) return "a two-level name";
  if (symbol == v.classSymbol(TokenClass::kNameLiteral)) return "a name literal";
  if (symbol == v.classSymbol(TokenClass::kMissing)) return "a missing value";
  if (symbol == v.endSymbol()) return "the end of the step";
  return fmt::format("\"{}\"", g.word(symbol));
}

bool isWord(const GrammarDescriptor& g, const Vocabulary& v, int symbol) {
  return symbol > g.tokenClassCount && symbol != v.endSymbol() &&
         std::isalpha(static_cast<unsigned char>(g.word(symbol).front()));
}

bool isSymbol(const Token& t, std::string_view text) {
  return t.cls == TokenClass::kSymbol && t.pub.text == text;
}

// The words the parser would have taken in place of the token; undocumented words (ending in
// "$") are not offered.
std::vector<int> expectedSymbols(const Run& r, int top) {
  const GrammarDescriptor& g = *r.grammar;
  std::vector<int> symbols;
  if (top < g.firstNonterminal) {
    symbols.push_back(top);
  } else {
    for (int t = 1; t <= r.table->terminals; ++t) {
      std::string_view w = g.word(t);
      if (r.table->predict(top - g.firstNonterminal, t) >= 0 && w.back() != '$')
        symbols.push_back(t);
    }
  }
  return symbols;
}

std::string expected(const Run& r, const std::vector<int>& symbols) {
  const GrammarDescriptor& g = *r.grammar;
  if (symbols.empty() || symbols.size() > 24) return "";
  std::string out = symbols.size() == 1 ? "; expecting " : "; expecting one of ";
  for (size_t i = 0; i < symbols.size(); ++i) {
    if (i) out += ", ";
    out += describe(g, r.table->vocabulary, symbols[i]);
  }
  return out;
}

// The expected keyword the word most likely misspells.
std::string nearest(const Run& r, const Token& bad, const std::vector<int>& symbols) {
  const GrammarDescriptor& g = *r.grammar;
  if (bad.cls != TokenClass::kName && !bad.word) return "";
  std::vector<std::string> words;
  for (int s : symbols)
    if (isWord(g, r.table->vocabulary, s)) words.emplace_back(g.word(s));
  std::string near = nearestWord(bad.pub.text, words);
  return near.empty() ? "" : fmt::format("; did you mean \"{}\"?", near);
}

// A name with a dot (R's "x.8") written bare: it lexes as a two-level name, or as a name and
// a number that touches it.
std::string dottedName(const Run& r, const Token& bad) {
  const Token* before = r.current;
  const bool touching = before && before != &bad && before->cls == TokenClass::kName &&
                        before->pub.line == bad.pub.line &&
                        columnAfter(*before) == bad.pub.column && !bad.pub.written.empty() &&
                        bad.pub.written.front() == '.';
  if (bad.cls == TokenClass::kCompound)
    return fmt::format("; a name with a dot is written as a name literal, '{}'n", bad.pub.written);
  if (touching)
    return fmt::format("; a name with a dot is written as a name literal, '{}{}'n",
                       before->pub.written, bad.pub.written);
  return "";
}

// The keyword whose parenthesized list the token stands in ("LASSO" in "lasso(select=sl)",
// "STATS" in "stats=(sl x)"); empty outside such a list.
std::string opener(const Run& r) {
  const GrammarDescriptor& g = *r.grammar;
  int depth = 0;
  for (size_t k = r.pos; k-- > 0;) {
    const Token& t = r.tokens[k];
    if (t.cls == TokenClass::kEndStatement) return "";
    if (isSymbol(t, ")")) ++depth;
    if (!isSymbol(t, "(")) continue;
    if (depth-- > 0) continue;
    size_t w = k;
    if (w > 0 && isSymbol(r.tokens[w - 1], "=")) --w;
    if (w == 0) return "";
    const Token& key = r.tokens[w - 1];
    if (!isWord(g, r.table->vocabulary, key.symbol)) return "";
    return upper(key.pub.text);
  }
  return "";
}

// Inside a keyword's option list: the grammar's advice or that the keyword has no such
// option, else the nearest option; then the options it takes.
std::string listAdvice(const Run& r, const std::string& key, const Token& bad,
                       const std::vector<int>& symbols) {
  const GrammarDescriptor& g = *r.grammar;
  const Vocabulary& v = r.table->vocabulary;
  const std::string word = upper(bad.pub.text);
  std::string out;
  for (const GrammarDescriptor::Hint& h : g.hints)
    if (h.word == word && h.opener == key)
      out = fmt::format("; {} has no option {}: {}.", key, word, h.text);
  if (out.empty() && bad.word) out = fmt::format("; {} has no option {}.", key, word);
  if (out.empty()) out = nearest(r, bad, symbols);
  if (out.empty()) out = ".";
  std::vector<std::string> words;
  for (int s : symbols)
    if (isWord(g, v, s)) words.emplace_back(g.word(s));
  if (words.empty()) return out;
  out += fmt::format(" {} takes ", key);
  for (size_t i = 0; i < words.size(); ++i)
    out += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
  return out;
}

bool isIntegerText(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

std::string optionOf(const Run& r, size_t at) {
  const GrammarDescriptor& g = *r.grammar;
  const Vocabulary& v = r.table->vocabulary;
  auto word = [&](size_t k) { return isWord(g, v, r.tokens[k].symbol) || r.tokens[k].word; };
  // Back over the values of a list to the "=" or "(" they follow: not far.
  constexpr size_t kMostValues = 64;
  if (at >= r.tokens.size()) return "the option";
  for (size_t k = at, seen = 0; k-- > 0 && seen < kMostValues; ++seen) {
    const Token& t = r.tokens[k];
    if (t.cls == TokenClass::kEndStatement) break;
    if (isSymbol(t, "=") && k > 0 && word(k - 1)) return upper(r.tokens[k - 1].pub.text) + "=";
    if (isSymbol(t, "(") && k > 0 && word(k - 1)) {
      const std::string inner = upper(r.tokens[k - 1].pub.text) + "(n)";
      if (k > 2 && isSymbol(r.tokens[k - 2], "=") && word(k - 3))
        return upper(r.tokens[k - 3].pub.text) + "=" + inner;
      return inner;
    }
  }
  return "the option";
}

std::string neverClosed(std::string_view opener) {
  return opener == "/*" ? "the comment \"/*\" opened here is never closed"
                        : fmt::format("the quoted string {} opened here is never closed", opener);
}

std::string tokenText(const Token& t) {
  if (t.cls == TokenClass::kEnd) return t.pub.text.empty() ? "the end of the step" : t.pub.text;
  if (t.cls == TokenClass::kQuoted) return fmt::format("'{}'", t.pub.text);
  return fmt::format("\"{}\"", t.pub.text);
}

namespace {

// One UTF-8 character of two to four bytes.
bool wholeCharacter(std::string_view t) {
  if (t.empty()) return false;
  const auto c = static_cast<unsigned char>(t[0]);
  const size_t n = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
  if (n == 0 || t.size() != n || c < 0xC2 || c > 0xF4) return false;
  return std::all_of(t.begin() + 1, t.end(), [](char b) { return (b & 0xC0) == 0x80; });
}

}  // namespace

std::string nameLiteralAdvice(const Run& r, const Token& at) {
  const size_t k = r.tokens.indexOf(&at);
  if (k >= r.tokens.size()) return "";
  // Names and bad bytes that touch, the token's among them.
  auto part = [](const Token& t) {
    return t.cls == TokenClass::kName || t.cls == TokenClass::kBad;
  };
  auto touch = [](const Token& a, const Token& b) {
    return a.pub.line == b.pub.line && columnAfter(a) == b.pub.column;
  };
  size_t first = k, last = k;
  while (first > 0 && part(r.tokens[first - 1]) && touch(r.tokens[first - 1], r.tokens[first]))
    --first;
  while (last + 1 < r.tokens.size() && part(r.tokens[last + 1]) &&
         touch(r.tokens[last], r.tokens[last + 1]))
    ++last;
  // The bad tokens must be letters outside ASCII (whole UTF-8 characters): a byte that is no
  // character makes no name, literal or not.
  std::string word;
  bool outside = false;
  for (size_t j = first; j <= last; ++j) {
    const Token& t = r.tokens[j];
    if (t.cls == TokenClass::kBad) {
      if (!wholeCharacter(t.pub.written)) return "";
      outside = true;
    }
    word += t.pub.written;
  }
  if (!outside || first == last) return "";
  return fmt::format(
      "a name with characters other than letters, digits and underscores is written as a name "
      "literal, '{}'n",
      word);
}

std::string missingSemicolon(const Token& before, const Token& next, Token* place) {
  *place = next;
  place->pub.line = before.pub.line;
  place->pub.column = columnAfter(before);
  const std::string where =
      next.cls != TokenClass::kEnd
          ? fmt::format("before {} on line {}", tokenText(next), next.pub.line)
      : next.pub.text.empty() ? std::string("where the program ends")
                              : fmt::format("before {}", next.pub.text);
  return fmt::format("syntax error: a \";\" was expected after \"{}\", {}", before.pub.written,
                     where);
}

std::string syntaxError(const Run& r, int top, const Token& bad) {
  const std::vector<int> symbols = expectedSymbols(r, top);
  const Vocabulary& v = r.table->vocabulary;
  // An integer written past what is read as one lexes as a number: it is too large, not wrong.
  const int integer = v.classSymbol(TokenClass::kInteger);
  if (bad.cls == TokenClass::kNumber && isIntegerText(bad.pub.text) &&
      std::find(symbols.begin(), symbols.end(), integer) != symbols.end())
    return integerTooLarge(optionOf(r, r.tokens.indexOf(&bad)), bad.pub.text);
  const std::string head = fmt::format("syntax error: {} was not expected", tokenText(bad));
  if (std::string dotted = dottedName(r, bad); !dotted.empty()) return head + dotted;
  const int close = v.keyword(")");
  const bool inList = std::find(symbols.begin(), symbols.end(), close) != symbols.end();
  if (std::string key = inList ? opener(r) : ""; !key.empty()) {
    // The statement or the step ends inside the list: its ")" was left out.
    const bool ended = bad.cls == TokenClass::kEndStatement || bad.cls == TokenClass::kEnd;
    return head +
           (ended ? fmt::format("; the \")\" that closes the options of {} is missing", key) : "") +
           listAdvice(r, key, bad, symbols);
  }
  std::string out = head + expected(r, symbols) + nearest(r, bad, symbols);
  if (r.current && r.current->pub.text == "=" && (bad.pub.text == "/" || bad.pub.text == "."))
    out += "; a file path must be written in quotes";
  return out;
}

}  // namespace vsf::host::parse
