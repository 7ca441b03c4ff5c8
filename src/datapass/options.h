// What the data pass is told of the step: the utility files' settings, how rows are stored and
// the analysis data set's own row slots. The set-up fills it once from the statements; from
// the first BY group on it is only read.
#pragma once

#include <cstdint>

namespace vsf {

struct HostDataSet;
struct LevelVar;
struct VarDescriptor;

// The analysis data set's variables behind the levelization context's row slots, which are
// pointed back at them after another data set's rows were read.
struct AnalysisRowSlots {
  HostDataSet* reader = nullptr;
  VarDescriptor* const* classDescriptors = nullptr;  // per CLASS variable
  VarDescriptor* const* modelDescriptors = nullptr;  // per model variable
  VarDescriptor* response = nullptr;
  VarDescriptor* weight = nullptr;     // null without WEIGHT
  VarDescriptor* frequency = nullptr;  // null without FREQ
  // The levelization context's records of the response, weight and frequency variables.
  LevelVar* responseRecord = nullptr;
  LevelVar* weightRecord = nullptr;
  LevelVar* freqRecord = nullptr;
};

struct DataPassOptions {
  int32_t pageSizeKb = 0;     // the utility files' page size, 0 the host's
  uint8_t randomAccess = 0;   // the utility files are read back in any order
  uint8_t showUtilFiles = 0;  // the utility-file table after each BY group's data pass
  uint8_t allSparse = 0;      // every effect is stored sparse ...
  uint8_t allDense = 0;       // ... or dense, whatever its shape
  AnalysisRowSlots analysis;
};

}  // namespace vsf
