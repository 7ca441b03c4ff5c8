// The codes the statements' options are read into: selection methods, criteria, screening,
// the L2 search and L1 choice, and the STATS= columns.
#pragma once

#include <cstdint>
#include <string_view>

namespace vsf {

// A code as a number: the index of a table by code, or the offset of its message.
template <typename Code>
constexpr int codeIndex(Code c) {
  return static_cast<int>(c);
}

// Selection methods.
enum class MethodCode : uint8_t {
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
using enum MethodCode;

// Criteria of SELECT=, STOP= and CHOOSE=.
enum class CriterionCode : uint8_t {
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
using enum CriterionCode;
// One more than the largest criterion code: the size of a table indexed by code.
constexpr int kCriterionCodes = 15;
// Every criterion code, in order.
constexpr CriterionCode kAllCriterionCodes[kCriterionCodes] = {
    kCritNone,     kCritSl,     kCritAic,      kCritAicc,       kCritSbc,
    kCritRsquare,  kCritAdjRsq, kCritCp,       kCritBic,        kCritPress,
    kCritValidate, kCritCv,     kCritStopNone, kCritCvExternal, kCritL1};

// Screening of SCREEN=.
enum class ScreenCode : uint8_t {
  kScreenNone = 1,
  kScreenBase = 2,
  kScreenZanvi = 3,
  kScreenZanvi2 = 4,
  kScreenDpp = 5,
  kScreenSis = 6,
};
using enum ScreenCode;

// L2SEARCH= and L1CHOICE= codes.
enum class L2SearchCode : int32_t { kL2SearchNone = 1, kL2SearchGolden = 2, kL2SearchGrid = 3 };
using enum L2SearchCode;
enum class L1ChoiceCode : uint8_t {
  kL1ChoiceNone = 0,  // no L1 target
  kL1ChoiceRatio = 1,
  kL1ChoiceNorm = 2,
  kL1ChoiceValue = 3
};
using enum L1ChoiceCode;

// CVMETHOD= and CVDETAILS= codes.
enum class CvMethodCode : uint8_t {
  kCvNone = 0,
  kCvRandom = 1,
  kCvBlock = 2,
  kCvSplit = 3,
  kCvIndex = 4
};
using enum CvMethodCode;
enum class CvDetailsCode : uint8_t {
  kCvDetailsNone = 0,
  kCvPressOnly = 1,
  kCvCoeffs = 2,
  kCvAll = 3
};
using enum CvDetailsCode;

// DROP= of STEPWISE: when its removals are made. A rule is its code here, its keyword in
// kDropRules and its answer in competitiveDrop: docs/layers.md, "Adding a DROP= rule".
enum class DropRule : uint8_t {
  kDropBeforeAdd = 1,    // the removals after each entry, before the next
  kDropCompetitive = 2,  // at every step the better of the best entry and the best removal
  kDropAfterAdd = 3,     // read, and does as BEFOREADD does
};
using enum DropRule;
// The keyword that names each rule: the grammar's rule `drop_value` is made from them.
struct DropKeyword {
  DropRule rule;
  std::string_view keyword;
};
constexpr DropKeyword kDropRules[] = {
    {kDropBeforeAdd, "BEFOREADD"}, {kDropCompetitive, "COMPETITIVE"}, {kDropAfterAdd, "AFTERADD"}};
// Whether the entries and removals compete at every step, a move judged by its criterion
// value against the other's; else the removals follow an entry.
constexpr bool competitiveDrop(DropRule rule) {
  switch (rule) {
    case kDropCompetitive:
      return true;
    case kDropBeforeAdd:
    case kDropAfterAdd:
      return false;
  }
  return false;
}
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
