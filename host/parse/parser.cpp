// The predictive parser: runs any grammar's LL(1) table over the tokens of a step, calls the
// semantic actions as they come off the stack, reports syntax errors with their place and
// recovers at the next ';' so that every statement of the step is checked.
#include "host/parse/parser.h"

#include <fmt/format.h>

#include <cctype>

#include "host/session.h"
#include "host/spelling.h"

namespace vsf::host::parse {

namespace {

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

std::string tokenText(const Token& t) {
  if (t.cls == TokenClass::kEnd) return t.pub.text.empty() ? "the end of the step" : t.pub.text;
  if (t.cls == TokenClass::kQuoted) return fmt::format("'{}'", t.pub.text);
  return fmt::format("\"{}\"", t.pub.text);
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

// A hint for a word that was not expected: the expected keyword it most likely misspells, or,
// for a path after "=", that a path goes in quotes.
std::string hint(const Run& r, const Token& bad, const std::vector<int>& symbols) {
  const GrammarDescriptor& g = *r.grammar;
  if (bad.cls == TokenClass::kName || bad.word) {
    std::vector<std::string> words;
    for (int s : symbols) {
      std::string_view w = g.word(s);
      if (s > g.tokenClassCount && s != r.table->vocabulary.endSymbol() &&
          std::isalpha(static_cast<unsigned char>(w.front())))
        words.emplace_back(w);
    }
    std::string near = nearestWord(bad.pub.text, words);
    return near.empty() ? "" : fmt::format("; did you mean \"{}\"?", near);
  }
  if (r.current && r.current->pub.text == "=" && (bad.pub.text == "/" || bad.pub.text == "."))
    return "; a file path must be written in quotes";
  return "";
}

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
    if (bad.cls == TokenClass::kBad)
      reportError(r_, bad, fmt::format("{} is not a valid token", tokenText(bad)));
    else {
      const std::vector<int> symbols = expectedSymbols(r_, top);
      reportError(r_, bad,
                  fmt::format("syntax error: {} was not expected{}{}", tokenText(bad),
                              expected(r_, symbols), hint(r_, bad, symbols)));
    }
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

void reportError(Run& r, const Token& at, const std::string& text) {
  ++r.errors;
  if (r.statement) r.statement->hasErrors = 1;
  const bool ended = !text.empty() && (text.back() == '?' || text.back() == '.');
  session().log.write("ERROR", fmt::format("{}: {}{}", placeOf(at), text, ended ? "" : "."));
}

void parseStep(Run& r, std::string_view text, int firstLine) {
  r.tokens = lex(text, r.table->vocabulary, firstLine);
  r.pos = 0;
  r.current = &r.tokens.front();
  Driver(r).run();
  if (r.statement) endStatement(r);
  const Token& end = r.tokens.back();
  if (!end.pub.text.empty() && r.callbacks && r.callbacks->onStepBoundary)
    r.callbacks->onStepBoundary(r.callbacks->context, end.pub);
}

}  // namespace vsf::host::parse
