// The host function families other than data sets and parsing: the procedure environment,
// macro variables, string handles, the clock, core services and scratch files of values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "frame/host/msgarg.h"

namespace vsf {

struct HostObject;
struct HostPool;
struct HostString;   // a text owned by the host for the rest of the step
struct HostScratch;  // a scratch file of 8-byte values

// A host request that calls the procedure back while it runs (hostCallbackRun).
namespace hcb {
constexpr int32_t kSort = 1;
}  // namespace hcb
struct HostCallbackRecord {
  int32_t request = 0;      // hcb code
  void* context = nullptr;  // handed to every callback
  // kSort: records of recordBytes bytes, taken in by read (the count read, 0 at the end,
  // negative on failure) in runs of at most workRecords, ordered by compare (negative, 0 or
  // positive; equal records keep their order) and handed back in ascending order to write
  // (0, or nonzero to stop the request).
  int32_t recordBytes = 0;
  int64_t workRecords = 0;
  int64_t (*read)(void* context, void* records, int64_t count) = nullptr;
  int (*write)(void* context, const void* records, int64_t count) = nullptr;
  int (*compare)(void* context, const void* a, const void* b) = nullptr;
};

struct HostProcFamily {
  // Ends the step with the code; does not return.
  void (*endStep)(int code, int flags);
  // Issues catalogue message (set, number) with insertions.
  void (*msg)(int set, int number, const MsgArg* args, int count);
  // The text of a catalogue message with insertions (titles, labels, footnotes).
  std::string (*msgText)(int set, int number, const MsgArg* args, int count);
  void (*logPrintf)(std::string_view line);
  void (*reportRc)(int flags, uint32_t status);
  void (*diagText)(std::string_view text);
  // Host system options as text ("THREADS", "CPUCOUNT", "VALIDVARNAME", "DEBUG"); false when
  // the option has no value.
  bool (*optionText)(std::string_view name, std::string* value);
  // The step's termination callback and the procedure's context word.
  void (*onTerminate)(void (*callback)());
  void (*setProcContext)(void* context);
  void* (*procContext)();
  // Heaps are pools the host owns for the step.
  HostPool* (*heapNew)(int a, int size, uint32_t flags);
  void (*heapFree)(HostPool* heap);
  // Runs a request that calls back; 0, or a host status (kBadRequest, a callback's failure).
  int (*callbackRun)(HostCallbackRecord* record);
};

struct HostMacroFamily {
  int (*setNum)(std::string_view name, double value, char formatLetter);
  int (*setText)(std::string_view name, std::string_view value);
  bool (*get)(std::string_view name, std::string* value);
  bool (*getNum)(std::string_view name, double* value);
};

struct HostStrFamily {
  HostString* (*fromBytes)(std::string_view text);
  HostString* (*fromMsg)(int set, int number);
  HostString* (*fromMsgArgs)(int set, int number, const MsgArg* args, int count);
  std::string_view (*text)(const HostString* s);
};

// A file operation of the host that failed: the file, what was done ('o' open or make, 'w'
// write, 'r' read) and the system's reason.
struct HostFileFailure {
  std::string path;
  char operation = 0;
  std::string reason;
};

struct HostCoreFamily {
  double (*clock)();         // seconds
  int64_t (*memAvail)();     // bytes the step may use
  double (*timeOfDay)();     // seconds since midnight
  HostObject* (*outRoot)();  // the output root, null when there is none
  // Takes the last failed operation on a page, scratch or sort file of the step; false when
  // none failed since the last take.
  bool (*takeFileFailure)(HostFileFailure* out);
};

struct HostVarIOFamily {
  HostScratch* (*scratchOpen)();
  int (*scratchWrite)(HostScratch* s, const double* values, int64_t count);
  int (*scratchRead)(HostScratch* s, double* values, int64_t count);
  int (*scratchSeek)(HostScratch* s, int64_t position);
  int (*scratchRewind)(HostScratch* s);
  void (*scratchClose)(HostScratch* s);
};

}  // namespace vsf
