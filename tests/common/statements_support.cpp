// In-memory data sets for the statement tests and the step runner that reads the log.
#include "common/statements_support.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "host/parse/parse_internal.h"

namespace vsf {

// The stand-in data sets are records of the tests' own.
struct StubDataSetRecord {
  std::string name;
  std::vector<test::StubVar> vars;
};

namespace test {

namespace {

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

std::vector<StubVar> analysisVars() {
  std::vector<StubVar> v = {{"y"}};
  for (int k = 1; k <= 10; ++k) v.push_back({fmt::format("x{}", k)});
  v.push_back({"a"});
  v.push_back({"b"});
  v.push_back({"c"});
  v.push_back({"name", kVarCharacter});
  v.push_back({"grp", kVarCharacter});
  return v;
}

struct Registry {
  std::deque<StubDataSetRecord> sets;
  std::vector<std::string> opened;
  VsfState* state = nullptr;
  std::vector<ScoreRequest> scores;  // copied while the step's pool still holds them
  ZDesign design;                    // likewise
  std::function<void(const VsfState&)> inspect;
  bool inspected = false;
};

Registry& registry() {
  static Registry r;
  return r;
}

StubDataSetRecord* rec(HostDataSet* ds) { return reinterpret_cast<StubDataSetRecord*>(ds); }
HostDataSet* handle(StubDataSetRecord* r) { return reinterpret_cast<HostDataSet*>(r); }

void noteState() {
  if (host::session().procContext)
    registry().state = static_cast<VsfState*>(host::session().procContext);
}

// The variables of a CSV file of the shared or test data: names from the first line, the
// type from the second (a field that is no number makes a character variable).
bool csvVariables(const std::string& name, std::vector<StubVar>* vars) {
  std::string file = name.substr(name.find('.') == std::string::npos ? 0 : name.find('.') + 1);
  for (char& c : file) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* dir : {VSF_SHARED_DATA, VSF_TEST_DATA "/statements"}) {
    std::ifstream in(std::filesystem::path(dir) / (file + ".csv"));
    std::string head, row;
    if (!in || !std::getline(in, head)) continue;
    std::getline(in, row);
    auto split = [](const std::string& line) {
      std::vector<std::string> out(1);
      bool quoted = false;
      for (char c : line) {
        if (c == '"')
          quoted = !quoted;
        else if (c == ',' && !quoted)
          out.emplace_back();
        else if (c != '\r')
          out.back() += c;
      }
      return out;
    };
    std::vector<std::string> names = split(head), values = split(row);
    for (size_t k = 0; k < names.size(); ++k) {
      const std::string v = k < values.size() ? values[k] : "";
      char* end = nullptr;
      std::strtod(v.c_str(), &end);
      bool numeric = v.empty() || v == "." || (end && *end == '\0');
      vars->push_back({names[k], numeric ? kVarNumeric : kVarCharacter});
    }
    return true;
  }
  return false;
}

HostDataSet* open(std::string_view name, int direction, uint32_t* status) {
  Registry& r = registry();
  noteState();
  r.opened.push_back(std::string(name));
  std::string u = upper(name);
  if (direction == kDsOutput) {
    r.sets.push_back({u, {}});
    return handle(&r.sets.back());
  }
  if (u == "DIAB" || u == "WORK.DIAB" || u == "VAL" || u == "TST") {
    r.sets.push_back({u, analysisVars()});
    return handle(&r.sets.back());
  }
  std::vector<StubVar> vars;
  if (csvVariables(std::string(name), &vars)) {
    r.sets.push_back({u, vars});
    return handle(&r.sets.back());
  }
  host::session().log.write("ERROR", fmt::format("Data set {} does not exist.", u));
  if (status) *status = hs::kVarNotFound;
  return nullptr;
}

std::string lastName() { return "DIAB"; }
void close(HostDataSet*) {}
int nextByGroup(HostDataSet*) {
  noteState();
  Registry& r = registry();
  if (r.state && r.state->settings.scoreRequests)
    r.scores.assign(r.state->settings.scoreRequests,
                    r.state->settings.scoreRequests + r.state->settings.scoreCount);
  if (r.state && r.state->lev.design) r.design = *r.state->lev.design;
  if (r.state && r.inspect && !r.inspected) {
    r.inspected = true;
    r.inspect(*r.state);
  }
  return 0;
}

int findVar(HostDataSet* ds, std::string_view name, int* number) {
  const auto& vars = rec(ds)->vars;
  for (size_t k = 0; k < vars.size(); ++k) {
    if (upper(vars[k].name) == upper(name)) {
      *number = static_cast<int>(k);
      return 0;
    }
  }
  return static_cast<int>(hs::kVarNotFound);
}

int varByNumber(HostDataSet* ds, int number, VarDescriptor* out) {
  const auto& vars = rec(ds)->vars;
  if (number < 0 || static_cast<size_t>(number) >= vars.size()) return -1;
  out->number = number;
  out->name = vars[static_cast<size_t>(number)].name;
  out->type = vars[static_cast<size_t>(number)].type;
  out->length = out->type == kVarNumeric ? 8 : 16;
  return 0;
}

// Splits "x10" into "x" and 10.
bool numbered(std::string_view n, std::string* prefix, int* k) {
  size_t e = n.size();
  while (e > 0 && std::isdigit(static_cast<unsigned char>(n[e - 1]))) --e;
  if (e == n.size() || e == 0) return false;
  *prefix = upper(n.substr(0, e));
  *k = std::atoi(std::string(n.substr(e)).c_str());
  return true;
}

int expandList(HostDataSet* ds, std::string_view first, std::string_view second, int form,
               std::vector<int>* numbers) {
  const auto& vars = rec(ds)->vars;
  auto fail = [&](const std::string& why) {
    host::session().log.write("ERROR", why);
    return -1;
  };
  if (form == 2) {
    std::string p1, p2;
    int k1 = 0, k2 = 0;
    if (!numbered(first, &p1, &k1) || !numbered(second, &p2, &k2) || p1 != p2 || k1 > k2)
      return fail(fmt::format("{}-{} is not a numbered range.", first, second));
    for (int k = k1; k <= k2; ++k) {
      int n = -1;
      if (findVar(ds, fmt::format("{}{}", p1, k), &n) != 0)
        return fail(fmt::format("Variable {}{} not found.", p1, k));
      numbers->push_back(n);
    }
    return 0;
  }
  if (form >= 3 && form <= 5) {
    int a = -1, b = -1;
    if (findVar(ds, first, &a) != 0 || findVar(ds, second, &b) != 0 || a > b)
      return fail(fmt::format("{}--{} is not a range of variables.", first, second));
    for (int k = a; k <= b; ++k) {
      int t = vars[static_cast<size_t>(k)].type;
      if (form == 3 || (form == 4 && t == kVarNumeric) || (form == 5 && t == kVarCharacter))
        numbers->push_back(k);
    }
    return 0;
  }
  for (size_t k = 0; k < vars.size(); ++k) {
    int t = vars[k].type;
    bool take = (form == 6 && upper(vars[k].name).rfind(upper(first), 0) == 0) ||
                (form == 7 && t == kVarNumeric) || (form == 8 && t == kVarCharacter) || form == 9;
    if (take) numbers->push_back(static_cast<int>(k));
  }
  return numbers->empty() ? fail(fmt::format("No variables match {}:.", first)) : 0;
}

int outClose(HostDataSet*, bool) { return 0; }
int setBy(HostDataSet*, const ByVariable*, int, bool) { return 0; }
// The main set-up positions the readers and asks their kind and name; the records have no rows.
int noRows(HostDataSet*) { return 0; }
int setMode(HostDataSet*, char) { return 0; }
int attr(HostDataSet* ds, int code, void* out) {
  if (code == dsattr::kKind)
    *static_cast<int32_t*>(out) = 1;
  else if (code == dsattr::kName)
    *static_cast<std::string*>(out) = rec(ds)->name;
  else
    return -1;
  return 0;
}
int fits(HostDataSet*, HostDataSet*) { return 0; }
// Output data sets take their variables and rows and keep nothing.
int outCarry(HostDataSet*, HostDataSet*, const int*, int) { return 0; }
int outVarAdd(HostDataSet*, const OutVarDefinition*, void** slot) {
  static std::deque<std::array<char, 256>> slots;
  *slot = slots.emplace_back().data();
  return 0;
}
int outLabel(HostDataSet*, std::string_view) { return 0; }

const HostDsFamily kStubFamily = [] {
  HostDsFamily f{};
  f.open = open;
  f.lastName = lastName;
  f.close = close;
  f.nextByGroup = nextByGroup;
  f.findVar = findVar;
  f.varByNumber = varByNumber;
  f.expandList = expandList;
  f.outClose = outClose;
  f.outCarry = outCarry;
  f.outVarAdd = outVarAdd;
  f.outReady = noRows;
  f.outLabel = outLabel;
  f.append = noRows;
  f.setBy = setBy;
  f.setup = noRows;
  f.start = noRows;
  f.readNext = noRows;
  f.mode = setMode;
  f.attr = attr;
  f.check = fits;
  f.verify = fits;
  return f;
}();

HostVector gStubVector;

// The catalogue text as a pattern: insertions match anything.
std::regex messagePattern(const std::string& text) {
  std::string p;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '{') {
      size_t e = text.find('}', i);
      if (e != std::string::npos) {
        p += ".*";
        i = e;
        continue;
      }
    }
    if (std::strchr(".^$|()[]{}*+?\\", c)) p += '\\';
    p += c;
  }
  return std::regex(p);
}

}  // namespace

