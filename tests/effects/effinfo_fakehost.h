// Test support for the effects library: an in-memory data set and a parser stand-in behind
// the host vector, and a driver that turns an effect list such as "A|B|C@2" into the
// semantic actions the MODEL statement's grammar hands the library.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "base/strings.h"
#include "common/fake_host.h"
#include "common/test_host.h"
#include "effects/effects.h"
#include "effects/efflib_internal.h"
#include "frame/host/host_vector.h"
#include "frame/host/status.h"
#include "grammar/slots.h"

namespace vsf {
// The EFFECT record as the grammar writes it.
namespace es = slots::effect;
namespace ef = flags::effect;
}  // namespace vsf

namespace vsf::test {

// A variable of the in-memory data set: name and type ('n' numeric, 'c' character).
struct Var {
  std::string name;
  char type = 'n';
  int formatWidth = 0;
  int length = 8;
};

class EffectsHarness : public FakeHost {
 public:
  explicit EffectsHarness(const std::vector<Var>& vars) {
    for (const Var& v : vars)
      vars_.add(v.name, v.type == 'c' ? kVarCharacter : kVarNumeric, v.length, v.formatWidth);
    recordMessages();
    ds.findVar = [](HostDataSet*, std::string_view name, int* number) {
      return self().vars_.findVar(name, number);
    };
    ds.varByNumber = [](HostDataSet*, int number, VarDescriptor* out) {
      return self().vars_.varByNumber(number, out);
    };
    ds.expandList = [](HostDataSet*, std::string_view first, std::string_view second, int form,
                       std::vector<int>* numbers) {
      return self().vars_.expandList(first, second, form, numbers);
    };
    parse.procedureRecord = [] { return self().procedure; };
    parse.firstStatement = [] { return self().first(); };
    parse.setEffectsCallback = [](EffectsCallback cb) { self().callback = cb; };
    parse.peekToken = [](int ahead) -> const ParseToken* {
      auto& h = self();
      size_t at = h.cursor_ + static_cast<size_t>(ahead);
      return at < h.tokens_.size() ? &h.tokens_[at] : nullptr;
    };
    parse.skipToken = [] { ++self().cursor_; };
    parse.currentStatement = [] { return self().model; };
    parse.status = [] { return self().status; };
    parse.setStatus = [](int s) { self().status = s; };
    parse.appendListName = [](StatementRecord* r, int slot, std::string_view name, int number) {
      if (!r || slot < 0 || static_cast<size_t>(slot) >= r->slots.size()) return -1;
      OptionSlot& o = r->slots[static_cast<size_t>(slot)];
      NameChunkList& chunk = self().nameChunks_.emplace_back();
      chunk.names.emplace_back(name);
      chunk.lastIndex = o.count;
      if (!o.names) {
        o.names = &chunk;
      } else {
        NameChunkList* tail = o.names;
        while (tail->next) tail = tail->next;
        tail->next = &chunk;
      }
      ++o.count;
      o.given = 1;
      o.vars.push_back(number);
      return 0;
    };
    load();
    zeffbldfree();
    procRecord.slots.resize(71);
    procRecord.slots[11].dataSet = dataSet();
    procRecord.slots[11].given = 1;
    model = addStatement("MODEL", 38);
  }

  ~EffectsHarness() override { zeffbldfree(); }

  HostDataSet* dataSet() { return reinterpret_cast<HostDataSet*>(&dsTag_); }

  // CLASS statement: the named variables go to slot 2 of the procedure record.
  void setClass(std::initializer_list<const char*> names) {
    for (const char* n : names) procRecord.slots[2].vars.push_back(number(n));
    procRecord.slots[2].given = 1;
  }

  int number(std::string_view name) const { return vars_.find(name); }

  // An EFFECT statement before the MODEL statement.
  StatementRecord* addEffect(std::string name, int type, std::initializer_list<const char*> vars) {
    StatementRecord* s = addStatement("EFFECT", es::kCount, /*beforeModel=*/true);
    // The name goes into the slot's name list, as the grammar's new-name list puts it.
    NameChunkList& chunk = nameChunks_.emplace_back();
    chunk.names.push_back(std::move(name));
    chunk.lastIndex = 0;
    s->slots[es::kName].names = &chunk;
    s->slots[es::kName].count = 1;
    s->slots[es::kName].given = 1;
    setNumber(s, es::kType, type);
    setVars(s, es::kVars, vars);
    return s;
  }
  static void setNumber(StatementRecord* s, int slot, double v) {
    s->slots[slot].number = v;
    s->slots[slot].given = 1;
  }
  void setVars(StatementRecord* s, int slot, std::initializer_list<const char*> names) {
    for (const char* n : names) s->slots[slot].vars.push_back(number(n));
    s->slots[slot].given = names.size() > 0;
  }

  StatementRecord* addStatement(const char* name, int slots, bool beforeModel = false) {
    auto s = std::make_unique<StatementRecord>();
    s->name = name;
    s->slots.resize(static_cast<size_t>(slots));
    StatementRecord* raw = s.get();
    auto at = statements_.end();
    if (beforeModel) {
      at = statements_.begin();
      while (at != statements_.end() && (*at)->name != "MODEL") ++at;
    }
    statements_.insert(at, std::move(s));
    for (size_t i = 0; i < statements_.size(); ++i)
      statements_[i]->next = i + 1 < statements_.size() ? statements_[i + 1].get() : nullptr;
    return raw;
  }

  // The MODEL statement callback, then the effect list's actions.
  void parseModel(std::string_view effects, int nameLength = 20) {
    zeffbldinit(nameLength, 1);
    drive(effects);
  }

  void drive(std::string_view effects);

  // The chain names of the effects the MODEL statement references, in order.
  std::vector<std::string> effectNames() const;

