// The resample records of model averaging: each record's generator, and the settings the
// refit pass restores.
#pragma once

#include <cstdint>

#include "grammar/codes.h"
#include "numerics/numerics.h"

namespace vsf {

// One resample work record; the main set-up seeds its generator.
struct ResampleWork {
  RngState rng;
};

// The settings the refit pass restores (copied by the main set-up with REFIT).
struct RefitSettings {
  MethodCode method = kMethodNone;
  uint8_t pathMethod = 0;
  CriterionCode choose = kCritNone, select = kCritNone, stop = kCritNone;
  uint8_t incrementalSscp = 0, fullSscp = 0, candidatesTable = 0;
  int32_t forcedEffects = 0, include = 0;
};

struct ScratchFileObject;

struct ResampleSet {
  ResampleWork* work = nullptr;
  int32_t recordCount = 0;
  int32_t resampleCount = 0;
  uint8_t refit = 0;
  // Main set-up.
  const void* extensions = nullptr;  // the step's ExtensionSet
  int32_t refitBest = -1;
  RefitSettings refitSettings;
  uint8_t sampleFreqRequest = 0;  // OUTPUT SAMPLEFREQ
};

}  // namespace vsf
