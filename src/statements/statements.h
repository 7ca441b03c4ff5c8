// The option readers: each statement's options into the step's settings and the design
// records, with their defaults, repairs and refusals; and the thread options of the
// PERFORMANCE statement and the host.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "frame/host/msgarg.h"
#include "frame/host/parse.h"
#include "grammar/slots.h"
#include "statements/settings.h"

namespace vsf {

struct HostPool;
struct ZLevCtx;

// What the readers write: the settings, the design records of the levelization context (the
// procedure and CLASS options describe its variables), the pool of the step and the step code
// their messages raise.
struct ReaderTarget {
  StepSettings& settings;
  ZLevCtx& lev;
  HostPool* mainPool;
  int& stepCode;
};

// Each reader returns 0 or a negative code after its message has raised the step code.
[[nodiscard]] int readProcedureOptions(ReaderTarget* target, const StatementRecord* proc);
void readPlotsOptions(ReaderTarget* target, const StatementRecord* proc);
[[nodiscard]] int readModelOptions(ReaderTarget* target, const StatementRecord* model);
[[nodiscard]] int readClassOptions(ReaderTarget* target, const StatementRecord* proc);
void readPerformanceOptions(ReaderTarget* target);
void readOutputStatement(ReaderTarget* target);
[[nodiscard]] int readPartitionStatement(ReaderTarget* target);
[[nodiscard]] int readScoreStatements(ReaderTarget* target);
[[nodiscard]] int readModelAverageOptions(ReaderTarget* target, const StatementRecord* record);

// Messages of set 848: a repair raises the step code to at least 4, a refusal to the code
// given.
void repairMsg(int& stepCode, int number, std::initializer_list<MsgArg> args = {});
void refuseMsg(int& stepCode, int number, int code, std::initializer_list<MsgArg> args = {});
// A note that an option was read and has no effect in this build (docs/language.md names it).
void noEffectMsg(std::string_view option);

// Thread options: the workers the PERFORMANCE statement and the global THREADS and CPUCOUNT
// options ask for. zthropt ends the step (step::kInternal) when a global option cannot be read.
void zthropt(const StatementRecord* statements, ThreadOptions* options);
void zthrglob(uint8_t* threadsOn, int32_t* count);
// The workers those options allow, one without threads: more than the host has processors only
// take turns.
int32_t allowedWorkers(const ThreadOptions& options);
// The "_testthread" macro variables: -1 no preference, 0 one thread, 1 threaded.
int ztestthread(std::string_view key);

// The PERFORMANCE settings that the main set-up applies once the effects are known: whether
// the whole model's crossproducts are built in one pass, and the effective worker count.
void applyPerformanceSettings(ReaderTarget* target, int effectCount);

}  // namespace vsf
