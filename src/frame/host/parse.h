// The host's statement parser: the procedure hands it a grammar as data and receives one
// record per parsed statement.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vsf {

struct HostDataSet;

// The procedure's grammar as data (built by the procedure's buildGrammar, run by the host's
// generic parser). All tables hold 16-bit elements.
//
// Symbols: 1 to keywordCount are the words of the keyword list (symbol k is word k-1); the
// first tokenClassCount words are the token classes (ENDJB the ';' that ends a statement, NAMEX
// a name, QS a quoted string, INT, NBR, COMPOUND a dotted name, ..., MISSING "." or ".A",
// VLITERAL a name literal 'x'n); the other words are the keywords in ascending byte order, and
// the last word is the end marker "$$$". Symbols from firstNonterminal on are nonterminals
// (nonterminal i is symbol firstNonterminal + i). A negative symbol -a is semantic action a.
// Production 0 is the start production. A keyword ending in "$" also matches its word
// written without the "$"; a keyword stands for a name wherever the grammar has no use for
// the keyword itself.
struct GrammarDescriptor {
  uint16_t version = 1;
  uint16_t firstNonterminal = 0;
  uint16_t keywordCount = 0;
  uint16_t tokenClassCount = 0;
  // For each production: its length n, then its n symbols stored right to left.
  std::vector<int16_t> productions;
  std::vector<uint16_t> productionStarts;  // index into productions of each production
  std::vector<uint16_t> productionLeft;    // nonterminal of each production, from 0
  // Semantic actions: the type of action a at position a-1; the index into actionArgs of its
  // arguments (0xFFFF when it has none); actionArgs holds per action a count, then the
  // signed arguments.
  std::vector<uint8_t> actionTypes;
  std::vector<uint16_t> actionArgStarts;
  std::vector<int16_t> actionArgs;
  // The words: each a length byte and its characters; offset of each word.
  std::vector<uint8_t> keywordList;
  std::vector<uint16_t> keywordOffsets;
  // Nonterminal names, for traces and error texts.
  std::vector<std::string> nonterminalNames;
  // Advice for a word that a parenthesized list does not take: the word (upper case), the
  // keyword before the "(" (upper case, without "$") and what to write instead.
  struct Hint {
    std::string word, opener, text;
  };
  std::vector<Hint> hints;
  // What a name list of a statement stands for, for error texts: the statement's keyword, the
  // list's slot and its words ("the response").
  struct ListRole {
    std::string statement;
    int slot = 0;
    std::string text;
  };
  std::vector<ListRole> listRoles;
  // The words a statement of the step begins with, and RUN and QUIT (upper case): one read as
  // a name of a list says that the statement before it lacks its ";".
  std::vector<std::string> statementWords;

  int productionCount() const { return static_cast<int>(productionStarts.size()); }
  int nonterminalCount() const { return static_cast<int>(nonterminalNames.size()); }
  std::string_view word(int symbol) const {
    size_t o = keywordOffsets[static_cast<size_t>(symbol - 1)];
    return {reinterpret_cast<const char*>(&keywordList[o + 1]), keywordList[o]};
  }
};

// Semantic action types of a grammar (the host's statement-record building). Arguments as
// listed; "the token" is the token read last, "the next" the one not yet read.
namespace grammar_action {
constexpr int kProcedure = 1;        // n: start of the procedure statement, its record of n slots
constexpr int kIntoProcedure = 2;    // name: a statement that writes into the procedure record
constexpr int kBegin = 3;            // n, name: a new statement record of n slots
constexpr int kEnd = 4;              // end of the statement
constexpr int kFlag = 5;             // n: set flag n
constexpr int kNumber = 6;           // s (, 1): the token's number into slot s (1: appended)
constexpr int kString = 7;           // s, 5 quoted string | 1 text | 6 text appended per variable
constexpr int kNames = 8;            // s, k: start a list of names in slot s (kind k, below)
constexpr int kName = 9;             // the token is a name of the list item
constexpr int kForm = 10;            // f: the list item is complete, its form f (below)
constexpr int kDataSetName = 13;     // 1 the token names a data set, 2 READ=, 3 PROTECT=
constexpr int kEffect = 16;          // code, argument: handed to the effects callback
constexpr int kDataSet = 17;         // s, direction: open the data set named into slot s
constexpr int kDefaultDataSet = 18;  // s, direction: the default data set when s is not given
constexpr int kNumberRange = 19;     // 1 the token ends a TO range, 2 is its BY step, 3 expand
constexpr int kBound = 20;           // lo (, hi): the token's number must lie in [lo, hi]
constexpr int kAppend = 22;          // (v): append v (or the token's number) to the option target
constexpr int kCapture = 23;         // capture the statement's text for the bridge
constexpr int kBy = 29;              // 1 begin, 2 DESCENDING, 3 NOTSORTED
constexpr int kTarget = 31;          // s, i: option target: values into slot s, variables into i
constexpr int kEnum = 33;            // s, v: slot s := v
constexpr int kStoreName = 35;       // s, 1: the token is an item-store name for slot s
constexpr int kSetFlag = 38;         // n, v: flag n := v
}  // namespace grammar_action

// Kinds of name lists (kNames) and forms of list items (kForm).
namespace name_kind {
constexpr int kNumeric = 1;    // numeric variables of the DATA= data set
constexpr int kAny = 3;        // any variables of the DATA= data set
constexpr int kNumbers = 4;    // a list of numbers
constexpr int kItemStore = 6;  // an item-store name
constexpr int kNewName = 9;    // names that are not variables
}  // namespace name_kind

