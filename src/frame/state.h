// VsfState: the one record of a procedure step, handed to every phase: the settings, the
// step's resources, the BY group's state and the levelization context.
#pragma once

#include <cstdint>

#include "averaging/averaging.h"
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
  // What the selection rules and the paths read of the settings, settled once at set-up.
  SelectionRules rules;
  PathOptions pathOptions;
  // What cross validation and the rest of the engine read of the settings, settled once too.
  CvOptions cv;
  EngineOptions engine;
  // What the displays, the graphs and the model-averaging outputs read of the options.
  DisplayOptions display;
  GroupState group;
  // The output data sets' variables and what their writers keep across BY groups.
  OutputData outputs;
  // Observations of the validation and test data sets read over the BY groups.
  double heldOutRead[2] = {0, 0};
  // What the layers below the frame are given of this state.
  StepView view{settings, display, res, res.output, group, lev, stepCode, byGroupCount};

  VsfState() = default;
  // A copy's view refers to the copy's own parts.
  VsfState(const VsfState& o)
      : stepCode(o.stepCode),
        byGroupCount(o.byGroupCount),
        lev(o.lev),
        levAlloc(o.levAlloc),
        settings(o.settings),
        res(o.res),
        rules(o.rules),
        pathOptions(o.pathOptions),
        cv(o.cv),
        engine(o.engine),
        display(o.display),
        group(o.group),
        outputs(o.outputs),
        heldOutRead{o.heldOutRead[0], o.heldOutRead[1]} {}
  VsfState& operator=(const VsfState&) = delete;
  // Clears every part for a new step.
  void reset() {
    stepCode = 0;
    byGroupCount = 0;
    lev = ZLevCtx();
    levAlloc = LevAllocRecord();
    settings = StepSettings();
    res = StepResources();
    rules = SelectionRules();
    pathOptions = PathOptions();
    cv = CvOptions();
    engine = EngineOptions();
    display = DisplayOptions();
    group = GroupState();
    outputs = OutputData();
    heldOutRead[0] = heldOutRead[1] = 0;
  }
};

}  // namespace vsf
