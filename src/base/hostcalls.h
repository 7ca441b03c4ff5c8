// Small routines through which the procedure talks to the host: numbered output operations,
// giving up on a refused output request, the name/value store, the clock, processor
// information and the log object.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "frame/host/host_vector.h"

namespace vsf {

// Calls operation `id` on a host object; searches `table`, or the object's own chain when
// null. Returns the method's result or kNoOperation.
[[nodiscard]] int zhdlcall(HostObject* object, const HandlerTable* table, uint32_t id, int count,
                           OutputArgItem* items);
// Hands a failed output status to the host and ends the step with step::kOutputRefused, unless it
// is the tolerated status (facility 63, number 53).
void zrcabort(uint32_t status);
bool isToleratedStatus(uint32_t status);

// Name/value store with tracing under "OSENV.ZAN_HXNR_DEBUG".
uint32_t hxnrlset(std::string_view name, int64_t value);
int64_t hxnrlimit(std::string_view name, int64_t defaultValue);
struct KeywordCode {
  std::string_view keyword;
  int code;
};
int hxnrlook(std::string_view name, int defaultCode, std::initializer_list<KeywordCode> words);

double zhostclock();
void zcpuinfo(CpuInfoRecord* record);
int zthrexit();

// Waits until one of count events is set; its 1-based position comes back in *position.
// 0, or kNoWaitObject when no events are given.
[[nodiscard]] uint32_t zevwait(int count, HostEvent* const* events, int* position, int64_t limitMs);
// Runs a host request that calls the procedure back through the record's callbacks (the sort of
// a scratch file's records); the host's result: 0, or a host status or a callback's failure.
[[nodiscard]] int zcbreq(HostCallbackRecord* record);
// Allocation through an allocator object (a pool or heap); null when refused.
void* allocFlagged(HostPool* allocator, size_t size, uint32_t flags = 0x3004);

// The log object's operations: text with insertions ({1}, {2}, ...) formatted into out (size
// bytes, always terminated, cut when longer; returns the whole text's length, so a result of
// size or more says it was cut); a line with a level; a status report with insertions.
int zlogfmt(char* out, size_t size, std::string_view format, std::initializer_list<MsgArg> args);
int zlogline(int level, std::string_view text);
// Whether progress lines are shown at all: a step makes their texts only then.
bool zprogressshown();
int zmsgfwd(int level, uint32_t status, std::initializer_list<MsgArg> args);
int zmfree(HostPool* pool, void* block);
inline int ztrace() { return 0; }

}  // namespace vsf
