// The statement phase: the step's parse through the bridge with the procedure's callbacks, the
// checks of what was parsed, and every option reader in the order their repairs depend on.
#include <algorithm>
#include <string>

#include "base/codes.h"
#include "base/host.h"
#include "base/strings.h"
#include "effects/effects.h"
#include "frame/bridge.h"
#include "frame/phases.h"
#include "frame/state.h"
#include "grammar/grammar.h"
#include "grammar/slot_reader.h"
#include "statements/statements.h"

namespace vsf {

namespace {

// One per step: the DEBUG option's trace switches.
struct StatementContext {
  uint8_t traceSyntax = 0;     // DEBUG contains "SYN"
  uint8_t traceSemantics = 0;  // DEBUG contains "SEM"
};

StatementContext& statementContext() {
  static StatementContext context;
  return context;
}

void count(uint8_t& c) { c = c == 0 ? 1 : 2; }

}  // namespace

void startStepContext(VsfState*) {
  StatementContext& c = statementContext();
  c = StatementContext();
  std::string debug;
  if (!hostv().proc->optionText("DEBUG", &debug)) return;
  std::string u = upperCopy(debug);
  if (u.find_first_not_of(' ') == std::string::npos) return;
  c.traceSyntax = u.find("SYN") != std::string::npos;
  c.traceSemantics = u.find("SEM") != std::string::npos;
}

int parserTraceFlags() {
  const StatementContext& c = statementContext();
  return (c.traceSemantics ? 1 : 0) | (c.traceSyntax ? 2 : 0);
}

int startParser(const GrammarDescriptor* grammar, const ParseCallbacks* callbacks) {
  return hostv().parse->run(grammar, parserTraceFlags(), callbacks);
}

int onStatementErrors(void* context) {
  auto* s = static_cast<VsfState*>(context);
  if (hostv().parse->errorCount() != 0) {
    s->settings.statementErrors = 1;
    hostv().parse->clearErrorCount();
  }
  return 0;
}

int onStatement(void* context, const StatementRecord* statement) {
  auto* s = static_cast<VsfState*>(context);
  if (hostv().parse->errorCount() != 0 || !statement) return 0;
  const std::string& n = statement->name;
  StatementCounts& c = s->settings.counts;
  if (n == "MODEL") {
    bool first = c.model == 0;
    count(c.model);
    if (first && !s->settings.statementErrors) {
      const StatementRecord* proc = hostv().parse->procedureRecord();
      const OptionSlot* len = proc ? proc->slot(slots::proc::kNameLen) : nullptr;
      zeffbldinit(len && len->given ? static_cast<int>(len->number) : 20, 1);
    }
  } else if (n == "FREQ") {
    count(c.freq);
  } else if (n == "WEIGHT") {
    count(c.weight);
  } else if (n == "OUTPUT") {
    count(c.output);
  } else if (n == "PARTITION") {
    count(c.partition);
  } else if (n == "PERFORMANCE") {
    count(c.performance);
  } else if (n == "MODELAVERAGE") {
    count(c.modelAverage);
  } else if (n == "CLASS") {
    if (c.model) s->settings.classAfterModel = 1;
  }
  return 0;
}

ParseCallbacks procedureCallbacks(VsfState* state) {
  ParseCallbacks cb;
  cb.onStatementErrors = onStatementErrors;
  cb.onStatement = onStatement;
  cb.context = state;
  return cb;
}

int checkStatements(VsfState* s) {
  int rc = 0;
  bool errors = hostv().parse->errorCount() != 0 || s->settings.statementErrors;
  const StatementCounts& c = s->settings.counts;
  if (!c.model) {
    refuseMsg(s->stepCode, 141, step::kStatement);
    rc = rc::kNoModel;
  }
  if (s->settings.classAfterModel) {
    refuseMsg(s->stepCode, 150, step::kStatement);
    rc = rc::kClassAfterModel;
  }
  struct Repeat {
    uint8_t count;
    int message;
  } repeats[] = {{c.model, 207},       {c.partition, 208}, {c.weight, 209},      {c.freq, 210},
                 {c.performance, 211}, {c.output, 212},    {c.modelAverage, 251}};
  for (const Repeat& r : repeats) {
    if (r.count > 1) {
      refuseMsg(s->stepCode, r.message, step::kStatement);
      rc = rc::kStatement;
    }
  }
  // An effect error of the effects library ends the step with its own code (2000, 1012).
  if (int status = hostv().parse->status(); status != 0) {
    raiseStepCode(s->stepCode, status);
    rc = rc::kStatement;
  }
  if (errors) {
    // Syntax errors: every check above has spoken; nothing of the step runs.
    raiseStepCode(s->stepCode, step::kStatement);
    if (s->res.bridge) bridgeClose(s);
    rc = rc::kStatement;
  }
  return rc;
}

int readStatements(VsfState* s) {
  s->res.timers.mark = hostClock();
  const GrammarDescriptor* grammar = buildGrammar();
  if (!grammar) {
    raiseStepCode(s->stepCode, step::kMemory);
    hostEndStep(s->stepCode);
  }
  ParseCallbacks callbacks = procedureCallbacks(s);
  s->res.bridge = zbridge(s, grammar, &callbacks);
  if (int rc = checkStatements(s); rc != 0) return rc;

  ReaderTarget t{s->settings, s->lev, s->res.mainPool, s->stepCode};
  const StatementRecord* proc = hostv().parse->procedureRecord();
  if (int rc = readProcedureOptions(&t, proc); rc != 0) return rc;
  readPlotsOptions(&t, proc);
  if (int rc = readModelOptions(&t, findStatement("MODEL")); rc != 0) return rc;
  if (int rc = readClassOptions(&t, proc); rc != 0) return rc;
  readPerformanceOptions(&t);
  readOutputStatement(&t);
  if (int rc = readPartitionStatement(&t); rc != 0) return rc;
  if (int rc = readScoreStatements(&t); rc != 0) return rc;
  if (const StatementRecord* ma = findStatement("MODELAVERAGE"))
    if (int rc = readModelAverageOptions(&t, ma); rc != 0) return rc;
  return 0;
}

}  // namespace vsf
