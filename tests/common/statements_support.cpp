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

#include "common/csv.h"
#include "frame/host/values.h"
#include "host/parse/parse_internal.h"

namespace vsf {

// The stand-in data sets are records of the tests' own.
struct StubDataSetRecord {
  std::string name;
  test::MemoryVars vars;
};

namespace test {

namespace {

test::MemoryVars analysisVars() {
  test::MemoryVars v;
  v.add("y");
  for (int k = 1; k <= 10; ++k) v.add(fmt::format("x{}", k));
  for (const char* n : {"a", "b", "c"}) v.add(n);
  v.add("name", kVarCharacter, 16);
  v.add("grp", kVarCharacter, 16);
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
bool csvVariables(const std::string& name, MemoryVars* vars) {
  std::string file = name.substr(name.find('.') == std::string::npos ? 0 : name.find('.') + 1);
  for (char& c : file) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* dir : {VSF_SHARED_DATA, VSF_TEST_DATA "/statements"}) {
    std::ifstream in(std::filesystem::path(dir) / (file + ".csv"));
    std::string head, row;
    if (!in || !std::getline(in, head)) continue;
    std::getline(in, row);
    std::vector<std::string> names = splitCsvLine(head), values = splitCsvLine(row);
    for (size_t k = 0; k < names.size(); ++k) {
      const std::string v = k < values.size() ? values[k] : "";
      char* end = nullptr;
      std::strtod(v.c_str(), &end);
      bool numeric = v.empty() || v == "." || (end && *end == '\0');
      vars->add(names[k], numeric ? kVarNumeric : kVarCharacter, 16);
    }
    return true;
  }
  return false;
}

HostDataSet* open(std::string_view name, int direction, uint32_t* status) {
  Registry& r = registry();
  noteState();
  r.opened.push_back(std::string(name));
  std::string u = upperCopy(name);
  if (direction == kDsOutput) {
    r.sets.push_back({u, {}});
    return handle(&r.sets.back());
  }
  if (u == "DIAB" || u == "WORK.DIAB" || u == "VAL" || u == "TST") {
    r.sets.push_back({u, analysisVars()});
    return handle(&r.sets.back());
  }
  MemoryVars vars;
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
  return rec(ds)->vars.findVar(name, number);
}
int varByNumber(HostDataSet* ds, int number, VarDescriptor* out) {
  return rec(ds)->vars.varByNumber(number, out);
}
int expandList(HostDataSet* ds, std::string_view first, std::string_view second, int form,
               std::vector<int>* numbers) {
  return rec(ds)->vars.expandList(first, second, form, numbers);
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

// The stand-in functions over our host's data-set family.
void useStubFamily(HostDsFamily& f) {
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
  f.outProcessors = [](HostDataSet*, int) {};  // the stub's data sets are not the host's
}

// The catalogue text as a pattern: insertions match anything.
// A catalogue text as a pattern; an error or warning issued while statements are parsed may
// carry the parser's place in front.
std::regex messagePattern(const std::string& text) {
  // The log names the BY group of a message written while one runs.
  std::string p = "(BY group .*?: )?(Line [0-9]+, column [0-9]+: )?";
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
  registry() = Registry();
  useStubFamily(host_.ds);
  host_.load();
  host::parse::dataFamily() = &host_.ds;
}

StubData::~StubData() { host::parse::dataFamily() = &host::kDsFamily; }

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