// A chained list of names built by the parser.
struct NameChunkList {
  NameChunkList* next = nullptr;
  int lastIndex = -1;  // index of the last name held, names counted from 0
  std::vector<std::string> names;
};

// One option slot of a statement record.
struct OptionSlot {
  uint8_t given = 0;
  double number = 0.0;             // numbers and enumeration codes
  int32_t count = 0;               // length of a name list
  HostDataSet* dataSet = nullptr;  // data set named in the slot
  std::string text;                // quoted string or name
  NameChunkList* names = nullptr;  // list of names
  std::vector<int> vars;           // variable numbers of a variable list, in list order
  std::vector<double> numbers;     // list of numbers
  std::vector<void*> refs;         // effect records referenced by a MODEL effect list
  // Line and column of each quoted text the slot keeps, where it is written.
  std::vector<std::pair<int, int>> places;
};

// One parsed statement.
struct StatementRecord {
  StatementRecord* next = nullptr;
  std::string name;  // statement keyword, upper case
  int line = 0;      // where it starts in the program file
  std::vector<uint8_t> flagBytes;
  std::vector<OptionSlot> slots;
  int column = 0;
  // BY, CLASS, FREQ and WEIGHT: the record only names the statement; its options went into
  // the procedure statement's record.
  uint8_t intoProcedure = 0;
  uint8_t hasErrors = 0;  // the parser reported an error inside the statement

  bool flag(int n) const {
    size_t byte = static_cast<size_t>(n) / 8;
    return byte < flagBytes.size() && (flagBytes[byte] & (0x80 >> (n % 8))) != 0;
  }
  void setFlag(int n) {
    size_t byte = static_cast<size_t>(n) / 8;
    if (flagBytes.size() <= byte) flagBytes.resize(byte + 1, 0);
    flagBytes[byte] |= static_cast<uint8_t>(0x80 >> (n % 8));
  }
  void clearFlag(int n) {
    size_t byte = static_cast<size_t>(n) / 8;
    if (byte < flagBytes.size()) flagBytes[byte] &= static_cast<uint8_t>(~(0x80 >> (n % 8)));
  }
  const OptionSlot* slot(int s) const {
    return s >= 0 && static_cast<size_t>(s) < slots.size() ? &slots[s] : nullptr;
  }
};

// A token of the step as the lexer returns it.
struct ParseToken {
  enum Kind : uint8_t { kEnd, kName, kQuoted, kInteger, kNumber, kSymbol, kNameLiteral };
  Kind kind = kEnd;
  std::string text;     // as written (quoted strings without their quotes)
  double number = 0.0;  // kInteger and kNumber
  int line = 0, column = 0;
  std::string written;  // the token exactly as written in the program
};

// The effects callback: the parser calls it for every semantic action on an effect
// production with the action's code and argument and the current token.
using EffectsCallback = void (*)(int code, int argument, const ParseToken& token);

// Callbacks the parser makes into the procedure. onStatement runs when a statement begins
// (its record exists, its options are not read yet), onStatementEnd and then
// onStatementErrors when it ends, onCapture for a capture action, onStepBoundary when RUN or
// QUIT ends the step.
struct ParseCallbacks {
  int (*onStatementErrors)(void* context) = nullptr;
  int (*onStatement)(void* context, const StatementRecord* statement) = nullptr;
  void* context = nullptr;
  int (*onStatementEnd)(void* context, const StatementRecord* statement) = nullptr;
  int (*onCapture)(void* context) = nullptr;
  int (*onStepBoundary)(void* context, const ParseToken& token) = nullptr;
};

struct HostParseFamily {
  // Runs the parser over the current step with the grammar; 0 or a host status.
  int (*run)(const GrammarDescriptor* grammar, int traceFlags, const ParseCallbacks* callbacks);
  // The procedure statement's record, then the other statements in order.
  StatementRecord* (*procedureRecord)();
  StatementRecord* (*firstStatement)();
  // Parse errors counted by the host (cleared by the procedure's boundary callback).
  int (*errorCount)();
  void (*clearErrorCount)();

  // Effect terms of MODEL and EFFECT statements go to this callback while the step is parsed.
  void (*setEffectsCallback)(EffectsCallback callback);
  // Look-ahead for the effects callback: the next token without consuming it, and skipping it.
  // A negative `ahead` looks back (-1: the token before the next one); null before the first.
  // A ";" the parser put in where one was left out has no written text.
  const ParseToken* (*peekToken)(int ahead);
  void (*skipToken)();
  // The statement being parsed (MODEL while its effect list is read).
  StatementRecord* (*currentStatement)();
  // The step's parse status: 0, or the step code (step::kEffect, step::kInternal) an effect error
  // set.
  int (*status)();
  void (*setStatus)(int status);

  // The token read last (the statement keyword when onStatement runs).
  const ParseToken* (*currentToken)();
  // Appends a name (and its variable number, -1 for none) to the name list of a record's
  // option slot, as the parser builds lists: 0, or -1 when the record has no such slot.
  int (*appendListName)(StatementRecord* record, int slot, std::string_view name, int number);
  // After the parse: errors and warnings issued until the next call carry this statement's
  // line and column, as those of the parse carry their token's; null for none.
  void (*placeAt)(const StatementRecord* record);
};

}  // namespace vsf
