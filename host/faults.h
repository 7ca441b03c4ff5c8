// Faults our host plays on the procedure, for tests of its failure paths; nothing the command
// offers sets them. A fault strikes the n-th pool of a name made after the call (counted from 1),
// so that a test meets the procedure at a chosen point of its work; one call replaces another.
#pragma once

#include <string_view>

namespace vsf::host {

enum class Fault {
  kNone,
  kPoolRefused,    // that pool is not made
  kMemoryRefused,  // no memory comes from that pool
  kPageReadFails,  // no page of a utility file can be read while that pool lives
};

void injectFault(Fault fault, std::string_view poolName, int nth);

// What a pool of that name about to be made meets.
struct PoolFault {
  bool refused = false;
  bool memoryRefused = false;
  bool pageReadsFail = false;
};
PoolFault poolFault(std::string_view name);
// The pool that made page reads fail is gone.
void endPageReadFault();
bool pageReadFails();

}  // namespace vsf::host
