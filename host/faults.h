// Faults our host plays on the procedure, for tests of its failure paths; nothing the command
// offers sets them. A fault strikes the n-th pool of a name made after the call (counted from 1),
// so that a test meets the procedure at a chosen point of its work; one call replaces another.
#pragma once

#include <filesystem>
#include <functional>
#include <string_view>

namespace vsf::host {

enum class Fault {
  kNone,
  kPoolRefused,    // that pool is not made
  kMemoryRefused,  // no memory comes from that pool
  kPageReadFails,  // no page of a utility file can be read while that pool lives
};

// With kMemoryRefused the struck pool first gives `blocksGiven` blocks, with kPageReadFails
// that many pages are read first, so that a test can fail any one allocation or read of a run.
void injectFault(Fault fault, std::string_view poolName, int nth, int blocksGiven = 0);

// What a pool of that name about to be made meets.
struct PoolFault {
  bool refused = false;
  bool memoryRefused = false;
  bool pageReadsFail = false;
  int blocksGiven = 0;  // blocks given or pages read before the fault
};
PoolFault poolFault(std::string_view name);
// The pool that made page reads fail is gone.
void endPageReadFault();
// Whether the page read about to be made fails; it counts as read.
bool pageReadFails();

// After `allowed` more threads started (counted from the call), every thread start fails, as
// under a limit on processes; a negative count ends it.
void refuseThreadStarts(int allowed);
// Whether the thread start about to be made fails; it counts as made.
bool threadStartRefused();
// The starts refused since refuseThreadStarts was called: a run on one thread tries none.
int threadStartsRefused();

// Every write of ours to the descriptor fails with `error` (ENOSPC, EBADF, EPIPE) and writes
// nothing, as on a full disk or a closed descriptor; error 0 ends it.
void failWrites(int fd, int error);
// The error the write about to be made to the descriptor fails with; 0 when it goes ahead.
int writeFault(int fd);

// Before each new file of ours is made, the test's call is given the name the file is about to
// take, to plant there what another user or a killed run of the same process number would have
// left. One call replaces another; an empty one ends it.
void injectNameClash(std::function<void(const std::filesystem::path&)> plant);
// Runs the test's call, if one is set, for the name.
void beforeNewFile(const std::filesystem::path& name);

}  // namespace vsf::host
