// Turns the grammar text into the descriptor tables: words, productions (symbols right to
// left), semantic actions with their arguments, nonterminal names.
#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <vector>

#include "frame/host/dataset.h"
#include "grammar/grammar.h"
#include "grammar/slots.h"

namespace vsf {

namespace {

// A semantic action as the text writes it: its name, type, argument pattern and a constant
// argument appended after the written ones. Pattern letters: i an integer, I an optional
// integer, s a slot name, S an optional slot name (-1), f a flag name, k a keyword, K the
// record's slot count then a keyword, n a name-list kind, d a direction (in, out).
struct ActionShape {
  const char* name;
  int type;
  const char* pattern;
  int constant;  // appended when not kNone
};
constexpr int kNone = -32768;
// Nonterminal n is kNonterminalMark + n while the text is read.
constexpr int kNonterminalMark = 1 << 20;

namespace ga = grammar_action;
const ActionShape kActions[] = {
    {"proc", ga::kProcedure, "K", kNone},
    {"into", ga::kIntoProcedure, "k", kNone},
    {"begin", ga::kBegin, "K", kNone},
    {"end", ga::kEnd, "", kNone},
    {"flag", ga::kFlag, "f", kNone},
    {"num", ga::kNumber, "s", kNone},
    {"numlist", ga::kNumber, "s", 1},
    {"qs", ga::kString, "s", 5},
    {"text", ga::kString, "s", 1},
    {"qsvar", ga::kString, "s", 6},
    {"names", ga::kNames, "sn", kNone},
    {"var", ga::kName, "", kNone},
    {"form", ga::kForm, "i", kNone},
    {"dsname", ga::kDataSetName, "", 1},
    {"dsread", ga::kDataSetName, "", 2},
    {"dsprotect", ga::kDataSetName, "", 3},
    {"eff", ga::kEffect, "ii", kNone},
    {"ds", ga::kDataSet, "sd", kNone},
    {"dsdefault", ga::kDefaultDataSet, "sd", kNone},
    {"range", ga::kNumberRange, "i", kNone},
    {"bound", ga::kBound, "iI", kNone},
    {"append", ga::kAppend, "I", kNone},
    {"capture", ga::kCapture, "", kNone},
    {"by", ga::kBy, "i", kNone},
    {"target", ga::kTarget, "sS", kNone},
    {"enum", ga::kEnum, "si", kNone},
    {"store", ga::kStoreName, "s", 1},
    {"setflag", ga::kSetFlag, "fi", kNone},
};

struct Production {
  int left = 0;
  std::vector<int> symbols;  // left to right; negative: actions
};

class Builder {
 public:
  Builder(std::string_view text, std::string* error) : t_(text), error_(error) {
    int count = 0;
    const char* const* words = grammarWords(&count);
    for (int k = 0; k < count; ++k) {
      words_.push_back(words[k]);
      symbols_[words[k]] = k + 1;
    }
    int fields = 0;
    const RecordField* f = recordFields(&fields);
    for (int k = 0; k < fields; ++k) fields_[{f[k].record, f[k].kind, f[k].name}] = f[k].number;
  }

  bool build(GrammarDescriptor* out) {
    while (ok_ && skipBlanks()) {
      if (peek() == '@') {
        directive();
      } else {
        rule();
      }
    }
    if (!ok_) return false;
    for (size_t n = 0; n < ntNames_.size(); ++n) {
      if (!defined_[n])
        return fail(fmt::format("nonterminal {} is used but not defined", ntNames_[n]));
    }
    if (productions_.empty()) return fail("no rules");
    fill(out);
    return true;
  }

 private:
  std::string_view t_;
  size_t i_ = 0;
  int line_ = 1;
  std::string* error_;
  bool ok_ = true;
  std::vector<std::string> words_;
  std::map<std::string, int, std::less<>> symbols_;
  std::map<std::tuple<std::string, char, std::string>, int> fields_;
  std::string record_;
  std::vector<std::string> ntNames_;
  std::vector<uint8_t> defined_;
  std::map<std::string, int, std::less<>> ntIndex_;
  std::vector<Production> productions_;
  std::vector<std::pair<int, std::vector<int16_t>>> actions_;  // type, arguments
  std::map<std::pair<int, std::vector<int16_t>>, int> actionIndex_;
  int optionalCount_ = 0;
  std::vector<GrammarDescriptor::Hint> hints_;
  std::vector<GrammarDescriptor::ListRole> roles_;