StubData::StubData() {
  ensureHost();
  registry() = Registry();
  gStubVector = *host::hostVector();
  gStubVector.ds = &kStubFamily;
  test::loadProcedure(&gStubVector);
  host::parse::dataFamily() = &kStubFamily;
}

StubData::~StubData() {
  test::loadProcedure(host::hostVector());
  host::parse::dataFamily() = &host::kDsFamily;
}

std::vector<std::string> StubData::opened() const { return registry().opened; }

int StepRun::count(int set, int number) const {
  const host::CatalogueEntry* e = host::findMessage(set, number);
  std::string fallback = fmt::format("Message {}-{}", set, number);
  int n = 0;
  for (const host::LogLine& l : log) {
    if (e ? std::regex_match(l.text, messagePattern(e->text)) : l.text.rfind(fallback, 0) == 0) ++n;
  }
  return n;
}

namespace {

struct KnownMessage {
  int set, number;
  std::regex pattern;
};

const std::vector<KnownMessage>& knownMessages() {
  static const std::vector<KnownMessage> all = [] {
    std::vector<KnownMessage> v;
    for (int set : {129, 172, 174, 210, 500, 848})
      for (int n = 0; n < 10000; ++n)
        if (const host::CatalogueEntry* e = host::findMessage(set, n))
          v.push_back({set, n, messagePattern(e->text)});
    return v;
  }();
  return all;
}

}  // namespace

