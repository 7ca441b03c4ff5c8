// Statements of a step, as the rest of the procedure uses them: the parsed records and their
// name lists, the thread options, and the performance settings the main set-up applies.
#pragma once

#include <cstdint>
#include <string_view>

#include "frame/host/parse.h"
#include "grammar/slots.h"

namespace vsf {

struct VsfState;
struct ThreadOptions;

// The i-th name (from 0) of a chunked name list: 0 and the name, or 1 when the list is null
// or holds fewer than i + 1 names.
int zlstget(const NameChunkList* list, int i, std::string_view* name);

// The first parsed statement whose name is `name` (compared over at most 32 characters,
// trailing blanks ignored), or null.
const StatementRecord* findStatement(std::string_view name);

// Thread options: the PERFORMANCE statement and the global THREADS and CPUCOUNT options.
// zthropt ends the step (1012) when a global option cannot be read.
void zthropt(const StatementRecord* statements, ThreadOptions* options);
void zthrglob(uint8_t* threadsOn, int32_t* count);
// The "_testthread" macro variables: -1 no preference, 0 one thread, 1 threaded.
int ztestthread(std::string_view key);

// The PERFORMANCE settings that the main set-up applies once the effects are known: whether
// the whole model's crossproducts are built in one pass, and the effective worker count.
void applyPerformanceSettings(VsfState* state, int effectCount);

}  // namespace vsf
