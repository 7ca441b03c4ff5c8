// The lexer of the statement parser: names, keywords, quoted strings and literals, numbers,
// missing values and symbols, with line and column of each token.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

#include "host/parse/parser.h"

namespace vsf::host::parse {

namespace {

constexpr std::string_view kClassNames[] = {"",         "ENDJB",    "NAMEX",   "QS",   "INT",
                                            "NBR",      "COMPOUND", "FMT",     "DATE", "TIME",
                                            "DATETIME", "MISSING",  "VLITERAL"};

bool isNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
// A byte after the first of a UTF-8 character.
bool continuesCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

class Lexer {
 public:
  Lexer(std::string_view text, const Vocabulary& words, int firstLine)
      : t_(text), words_(words), line_(firstLine) {}

  std::vector<Token> run() {
    std::vector<Token> out;
    bool statementStart = true;
    while (true) {
      skipBlanksAndComments(statementStart);
      Token tok;
      tok.pub.line = line_;
      tok.pub.column = column();
      if (i_ >= t_.size()) {
        finish(tok, TokenClass::kEnd);
        out.push_back(tok);
        break;
      }
      if (t_.compare(i_, 2, "/*") == 0) {  // left by the skip: it never closes
        unclosed(tok, "/*");
        out.push_back(tok);
        continue;
      }
      size_t begin = i_;
      read(tok);
      if (!tok.unclosed) tok.pub.written = std::string(t_.substr(begin, i_ - begin));
      if (out.empty() && tok.cls == TokenClass::kName && upper(tok.pub.text) == "PROC") {
        continue;  // the step header: the grammar begins with the procedure's name
      }
      if (statementStart && (tok.cls == TokenClass::kName || tok.word)) {
        std::string u = upper(tok.pub.text);
        if (u == "RUN" || u == "QUIT") {
          tok.pub.text = u;
          tok.symbol = 0;
          tok.word = false;
          finish(tok, TokenClass::kEnd);
          out.push_back(tok);
          break;
        }
      }
      statementStart = tok.cls == TokenClass::kEndStatement;
      out.push_back(tok);
    }
    return out;
  }

 private:
  std::string_view t_;
  const Vocabulary& words_;
  size_t i_ = 0;
  int line_;
  int column_ = 1;  // in characters: the bytes that go on a character are not counted

  int column() const { return column_; }
  char at(size_t k) const { return k < t_.size() ? t_[k] : '\0'; }

  void advance() {
    if (t_[i_] == '\n') {
      ++line_;
      column_ = 1;
    } else if (!continuesCharacter(t_[i_])) {
      ++column_;
    }
    ++i_;
  }

  void skipTo(size_t end) {
    while (i_ < end && i_ < t_.size()) advance();
  }

  void skipBlanksAndComments(bool statementStart) {
    while (i_ < t_.size()) {
      char c = t_[i_];
      if (std::isspace(static_cast<unsigned char>(c))) {
        advance();
      } else if (c == '/' && at(i_ + 1) == '*') {
        size_t e = t_.find("*/", i_ + 2);
        if (e == std::string_view::npos) break;
        skipTo(e + 2);
      } else if (c == '*' && statementStart) {
        size_t e = t_.find(';', i_);
        skipTo(e == std::string_view::npos ? t_.size() : e + 1);
      } else {
        break;
      }
    }
  }