  bool fail(const std::string& why) {
    if (ok_ && error_) *error_ = fmt::format("grammar line {}: {}", line_, why);
    ok_ = false;
    return false;
  }

  char peek() const { return i_ < t_.size() ? t_[i_] : '\0'; }

  // Skips blanks and comments; false at the end of the text.
  bool skipBlanks() {
    while (i_ < t_.size()) {
      char c = t_[i_];
      if (c == '\n') {
        ++line_;
        ++i_;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++i_;
      } else if (c == '#') {
        while (i_ < t_.size() && t_[i_] != '\n') ++i_;
      } else {
        return true;
      }
    }
    return false;
  }

  static bool wordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
  }

  std::string word() {
    skipBlanks();
    size_t b = i_;
    if (peek() == '-') ++i_;
    while (i_ < t_.size() && wordChar(t_[i_])) ++i_;
    return std::string(t_.substr(b, i_ - b));
  }

  bool expect(char c) {
    skipBlanks();
    if (peek() != c) return fail(fmt::format("'{}' expected", c));
    ++i_;
    return true;
  }

  void directive() {
    ++i_;
    std::string d = word();
    if (d == "hint") {
      hint();
      return;
    }
    if (d == "role") {
      role();
      return;
    }
    if (d != "record") {
      fail("unknown directive @" + d);
      return;
    }
    record_ = word();
    if (recordSlotCount(record_.c_str()) == 0) fail("unknown record " + record_);
  }

  // @hint WORD OPENER ... "advice": one hint per opener, each opener a keyword.
  void hint() {
    const std::string w = word();
    std::vector<std::string> openers;
    while (ok_ && skipBlanks() && peek() != '"') {
      std::string opener = word();
      if (opener.empty()) {
        fail("opener keyword expected in @hint");
        return;
      }
      keyword(opener);
      if (opener.back() == '$') opener.pop_back();
      openers.push_back(opener);
    }
    const size_t e = t_.find('"', i_ + 1);
    if (w.empty() || openers.empty() || e == std::string_view::npos) {
      fail("@hint WORD OPENER ... \"advice\" expected");
      return;
    }
    const std::string text(t_.substr(i_ + 1, e - i_ - 1));
    i_ = e + 1;
    for (const std::string& opener : openers) hints_.push_back({w, opener, text});
  }

  // @role STATEMENT SLOT "words": what the name list in that slot of the record stands for.
  void role() {
    const std::string statement = word(), slot = word();
    skipBlanks();
    const size_t e = peek() == '"' ? t_.find('"', i_ + 1) : std::string_view::npos;
    if (statement.empty() || slot.empty() || e == std::string_view::npos) {
      fail("@role STATEMENT SLOT \"words\" expected");
      return;
    }
    roles_.push_back({statement, field(slot, 's'), std::string(t_.substr(i_ + 1, e - i_ - 1))});
    i_ = e + 1;
  }

  int nonterminal(const std::string& name) {
    auto it = ntIndex_.find(name);
    if (it != ntIndex_.end()) return it->second;
    int n = static_cast<int>(ntNames_.size());
    ntIndex_[name] = n;
    ntNames_.push_back(name);
    defined_.push_back(0);
    return n;
  }

  int keyword(const std::string& w) {
    auto it = symbols_.find(w == ";" ? "ENDJB" : w);
    if (it == symbols_.end()) {
      fail("unknown keyword " + w);
      return 0;
    }
    return it->second;
  }

  void rule() {
    std::string name = word();
    if (name.empty() || !std::islower(static_cast<unsigned char>(name[0]))) {
      fail(fmt::format("rule name expected, found '{}'",
                       name.empty() ? std::string(1, peek()) : name));
      return;
    }
    int lhs = nonterminal(name);
    if (defined_[static_cast<size_t>(lhs)]) {
      fail("rule " + name + " defined twice");
      return;
    }
    defined_[static_cast<size_t>(lhs)] = 1;
    if (!expect(':')) return;
    alternatives(lhs, ';');
  }

  // Alternatives up to the closing character, each a production of lhs.
  void alternatives(int lhs, char close) {
    while (ok_) {
      size_t slot = productions_.size();
      productions_.push_back(Production{lhs, {}});
      std::vector<int> seq = sequence();
      productions_[slot].symbols = std::move(seq);
      skipBlanks();
      char c = peek();
      ++i_;
      if (c == '|') continue;
      if (c != close) fail(fmt::format("'{}' expected", close));
      return;
    }
  }

