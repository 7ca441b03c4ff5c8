// The codes the statements' options are read into: selection methods, criteria, screening,
// the L2 search and L1 choice, and the STATS= columns.
#pragma once

#include <cstdint>

namespace vsf {

// Selection methods.
enum MethodCode : uint8_t {
  kMethodNone = 1,
  kMethodForward = 2,
  kMethodBackward = 3,
  kMethodStepwise = 4,
  kMethodLar = 5,
  kMethodLasso = 6,
  kMethodLarLs = 7,
  kMethodLassoLs = 8,
  kMethodElasticNet = 9,
  kMethodElasticNetLs = 10,
  kMethodHxLasso = 11,
  kMethodHxGLasso = 12,
  kMethodGroupLasso = 13,
};

// Criteria of SELECT=, STOP= and CHOOSE=.
enum CriterionCode : uint8_t {
  kCritNone = 0,
  kCritSl = 1,
  kCritAic = 2,
  kCritAicc = 3,
  kCritSbc = 4,
  kCritRsquare = 5,
  kCritAdjRsq = 6,
  kCritCp = 7,
  kCritBic = 8,
  kCritPress = 9,
  kCritValidate = 10,
  kCritCv = 11,
  kCritStopNone = 12,
  kCritCvExternal = 13,
  kCritL1 = 14,
};

// Screening of SCREEN=.
enum ScreenCode : uint8_t {
  kScreenNone = 1,
  kScreenBase = 2,
  kScreenZanvi = 3,
  kScreenZanvi2 = 4,
  kScreenDpp = 5,
  kScreenSis = 6,
};

// L2SEARCH= and L1CHOICE= codes.
constexpr int kL2SearchNone = 1, kL2SearchGolden = 2, kL2SearchGrid = 3;
constexpr int kL1ChoiceRatio = 1, kL1ChoiceNorm = 2, kL1ChoiceValue = 3;
// L2 = kL2Search: the elastic net's L2 is searched. A negative L2= that the user gave is
// turned into this value by the MODEL reader (with a message); it is never taken as given.
constexpr double kL2Search = -1.0;

// Statistics columns of STATS=, in this order (ALL is a column of its own).
enum StatsColumn : int {
  kStatsAll,
  kStatsSl,
  kStatsFValue,
  kStatsAic,
  kStatsAicc,
  kStatsSbc,
  kStatsBic,
  kStatsCp,
  kStatsPress,
  kStatsRsquare,
  kStatsAdjRsq,
  kStatsAse,
  kStatsCount
};

}  // namespace vsf