std::vector<int> StepRun::messages(std::initializer_list<int> sets) const {
  std::vector<int> out;
  for (const host::LogLine& l : log) {
    for (const KnownMessage& m : knownMessages()) {
      if (std::find(sets.begin(), sets.end(), m.set) == sets.end()) continue;
      if (std::regex_match(l.text, m.pattern)) {
        out.push_back(m.set * 10000 + m.number);
        break;
      }
    }
  }
  return out;
}

std::vector<std::string> StepRun::lines(const std::string& level) const {
  std::vector<std::string> out;
  for (const host::LogLine& l : log)
    if (l.level == level) out.push_back(l.text);
  return out;
}

std::string StepRun::dump() const {
  std::string out = fmt::format("code {}\n", code);
  for (const host::LogLine& l : log) out += fmt::format("  {}: {}\n", l.level, l.text);
  return out;
}

StepRun runStepText(const std::string& text, const std::function<void(const VsfState&)>& inspect) {
  size_t before = host::session().log.lines().size();
  registry().state = nullptr;
  registry().scores.clear();
  registry().design = ZDesign();
  registry().inspect = inspect;
  registry().inspected = false;
  StepRun r;
  r.code = host::runStep(text, 1);
  r.inspected = registry().inspected;
  registry().inspect = nullptr;
  const auto& all = host::session().log.lines();
  r.log.assign(all.begin() + static_cast<long>(before), all.end());
  return r;
}

const std::vector<ScoreRequest>& lastScoreRequests() { return registry().scores; }

const ZDesign& lastDesign() { return registry().design; }

const VsfState& lastState() {
  static VsfState empty;
  return registry().state ? *registry().state : empty;
}

}  // namespace test
}  // namespace vsf
