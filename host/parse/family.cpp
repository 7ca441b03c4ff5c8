// The statement-parsing family of the host vector: runs a procedure's grammar over the step
// text and hands back the records, the tokens and the parse status.
#include <fmt/format.h>

#include "host/parse/parser.h"
#include "host/session.h"

namespace vsf::host {

namespace parse {

const HostDsFamily*& dataFamily() {
  static const HostDsFamily* family = &kDsFamily;
  return family;
}

int& automaticOutputCount() {
  static int count = 0;
  return count;
}

}  // namespace parse

namespace {

using parse::currentRun;

int run(const GrammarDescriptor* grammar, int traceFlags, const ParseCallbacks* callbacks) {
  parse::Run& r = currentRun();
  EffectsCallback effects = r.effects;  // installed before the run, it stays
  r = parse::Run();
  r.effects = effects;
  if (!grammar || grammar->productionCount() == 0) return -1;
  r.grammar = grammar;
  r.table = &parse::tableFor(grammar);
  r.callbacks = callbacks;
  r.trace = traceFlags;
  // The effects library of this step is done when the parse ends, also when the step ends
  // from inside the parse.
  struct Done {
    parse::Run& r;
    ~Done() {
      r.effects = nullptr;
      session().parsePlace = nullptr;
      session().parseDataSet = nullptr;
    }
  } done{r};
  session().parsePlace = [&r] { return parse::placeOf(r.current ? *r.current : r.tokens[r.pos]); };
  session().parseDataSet = [&r] { return parse::dataSetName(r); };
  parse::parseStep(r, session().stepText, session().stepLine > 0 ? session().stepLine : 1);
  return 0;
}

StatementRecord* procedureRecord() { return currentRun().procedure; }
StatementRecord* firstStatement() { return currentRun().first; }
int errorCount() { return currentRun().errors; }
void clearErrorCount() { currentRun().errors = 0; }
void setEffectsCallback(EffectsCallback callback) { currentRun().effects = callback; }

const ParseToken* peekToken(int ahead) {
  parse::Run& r = currentRun();
  if (r.tokens.empty()) return nullptr;
  if (ahead < 0) {  // looking back: null before the first token
    const size_t back = static_cast<size_t>(-static_cast<int64_t>(ahead));
    return back <= r.pos ? &r.tokens[r.pos - back].pub : nullptr;
  }
  size_t k = r.pos + static_cast<size_t>(ahead);
  if (k >= r.tokens.size()) k = r.tokens.size() - 1;
  return &r.tokens[k].pub;
}

void skipToken() {
  parse::Run& r = currentRun();
  if (r.pos + 1 < r.tokens.size()) {
    r.current = &r.tokens[r.pos];
    ++r.pos;
  }
}

StatementRecord* currentStatement() { return currentRun().statement; }
int status() { return currentRun().status; }
void setStatus(int s) { currentRun().status = s; }
const ParseToken* currentToken() {
  const parse::Run& r = currentRun();
  return r.current ? &r.current->pub : nullptr;
}

int appendListName(StatementRecord* record, int slot, std::string_view name, int number) {
  if (!record || slot < 0 || static_cast<size_t>(slot) >= record->slots.size()) return -1;
  OptionSlot& s = record->slots[static_cast<size_t>(slot)];
  parse::appendName(currentRun(), &s, std::string(name));
  s.vars.push_back(number);
  return 0;
}

void placeAt(const StatementRecord* record) {
  if (!record) {
    session().parsePlace = nullptr;
    return;
  }
  const int line = record->line, column = record->column;
  session().parsePlace = [line, column] { return fmt::format("Line {}, column {}", line, column); };
}

}  // namespace

const HostParseFamily kParseFamily = [] {
  HostParseFamily f{};
  f.run = run;
  f.procedureRecord = procedureRecord;
  f.firstStatement = firstStatement;
  f.errorCount = errorCount;
  f.clearErrorCount = clearErrorCount;
  f.setEffectsCallback = setEffectsCallback;
  f.peekToken = peekToken;
  f.skipToken = skipToken;
  f.currentStatement = currentStatement;
  f.status = status;
  f.setStatus = setStatus;
  f.currentToken = currentToken;
  f.appendListName = appendListName;
  f.placeAt = placeAt;
  return f;
}();

}  // namespace vsf::host
