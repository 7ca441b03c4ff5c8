// Inside the host's generic statement parser: the lexer, the LL(1) table built from a
// grammar's productions, and the parser that runs them. Nothing here knows any procedure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frame/host/dataset.h"
#include "frame/host/parse.h"

namespace vsf::host::parse {

// Token classes the lexer produces, by their names in a grammar's keyword list.
enum class TokenClass : uint8_t {
  kEnd,
  kEndStatement,
  kName,
  kQuoted,
  kInteger,
  kNumber,
  kCompound,
  kFormat,
  kDate,
  kTime,
  kDateTime,
  kMissing,
  kNameLiteral,
  kSymbol,
  kBad
};

struct Token {
  ParseToken pub;
  TokenClass cls = TokenClass::kEnd;
  int symbol = 0;     // grammar symbol, 0 when the grammar has none for it
  bool word = false;  // a keyword spelled as a name: it may stand for a name
  // A comment or quoted string the text never closes (a bad token whose text is its opener).
  bool unclosed = false;
};

// The words of a grammar, for the lexer: keyword lookup and the token-class symbols.
class Vocabulary {
 public:
  explicit Vocabulary(const GrammarDescriptor& g);
  // Symbol of a keyword written as `upper` (upper case), 0 when there is none. A keyword
  // ending in "$" also matches its word without the "$".
  int keyword(std::string_view upper) const;
  int classSymbol(TokenClass c) const { return classSymbols_[static_cast<int>(c)]; }
  int endSymbol() const { return end_; }

 private:
  std::vector<std::pair<std::string, int>> words_;  // sorted by text
  int classSymbols_[16] = {};
  int end_ = 0;
};

// Splits the text of a step into tokens; the last token is the end (kEnd). A leading PROC is
// dropped; RUN or QUIT at the start of a statement ends the step (the end token carries it).
// Comments /* */ and statement comments (* ... ;) are skipped; a comment or string that never
// closes is a bad token where it opens, and the text ends there.
std::vector<Token> lex(std::string_view text, const Vocabulary& words, int firstLine);

// The threads the step's PERFORMANCE statement allows the host's own work of the step, as the
// procedure will read it; 0 where it says nothing of threads.
int performanceThreads(const std::vector<Token>& tokens);

// The characters of a UTF-8 text (its bytes less those that go on a character), as columns count.
int characters(std::string_view text);
// The column just past the token as written.
int columnAfter(const Token& t);

// The LL(1) parse table of a grammar. A cell holds the production to expand, or -1.
struct LLTable {
  int terminals = 0;  // symbols 1 .. terminals
  int nonterminals = 0;
  std::vector<int16_t> cells;  // nonterminal * (terminals + 1) + terminal
  std::vector<uint8_t> nullable;
  std::vector<std::vector<int>> rhs;   // each production's symbols, left to right
  std::vector<std::string> conflicts;  // cells two productions claimed (the first one kept)
  Vocabulary vocabulary;
  std::vector<int16_t> source;  // the productions the table was built from
  std::vector<uint16_t> sourceLeft;

  explicit LLTable(const GrammarDescriptor& g);
  int predict(int nonterminal, int terminal) const {
    return cells[static_cast<size_t>(nonterminal) * (terminals + 1) + terminal];
  }
};

// The table of a grammar, built once per descriptor.
const LLTable& tableFor(const GrammarDescriptor* g);

// The data-set services the parser opens data sets and resolves variables with (the host's
// own; tests may put stand-ins here).
const HostDsFamily*& dataFamily();

// Number of the automatic output data set names handed out (DATA1, DATA2, ...).
int& automaticOutputCount();

}  // namespace vsf::host::parse
