// The effects library: the parser calls zeffbld for every semantic action on an effect
// production of the MODEL statement, and the library builds the chain of distinct effects.
#include <cstdlib>
#include <deque>
#include <new>

#include "base/host.h"
#include "base/strings.h"
#include "effects/effinfo_internal.h"
#include "effects/efflib_internal.h"
#include "grammar/slots.h"

namespace vsf {

namespace {

// What the effects subsystem keeps for one step. The step is recognised by the procedure
// statement's record, so that a library left over from an earlier step is never used.
struct EffectsStep {
  StatementRecord* procedure = nullptr;
  HostPool* pool = nullptr;
  ZEffLib* lib = nullptr;
  std::deque<VarDescriptor> descriptors;  // of the design's variables
};
EffectsStep gStep;

void releaseLibrary() {
  if (!gStep.lib) return;
  resetFastSearch(gStep.lib, false);
  delete gStep.lib;
  gStep.lib = nullptr;
}

void releaseStep() {
  releaseLibrary();
  if (gStep.pool) kernel().poolDestroy(gStep.pool);
  gStep = EffectsStep();
}

// Drops whatever an earlier step left.
void enterStep() {
  StatementRecord* proc = hostv().parse->procedureRecord();
  if ((gStep.pool || gStep.lib) && gStep.procedure != proc) releaseStep();
  gStep.procedure = proc;
}

void zeffbld(int code, int argument, const ParseToken& token);

}  // namespace

HostPool* effectsPool() {
  enterStep();
  if (!gStep.pool) gStep.pool = kernel().poolCreate("VARSIFTER EFFECTS POOL", kPoolPlain);
  if (!gStep.pool) {
    hostMsg(848, 142);
    hostEndStep(step::kMemory);
  }
  return gStep.pool;
}

void* effAlloc(size_t bytes) {
  void* p = kernel().poolAlloc(effectsPool(), bytes == 0 ? 1 : bytes, kAllocZero);
  if (!p) {
    hostMsg(848, 140);
    hostEndStep(step::kInternal);
  }
  return p;
}

void effFree(void* block) {
  if (block && gStep.pool) kernel().poolFree(gStep.pool, block);
}

VarDescriptor* effDescriptor(HostDataSet* ds, int number) {
  effectsPool();
  VarDescriptor d;
  if (!ds || hostv().ds->varByNumber(ds, number, &d) != 0) return nullptr;
  d.number = number;
  gStep.descriptors.push_back(std::move(d));
  return &gStep.descriptors.back();
}

char* effStrdup(std::string_view text) {
  char* p = static_cast<char*>(effAlloc(text.size() + 1));
  text.copy(p, text.size());
  p[text.size()] = '\0';
  return p;
}

ZEffLib* effLib() {
  if (!gStep.lib || gStep.procedure != hostv().parse->procedureRecord()) return nullptr;
  return gStep.lib;
}

void effFail(int status) {
  if (hostv().parse->status() == 0) hostv().parse->setStatus(status);
}

bool effFailed() { return hostv().parse->status() != 0; }

StatementRecord* procRecord() { return hostv().parse->procedureRecord(); }

namespace {

OptionSlot& procSlot(int s) {
  StatementRecord* p = procRecord();
  if (p->slots.size() <= static_cast<size_t>(s)) p->slots.resize(static_cast<size_t>(s) + 1);
  return p->slots[static_cast<size_t>(s)];
}

}  // namespace

HostDataSet* analysisDataSet() {
  StatementRecord* p = procRecord();
  const OptionSlot* s = p ? p->slot(11) : nullptr;
  return s ? s->dataSet : nullptr;
}

std::vector<int>& modelVarList() { return procSlot(1).vars; }
std::vector<int>& classVarList() { return procSlot(2).vars; }

std::string_view effectStatementName(const StatementRecord* s) {
  const OptionSlot* n = s ? s->slot(slots::effect::kName) : nullptr;
  if (!n || !n->names || n->names->names.empty()) return {};
  return trimRight(n->names->names.front());
}

const char* effectNameText(int32_t id) {
  ZEffLib* lib = effLib();
  int64_t i = static_cast<int64_t>(kConstructedIdBase) - id;
  if (!lib || i < 0 || i >= lib->effectNameCount) return nullptr;
  return lib->effectNames[i];
}

void zeffbldinit(int nameLengthLimit, int mode) {
  effectsPool();
  releaseLibrary();  // a second MODEL statement starts over; its records stay in the pool
  ZEffLib* lib = new ZEffLib();
  lib->nameLimit = nameLengthLimit > 0 ? nameLengthLimit : 20;
  lib->mode = mode;
  std::string debug;
  if (hostv().proc->optionText("DEBUG", &debug)) {
    zwcsupper(debug);
    lib->trace = debug.find("SEM") != std::string::npos;
  }
  gStep.lib = lib;
  zeffbldhook();
}

int zeffbldhook() {
  hostv().parse->setEffectsCallback(&zeffbld);
  return 0;
}

void zeffbldfree() { releaseStep(); }

namespace {

// Names declared by EFFECT statements before the first MODEL statement, in statement order.
void prepareEffectNames(ZEffLib* lib) {
  lib->prepared = 1;
  std::vector<const StatementRecord*> effects;
  for (const StatementRecord* s = hostv().parse->firstStatement(); s; s = s->next) {
    if (s->name == "MODEL") break;
    if (s->name != "EFFECT") continue;
    if (effectStatementName(s).empty()) return;  // an unnamed EFFECT: no names at all
    effects.push_back(s);
  }
  lib->effectNames = static_cast<char**>(effAlloc(sizeof(char*) * (effects.size() + 1)));
  HostDataSet* ds = analysisDataSet();
  for (const StatementRecord* s : effects) {
    std::string_view name = effectStatementName(s);
    int number = -1;
    if (ds && hostv().ds->findVar(ds, name, &number) == 0) {
      hostMsg(174, 30, {name});
      effFail(step::kEffect);
      return;
    }
    // Names are case-insensitive like variable names, so two spellings are one name.
    for (int i = 0; i < lib->effectNameCount; ++i) {
      if (equalsNoCase(lib->effectNames[i], name)) {
        hostMsg(174, 22, {name});
        effFail(step::kEffect);
        return;
      }
    }
    lib->effectNames[lib->effectNameCount++] = effStrdup(name);
  }
}

bool isSymbol(const ParseToken* t, std::string_view text) {
  return t && t->kind == ParseToken::kSymbol && t->text == text;
}

bool sameToken(const ParseToken& a, const ParseToken& b) {
  return a.line == b.line && a.column == b.column && a.text == b.text;
}

// The token after the current name. A ';' ends the effect list: the library looks no
// further, so that the parser keeps the statement's end and the next statement is its own.
const ParseToken* nextToken() { return hostv().parse->peekToken(0); }

void addToTerm(ZEffLib* lib, int kind, int32_t index) {
  if (!lib->current) lib->current = zeffnew();
  switch (kind) {
    case 1:
      zeffaddvar(index, lib->current, idlist::kCont);
      break;
    case 2:
      zeffaddvar(index, lib->current, idlist::kCross);
      break;
    case 5:
      zeffaddvar(index, lib->current, idlist::kNewName);
      break;
    case 6:
      zeffaddvar(index, lib->current, idlist::kEffectName);
      break;
    default:
      break;
  }
}

// A name prefix "abc:": the term takes the first variable of the prefix list; the whole list
// replaces it when the expression ends.
bool prefixVariable(ZEffLib* lib, const ParseToken& token, bool afterStar, int32_t* number) {
  bool afterOperator = false;
  for (int k = op::kBar; k <= op::kRangeChar; ++k) afterOperator |= lib->ops[k] != 0;
  if (afterStar || afterOperator) {
    hostMsg(174, 93);
    effFail(step::kEffect);
    return false;
  }
  lib->prefix = nameLiteralText(token);
  lib->hasPrefix = true;
  HostDataSet* ds = analysisDataSet();
  if (!ds) {
    hostMsg(174, 94);
    effFail(step::kInternal);
    return false;
  }
  std::vector<int> numbers;
  int rc = hostv().ds->expandList(ds, lib->prefix, "", 6, &numbers);
  if (rc == 0 && numbers.empty()) {
    std::string shown = lib->prefix + ":";
    hostMsg(174, 6, {std::string_view(shown)});
  }
  if (rc != 0 || numbers.empty()) {
    effFail(step::kEffect);
    return false;
  }
  *number = numbers.front();
  return true;
}

void termName(ZEffLib* lib, const ParseToken& token) {
  const ParseToken* next = nextToken();
  bool afterStar = lib->hasAfterStar && sameToken(lib->afterStar, token);
  lib->hasAfterStar = false;
  int32_t id = 0;
  bool effectName = false;
  if (isSymbol(next, ":")) {
    if (!prefixVariable(lib, token, afterStar, &id)) return;
  } else if (!zeffvarfind(nameLiteralText(token), &id, &effectName)) {
    return;
  }
  int32_t index = 0;
  int kind = zeffvarkind(id, lib->mode, &index, effectName);
  addToTerm(lib, kind, index);
  if (isSymbol(next, "*")) {
    if (const ParseToken* after = hostv().parse->peekToken(1)) {
      lib->afterStar = *after;
      lib->hasAfterStar = true;
    }
  }
}

void nestName(ZEffLib* lib, const ParseToken& token) {
  std::string name = nameLiteralText(token);
  int32_t id = 0;
  bool effectName = false;
  if (!zeffvarfind(name, &id, &effectName)) return;
  if (effectName) {
    hostMsg(174, 31, {std::string_view(name).substr(0, 32)});
    effFail(step::kEffect);
    return;
  }
  int32_t index = 0;
  if (zeffvarkind(id, lib->mode, &index, false) != 2) {
    hostMsg(174, 1, {std::string_view(name)});
    effFail(step::kEffect);
    return;
  }
  if (!lib->current) lib->current = zeffnew();
  zeffaddvar(index, lib->current, idlist::kNest);
}

void endTerm(ZEffLib* lib) {
  EffectRec* e = lib->current ? lib->current : zeffnew();
  lib->current = nullptr;
  e->link = nullptr;
  *lib->barTail = e;
  lib->barTail = &e->link;
}

void endExpression(ZEffLib* lib) {
  int sum = 0, single = -1;
  for (int k = 0; k < op::kCount; ++k) {
    sum += lib->ops[k];
    if (lib->ops[k]) single = k;
  }
  // A failure of either has failed the library (effFailed), which is what is tested below.
  if (sum == lib->ops[op::kBar]) {
    (void)AddBarEffects(lib);
  } else if (sum == 1 && single > op::kBar) {
    (void)expandOperator(lib, single);
  } else {
    hostMsg(174, 4);
    effFail(step::kEffect);
  }
  if (!effFailed()) checkNumericModelVars(lib);
  emptyBarList(lib);
  for (int32_t& c : lib->ops) c = 0;
  lib->depth = 0;
  lib->hasPrefix = false;
  lib->hasAfterStar = false;
}

void countOperator(ZEffLib* lib, int kind) {
  if (!lib->barHead)
    for (int32_t& c : lib->ops) c = 0;
  if (kind >= 0 && kind < op::kCount) ++lib->ops[kind];
}

void setDepth(ZEffLib* lib, const ParseToken& token) {
  double v = token.number;
  if (token.kind != ParseToken::kInteger && token.kind != ParseToken::kNumber)
    v = std::strtod(token.text.c_str(), nullptr);
  lib->depth = static_cast<int32_t>(v);
  int sum = 0;
  for (int32_t c : lib->ops) sum += c;
  if (sum == 0) {
    hostMsg(174, 16);
    lib->depth = 0;
  }
}

void zeffbld(int code, int argument, const ParseToken& token) {
  ZEffLib* lib = effLib();
  if (!lib || effFailed()) return;
  if (!lib->prepared) {
    prepareEffectNames(lib);
    if (effFailed()) return;
  }
  lib->action = code;
  switch (code) {
    case 0:
      lib->current = zeffnew();
      break;
    case 1:
      termName(lib, token);
      break;
    case 2:
      nestName(lib, token);
      break;
    case 5:
      endTerm(lib);
      break;
    case 6:
      endExpression(lib);
      break;
    case 7:
    case 8:
      lib->termClass = argument;
      lib->exprFlag = argument;
      lib->listStart = static_cast<int32_t>(modelVarList().size());
      break;
    case 10:
      countOperator(lib, argument);
      break;
    case 12:
      setDepth(lib, token);
      break;
    case 14:
      if (lib->chainHead) {
        hostMsg(174, 5, {"EFFECT"});
        effFail(step::kEffect);
      }
      break;
    case 16:
      resetFastSearch(lib, true);
      break;
    case 17:
      resetFastSearch(lib, false);
      break;
    default:
      break;
  }
}

}  // namespace

// Releases the records of the bar expansion list.
void emptyBarList(ZEffLib* lib) {
  for (EffectRec* e = lib->barHead; e;) {
    EffectRec* next = e->link;
    zeffrecfree(e);
    e = next;
  }
  lib->barHead = nullptr;
  lib->barTail = &lib->barHead;
}

}  // namespace vsf
