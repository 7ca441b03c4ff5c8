// zbridge: stands between the host's parser and the procedure's callbacks while the step is
// parsed, keeps every statement's text, and afterwards loads the sibling module when a STORE
// statement or a statement marked for the bridge asks for it.
#include <cmath>
#include <cstring>
#include <memory>

#include "base/host.h"
#include "base/strings.h"
#include "frame/bridge_internal.h"
#include "frame/phases.h"
#include "frame/state.h"
#include "grammar/slots.h"
#include "statements/statements.h"

namespace vsf {

namespace {

constexpr const char* kModuleName = "zanmodbr";

// The parse's view of the bridge: what it has seen and where it passes calls on.
struct BridgeParseContext {
  uint8_t needed = 0;   // a STORE or ITEMSTORE statement was seen
  uint8_t pending = 0;  // the current statement is kept when it ends, from `first`
  ParseToken first;
  std::string storeStatement;  // the STORE or ITEMSTORE statement's name, as written
  VsfState* state = nullptr;
  StatementCapture* capture = nullptr;
  const ParseCallbacks* procedure = nullptr;
  ParseCallbacks own;
};

BridgeParseContext* fromContext(void* c) { return static_cast<BridgeParseContext*>(c); }

// The statement from the token read last is kept when it ends, where its ";" is known.
void keepFromCurrent(BridgeParseContext* b) {
  if (b->pending) return;
  if (const ParseToken* t = hostv().parse->currentToken()) {
    b->first = *t;
    b->pending = 1;
  }
}

int bridgeOnStatement(void* c, const StatementRecord* statement) {
  BridgeParseContext* b = fromContext(c);
  keepFromCurrent(b);
  if (const ParseToken* t = hostv().parse->currentToken()) {
    std::string u = upperCopy(t->text);
    if (!u.empty() && u.back() == '$') u.pop_back();
    if (u == "ITEMSTORE" || u == "STORE") {
      b->needed = 1;
      b->storeStatement = u;
    }
  }
  const ParseCallbacks* p = b->procedure;
  return p && p->onStatement ? p->onStatement(p->context, statement) : 0;
}

int bridgeOnStatementErrors(void* c) {
  BridgeParseContext* b = fromContext(c);
  const ParseCallbacks* p = b->procedure;
  return p && p->onStatementErrors ? p->onStatementErrors(p->context) : 0;
}

int bridgeOnStatementEnd(void* c, const StatementRecord* statement) {
  BridgeParseContext* b = fromContext(c);
  if (b->pending) captureStatementTokens(b->capture, b->first);
  b->pending = 0;
  const ParseCallbacks* p = b->procedure;
  return p && p->onStatementEnd ? p->onStatementEnd(p->context, statement) : 0;
}

// A capture action (CODE): the statement's text is kept here when it was not yet.
int bridgeOnCapture(void* c) {
  keepFromCurrent(fromContext(c));
  return 0;
}

// RUN and QUIT are kept as statements of their own.
int bridgeOnStepBoundary(void* c, const ParseToken& token) {
  BridgeParseContext* b = fromContext(c);
  b->capture->text = token.written;
  if (token.written != ";") b->capture->text += ';';
  storeCapturedStatement(b->capture);
  b->capture->text.clear();
  const ParseCallbacks* p = b->procedure;
  return p && p->onStepBoundary ? p->onStepBoundary(p->context, token) : 0;
}

// A post-fit statement that the sibling module serves: its name, and the bridge code in its
// slot 1.
bool markedForBridge(const StatementRecord* r) {
  static const char* const kNames[] = {"TEST",     "LSMEAN",      "LSMEANS", "SHOW",       "SCORE",
                                       "ESTIMATE", "LSMESTIMATE", "SLICE",   "EFFECTPLOT", "CODE"};
  bool named = false;
  for (const char* n : kNames)
    if (r->name.compare(0, std::strlen(n), n) == 0) named = true;
  const OptionSlot* s = r->slot(1);
  if (!named || !s || !s->given || !std::isfinite(s->number)) return false;
  return static_cast<int>(std::trunc(s->number)) == kBridgeStatementCode;
}

BridgeObject* loadModule() {
  auto* object = new BridgeObject();
  void* handle = nullptr;
  BridgeInitialiser init = nullptr;
  if (bridgeModuleLoad(kModuleName, &handle) != 0 || !handle) {
    hostLogPrintf("Failed to load {} bridge.", kModuleName);
    return object;
  }
  object->module = handle;
  if (bridgeModuleInterface(handle, &init) != 0) {
    hostLogPrintf("Failed to load {} bridge.", kModuleName);
    return object;
  }
  void* out = nullptr;
  if (init && init(object, &out) != 0) hostLogPrintf("Failed to load {} bridge.", kModuleName);
  return object;
}

}  // namespace

BridgeObject* zbridge(VsfState* state, const GrammarDescriptor* grammar,
                      const ParseCallbacks* procedure) {
  // The capture goes with this routine, also when the step ends inside the parse.
  std::unique_ptr<StatementCapture, void (*)(StatementCapture*)> capture(openStatementCapture(),
                                                                         closeStatementCapture);
  BridgeParseContext b;
  b.state = state;
  b.procedure = procedure;
  b.capture = capture.get();
  b.own.onStatement = bridgeOnStatement;
  b.own.onStatementErrors = bridgeOnStatementErrors;
  b.own.onStatementEnd = bridgeOnStatementEnd;
  b.own.onCapture = bridgeOnCapture;
  b.own.onStepBoundary = bridgeOnStepBoundary;
  b.own.context = &b;

  // The parser refuses only a grammar without productions: no statement could be read.
  if (startParser(grammar, &b.own) != 0) {
    raiseStepCode(state->stepCode, step::kInternal);
    hostEndStep(state->stepCode);
  }
  bool needed = b.needed;
  if (hostv().parse->errorCount() == 0 && !needed) {
    for (const StatementRecord* r = hostv().parse->firstStatement(); r && !needed; r = r->next)
      needed = markedForBridge(r);
  }
  if (hostv().parse->errorCount() != 0 || !needed) return nullptr;

  BridgeObject* object = loadModule();
  if (b.needed) {
    object->capture = capture.get();
    const BridgeMethodTable* m = object->methods;
    if (!m || !m->start || m->start(object, -1, 0) != 0) {
      if (m && m->close) m->close(object, 0);
      delete object;
      capture.reset();
      hostMsg(848, 4971, {std::string_view(b.storeStatement), kModuleName});
      raiseStepCode(state->stepCode, step::kInternal);
      hostEndStep(state->stepCode);
    }
  } else if (!object->methods) {
    // Only CODE asked for the module: the step goes on, and says what it did not write.
    hostMsg(848, 4970, {kModuleName});
    raiseStepCode(state->stepCode, step::kWarning);
  }
  object->capture = nullptr;
  return object;
}

void bridgeGroupHook(VsfState* state) {
  BridgeObject* b = state->res.bridge;
  if (b && b->methods && b->methods->groupHook) b->methods->groupHook(b);
}

void bridgeClose(VsfState* state) {
  BridgeObject* b = state->res.bridge;
  if (!b) return;
  if (b->methods && b->methods->close) b->methods->close(b, 0);
  delete b;
  state->res.bridge = nullptr;
}

}  // namespace vsf
