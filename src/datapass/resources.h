// What a step holds for its whole life: pools, extensions, scratch files, the worker pool, the
// output manager and the timers.
#pragma once

#include <cstdint>

#include "datapass/obstags.h"
#include "datapass/options.h"
#include "datapass/pass.h"
#include "datapass/utilfiles.h"
#include "datapass/workqueue.h"
#include "frame/host/host_vector.h"
#include "output/output.h"

namespace vsf {

struct BridgeObject;
struct HostBindList;

// The kernel vector and the four extensions loaded at step start.
struct ExtensionSet {
  const KernelVector* kernel = nullptr;
  HxStream* stream = nullptr;
  HxStreamX* streamx = nullptr;
  HxTools* tools = nullptr;
  HostExtension* btree = nullptr;
};

// Phase timers (seconds of the host clock).
struct PhaseTimers {
  double mark = 0, fitStart = 0, stepStart = 0;
  double setup = 0, dataPass = 0, levelization = 0, selection = 0, output = 0, cleanup = 0;
  // Phases the Timing table shows when they ran: screening, model averaging, and under
  // ALLDETAILS$ the crossproduct passes, the candidate trials and the step recording.
  double screening = 0, averaging = 0, passes = 0, trials = 0, recording = 0;
};

// The INEST= data set's binding: one slot per design parameter, and its _TYPE_ value.
struct InitialEstimatesBinding {
  HostBindList* list = nullptr;
  int32_t parameterCount = 0;
  char typeValue[8] = {};
  double* estimates = nullptr;  // MAIN POOL
};

// What the step holds for its whole life: pools, extensions, data sets, scratch files, the
// worker pool, the output manager, the timers and the data pass's options.
struct StepResources {
  DataPassOptions dataPass;  // settled at set-up, read-only over the BY groups
  BridgeObject* bridge = nullptr;
  HostPool* mainPool = nullptr;
  PhaseTimers timers;
  ExtensionSet extensions;
  ZPuddle puddle;
  PassWorkers stepWorkers;  // the step's, which the memory plan may lower
  PassWorkers workers;      // the current BY group's (groupWorkers)
  OutputSink output;        // the output manager, the step details' pool, the display clock
  uint8_t cleanupDone = 0;
  ScratchFile outDesignScratch;  // each BY group's result header, for the OUTDESIGN pass
  int64_t outDesignHeaderEnd = 0;
  ObsTagFile obsTags;  // the data pass's roles and folds, for the output data sets
  InitialEstimatesBinding inest;
  char* roleBuffer = nullptr;  // the role value of the current observation
};

}  // namespace vsf