  std::vector<int> sequence() {
    std::vector<int> seq;
    while (ok_ && skipBlanks()) {
      char c = peek();
      if (c == '|' || c == ';' || c == ']') break;
      if (c == '\'') {
        size_t e = t_.find('\'', i_ + 1);
        if (e == std::string_view::npos) {
          fail("unterminated quote");
          break;
        }
        seq.push_back(keyword(std::string(t_.substr(i_ + 1, e - i_ - 1))));
        i_ = e + 1;
      } else if (c == '{') {
        ++i_;
        seq.push_back(-action());
      } else if (c == '[') {
        ++i_;
        int opt = nonterminal(fmt::format(
            "{}_opt{}", ntNames_[static_cast<size_t>(productions_.back().left)], ++optionalCount_));
        defined_[static_cast<size_t>(opt)] = 1;
        alternatives(opt, ']');
        productions_.push_back(Production{opt, {}});  // the empty alternative
        seq.push_back(kNonterminalMark + opt);
      } else {
        std::string w = word();
        if (w.empty()) {
          fail(fmt::format("unexpected '{}'", c));
          break;
        }
        if (std::islower(static_cast<unsigned char>(w[0])))
          seq.push_back(kNonterminalMark + nonterminal(w));
        else
          seq.push_back(keyword(w));
      }
    }
    return seq;
  }

  int field(const std::string& name, char kind) {
    auto it = fields_.find({record_, kind, name});
    if (it == fields_.end()) {
      fail(fmt::format("record {} has no {} {}", record_, kind == 's' ? "slot" : "flag", name));
      return 0;
    }
    return it->second;
  }

  int argument(char pattern, const std::string& w) {
    switch (pattern) {
      case 'i':
      case 'I': {
        char* end = nullptr;
        long v = std::strtol(w.c_str(), &end, 10);
        if (w.empty() || *end) fail("integer expected, found " + w);
        return static_cast<int>(v);
      }
      case 's':
      case 'S':
        return field(w, 's');
      case 'f':
        return field(w, 'f');
      case 'k':
        return keyword(w);
      case 'n': {
        static const std::map<std::string, int> kinds = {{"numeric", name_kind::kNumeric},
                                                         {"any", name_kind::kAny},
                                                         {"numbers", name_kind::kNumbers},
                                                         {"itemstore", name_kind::kItemStore},
                                                         {"new", name_kind::kNewName}};
        auto it = kinds.find(w);
        if (it == kinds.end()) fail("name kind expected, found " + w);
        return it == kinds.end() ? 0 : it->second;
      }
      case 'd':
        if (w == "in") return kDsInput;
        if (w == "out") return kDsOutput;
        fail("in or out expected, found " + w);
        return 0;
      default:
        return 0;
    }
  }

  // An action `{name arguments}`; returns its number (from 1).
  int action() {
    std::string name = word();
    const ActionShape* shape = nullptr;
    for (const ActionShape& a : kActions)
      if (name == a.name) shape = &a;
    if (!shape) {
      fail("unknown action " + name);
      return 1;
    }
    std::vector<std::string> written;
    while (ok_ && skipBlanks() && peek() != '}') {
      std::string w = word();
      if (w.empty()) {
        fail("bad action argument");
        break;
      }
      written.push_back(w);
    }
    ++i_;
    std::vector<int16_t> args;
    size_t k = 0;
    for (const char* p = shape->pattern; *p; ++p) {
      bool optional = *p == 'I' || *p == 'S';
      if (*p == 'K') {
        args.push_back(static_cast<int16_t>(recordSlotCount(record_.c_str())));
        if (k >= written.size())
          fail("keyword expected in {" + name + "}");
        else
          args.push_back(static_cast<int16_t>(keyword(written[k++])));
      } else if (k < written.size()) {
        args.push_back(static_cast<int16_t>(argument(*p, written[k++])));
      } else if (*p == 'S') {
        args.push_back(-1);
      } else if (!optional) {
        fail("missing argument in {" + name + "}");
      }
    }
    if (k < written.size()) fail("too many arguments in {" + name + "}");
    if (shape->constant != kNone) args.push_back(static_cast<int16_t>(shape->constant));
    auto key = std::make_pair(shape->type, args);
    auto it = actionIndex_.find(key);
    if (it != actionIndex_.end()) return it->second;
    actions_.push_back(key);
    int number = static_cast<int>(actions_.size());
    actionIndex_[key] = number;
    return number;
  }

