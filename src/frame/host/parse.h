// The host's statement parser: the procedure hands it a grammar as data and receives one
// record per parsed statement.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vsf {

struct HostDataSet;
struct GrammarDescriptor;  // the procedure's grammar (frame/grammar.h)

// A chained list of names built by the parser.
struct NameChunkList {
  NameChunkList* next = nullptr;
  int lastIndex = -1;               // index of the last name held, names counted from 0
  std::vector<std::string> names;
};

// One option slot of a statement record.
struct OptionSlot {
  uint8_t given = 0;
  double number = 0.0;              // numbers and enumeration codes
  int32_t count = 0;                // length of a name list
  HostDataSet* dataSet = nullptr;   // data set named in the slot
  std::string text;                 // quoted string or name
  NameChunkList* names = nullptr;   // list of names
  std::vector<int> vars;            // variable numbers of a variable list, in list order
  std::vector<double> numbers;      // list of numbers
  std::vector<void*> refs;          // effect records referenced by a MODEL effect list
};

// One parsed statement.
struct StatementRecord {
  StatementRecord* next = nullptr;
  std::string name;                 // statement keyword, upper case
  int line = 0;                     // where it starts in the program file
  std::vector<uint8_t> flagBytes;
  std::vector<OptionSlot> slots;

  bool flag(int n) const {
    size_t byte = static_cast<size_t>(n) / 8;
    return byte < flagBytes.size() && (flagBytes[byte] & (0x80 >> (n % 8))) != 0;
  }
  void setFlag(int n) {
    size_t byte = static_cast<size_t>(n) / 8;
    if (flagBytes.size() <= byte) flagBytes.resize(byte + 1, 0);
    flagBytes[byte] |= static_cast<uint8_t>(0x80 >> (n % 8));
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
};

// The effects callback: the parser calls it for every semantic action on an effect
// production with the action's code and argument and the current token.
using EffectsCallback = void (*)(int code, int argument, const ParseToken& token);

// Callbacks the parser makes into the procedure.
struct ParseCallbacks {
  int (*onStatementErrors)(void* context) = nullptr;
  int (*onStatement)(void* context, const StatementRecord* statement) = nullptr;
  void* context = nullptr;
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
  const ParseToken* (*peekToken)(int ahead);
  void (*skipToken)();
  // The statement being parsed (MODEL while its effect list is read).
  StatementRecord* (*currentStatement)();
  // The step's parse status: 0, or the step code (2000, 1012) an effect error set.
  int (*status)();
  void (*setStatus)(int status);
};

}  // namespace vsf
