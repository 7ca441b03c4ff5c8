// Inside the statement phase: the per-step statement context, the parser's callbacks, the
// statement checks, the option readers and the bridge that stands between parser and readers.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "frame/host/msgarg.h"
#include "frame/host/parse.h"
#include "statements/statements.h"

namespace vsf {

struct VsfState;
struct BridgeObject;

// One per step: the DEBUG option's trace switches.
struct StatementContext {
  uint8_t traceSyntax = 0;     // DEBUG contains "SYN"
  uint8_t traceSemantics = 0;  // DEBUG contains "SEM"
};
StatementContext& statementContext();

// Runs the host's parser over the step with the grammar and the callbacks.
int startParser(const GrammarDescriptor* grammar, const ParseCallbacks* callbacks);
// The procedure's parser callbacks; the context is the VsfState.
int onStatementErrors(void* context);
int onStatement(void* context, const StatementRecord* statement);
ParseCallbacks procedureCallbacks(VsfState* state);

// The checks after the parse: 0, or the negative code of the last failing check (every
// failing check has issued its message and raised the step code).
int checkStatements(VsfState* state);

// Readers; each returns 0 or a negative code after raising the step code.
int readProcedureOptions(VsfState* state, const StatementRecord* proc);
void readPlotsOptions(VsfState* state, const StatementRecord* proc);
int readModelOptions(VsfState* state, const StatementRecord* model);
void readClassOptions(VsfState* state, const StatementRecord* proc);
void readPerformanceOptions(VsfState* state);
void readOutputStatement(VsfState* state);
int readPartitionStatement(VsfState* state);
int readScoreStatements(VsfState* state);
int readModelAverageOptions(VsfState* state, const StatementRecord* record);

// Messages of the readers (set 848 unless given): a repair raises the step code to at least
// 4, a refusal to the code given.
void repairMsg(VsfState* state, int number, std::initializer_list<MsgArg> args = {});
void refuseMsg(VsfState* state, int number, int stepCode, std::initializer_list<MsgArg> args = {});

// The bridge: parses the step between the host parser and the procedure's callbacks, keeps
// the statements' texts, and loads the sibling module when the step needs it.
BridgeObject* zbridge(VsfState* state, const GrammarDescriptor* grammar,
                      const ParseCallbacks* procedure);

}  // namespace vsf
