// The statement phase's frame: the per-step context with the DEBUG option, the parser's
// callbacks, the statement checks, and the access to parsed records and name lists.
#include <algorithm>
#include <string>

#include "base/host.h"
#include "base/strings.h"
#include "effects/effects.h"
#include "frame/phases.h"
#include "frame/state.h"
#include "statements/statements_internal.h"

namespace vsf {

StatementContext& statementContext() {
  static StatementContext context;
  return context;
}

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

int startParser(const GrammarDescriptor* grammar, const ParseCallbacks* callbacks) {
  const StatementContext& c = statementContext();
  int trace = (c.traceSemantics ? 1 : 0) | (c.traceSyntax ? 2 : 0);
  return hostv().parse->run(grammar, trace, callbacks);
}

int onStatementErrors(void* context) {
  auto* s = static_cast<VsfState*>(context);
  if (hostv().parse->errorCount() != 0) {
    s->settings.statementErrors = 1;
    hostv().parse->clearErrorCount();
  }
  return 0;
}

namespace {

void count(uint8_t& c) { c = c == 0 ? 1 : 2; }

}  // namespace

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
    refuseMsg(s, 141, step::kStatement);
    rc = rc::kNoModel;
  }
  if (s->settings.classAfterModel) {
    refuseMsg(s, 150, step::kStatement);
    rc = rc::kClassAfterModel;
  }
  struct Repeat {
    uint8_t count;
    int message;
  } repeats[] = {{c.model, 207},       {c.partition, 208}, {c.weight, 209},      {c.freq, 210},
                 {c.performance, 211}, {c.output, 212},    {c.modelAverage, 251}};
  for (const Repeat& r : repeats) {
    if (r.count > 1) {
      refuseMsg(s, r.message, step::kStatement);
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

int zlstget(const NameChunkList* list, int i, std::string_view* name) {
  int first = 0;
  while (list && i > list->lastIndex) {
    first = list->lastIndex + 1;
    list = list->next;
  }
  if (!list || i < first) return 1;
  size_t k = static_cast<size_t>(i - first);
  if (k >= list->names.size()) return 1;
  *name = list->names[k];
  return 0;
}

const StatementRecord* findStatement(std::string_view name) {
  std::string_view want = trimRight(name.substr(0, std::min<size_t>(name.size(), 32)));
  for (const StatementRecord* r = hostv().parse->firstStatement(); r; r = r->next) {
    std::string_view have(r->name);
    have = trimRight(have.substr(0, std::min<size_t>(have.size(), 32)));
    if (have == want) return r;
  }
  return nullptr;
}

void repairMsg(VsfState* state, int number, std::initializer_list<MsgArg> args) {
  hostMsg(848, number, args);
  raiseStepCode(state->stepCode, step::kWarning);
}

void refuseMsg(VsfState* state, int number, int stepCode, std::initializer_list<MsgArg> args) {
  hostMsg(848, number, args);
  raiseStepCode(state->stepCode, stepCode);
}

}  // namespace vsf
