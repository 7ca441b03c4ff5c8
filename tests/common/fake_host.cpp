#include "common/fake_host.h"

#include <fmt/format.h>

#include <cctype>

#include "common/test_host.h"
#include "frame/host/values.h"
#include "host/session.h"

namespace vsf::test {

namespace {

FakeHost*& loadedFake() {
  static FakeHost* fake = nullptr;
  return fake;
}

void recordMessage(int set, int number, const MsgArg* args, int count) {
  HostMessage m{set, number, {}};
  for (int i = 0; i < count; ++i) {
    if (args[i].kind == MsgArg::Kind::kText)
      m.args.emplace_back(args[i].s);
    else if (args[i].kind == MsgArg::Kind::kInt)
      m.args.push_back(std::to_string(args[i].i));
    else
      m.args.push_back(std::to_string(args[i].d));
  }
  if (FakeHost* fake = FakeHost::current()) fake->messages.push_back(m);
  host::hostVector()->proc->msg(set, number, args, count);
}

int failList(const std::string& why) {
  host::session().log.write("ERROR", why);
  return -1;
}

// Splits "x10" into "X" and 10.
bool numbered(std::string_view n, std::string* prefix, int* k) {
  size_t e = n.size();
  while (e > 0 && std::isdigit(static_cast<unsigned char>(n[e - 1]))) --e;
  if (e == n.size() || e == 0) return false;
  *prefix = upperCopy(n.substr(0, e));
  *k = std::atoi(std::string(n.substr(e)).c_str());
  return true;
}

}  // namespace

void MemoryVars::add(const std::string& name, int type, int length, int formatWidth) {
  VarDescriptor d;
  d.number = static_cast<int>(vars.size());
  d.name = name;
  d.type = type;
  d.length = type == kVarNumeric ? 8 : length;
  d.formatWidth = formatWidth;
  vars.push_back(d);
}

int MemoryVars::find(std::string_view name) const {
  for (const VarDescriptor& v : vars)
    if (equalsNoCase(v.name, name)) return v.number;
  return -1;
}

int MemoryVars::findVar(std::string_view name, int* number) const {
  const int n = find(name);
  if (n < 0) return static_cast<int>(hs::kVarNotFound);
  *number = n;
  return 0;
}

int MemoryVars::varByNumber(int number, VarDescriptor* out) const {
  if (number < 0 || static_cast<size_t>(number) >= vars.size())
    return static_cast<int>(hs::kVarNotFound);
  *out = vars[static_cast<size_t>(number)];
  return 0;
}

int MemoryVars::expandList(std::string_view first, std::string_view second, int form,
                           std::vector<int>* numbers) const {
  numbers->clear();
  if (form == 2) {
    std::string p1, p2;
    int k1 = 0, k2 = 0;
    if (!numbered(first, &p1, &k1) || !numbered(second, &p2, &k2) || p1 != p2 || k1 > k2)
      return failList(fmt::format("{}-{} is not a numbered range.", first, second));
    for (int k = k1; k <= k2; ++k) {
      const int n = find(fmt::format("{}{}", p1, k));
      if (n < 0) return failList(fmt::format("Variable {}{} not found.", p1, k));
      numbers->push_back(n);
    }
    return 0;
  }
  if (form >= 3 && form <= 5) {
    const int a = find(first), b = find(second);
    if (a < 0 || b < 0 || a > b)
      return failList(fmt::format("{}--{} is not a range of variables.", first, second));
    for (int k = a; k <= b; ++k) {
      const int t = vars[static_cast<size_t>(k)].type;
      if (form == 3 || (form == 4 && t == kVarNumeric) || (form == 5 && t == kVarCharacter))
        numbers->push_back(k);
    }
    return 0;
  }
  for (const VarDescriptor& v : vars) {
    const bool take = (form == 6 && v.name.size() >= first.size() &&
                       equalsNoCase(std::string_view(v.name).substr(0, first.size()), first)) ||
                      (form == 7 && v.type == kVarNumeric) ||
                      (form == 8 && v.type == kVarCharacter) || form == 9;
    if (take) numbers->push_back(v.number);
  }
  return numbers->empty() ? failList(fmt::format("No variables match {}:.", first)) : 0;
}

FakeHost::FakeHost() {
  ensureHost();
  vector_ = *host::hostVector();
  ds = *vector_.ds, proc = *vector_.proc, parse = *vector_.parse, core = *vector_.core;
  kernel = *vector_.kernel;
  vector_.ds = &ds, vector_.proc = &proc, vector_.parse = &parse, vector_.core = &core;
  vector_.kernel = &kernel;
}

FakeHost::~FakeHost() {
  if (!loaded_) return;
  loadedFake() = outer_;
  loadProcedure(outer_ ? &outer_->vector_ : host::hostVector());
}

void FakeHost::load() {
  if (!loaded_) outer_ = loadedFake();
  loaded_ = true;
  loadedFake() = this;
  loadProcedure(&vector_);
}

void FakeHost::recordMessages() { proc.msg = &recordMessage; }

std::vector<std::pair<int, int>> FakeHost::messageNumbers() const {
  std::vector<std::pair<int, int>> out;
  for (const HostMessage& m : messages) out.emplace_back(m.set, m.number);
  return out;
}

FakeHost* FakeHost::current() { return loadedFake(); }

}  // namespace vsf::test