  StatementRecord procRecord;
  StatementRecord* procedure = &procRecord;  // what the parser reports as the step's record
  StatementRecord* model = nullptr;
  EffectsCallback callback = nullptr;
  int status = 0;
  MemoryVars vars_;

 private:
  // The harness loaded last, for the host functions.
  static EffectsHarness& self() { return *static_cast<EffectsHarness*>(FakeHost::current()); }
  StatementRecord* first() { return statements_.empty() ? nullptr : statements_.front().get(); }

  int dsTag_ = 0;
  std::vector<std::unique_ptr<StatementRecord>> statements_;
  std::deque<NameChunkList> nameChunks_;
  std::vector<ParseToken> tokens_;
  size_t cursor_ = 0;

  friend class Driver;
};

// ---- The grammar's actions for an effect list ----

class Driver {
 public:
  explicit Driver(EffectsHarness* h) : h_(h) {}

  void run(std::string_view text) {
    tokenize(text);
    h_->tokens_ = tokens_;
    emit(16);
    while (at_ < tokens_.size()) expression();
    emit(17);
  }

 private:
  void tokenize(std::string_view s) {
    static const char* kWords[] = {"-NUMERIC-", "-CHARACTER-", "--"};
    for (size_t i = 0; i < s.size();) {
      char c = s[i];
      ParseToken t;
      t.line = 1;
      t.column = static_cast<int>(i) + 1;
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++i;
        continue;
      }
      bool word = false;
      for (const char* w : kWords) {
        std::string_view ws(w);
        if (equalsNoCase(s.substr(i, ws.size()), ws)) {
          t.kind = ParseToken::kSymbol;
          t.text = upperCopy(ws);
          i += ws.size();
          word = true;
          break;
        }
      }
      if (word) {
      } else if (c == '\'') {  // 'name'n
        size_t e = s.find('\'', i + 1);
        t.kind = ParseToken::kNameLiteral;
        t.text = std::string(s.substr(i, e + 2 - i));
        i = e + 2;
      } else if (std::isdigit(static_cast<unsigned char>(c))) {
        size_t e = i;
        while (e < s.size() && (std::isdigit(static_cast<unsigned char>(s[e])) || s[e] == '.')) ++e;
        t.kind = ParseToken::kInteger;
        t.text = std::string(s.substr(i, e - i));
        t.number = std::stod(t.text);
        i = e;
      } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        size_t e = i;
        while (e < s.size() && (std::isalnum(static_cast<unsigned char>(s[e])) || s[e] == '_')) ++e;
        t.kind = ParseToken::kName;
        t.text = std::string(s.substr(i, e - i));
        i = e;
      } else {
        t.kind = ParseToken::kSymbol;
        t.text = std::string(1, c);
        ++i;
      }
      tokens_.push_back(t);
    }
    ParseToken end;
    end.kind = ParseToken::kSymbol;
    end.text = ";";
    end.column = static_cast<int>(s.size()) + 1;
    tokens_.push_back(end);
  }

  const ParseToken& tok() const { return tokens_[at_]; }
  bool is(std::string_view text) const {
    return at_ < tokens_.size() && tokens_[at_].kind == ParseToken::kSymbol &&
           tokens_[at_].text == text;
  }
  int listKeyword() const {
    if (at_ >= tokens_.size() || tok().kind != ParseToken::kName) return -1;
    if (equalsNoCase(tok().text, "_NUMERIC_")) return 6;
    if (equalsNoCase(tok().text, "_CHARACTER_") || equalsNoCase(tok().text, "_CHAR_")) return 7;
    return -1;
  }
  int binaryOperator() const {
    if (is("|")) return 0;
    if (is("-")) return 1;
    if (is("--")) return 2;
    if (is("-NUMERIC-")) return 3;
    if (is("-CHARACTER-")) return 4;
    return -1;
  }

  void emit(int code, int argument = 0, const ParseToken* t = nullptr) {
    static const ParseToken kNone;
    if (h_->status != 0 && code != 17) return;  // the parser stops at a failed statement
    h_->callback(code, argument, t ? *t : kNone);
  }
  void emitName(int code) {
    h_->cursor_ = at_ + 1;
    emit(code, 0, &tokens_[at_]);
    ++at_;
  }

  void term() {
    emit(0);
    emitName(1);
    while (is("*")) {
      ++at_;
      emitName(1);
    }
    if (is(":")) {
      emit(10, 5);
      ++at_;
    }
    if (is("(")) {
      ++at_;
      while (at_ < tokens_.size() && !is(")")) {
        if (is("*"))
          ++at_;
        else
          emitName(2);
      }
      ++at_;
    }
    emit(5);
  }

  void expression() {
    if (is(";")) {
      ++at_;
      return;
    }
    emit(8);
    emit(7);
    for (;;) {
      if (int k = listKeyword(); k >= 0) {
        emit(10, k);
        ++at_;
      } else {
        term();
      }
      int op = binaryOperator();
      if (op < 0) break;
      emit(10, op);
      ++at_;
    }
    if (is("@")) {
      ++at_;
      emit(12, 0, &tokens_[at_]);
      ++at_;
    }
    emit(6);
  }

  EffectsHarness* h_;
  std::vector<ParseToken> tokens_;
  size_t at_ = 0;
};

inline std::vector<std::string> EffectsHarness::effectNames() const {
  std::vector<std::string> out;
  for (void* r : model->slots[1].refs) {
    auto* e = static_cast<EffectRec*>(r);
    out.emplace_back(e->name, static_cast<size_t>(e->nameLength));
  }
  return out;
}

inline void EffectsHarness::drive(std::string_view effects) {
  ASSERT_NE(callback, nullptr) << "the library installed no callback";
  Driver(this).run(effects);
}

}  // namespace vsf::test
