// VsfState: the one record of a procedure step, handed to every phase: the settings, the
// step's resources, the BY group's state and the levelization context.
#pragma once

#include <cstdint>

#include "datapass/resources.h"
#include "effects/effects.h"
#include "selection/group.h"
#include "statements/settings.h"

namespace vsf {

struct VsfState {
  int stepCode = 0;
  int32_t byGroupCount = 0;
  // The levelization context: the step's design and each BY group's levels.
  ZLevCtx lev;
  LevAllocRecord levAlloc;
  StepSettings settings;
  StepResources res;
  GroupState group;
};

}  // namespace vsf