  void finish(Token& tok, TokenClass cls) {
    tok.cls = cls;
    tok.pub.kind = ParseToken::kEnd;
    switch (cls) {
      case TokenClass::kName:
      case TokenClass::kCompound:
      case TokenClass::kFormat:
        tok.pub.kind = ParseToken::kName;
        break;
      case TokenClass::kQuoted:
      case TokenClass::kDate:
      case TokenClass::kTime:
      case TokenClass::kDateTime:
        tok.pub.kind = ParseToken::kQuoted;
        break;
      case TokenClass::kNameLiteral:
        tok.pub.kind = ParseToken::kNameLiteral;
        break;
      case TokenClass::kInteger:
        tok.pub.kind = ParseToken::kInteger;
        break;
      case TokenClass::kNumber:
      case TokenClass::kMissing:
        tok.pub.kind = ParseToken::kNumber;
        break;
      case TokenClass::kEndStatement:
      case TokenClass::kSymbol:
      case TokenClass::kBad:
        tok.pub.kind = ParseToken::kSymbol;
        break;
      case TokenClass::kEnd:
        tok.pub.kind = ParseToken::kEnd;
        break;
    }
    if (tok.symbol == 0) tok.symbol = words_.classSymbol(cls);
  }

  void read(Token& tok) {
    char c = t_[i_];
    if (c == '\'' || c == '"') return readQuoted(tok);
    if (isDigit(c) || (c == '.' && isDigit(at(i_ + 1))) ||
        (c == '-' && (isDigit(at(i_ + 1)) || (at(i_ + 1) == '.' && isDigit(at(i_ + 2))))))
      return readNumber(tok);
    if (c == '.') return readMissing(tok);
    if (isNameStart(c)) return readName(tok);
    const size_t b = i_;
    advance();
    while (i_ < t_.size() && continuesCharacter(t_[i_])) advance();  // the whole character
    tok.pub.text = std::string(t_.substr(b, i_ - b));
    if (c == ';') return finish(tok, TokenClass::kEndStatement);
    tok.symbol = words_.keyword(tok.pub.text);
    finish(tok, tok.symbol ? TokenClass::kSymbol : TokenClass::kBad);
  }

  void readQuoted(Token& tok) {
    size_t end = 0;
    std::string s;
    if (!quotedText(t_, i_, &s, &end)) return unclosed(tok, std::string(1, t_[i_]));
    skipTo(end);
    tok.pub.text = std::move(s);
    char n = static_cast<char>(std::toupper(static_cast<unsigned char>(at(i_))));
    char n2 = static_cast<char>(std::toupper(static_cast<unsigned char>(at(i_ + 1))));
    TokenClass cls = TokenClass::kQuoted;
    size_t suffix = 0;
    if (n == 'D' && n2 == 'T')
      cls = TokenClass::kDateTime, suffix = 2;
    else if (n == 'N')
      cls = TokenClass::kNameLiteral, suffix = 1;
    else if (n == 'D')
      cls = TokenClass::kDate, suffix = 1;
    else if (n == 'T')
      cls = TokenClass::kTime, suffix = 1;
    if (suffix && !isNameChar(at(i_ + suffix)))
      skipTo(i_ + suffix);
    else
      cls = TokenClass::kQuoted;
    finish(tok, cls);
  }

  // The opener of a comment or string that never closes; the rest of the text goes with it.
  void unclosed(Token& tok, std::string opener) {
    tok.pub.text = opener;
    tok.pub.written = std::move(opener);
    tok.unclosed = true;
    skipTo(t_.size());
    finish(tok, TokenClass::kBad);
  }

  void readNumber(Token& tok) {
    size_t b = i_;
    if (t_[i_] == '-') advance();
    bool integral = true;
    while (isDigit(at(i_))) advance();
    if (at(i_) == '.') {
      integral = false;
      advance();
      while (isDigit(at(i_))) advance();
    }
    char e = at(i_);
    if ((e == 'e' || e == 'E') &&
        (isDigit(at(i_ + 1)) ||
         ((at(i_ + 1) == '+' || at(i_ + 1) == '-') && isDigit(at(i_ + 2))))) {
      integral = false;
      advance();
      advance();
      while (isDigit(at(i_))) advance();
    }
    tok.pub.text = std::string(t_.substr(b, i_ - b));
    tok.pub.number = std::strtod(tok.pub.text.c_str(), nullptr);
    if (integral && (tok.pub.number > 2147483647.0 || tok.pub.number < -2147483647.0))
      integral = false;
    if (isNameChar(at(i_))) {  // 12abc is no number
      while (isNameChar(at(i_))) advance();
      tok.pub.text = std::string(t_.substr(b, i_ - b));
      tok.pub.number = 0;
      return finish(tok, TokenClass::kBad);
    }
    finish(tok, integral ? TokenClass::kInteger : TokenClass::kNumber);
  }

