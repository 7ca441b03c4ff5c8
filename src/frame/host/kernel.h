// The host kernel vector: pools, extensions, events, threads, the name/value store, system
// queries and the log object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "frame/host/msgarg.h"

namespace vsf {

struct HostPool;      // named arena
struct HostEvent;     // manual-reset event
struct HostThread;    // host thread
class HostExtension;  // extension loaded by name (frame/host/extensions.h)

// Pool flags and allocation flags carried over from the callers; the host zero-fills every
// allocation, so kAllocZero is documentation only.
constexpr uint32_t kPoolPlain = 1;
constexpr uint32_t kPoolPage = 1 | 0x10000000u;
constexpr uint32_t kAllocZero = 0x80000000u;

// System query codes and flags.
constexpr int kQueryInfo = 16;
constexpr uint32_t kQueryTiming = 0x10800000u;
constexpr uint32_t kQueryCpu = 0x10200000u;
constexpr int kQueryThreadExit = 33;
constexpr int kQueryProgress = 34;

struct TimingRecord {
  double now = 0.0;   // seconds since an arbitrary origin
  double base = 0.0;  // the origin; the clock is now - base
};

struct CpuInfoRecord {
  int logicalCpus = 1;
  bool hasRdrand = false;
  bool hasAvx2 = false;
  char vendor[16] = {};
};

// Log levels of the log object.
namespace loglevel {
constexpr int kTrace = 1;
constexpr int kNote = 2;
constexpr int kError = 4;
constexpr int kProgress = 8;  // a progress line: shown while the work goes on, not logged
}  // namespace loglevel

// Name/value store value types.
constexpr int kNvInteger = 3;
constexpr int kNvText = 4;

struct KernelVector {
  // Pools: allocate and reallocate return null when refused; destroy frees the pool whole.
  HostPool* (*poolCreate)(std::string_view name, uint32_t flags);
  void* (*poolAlloc)(HostPool* pool, size_t size, uint32_t flags);
  void (*poolFree)(HostPool* pool, void* block);
  void* (*poolRealloc)(HostPool* pool, void* block, size_t size, uint32_t flags);
  void (*poolDestroy)(HostPool* pool);

  // Extensions by name; null when the name is unknown or the extension cannot start.
  HostExtension* (*extensionLoad)(std::string_view name);

  // Events (manual reset) and threads.
  HostEvent* (*eventCreate)();
  void (*eventSet)(HostEvent* event);
  void (*eventReset)(HostEvent* event);
  // Waits until one of count events is set; returns its 1-based position, 0 on timeout
  // (timeoutMs < 0 waits for ever).
  int (*eventWait)(HostEvent* const* events, int count, int64_t timeoutMs);
  void (*eventDestroy)(HostEvent* event);
  HostThread* (*threadCreate)(void (*routine)(void*), void* arg);
  void (*threadJoin)(HostThread* thread);

  // Name/value store. Get returns 0, kNvAbsent when the key is absent or kNvWrongType when the
  // stored value has the other type.
  int (*nameValueTest)(std::string_view name);
  uint32_t (*nameValueGetInt)(std::string_view name, int64_t* value);
  uint32_t (*nameValueGetText)(std::string_view name, std::string* value);
  uint32_t (*nameValueSetInt)(std::string_view name, int64_t value);
  uint32_t (*nameValueSetText)(std::string_view name, std::string_view value);

  // System queries: code 16 with kQueryTiming fills a TimingRecord, with kQueryCpu a
  // CpuInfoRecord; code 33 fills an int32, code 34 an int32 that is 1 when progress lines are
  // shown (else their texts need not be made). Returns 0 or a host status.
  int (*systemQuery)(int code, void* record, uint32_t flags);

  // The log object: a line with a level, a status report with insertions.
  int (*logLine)(int level, std::string_view text);
  int (*logStatus)(int level, uint32_t status, const MsgArg* args, int count);
  // Formats text with insertions written {1}, {2}, ... into out (size bytes, always
  // terminated, cut when longer); returns the length of the whole text.
  int (*logFormat)(char* out, size_t size, std::string_view format, const MsgArg* args, int count);
};

}  // namespace vsf