  void fill(GrammarDescriptor* g) {
    const int wordCount = static_cast<int>(words_.size());
    g->version = 1;
    g->keywordCount = static_cast<uint16_t>(wordCount);
    g->tokenClassCount = kTokenClassCount;
    g->firstNonterminal = static_cast<uint16_t>(wordCount + 1);
    for (const std::string& w : words_) {
      g->keywordOffsets.push_back(static_cast<uint16_t>(g->keywordList.size()));
      g->keywordList.push_back(static_cast<uint8_t>(w.size()));
      g->keywordList.insert(g->keywordList.end(), w.begin(), w.end());
    }
    // Keywords and actions as they are; nonterminals, marked while reading, after the words.
    for (const Production& p : productions_) {
      g->productionStarts.push_back(static_cast<uint16_t>(g->productions.size()));
      g->productionLeft.push_back(static_cast<uint16_t>(p.left));
      g->productions.push_back(static_cast<int16_t>(p.symbols.size()));
      for (auto it = p.symbols.rbegin(); it != p.symbols.rend(); ++it) {
        int s = *it;
        if (s >= kNonterminalMark) s = g->firstNonterminal + (s - kNonterminalMark);
        g->productions.push_back(static_cast<int16_t>(s));
      }
    }
    for (const auto& [type, args] : actions_) {
      g->actionTypes.push_back(static_cast<uint8_t>(type));
      if (args.empty()) {
        g->actionArgStarts.push_back(0xFFFF);
        continue;
      }
      g->actionArgStarts.push_back(static_cast<uint16_t>(g->actionArgs.size()));
      g->actionArgs.push_back(static_cast<int16_t>(args.size()));
      g->actionArgs.insert(g->actionArgs.end(), args.begin(), args.end());
    }
    g->nonterminalNames = ntNames_;
    g->hints = hints_;
    g->listRoles = roles_;
    auto stmt = ntIndex_.find("stmt");
    if (stmt != ntIndex_.end()) {
      firstWords(stmt->second, &g->statementWords);
      // The words that end the step, read as names by the lexer.
      g->statementWords.insert(g->statementWords.end(), {"RUN", "QUIT"});
    }
  }

  // The keywords a nonterminal's text may begin with (its alternatives' first words, through
  // the nonterminals they begin with), without the "$" of a hidden spelling.
  void firstWords(int nonterminal, std::vector<std::string>* out) const {
    std::vector<uint8_t> seen(ntNames_.size(), 0);
    std::vector<int> todo{nonterminal};
    while (!todo.empty()) {
      const int n = todo.back();
      todo.pop_back();
      if (seen[static_cast<size_t>(n)]) continue;
      seen[static_cast<size_t>(n)] = 1;
      for (const Production& p : productions_) {
        if (p.left != n) continue;
        auto first = std::find_if(p.symbols.begin(), p.symbols.end(), [](int s) { return s > 0; });
        if (first == p.symbols.end()) continue;
        if (*first >= kNonterminalMark) {
          todo.push_back(*first - kNonterminalMark);
        } else if (*first > kTokenClassCount) {
          std::string w = words_[static_cast<size_t>(*first - 1)];
          if (!w.empty() && w.back() == '$') w.pop_back();
          out->push_back(w);
        }
      }
    }
  }
};

}  // namespace

bool buildGrammarFrom(std::string_view text, GrammarDescriptor* out, std::string* error) {
  *out = GrammarDescriptor();
  return Builder(text, error).build(out);
}

}  // namespace vsf

#include "base/host.h"
#include "frame/host/values.h"

namespace vsf {

const GrammarDescriptor* buildGrammar() {
  static GrammarDescriptor grammar;
  static const bool built = [] {
    std::string error;
    if (buildGrammarFrom(grammarText(), &grammar, &error)) return true;
    hostv().proc->diagText(error);
    return false;
  }();
  return built ? &grammar : nullptr;
}

bool beginsStatement(std::string_view word) {
  const GrammarDescriptor* g = buildGrammar();
  return g && std::any_of(g->statementWords.begin(), g->statementWords.end(),
                          [&](const std::string& w) { return equalsNoCase(w, word); });
}

}  // namespace vsf