  void readMissing(Token& tok) {
    size_t b = i_;
    advance();
    char c = at(i_);
    if ((std::isalpha(static_cast<unsigned char>(c)) || c == '_') && !isNameChar(at(i_ + 1)))
      advance();
    tok.pub.text = std::string(t_.substr(b, i_ - b));
    finish(tok, TokenClass::kMissing);
  }

  void readName(Token& tok) {
    size_t b = i_;
    while (isNameChar(at(i_))) advance();
    if (at(i_) == '$') advance();
    TokenClass cls = TokenClass::kName;
    // work.name and lib.member name data sets; name12. and name12.3 are formats.
    while (at(i_) == '.' && isNameStart(at(i_ + 1))) {
      cls = TokenClass::kCompound;
      advance();
      while (isNameChar(at(i_))) advance();
    }
    if (cls == TokenClass::kName && at(i_) == '.' && isDigit(t_[i_ - 1])) {
      cls = TokenClass::kFormat;
      advance();
      while (isDigit(at(i_))) advance();
    }
    tok.pub.text = std::string(t_.substr(b, i_ - b));
    if (cls == TokenClass::kName) {
      tok.symbol = words_.keyword(upper(tok.pub.text));
      tok.word = tok.symbol != 0;
    }
    finish(tok, cls);
  }
};

}  // namespace

Vocabulary::Vocabulary(const GrammarDescriptor& g) {
  int count = g.keywordCount;
  end_ = count;  // the end marker is the last word
  for (int k = 1; k <= g.tokenClassCount && k <= count; ++k) {
    std::string_view w = g.word(k);
    for (int c = 1; c < static_cast<int>(std::size(kClassNames)); ++c)
      if (w == kClassNames[c]) classSymbols_[c] = k;
  }
  classSymbols_[static_cast<int>(TokenClass::kEnd)] = end_;
  for (int k = g.tokenClassCount + 1; k < count; ++k) words_.emplace_back(g.word(k), k);
  std::sort(words_.begin(), words_.end());
}

int Vocabulary::keyword(std::string_view u) const {
  auto find = [&](std::string_view w) {
    auto it = std::lower_bound(words_.begin(), words_.end(), w,
                               [](const auto& e, std::string_view v) { return e.first < v; });
    return it != words_.end() && it->first == w ? it->second : 0;
  };
  if (int k = find(u)) return k;
  if (!u.empty() && u.back() != '$' && std::isalpha(static_cast<unsigned char>(u.front())))
    return find(std::string(u) + "$");
  return 0;
}

int characters(std::string_view text) {
  return static_cast<int>(
      std::count_if(text.begin(), text.end(), [](char c) { return !continuesCharacter(c); }));
}

int columnAfter(const Token& t) { return t.pub.column + characters(t.pub.written); }

std::vector<Token> lex(std::string_view text, const Vocabulary& words, int firstLine) {
  return Lexer(text, words, firstLine).run();
}

bool quotedText(std::string_view text, size_t begin, std::string* value, size_t* end) {
  const char q = text[begin];
  value->clear();
  size_t i = begin + 1;
  for (; i < text.size(); ++i) {
    if (text[i] == q && (i + 1 >= text.size() || text[i + 1] != q)) break;
    *value += text[i];
    if (text[i] == q) ++i;  // the second of a doubled quote
  }
  *end = std::min(i + 1, text.size());
  return i < text.size();
}

}  // namespace vsf::host::parse
