// Test support: a sibling module for the post-fit bridge that records what it receives. The
// program has no such module; a test that wants one registers this recorder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vsf {

struct BridgeModuleRecord {
  int starts = 0, closes = 0, groupHooks = 0, runs = 0, handOvers = 0, designHooks = 0;
  std::vector<std::string> statements;         // the kept statements handed over at start
  std::vector<int32_t> itemKeys;               // keys of the items set, in order
  std::vector<std::vector<double>> estimates;  // the estimates (item 3) of each run
  const double* pendingEstimates = nullptr;    // item 3 until the run
};

// What the recorder has received; every call (re)registers it as "zanmodbr".
BridgeModuleRecord& bridgeModuleRecord();
// Removes the recorder: the next steps find no module, as the program does.
void bridgeRecorderRemove();

}  // namespace vsf
