#include "base/hostcalls.h"

#include <fmt/format.h>

#include <string>

#include "base/host.h"
#include "base/strings.h"

namespace vsf {

int zhdlcall(HostObject* object, const HandlerTable* table, uint32_t id, int count,
             OutputArgItem* items) {
  if (!table && object) table = object->table;
  for (; table; table = table->parent) {
    if (!table->buckets) continue;
    for (const HandlerEntry* e = table->buckets[id & table->mask]; e; e = e->next)
      if (e->id == id) return e->routine(object, e->argument, e->data, count, items);
  }
  return static_cast<int>(hs::kNoOperation);
}

bool isToleratedStatus(uint32_t status) {
  return (status & 0x3FF800u) == 0x1F800u && (status & 0x7FFu) == 53;
}

void zrcabort(uint32_t status) {
  hostv().proc->reportRc(0, status);
  if (!isToleratedStatus(status)) hostEndStep(step::kOutputRefused);
}

namespace {

constexpr std::string_view kTraceKey = "OSENV.ZAN_HXNR_DEBUG";

bool tracing() { return kernel().nameValueTest(kTraceKey) != 0; }

void trace(const std::string& line) {
  if (tracing()) kernel().logLine(loglevel::kTrace, line);
}

bool nvSuccess(uint32_t s) { return s == 0 || s == hs::kNvAbsent; }
bool nvWrongType(uint32_t s) { return s == hs::kNvWrongType || s == hs::kNvWrongType2; }

void reportFailure(std::string_view service, std::string_view name, std::string_view routine,
                   uint32_t status) {
  kernel().logLine(loglevel::kError, fmt::format("{} failed for {} in {}", service, name, routine));
  MsgArg arg(static_cast<long long>(status));
  kernel().logStatus(loglevel::kError, status, &arg, 1);
}

// Stores an integer, falling back to text when the store keeps the key as text.
uint32_t storeInteger(std::string_view name, int64_t value, std::string_view routine) {
  trace(fmt::format("{}({})={}", routine, name, value));
  uint32_t s = kernel().nameValueSetInt(name, value);
  if (nvWrongType(s)) {
    std::string text = std::to_string(value);
    trace(fmt::format("{}({})='{}'", routine, name, text));
    s = kernel().nameValueSetText(name, text);
  }
  if (nvSuccess(s)) return 0;
  reportFailure("hxNameValueSet", name, routine, s);
  return s;
}

// Reads a counter stored as text: blanks, a sign, digits, an optional point followed by
// zeros, blanks. Magnitudes above 2147483647 are clamped.
bool parseCounter(std::string_view t, int64_t* out) {
  size_t i = 0;
  while (i < t.size() && t[i] == ' ') ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  size_t digitsStart = i;
  int64_t v = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
    if (v <= 2147483647) v = v * 10 + (t[i] - '0');
    ++i;
  }
  if (i == digitsStart) return false;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] == '0') ++i;
  }
  while (i < t.size() && t[i] == ' ') ++i;
  if (i != t.size()) return false;
  if (v > 2147483647) v = 2147483647;
  *out = negative ? -v : v;
  return true;
}

}  // namespace

uint32_t hxnrlset(std::string_view name, int64_t value) {
  if (name.data() == nullptr) return 0;
  return storeInteger(name, value, "hxnrlset");
}

int64_t hxnrlimit(std::string_view name, int64_t defaultValue) {
  if (!kernel().nameValueTest(name)) {
    storeInteger(name, defaultValue, "hxnrlimit");
    return defaultValue;
  }
  int64_t old = 0;
  uint32_t s = kernel().nameValueGetInt(name, &old);
  if (nvWrongType(s)) {
    std::string text;
    s = kernel().nameValueGetText(name, &text);
    if (s == 0 && !parseCounter(text, &old)) s = hs::kNvWrongType;
  }
  if (s != 0) {
    kernel().logLine(loglevel::kError,
                     fmt::format("hxNameValueGet failed for {} in hxnrlimit. The existing value "
                                 "may not be a HXChar string or ZANLONG.",
                                 name));
    old = 100;
  }
  int64_t next = old - 1 < -1 ? -1 : old - 1;
  if (old == 1) {
    MsgArg arg(name);
    kernel().logStatus(loglevel::kNote, hs::kNvLimitReached, &arg, 1);
  }
  storeInteger(name, next, "hxnrlimit");
  return next;
}

int hxnrlook(std::string_view name, int defaultCode, std::initializer_list<KeywordCode> words) {
  std::string value;
  uint32_t s = kernel().nameValueGetText(name, &value);
  if (s != 0) {
    if (s != hs::kNvAbsent) reportFailure("hxNameValueGet", name, "hxnrtget", s);
    return defaultCode;
  }
  trace(fmt::format("hxnrlook({})='{}'", name, value));
  std::string v(trimRight(value));
  if (v.empty()) return defaultCode;
  zwcsupper(v);
  for (const KeywordCode& w : words) {
    bool equal = v == w.keyword;
    trace(fmt::format("hxnrlook({}) '{}' {} '{}' {}", name, v, equal ? "==" : "!=", w.keyword,
                      w.code));
    if (equal) {
      trace(fmt::format("hxnrlook({})={} '{}'", name, w.code, v));
      return w.code;
    }
  }
  MsgArg args[2] = {MsgArg(std::string_view(v)), MsgArg(name)};
  kernel().logStatus(loglevel::kError, hs::kNvBadValue, args, 2);
  uint32_t cleared = kernel().nameValueSetText(name, "");
  if (!nvSuccess(cleared)) reportFailure("hxNameValueSet", name, "hxnrtset", cleared);
  trace(fmt::format("hxnrlook({})={} '{}'", name, defaultCode, v));
  return defaultCode;
}

double zhostclock() {
  TimingRecord t;
  kernel().systemQuery(kQueryInfo, &t, kQueryTiming);
  return t.now - t.base;
}

void zcpuinfo(CpuInfoRecord* record) { kernel().systemQuery(kQueryInfo, record, kQueryCpu); }

int zthrexit() {
  int32_t v = 0;
  kernel().systemQuery(kQueryThreadExit, &v, 0x10000000u);
  return v;
}

uint32_t zevwait(int count, HostEvent* const* events, int* position, int64_t limitMs) {
  if (count < 1 || !events) return hs::kNoWaitObject;
  int p = kernel().eventWait(events, count, limitMs);
  if (position) *position = p;
  return 0;
}

void* allocFlagged(HostPool* allocator, size_t size, uint32_t flags) {
  return allocator ? kernel().poolAlloc(allocator, size, flags) : nullptr;
}

int zlogfmt(char* out, size_t size, std::string_view format, std::initializer_list<MsgArg> args) {
  return kernel().logFormat(out, size, format, args.begin(), static_cast<int>(args.size()));
}

int zcbreq(HostCallbackRecord* record) {
  const HostProcFamily* proc = hostv().proc;
  if (!proc || !proc->callbackRun) return static_cast<int>(hs::kBadRequest);
  return proc->callbackRun(record);
}

int zlogline(int level, std::string_view text) { return kernel().logLine(level, text); }

bool zprogressshown() {
  int32_t shown = 1;
  return kernel().systemQuery(kQueryProgress, &shown, 0) != 0 || shown != 0;
}

int zmsgfwd(int level, uint32_t status, std::initializer_list<MsgArg> args) {
  return kernel().logStatus(level, status, args.begin(), static_cast<int>(args.size()));
}

int zmfree(HostPool* pool, void* block) {
  if (pool && block) kernel().poolFree(pool, block);
  return 0;
}

}  // namespace vsf
