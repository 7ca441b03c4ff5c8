// The run of the generic parser over one step: token stream, parse stack, the statement
// records it builds and the semantic actions that build them.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "host/parse/parse_internal.h"

namespace vsf::host::parse {

// The tokens of a step, in order, with room kept where the parser puts in a ";" left out: it
// puts them in as it reads on, so the room travels with it and each costs what the tokens read
// since the last one cost, not the rest of the step. An insertion moves the tokens between the
// room and its place: a pointer to one of those must be taken again.
class TokenList {
 public:
  TokenList& operator=(std::vector<Token> tokens) {
    cells_ = std::move(tokens);
    gap_ = cells_.size();
    room_ = 0;
    return *this;
  }
  size_t size() const { return cells_.size() - room_; }
  bool empty() const { return size() == 0; }
  Token& operator[](size_t k) { return cells_[k < gap_ ? k : k + room_]; }
  const Token& operator[](size_t k) const { return cells_[k < gap_ ? k : k + room_]; }
  Token& front() { return (*this)[0]; }
  Token& back() { return (*this)[size() - 1]; }
  // Where a token is, from its address; size() when it is none of the list's.
  size_t indexOf(const Token* t) const;
  void insert(size_t at, Token token);

 private:
  std::vector<Token> cells_;
  size_t gap_ = 0, room_ = 0;  // cells [gap_, gap_ + room_) hold no token
};

struct Run {
  const GrammarDescriptor* grammar = nullptr;
  const LLTable* table = nullptr;
  const ParseCallbacks* callbacks = nullptr;
  int trace = 0;  // 1 semantic actions, 2 syntax

  TokenList tokens;
  size_t pos = 0;                  // the next token not read
  const Token* current = nullptr;  // the token read last

  // Records, owned until the next run.
  std::deque<StatementRecord> records;
  std::deque<NameChunkList> chunks;
  StatementRecord* procedure = nullptr;
  StatementRecord* first = nullptr;
  StatementRecord* last = nullptr;
  StatementRecord* statement = nullptr;  // the statement being parsed
  StatementRecord* target = nullptr;     // the record its options go into

  int errors = 0;
  int status = 0;
  EffectsCallback effects = nullptr;

  // Name list being built.
  int listSlot = -1;
  int listKind = 0;
  std::vector<std::string> pendingNames;
  int itemBegin = 0, itemEnd = 0;  // list positions of the last complete item
  // Option target of per-variable values.
  int targetValue = -1, targetIndex = -1;
  bool inBy = false, byDescending = false;
  // Number range a TO b BY c.
  double rangeEnd = 0, rangeStep = 1;
  // Data sets.
  std::string dataSetName;
  HostDataSet* analysis = nullptr;  // the procedure statement's default input data set
};

Run& currentRun();

// Parses the step text with the grammar; the records stay in the run until the next one.
void parseStep(Run& run, std::string_view text, int firstLine);

// Semantic action a (from 1) of the grammar on the run.
void performAction(Run& run, int action);
// The current statement ends (also after an error); the end callbacks run.
void endStatement(Run& run);
// Appends a name to a slot's chunked name list.
void appendName(Run& run, OptionSlot* slot, const std::string& name);
// Errors found while parsing: counted, written to the log at the token's place.
void reportError(Run& run, const Token& at, const std::string& text);
// Counts an error another service has already said, so that the statement is in error.
void countError(Run& run);
// A token as an error quotes it.
std::string tokenText(const Token& t);
// The text of a syntax error at `bad` with `top` on the parse stack.
std::string syntaxError(const Run& run, int top, const Token& bad);
// Where the token is part of a name written bare with characters outside ASCII ("größe"): the
// advice to write it as a name literal, else "".
std::string nameLiteralAdvice(const Run& run, const Token& at);
// The error of a ";" left out between two tokens, and in *place the place where it belongs.
std::string missingSemicolon(const Token& before, const Token& next, Token* place);
// The option the value at token `at` is given to, as a program writes it ("DEGREE=",
// "CVMETHOD=RANDOM(n)"); "the option" when the tokens before it do not say.
std::string optionOf(const Run& run, size_t at);
// The text of the quoted string that opens at text[begin] (' or "), each doubled quote standing
// for one, as the lexer reads it; *end is past its closing quote. False when none closes it
// (*end is then the text's size).
bool quotedText(std::string_view text, size_t begin, std::string* value, size_t* end);
// The error of a comment ("/*") or quoted string (its quote) that the text never closes.
std::string neverClosed(std::string_view opener);
// "Line L, column C" of a token.
std::string placeOf(const Token& at);
// The name of the data set whose variables the statements name ("the input data set" before
// there is one).
std::string dataSetName(const Run& run);

}  // namespace vsf::host::parse
