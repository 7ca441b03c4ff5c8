// What the display tables, the graphs and the model-averaging outputs read of the options:
// the set-up fills it once from the settled settings (the refit pass from its own), and they
// read it through the `StepView`, never the settings' options.
#pragma once

#include <cstdint>

#include "grammar/codes.h"
#include "statements/settings.h"

namespace vsf {

struct DisplayOptions {
  // The method and its criteria, as the user asked for them (not the run's own method).
  MethodCode method = kMethodStepwise;
  CriterionCode select = kCritSbc, stop = kCritNone, choose = kCritNone;
  double entryLevel = 0.5, stayLevel = 0.1;  // SLENTRY=, SLSTAY=
  int32_t steps = 0, stopSteps = 0, maxSteps = 0;
  int32_t include = 0;
  uint8_t noInt = 0;
  DropRule dropRule = kDropBeforeAdd;
  uint8_t hierarchy = 0;
  uint8_t orderSelect = 0;  // ORDERSELECT: the selected effects in the order they entered
  // The analysis data: WEIGHT and FREQ variables, role and fold tags, a design per BY group.
  uint8_t weightPresent = 0, freqPresent = 0;
  uint8_t rolesPresent = 0, kfold = 0, externalCv = 0;
  uint8_t designPerByGroup = 0;
  int32_t nameLength = 20;  // the CLASS levels' shown width
  uint8_t buildFullSscp = 0;
  uint8_t modelAveragingRun = 0;
  // Cross validation as the tables and the graphs' labels name it.
  CvMethodCode cvMethod = kCvNone;
  int32_t cvFolds = 5;
  int32_t cvIndexVariable = -1;  // the variable of CVMETHOD=INDEX(variable), -1 when none
  CvDetailsCode cvDetails = kCvDetailsNone;
  uint8_t showCvEx = 0;
  // The penalties: the L1 column, the L2 search, screening and adaptive weights.
  L1ChoiceCode l1Choice = kL1ChoiceRatio;
  uint8_t showStepL1 = 0;
  L2SearchCode l2Search = kL2SearchNone;
  int32_t l2Steps = 50;
  double l2Low = 0.0, l2High = 1.0;
  uint8_t showL2Search = 0;
  ScreenCode screen = kScreenNone;
  int32_t keepNum = 100;
  double keepRatio = -1.0;
  uint8_t adaptive = 0;
  double adaptiveGamma = 1.0;
  // What the tables show: the details beyond the summary, the step tables, the statistics
  // columns, standardized estimates, what each step computed and the graphs' norm axis.
  uint8_t detailsBeyondSummary = 0;
  StepDetailTables stepTables;
  uint8_t stats[kStatsCount] = {};
  uint8_t stb = 0;
  uint8_t pressPerStep = 0, validAsePerStep = 0, testAsePerStep = 0;
  uint8_t foldEstimates = 0;
  uint8_t fullModelVariance = 0;
  uint8_t coefNormPerStep = 0;
};

}  // namespace vsf
