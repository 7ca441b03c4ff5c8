// The predictive parser: runs any grammar's LL(1) table over the tokens of a step, calls the
// semantic actions as they come off the stack, reports syntax errors with their place and
// recovers at the next ';' so that every statement of the step is checked.
#include "host/parse/parser.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "host/session.h"

namespace vsf::host::parse {

namespace {

bool matches(const Run& r, int terminal, const Token& t) {
  return t.symbol == terminal ||
         (t.word && terminal == r.table->vocabulary.classSymbol(TokenClass::kName));
}

// The production of nonterminal a for the token; a keyword may stand for a name.
int predict(const Run& r, int a, const Token& t) {
  int p = t.symbol > 0 ? r.table->predict(a, t.symbol) : -1;
  if (p < 0 && t.word) p = r.table->predict(a, r.table->vocabulary.classSymbol(TokenClass::kName));
  return p;
}

void traceLine(const std::string& line) { session().log.write("", line); }

bool isStepEnd(const Token& t) {
  std::string word = t.pub.text;
  for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return t.cls == TokenClass::kName && (word == "RUN" || word == "QUIT");
}

// A name RUN or QUIT where a statement begins: the end of the step, as the lexer makes it.
Token asStepEnd(const Vocabulary& v, Token t) {
  if (!isStepEnd(t)) return t;
  for (char& c : t.pub.text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  t.cls = TokenClass::kEnd;
  t.pub.kind = ParseToken::kEnd;
  t.symbol = v.endSymbol();
  t.word = false;
  return t;
}

// Where a parse run ahead of the driver stopped: the last token it looked at, and whether it
// got through.
struct Ahead {
  size_t stop = 0;
  bool through = false;
};

// Runs the parse ahead on a copy of the stack, actions skipped, over a ";" (when `semicolon`)
// and then the tokens from `from`. It gets through once it has taken token `until`, the end of
// the step or, with no ";" put first, the ";" that ends the statement.
Ahead parseAhead(const Run& r, std::vector<int> stack, bool semicolon, size_t from, size_t until) {
  const GrammarDescriptor& g = *r.grammar;
  const Vocabulary& v = r.table->vocabulary;
  const int endStatement = v.classSymbol(TokenClass::kEndStatement);
  Token put;
  put.cls = TokenClass::kEndStatement;
  put.symbol = endStatement;
  bool putTaken = !semicolon;
  for (size_t k = from; k < r.tokens.size();) {
    const Token t = !putTaken                ? put
                    : k == from && semicolon ? asStepEnd(v, r.tokens[k])
                                             : r.tokens[k];
    for (;;) {
      if (stack.empty()) return {k, false};
      const int top = stack.back();
      stack.pop_back();
      if (top < 0) continue;
      if (top < g.firstNonterminal) {
        if (!matches(r, top, t)) return {k, false};
        break;
      }
      const int p = predict(r, top - g.firstNonterminal, t);
      if (p < 0) return {k, false};
      const std::vector<int>& rhs = r.table->rhs[static_cast<size_t>(p)];
      for (auto it = rhs.rbegin(); it != rhs.rend(); ++it) stack.push_back(*it);
    }
    if (!putTaken) {
      putTaken = true;
      continue;
    }
    if (k >= until || t.symbol == v.endSymbol() || (!semicolon && t.symbol == endStatement))
      return {k, true};
    ++k;
  }
  return {r.tokens.size(), true};
}

class Driver {
 public:
  explicit Driver(Run& r) : r_(r), g_(*r.grammar), firstNt_(g_.firstNonterminal) {}

  void run() {
    stack_.push_back(firstNt_ + g_.productionLeft[0]);
    // A runaway expansion (a grammar fault) must not eat the memory: no correct parse needs
    // more stack than symbols per token times tokens.
    const size_t limit = 64 * (r_.tokens.size() + 16);
    while (!stack_.empty()) {
      if (stack_.size() > limit) {
        session().log.write("ERROR", "The statement grammar does not terminate; parsing stopped.");
        ++r_.errors;
        return;
      }
      if (r_.pos != looked_) {
        const bool next = r_.pos == looked_ + 1;
        looked_ = r_.pos;
        if (putMissingSemicolon(next)) continue;
      }
      int top = stack_.back();
      const Token& tok = r_.tokens[r_.pos];
      if (top < 0) {
        stack_.pop_back();
        performAction(r_, -top);
      } else if (top < firstNt_) {
        if (!matches(r_, top, tok)) {
          if (!recover(top)) return;
          continue;
        }
        stack_.pop_back();
        consume();
        if (top == r_.table->vocabulary.endSymbol()) return;
      } else {
        int p = predict(r_, top - firstNt_, tok);
        if (p < 0) {
          if (!recover(top)) return;
          continue;
        }
        stack_.pop_back();
        expand(p);
      }
    }
  }

 private:
  Run& r_;
  const GrammarDescriptor& g_;
  int firstNt_;
  std::vector<int> stack_;
  size_t looked_ = SIZE_MAX;  // the token last looked at for a ";" left out before it
  Ahead ahead_;               // the parse of the statement run ahead as it stands
  size_t aheadFrom_ = SIZE_MAX;

  // A ";" left out before the next token, a word that starts a statement, RUN or the end: the
  // statement as it stands fails before its end, and would get further had a ";" stood there.
  // The error stands where the ";" belongs and the ";" is put in, so that the next statement
  // is read as itself and blamed for nothing. `next`: the token follows the one looked at
  // last, so that the parse run ahead from there still holds.
  bool putMissingSemicolon(bool next) {
    const size_t k = r_.pos;
    const Token& at = r_.tokens[k];
    if (k == 0 || r_.tokens[k - 1].cls == TokenClass::kEndStatement) return false;
    if (!at.word && at.cls != TokenClass::kEnd && !isStepEnd(at)) return false;
    if (!next || k < aheadFrom_ || k > ahead_.stop) {
      ahead_ = parseAhead(r_, stack_, false, k, SIZE_MAX);
      aheadFrom_ = k;
    }
    // What a statement swallows of the next before it fails is short: farther back the check
    // is not made, so that a long list of words costs no more than a short one.
    constexpr size_t kMostSwallowed = 64;
    if (ahead_.through || ahead_.stop - k > kMostSwallowed ||
        !parseAhead(r_, stack_, true, k, ahead_.stop).through)
      return false;
    Token place;
    const std::string text = missingSemicolon(r_.tokens[k - 1], at, &place);
    reportError(r_, place, text);
    Token semicolon = place;
    semicolon.cls = TokenClass::kEndStatement;
    semicolon.symbol = r_.table->vocabulary.classSymbol(TokenClass::kEndStatement);
    semicolon.word = false;
    semicolon.pub.kind = ParseToken::kSymbol;
    semicolon.pub.text = ";";
    semicolon.pub.written.clear();
    r_.tokens[k] = asStepEnd(r_.table->vocabulary, r_.tokens[k]);
    r_.tokens.insert(k, semicolon);
    r_.current = &r_.tokens[k - 1];
    looked_ = k;
    aheadFrom_ = SIZE_MAX;
    return true;
  }

  void consume() {
    const Token& t = r_.tokens[r_.pos];
    if (r_.trace & 2)
      traceLine(
          fmt::format("SYN: line {} column {}: token {}", t.pub.line, t.pub.column, tokenText(t)));
    r_.current = &t;
    if (r_.pos + 1 < r_.tokens.size()) ++r_.pos;
  }

  void expand(int p) {
    const std::vector<int>& rhs = r_.table->rhs[static_cast<size_t>(p)];
    if (r_.trace & 2) {
      std::string line = fmt::format("SYN: {} ->", g_.nonterminalNames[g_.productionLeft[p]]);
      for (int s : rhs) {
        if (s < 0) continue;
        line += " ";
        line += s >= firstNt_ ? g_.nonterminalNames[static_cast<size_t>(s - firstNt_)]
                              : std::string(g_.word(s));
      }
      traceLine(line);
    }
    for (auto it = rhs.rbegin(); it != rhs.rend(); ++it) stack_.push_back(*it);
  }

  // Reports the token and skips to the end of its statement; the statement ends and the rest
  // of its symbols leave the stack, so that the parse goes on with the next statement (which
  // is checked like any other). False when nothing is left to go on with.
  bool recover(int top) {
    const Token& bad = r_.tokens[r_.pos];
    if (bad.unclosed)
      reportError(r_, bad, neverClosed(bad.pub.text));
    else if (bad.cls == TokenClass::kBad) {
      const std::string advice = nameLiteralAdvice(r_, bad);
      reportError(r_, bad,
                  fmt::format("{} is not a valid token{}{}", tokenText(bad),
                              advice.empty() ? "" : "; ", advice));
    } else
      reportError(r_, bad, syntaxError(r_, top, bad));
    int endStatementSymbol = r_.table->vocabulary.classSymbol(TokenClass::kEndStatement);
    while (r_.tokens[r_.pos].cls != TokenClass::kEnd &&
           r_.tokens[r_.pos].symbol != endStatementSymbol)
      ++r_.pos;
    bool atEnd = r_.tokens[r_.pos].cls == TokenClass::kEnd;
    if (!atEnd) {
      r_.current = &r_.tokens[r_.pos];
      ++r_.pos;
    }
    if (!r_.statement) return !atEnd;  // a statement that never began: skipped
    endStatement(r_);
    while (!stack_.empty()) {
      int s = stack_.back();
      stack_.pop_back();
      if (s < 0 && g_.actionTypes[static_cast<size_t>(-s - 1)] == grammar_action::kEnd) break;
    }
    return !stack_.empty();
  }
};

}  // namespace

size_t TokenList::indexOf(const Token* t) const {
  if (cells_.empty() || t < cells_.data() || t >= cells_.data() + cells_.size()) return size();
  const size_t cell = static_cast<size_t>(t - cells_.data());
  if (cell < gap_) return cell;
  return cell >= gap_ + room_ ? cell - room_ : size();
}

void TokenList::insert(size_t at, Token token) {
  if (room_ == 0) {  // room for as many again as an eighth of the step
    room_ = std::max<size_t>(16, cells_.size() / 8);
    cells_.insert(cells_.begin() + static_cast<std::ptrdiff_t>(gap_), room_, Token());
  }
  for (; gap_ > at; --gap_) cells_[gap_ + room_ - 1] = std::move(cells_[gap_ - 1]);
  for (; gap_ < at; ++gap_) cells_[gap_] = std::move(cells_[gap_ + room_]);
  cells_[gap_++] = std::move(token);
  --room_;
}

Run& currentRun() {
  static Run run;
  return run;
}

std::string placeOf(const Token& at) {
  return fmt::format("Line {}, column {}", at.pub.line, at.pub.column);
}

std::string dataSetName(const Run& r) {
  std::string name;
  if (r.analysis && dataFamily()->attr(r.analysis, dsattr::kName, &name) == 0) return name;
  return "the input data set";
}

void countError(Run& r) {
  ++r.errors;
  if (r.statement) r.statement->hasErrors = 1;
}

void reportError(Run& r, const Token& at, const std::string& text) {
  countError(r);
  const bool ended = !text.empty() && (text.back() == '?' || text.back() == '.');
  session().log.write("ERROR", fmt::format("{}: {}{}", placeOf(at), text, ended ? "" : "."));
}

void parseStep(Run& r, std::string_view text, int firstLine) {
  std::vector<Token> tokens = lex(text, r.table->vocabulary, firstLine);
  session().performanceThreads = performanceThreads(tokens);
  r.tokens = std::move(tokens);
  r.pos = 0;
  r.current = &r.tokens.front();
  Driver(r).run();
  if (r.statement) endStatement(r);
  const Token& end = r.tokens.back();
  if (!end.pub.text.empty() && r.callbacks && r.callbacks->onStepBoundary)
    r.callbacks->onStepBoundary(r.callbacks->context, end.pub);
}

}  // namespace vsf::host::parse
