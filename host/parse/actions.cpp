// The semantic actions of a grammar: statement records, their flags and option slots, name
// lists resolved against the analysis data set, data sets, and the effects callback.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "host/data/data.h"
#include "host/parse/parser.h"
#include "host/range_errors.h"
#include "host/session.h"

namespace vsf::host::parse {

namespace {

namespace ga = grammar_action;

constexpr int kChunkNames = 64;  // names per chunk of a name list

std::string upperNoDollar(std::string_view w) {
  std::string u(w);
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  if (u.size() > 1 && u.back() == '$') u.pop_back();
  return u;
}

// A word that begins a statement (or RUN, QUIT) read where a list wanted a variable: the
// statement before it lacks its ";".
bool beginsStatement(const Run& r, std::string_view name) {
  const std::vector<std::string>& words = r.grammar->statementWords;
  return std::find(words.begin(), words.end(), upperNoDollar(name)) != words.end();
}

void traceAction(const Run& r, int type, const int16_t* args, int count) {
  std::string line = fmt::format("SEM: action {}", type);
  for (int i = 0; i < count; ++i) line += fmt::format(" {}", args[i]);
  line += fmt::format(" at \"{}\"", r.current->pub.text);
  session().log.write("", line);
}

StatementRecord* newRecord(Run& r, int slots, int nameSymbol) {
  StatementRecord& rec = r.records.emplace_back();
  rec.name = upperNoDollar(r.grammar->word(nameSymbol));
  rec.slots.resize(static_cast<size_t>(slots > 0 ? slots : 0));
  rec.line = r.current->pub.line;
  rec.column = r.current->pub.column;
  return &rec;
}

void link(Run& r, StatementRecord* rec) {
  if (r.last)
    r.last->next = rec;
  else
    r.first = rec;
  r.last = rec;
}

void beginStatement(Run& r, StatementRecord* rec, StatementRecord* target) {
  if (r.statement) endStatement(r);  // a grammar without an end action before the next one
  r.statement = rec;
  r.target = target;
  r.listSlot = -1;
  r.targetValue = r.targetIndex = -1;
  r.inBy = false;
  if (r.callbacks && r.callbacks->onStatement) r.callbacks->onStatement(r.callbacks->context, rec);
}

// The option slot s of the record being built; a slot outside the record is a fault of the
// grammar, reported once per action.
OptionSlot* slotAt(Run& r, int s) {
  StatementRecord* rec = r.target;
  if (!rec) return nullptr;
  if (s < 0 || static_cast<size_t>(s) >= rec->slots.size()) {
    reportError(r, *r.current,
                fmt::format("the grammar writes option slot {} of the {} slots of {}", s,
                            rec->slots.size(), rec->name));
    return nullptr;
  }
  return &rec->slots[static_cast<size_t>(s)];
}

}  // namespace

void appendName(Run& r, OptionSlot* slot, const std::string& name) {
  NameChunkList* tail = slot->names;
  while (tail && tail->next) tail = tail->next;
  if (!tail || static_cast<int>(tail->names.size()) >= kChunkNames) {
    NameChunkList& chunk = r.chunks.emplace_back();
    chunk.lastIndex = slot->count - 1;
    if (tail)
      tail->next = &chunk;
    else
      slot->names = &chunk;
    tail = &chunk;
  }
  tail->names.push_back(name);
  tail->lastIndex = slot->count;
  ++slot->count;
  slot->given = 1;
}

namespace {

const HostDsFamily& ds() { return *dataFamily(); }

// A character variable where numbers are wanted, with what the list stands for when the grammar
// says it, and the cell to mend when a stray text among numbers made it character.
std::string notNumeric(const Run& r, const std::string& name) {
  std::string hint = strayCellHint(name);
  hint = hint.empty() ? "" : ": " + hint;
  for (const GrammarDescriptor::ListRole& role : r.grammar->listRoles)
    if (r.statement && role.statement == r.statement->name && role.slot == r.listSlot)
      return fmt::format("{} must be numeric, but {} is a character variable{}", role.text, name,
                         hint);
  return fmt::format("variable {} in the list is not numeric{}", name, hint);
}

// Resolves one list item against the analysis data set into variable numbers.
bool resolveItem(Run& r, int form, std::vector<int>* numbers) {
  if (!r.analysis) return false;  // no data set: its failure was reported already
  std::string_view first, second;
  if (!r.pendingNames.empty()) first = r.pendingNames.front();
  if (r.pendingNames.size() > 1) second = r.pendingNames[1];
  if (form == 1) {
    int number = -1;
    if (ds().findVar(r.analysis, first, &number) != 0) {
      std::string hint =
          beginsStatement(r, first)
              ? fmt::format("a \";\" is missing at the end of the statement before {}", first)
              : unfoundNameHint(first);
      if (hint.empty()) hint = nameLiteralAdvice(r, *r.current);
      reportError(r, *r.current,
                  fmt::format("variable {} not found on data set {}{}{}", first, dataSetName(r),
                              hint.empty() ? "" : ": ", hint));
      return false;
    }
    numbers->push_back(number);
    return true;
  }
  if (ds().expandList(r.analysis, first, second, form, numbers) != 0) {
    ++r.errors;  // the data-set service has written the error
    if (r.statement) r.statement->hasErrors = 1;
    return false;
  }
  return true;
}

void completeItem(Run& r, int form) {
  OptionSlot* slot = slotAt(r, r.listSlot);
  if (!slot) return;
  r.itemBegin = slot->count;
  bool variables = r.listKind == name_kind::kNumeric || r.listKind == name_kind::kAny;
  // A new variable's name must fit, as the names read from a data set are made to.
  if (r.listKind == name_kind::kNewName && !r.pendingNames.empty() &&
      r.pendingNames.front().size() > kNameLimit)
    reportError(r, *r.current,
                fmt::format("the name {} is longer than {} characters, the most a variable name "
                            "can have",
                            r.pendingNames.front(), kNameLimit));
  std::vector<int> numbers;
  if (!variables || !resolveItem(r, form, &numbers)) {
    // New names, or variables that did not resolve: the name as written, no number.
    if (!r.pendingNames.empty()) {
      appendName(r, slot, r.pendingNames.front());
      if (variables) slot->vars.push_back(-1);
    }
  } else {
    for (int number : numbers) {
      VarDescriptor d;
      ds().varByNumber(r.analysis, number, &d);
      if (r.listKind == name_kind::kNumeric && d.type != kVarNumeric)
        reportError(r, *r.current, notNumeric(r, d.name));
      appendName(r, slot, d.name);
      slot->vars.push_back(number);
    }
  }
  if (r.inBy)
    for (int i = r.itemBegin; i < slot->count; ++i) slot->numbers.push_back(r.byDescending);
  r.byDescending = false;
  r.itemEnd = slot->count;
  r.pendingNames.clear();
}

// A name that goes on into a path (data/x.csv) has been refused: its words are skipped and the
// name is left empty.
void refusePath(Run& r) {
  const Token* last = r.current;
  size_t end = r.pos;
  for (; end + 1 < r.tokens.size(); ++end) {
    const Token& t = r.tokens[end];
    const bool adjacent = t.pub.line == last->pub.line && t.pub.column == columnAfter(*last);
    if (!adjacent || t.cls == TokenClass::kEndStatement || t.pub.text == "(" || t.pub.text == ")" ||
        t.pub.text == "=")
      break;
    last = &t;
  }
  if (end == r.pos) return;
  std::string path = r.current->pub.written;
  for (size_t k = r.pos; k < end; ++k) path += r.tokens[k].pub.written;
  reportError(r, *r.current,
              fmt::format("{} is a path: write it in quotes ('{}'), or name a data set of the "
                          "library directory without its directory and .csv",
                          path, path));
  r.current = &r.tokens[end - 1];
  r.pos = end;
  r.dataSetName.clear();
}

void openDataSet(Run& r, int s, int direction, const std::string& name) {
  OptionSlot* slot = slotAt(r, s);
  if (!slot) return;
  slot->given = 1;
  slot->text = name;
  if (name.empty()) return;  // refused where it was read
  uint32_t status = 0;
  slot->dataSet = ds().open(name, direction, &status);
  // The data-set service has said why, naming the data set: one cause, one error.
  if (!slot->dataSet) countError(r);
}

void defaultDataSet(Run& r, int s, int direction) {
  OptionSlot* slot = slotAt(r, s);
  if (!slot) return;
  if (!slot->given) {
    if (direction == kDsInput) {
      std::string name = ds().lastName();
      if (name.empty()) {
        reportError(r, *r.current, "no DATA= data set is named and none was read before");
        return;
      }
      openDataSet(r, s, direction, name);
    } else {
      openDataSet(r, s, direction, fmt::format("DATA{}", ++automaticOutputCount()));
    }
  }
  if (direction == kDsInput && r.target == r.procedure) r.analysis = slot->dataSet;
}

void appendValue(Run& r, double v) {
  OptionSlot* values = slotAt(r, r.targetValue);
  if (!values) return;
  values->given = 1;
  if (r.targetIndex < 0) {
    values->numbers.push_back(v);
    return;
  }
  OptionSlot* index = slotAt(r, r.targetIndex);
  if (!index) return;
  index->given = 1;
  for (int i = r.itemBegin; i < r.itemEnd; ++i) {
    values->numbers.push_back(v);
    index->numbers.push_back(i);
  }
}

// The option a number list is given to, as written before its "(": KNOTMETHOD and LIST for
// "knotmethod=list(0 to 9)"; the list's keyword alone where no "=" comes before it.
std::pair<std::string, std::string> listOption(const Run& r) {
  for (size_t k = r.pos; k-- > 1;) {
    const Token& t = r.tokens[k];
    if (t.cls == TokenClass::kEndStatement) break;
    if (t.cls != TokenClass::kSymbol || t.pub.text != "(") continue;
    const std::string key = upperNoDollar(r.tokens[k - 1].pub.text);
    if (k >= 3 && r.tokens[k - 2].pub.text == "=")
      return {upperNoDollar(r.tokens[k - 3].pub.text), key};
    return {key, ""};
  }
  return {"the list", ""};
}

// Whether `count` values more fit a list that holds `held`: a list's count is 32 bits, and its
// values are held to the memory the step may use (MEMSIZE=) as the procedure holds an
// option's sizes. A range is counted before any value is made: one of billions is refused at
// once, not after it has taken the memory.
bool rangeFits(Run& r, size_t held, double count) {
  constexpr double kMost = 2147483647.0, kMb = 1024.0 * 1024.0;
  const double values = static_cast<double>(held) + count;
  const auto [option, value] = listOption(r);
  const std::string named = value.empty() ? option : option + "=" + value;
  if (!(values <= kMost)) {
    const std::string text =
        !std::isfinite(values)
            ? fmt::format("{} lists more than the {:.0f} values a list holds", named, kMost)
        : values < 1e15 ? fmt::format("{} lists {:.0f} values, more than the {:.0f} a list holds",
                                      named, values, kMost)
                        : fmt::format("{} lists {:.3g} values, more than the {:.0f} a list holds",
                                      named, values, kMost);
    reportError(r, *r.current, text);
    return false;
  }
  const double bytes = 8.0 * values, available = static_cast<double>(memoryAvailable());
  if (bytes <= available) return true;
  const MsgArg count1[] = {static_cast<long long>(values)};
  const std::string holds = formatMessage(findMessage(848, 6159)->text, count1, 1);
  const MsgArg args[] = {std::string_view(option), std::string_view(value),
                         static_cast<long long>(std::ceil(bytes / kMb)), std::string_view(holds),
                         static_cast<long long>(available / kMb)};
  reportError(r, *r.current, formatMessage(findMessage(848, 6151)->text, args, 5));
  return false;
}

void numberRange(Run& r, int part) {
  double v = r.current->pub.number;
  if (part == 1) {
    r.rangeEnd = v;
    r.rangeStep = 1;
    return;
  }
  if (part == 2) {
    r.rangeStep = v;
    return;
  }
  OptionSlot* slot = slotAt(r, r.listSlot);
  if (!slot || slot->numbers.empty()) return;
  double from = slot->numbers.back();
  if (r.rangeStep == 0 || (r.rangeEnd - from) * r.rangeStep < 0) {
    reportError(r, *r.current, "the range does not reach its end with its step");
    return;
  }
  // The values past `from` that the loop below makes (infinite when the span is).
  const double count = std::floor((std::fabs(r.rangeEnd - from) + 1e-9) / std::fabs(r.rangeStep));
  if (!rangeFits(r, slot->numbers.size(), count)) return;
  slot->numbers.reserve(slot->numbers.size() + static_cast<size_t>(count) + 1);
  for (long k = 1;; ++k) {
    double x = from + static_cast<double>(k) * r.rangeStep;
    if (r.rangeStep > 0 ? x > r.rangeEnd + 1e-9 : x < r.rangeEnd - 1e-9) break;
    slot->numbers.push_back(x);
  }
}

void checkBound(Run& r, const int16_t* a, int n) {
  const double v = r.current->pub.number, high = n > 1 ? a[1] : HUGE_VAL;
  if (v < a[0] || v > high)
    reportError(
        r, *r.current,
        outOfRange(optionOf(r, r.tokens.indexOf(r.current)), r.current->pub.text, a[0], high));
}

}  // namespace

void endStatement(Run& r) {
  StatementRecord* rec = r.statement;
  r.statement = nullptr;
  r.target = nullptr;
  r.listSlot = -1;
  r.inBy = false;
  if (!rec || !r.callbacks) return;
  if (r.callbacks->onStatementEnd) r.callbacks->onStatementEnd(r.callbacks->context, rec);
  if (r.callbacks->onStatementErrors) r.callbacks->onStatementErrors(r.callbacks->context);
}

void performAction(Run& r, int action) {
  const GrammarDescriptor& g = *r.grammar;
  int type = g.actionTypes[static_cast<size_t>(action - 1)];
  uint16_t start = g.actionArgStarts[static_cast<size_t>(action - 1)];
  int n = start == 0xFFFF ? 0 : g.actionArgs[start];
  const int16_t* a = n ? &g.actionArgs[start + 1u] : nullptr;
  auto arg = [&](int i, int fallback = 0) { return i < n ? static_cast<int>(a[i]) : fallback; };
  if (r.trace & 1) traceAction(r, type, a, n);
  const ParseToken& tok = r.current->pub;
  OptionSlot* slot = nullptr;

  switch (type) {
    case ga::kProcedure: {
      StatementRecord* rec = newRecord(r, arg(0), arg(1));
      r.procedure = rec;
      beginStatement(r, rec, rec);
      break;
    }
    case ga::kIntoProcedure: {
      StatementRecord* rec = newRecord(r, 0, arg(0));
      rec->intoProcedure = 1;
      link(r, rec);
      beginStatement(r, rec, r.procedure);
      break;
    }
    case ga::kBegin: {
      StatementRecord* rec = newRecord(r, arg(0), arg(1));
      link(r, rec);
      beginStatement(r, rec, rec);
      break;
    }
    case ga::kEnd:
      endStatement(r);
      break;
    case ga::kFlag:
      if (r.target) r.target->setFlag(arg(0));
      break;
    case ga::kNumber:
      if ((slot = slotAt(r, arg(0)))) {
        slot->given = 1;
        if (arg(1) == 1)
          slot->numbers.push_back(tok.number);
        else
          slot->number = tok.number;
      }
      break;
    case ga::kString:
      if ((slot = slotAt(r, arg(0)))) {
        if (arg(1) == 6) {
          for (int i = r.itemBegin; i < r.itemEnd; ++i) {
            appendName(r, slot, tok.text);
            slot->numbers.push_back(i);
            slot->places.emplace_back(tok.line, tok.column);
          }
        } else {
          slot->given = 1;
          slot->text = tok.text;
          slot->places.assign(1, {tok.line, tok.column});
        }
      }
      break;
    case ga::kNames:
      r.listSlot = arg(0);
      r.listKind = arg(1);
      r.pendingNames.clear();
      r.itemBegin = r.itemEnd = 0;
      if ((slot = slotAt(r, r.listSlot))) slot->given = 1;
      break;
    case ga::kName:
      r.pendingNames.push_back(tok.text);
      break;
    case ga::kForm:
      completeItem(r, arg(0, 1));
      break;
    case ga::kDataSetName:
      // A quoted name is a path: the data-set service gets it with its quotes.
      if (arg(0) == 1) r.dataSetName = tok.kind == ParseToken::kQuoted ? tok.written : tok.text;
      if (tok.kind != ParseToken::kQuoted) refusePath(r);
      break;
    case ga::kEffect:
      if (r.effects) r.effects(arg(0), arg(1), tok);
      break;
    case ga::kDataSet:
      openDataSet(r, arg(0), arg(1), r.dataSetName);
      break;
    case ga::kDefaultDataSet:
      defaultDataSet(r, arg(0), arg(1));
      break;
    case ga::kNumberRange:
      numberRange(r, arg(0));
      break;
    case ga::kBound:
      checkBound(r, a, n);
      break;
    case ga::kAppend:
      appendValue(r, n ? arg(0) : tok.number);
      break;
    case ga::kCapture:
      if (r.callbacks && r.callbacks->onCapture) r.callbacks->onCapture(r.callbacks->context);
      break;
    case ga::kBy:
      if (arg(0) == 1)
        r.inBy = true, r.byDescending = false;
      else if (arg(0) == 2)
        r.byDescending = true;
      else if (arg(0) == 3 && (slot = slotAt(r, r.listSlot)))
        slot->number = 1;
      break;
    case ga::kTarget:
      r.targetValue = arg(0);
      r.targetIndex = arg(1, -1);
      break;
    case ga::kEnum:
      if ((slot = slotAt(r, arg(0)))) {
        slot->given = 1;
        slot->number = arg(1);
      }
      break;
    case ga::kStoreName:
      if ((slot = slotAt(r, arg(0)))) {
        slot->text = tok.text;
        appendName(r, slot, tok.text);
      }
      break;
    case ga::kSetFlag:
      if (r.target) {
        if (arg(1))
          r.target->setFlag(arg(0));
        else
          r.target->clearFlag(arg(0));
      }
      break;
    default:
      break;  // lexer modes and others this host has no use for
  }
}

}  // namespace vsf::host::parse
