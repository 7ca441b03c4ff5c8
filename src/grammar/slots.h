// The layout of the statement records the parser builds from the procedure's grammar: the
// option slot and flag of every option, per statement. The grammar refers to these names, the
// readers to the constants (slots::model::kSlEntry, flags::model::kNoInt, ...). Every option
// has a field of its own; a test checks that no two names of a record share a number.
#pragma once

// Each list: X(name, number).

// ---- Procedure statement (VARSIFTER); BY, CLASS, FREQ and WEIGHT write into it ----
#define VSF_PROC_SLOT_COUNT 75
#define VSF_PROC_SLOTS(X)                                                            \
  X(ByVars, 0)    /* BY variables; number 1 NOTSORTED; numbers: 1 DESCENDING each */ \
  X(ModelVars, 1) /* continuous variables of the effects (effects library) */        \
  X(ClassVars, 2) /* CLASS variables */                                              \
  X(Freq, 5)                                                                         \
  X(Weight, 6)                                                                       \
  X(ParmLabelStyle, 7) /* INTERLACED 0, SEPARATE 1, SEPARATECOMPACT 2 */             \
  X(ShortNamesText, 8) /* SHORTPARMNAMES$='text' */                                  \
  X(Separator, 9)      /* PARMLABELSTYLE=INTERLACED(SEPARATOR='text') */             \
  X(MaxMacro, 10)                                                                    \
  X(Data, 11)                                                                        \
  X(PlotCandidates, 12) /* PLOTS(CANDIDATES=) */                                     \
  X(SelectogramCandidates, 13)                                                       \
  X(ParamIndex, 14) /* CLASS per-variable lists: variable positions ... */           \
  X(ParamValue, 15) /* ... and the values, keywords negated */                       \
  X(Param, 16)      /* CLASS / PARAM=: numbers, the last one counts */               \
  X(OrderIndex, 17)                                                                  \
  X(OrderValue, 18)                                                                  \
  X(Order, 19)                                                                       \
  X(RefIndex, 20)                                                                    \
  X(RefValue, 21)                                                                    \
  X(RefText, 22) /* per-variable REF='level': names, numbers the positions */        \
  X(Ref, 23)     /* numbers; text the quoted level */                                \
  X(DescIndex, 24)                                                                   \
  X(DescValue, 25)                                                                   \
  X(Desc, 26)                                                                        \
  X(CprefixIndex, 27)                                                                \
  X(CprefixValue, 28)                                                                \
  X(Cprefix, 29)                                                                     \
  X(LprefixIndex, 30)                                                                \
  X(LprefixValue, 31)                                                                \
  X(Lprefix, 32)                                                                     \
  X(MissingIndex, 33)                                                                \
  X(MissingValue, 34)                                                                \
  X(Missing, 35)                                                                     \
  X(Truncate, 36)                                                                    \
  X(Delimiter, 37)                                                                   \
  X(SplitIndex, 43)                                                                  \
  X(SplitValue, 44)                                                                  \
  X(CandidatesShow, 46) /* PLOTS=CANDIDATES(SHOW=) */                                \
  X(MaxStepLabel, 47)                                                                \
  X(MaxParmLabel, 48)                                                                \
  X(ValData, 49)                                                                     \
  X(TestData, 50)                                                                    \
  X(Seed, 51)                                                                        \
  X(StepAxis, 53) /* PLOTS(STEPAXIS=): NUMBER 1, EFFECT 2, NORMB 3 */                \
  X(LabelGap, 54)                                                                    \
  X(NameLen, 55)                                                                     \
  X(OutDesign, 56)                                                                   \
  X(OutDesignPrefix, 57)                                                             \
  X(StartStep, 58)                                                                   \
  X(EndStep, 59)                                                                     \
  X(CoefStartStep, 60)                                                               \
  X(CoefEndStep, 61)                                                                 \
  X(AseStartStep, 62)                                                                \
  X(AseEndStep, 63)                                                                  \
  X(CritStartStep, 64)                                                               \
  X(CritEndStep, 65)                                                                 \
  X(EspMinPct, 66) /* PLOTS=EFFECTSELECTPCT(MINPCT=) */                              \
  X(EspOrder, 67)                                                                    \
  X(PdMinPct, 68) /* PLOTS=PARMDIST(MINPCT=) */                                      \
  X(PdOrder, 69)                                                                     \
  X(PlotsPerPanel, 70)                                                               \
  X(CoefStepAxis, 71)                                                                \
  X(AseStepAxis, 72)                                                                 \
  X(CritStepAxis, 73)                                                                \
  X(Emphasis, 74)

#define VSF_PROC_FLAGS(X)   \
  X(PlotUnpack, 1)          \
  X(PlotLogp, 2)            \
  X(SelectogramLogp, 10)    \
  X(NormalizedCriteria, 11) \
  X(CandidatesLogp, 14)     \
  X(CoefUnpack, 18)         \
  X(TruncateGiven, 40)      \
  X(ShowCoding, 41)         \
  X(Split, 42)              \
  X(CoefLogp, 51)           \
  X(CritUnpack, 52)         \
  X(NoPrint, 53)            \
  X(PlotNone, 54)           \
  X(PlotCriteria, 55)       \
  X(PlotAse, 56)            \
  X(PlotAll, 57)            \
  X(PlotEquals, 58)         \
  X(Plots, 59)              \
  X(PlotCoef, 60)           \
  X(PlotSelectogram, 61)    \
  X(PlotCandidates, 62)     \
  X(ShowInternalTables, 63) \
  X(ShortParmNames, 64)     \
  X(SeparatorGiven, 65)     \
  X(FullModel, 67)          \
  X(AddInputVars, 68)       \
  X(OutDesignNames, 71)     \
  X(PlotEsp, 72)            \
  X(PlotParmDist, 73)       \
  X(PdUnpack, 74)           \
  X(NoBoxPlots, 75)

// ---- MODEL ----
#define VSF_MODEL_SLOT_COUNT 38
#define VSF_MODEL_SLOTS(X)                              \
  X(Effects, 1) /* the effects library's effect list */ \
  X(Responses, 2)                                       \
  X(Steps, 4)                                           \
  X(SlEntry, 5)                                         \
  X(MaxSteps, 6)                                        \
  X(Include, 7)                                         \
  X(SlStay, 8)                                          \
  X(Hierarchy, 9)                                       \
  X(Selection, 10)                                      \
  X(Select, 11)                                         \
  X(Stop, 12)                                           \
  X(Details, 13)                                        \
  X(Choose, 14)                                         \
  X(Start, 15)                                          \
  X(StopSteps, 16)                                      \
  X(CandidatesShow, 17)                                 \
  X(Drop, 18)                                           \
  X(CvFolds, 20)                                        \
  X(CvIndexVar, 21)                                     \
  X(Gamma, 22)                                          \
  X(InEst, 23)                                          \
  X(Fuzz, 24)                                           \
  X(L2, 25)                                             \
  X(L2Steps, 26)                                        \
  X(L2Search, 27)                                       \
  X(L2Low, 28)                                          \
  X(L2High, 29)                                         \
  X(L1, 30)                                             \
  X(L1Choice, 31)                                       \
  X(Screen, 32)                                         \
  X(ScreenSteps, 33)                                    \
  X(KeepNum, 34)                                        \
  X(KeepRatio, 35)                                      \
  X(Rho, 36)                                            \
  X(Tol, 37)

#define VSF_MODEL_FLAGS(X)                       \
  X(NoInt, 1)                                    \
  X(StatsAll, 10)                                \
  X(StatsSl, 11)                                 \
  X(StatsFValue, 12)                             \
  X(StatsAic, 13)                                \
  X(StatsAicc, 14)                               \
  X(StatsSbc, 15)                                \
  X(StatsBic, 16)                                \
  X(StatsCp, 17)                                 \
  X(StatsPress, 18)                              \
  X(StatsRsquare, 19)                            \
  X(StatsAdjRsq, 20)                             \
  X(StatsAse, 21)                                \
  X(StepsList, 22) /* DETAILS=STEPS(...) */      \
  X(StepsAll, 23)                                \
  X(StepsAnova, 24)                              \
  X(StepsFitStats, 25)                           \
  X(StepsParmEst, 26)                            \
  X(StepsCandidates, 27)                         \
  X(OrderSelect, 28)                             \
  X(StepsShowAll, 29) /* CANDIDATES(SHOW=ALL) */ \
  X(LsCoeffs, 30)                                \
  X(Stb, 31)                                     \
  X(CvMethod, 32)                                \
  X(CvBlock, 33)                                 \
  X(CvSplit, 34)                                 \
  X(CvDetails, 35)                               \
  X(CvDetailsPress, 36)                          \
  X(CvDetailsCoeffs, 37)                         \
  X(CvDetailsAll, 38)                            \
  X(CvIndex, 39)                                 \
  X(ShowPValues, 40)                             \
  X(Adaptive, 41)                                \
  X(NoStandardize, 42)                           \
  X(EnScale, 76)                                 \
  X(ShowL2Search, 77)                            \
  X(ShowCvEx, 78)                                \
  X(ShowStepL1, 79)                              \
  X(LinearCvEx, 80)                              \
  X(ShowScreen, 81)

// ---- EFFECT ----
#define VSF_EFFECT_SLOT_COUNT 25
#define VSF_EFFECT_SLOTS(X)                                                           \
  X(Name, 1)                                                                          \
  X(Type, 2) /* MULTIMEMBER 1, COLLECTION 2, SPLINE 3, POLYNOMIAL 4, LAG 5 */         \
  X(Vars, 3)                                                                          \
  X(MmWeight, 4) /* MULTIMEMBER WEIGHT=(variables) */                                 \
  X(Delimiter, 5)                                                                     \
  X(Degree, 6)                                                                        \
  X(KnotMethod, 7) /* EQUAL 1, MULTISCALE 2, LIST 3, RANGEFRACTIONS 4, PERCENTILES 5, \
                      LISTWITHBOUNDARY 6 */                                           \
  X(KnotCount, 8)  /* EQUAL(n), PERCENTILES(n) */                                     \
  X(KnotList, 9)   /* LIST(...), RANGEFRACTIONS(...), LISTWITHBOUNDARY(...) */        \
  X(StartLevel, 10)                                                                   \
  X(EndScale, 11)                                                                     \
  X(Basis, 12) /* BSPLINE 1, TPF 2 */                                                 \
  X(KnotMin, 13)                                                                      \
  X(KnotMax, 14)                                                                      \
  X(MDegree, 15)                                                                      \
  X(StdPrefix, 16)     /* STANDARDIZE(PREFIX='text') */                               \
  X(StdMethod, 17)     /* STANDARDIZE(METHOD=): MOMENTS 1, WMOMENTS 2, RANGE 3 */     \
  X(StdOption, 18)     /* STANDARDIZE=: NONE 1, CENTER 2, SCALE 3, CENTERSCALE 4 */   \
  X(Exponent, 19)      /* LABELSTYLE=(EXPONENT='text') */                             \
  X(ProductSymbol, 20) /* LABELSTYLE=(PRODUCTSYMBOL='text') */                        \
  X(NLag, 21)                                                                         \
  X(Within, 22)                                                                       \
  X(Period, 23)                                                                       \
  X(DesignRole, 24)

#define VSF_EFFECT_FLAGS(X)           \
  X(NoEffect, 1)                      \
  X(Stdize, 2) /* STDIZE or ROWSTD */ \
  X(Details, 3)                       \
  X(TpfNoInt, 4)                      \
  X(TpfNoPowers, 5)                   \
  X(NaturalCubic, 6)                  \
  X(Separate, 7)                      \
  X(Split, 8)                         \
  X(DataBoundary, 9)                  \
  X(NoSeparate, 10)                   \
  X(Standardize, 11)                  \
  X(ExponentGiven, 12)                \
  X(Expand, 13)                       \
  X(IncludeName, 14)                  \
  X(ProductNone, 15) /* PRODUCTSYMBOL=NONE */

// ---- PARTITION ----
#define VSF_PARTITION_SLOT_COUNT 7
#define VSF_PARTITION_SLOTS(X) \
  X(RoleVar, 1)                \
  X(Train, 2)                  \
  X(Validate, 3)               \
  X(Test, 4)                   \
  X(ValidateFraction, 5)       \
  X(TestFraction, 6)

#define VSF_PARTITION_FLAGS(X) \
  X(Train, 2)                  \
  X(Validate, 3)               \
  X(Test, 4)                   \
  X(ValidateFraction, 5)       \
  X(TestFraction, 6)

// ---- OUTPUT and SCORE: the statistics share their numbers (flag and name slot) ----
#define VSF_OUTPUT_SLOT_COUNT 11
#define VSF_OUTPUT_SLOTS(X) \
  X(Out, 1)                 \
  X(Pred, 2)                \
  X(Resid, 3)               \
  X(SamplePred, 4)          \
  X(SampleFreq, 5)          \
  X(StdDev, 6)              \
  X(Upper, 7)               \
  X(Lower, 8)               \
  X(Median, 9)

#define VSF_OUTPUT_FLAGS(X) \
  X(Pred, 2)                \
  X(Resid, 3)               \
  X(SamplePred, 4)          \
  X(SampleFreq, 5)          \
  X(StdDev, 6)              \
  X(Upper, 7)               \
  X(Lower, 8)               \
  X(Median, 9)

#define VSF_SCORE_SLOT_COUNT 12
#define VSF_SCORE_SLOTS(X) \
  X(Data, 1)               \
  X(Pred, 2)               \
  X(Resid, 3)              \
  X(SamplePred, 4)         \
  X(StdDev, 6)             \
  X(Upper, 7)              \
  X(Lower, 8)              \
  X(Median, 9)             \
  X(Out, 11)

#define VSF_SCORE_FLAGS(X) \
  X(Pred, 2)               \
  X(Resid, 3)              \
  X(SamplePred, 4)         \
  X(StdDev, 6)             \
  X(Upper, 7)              \
  X(Lower, 8)              \
  X(Median, 9)

// ---- PERFORMANCE ----
#define VSF_PERF_SLOT_COUNT 6
#define VSF_PERF_SLOTS(X) \
  X(CpuCount, 1)          \
  X(UtilBuffers, 3)       \
  X(UtilPageSize, 4)      \
  X(FullSweep, 5) /* STEPADD 0, NEVER 1, ALWAYS 2 */

#define VSF_PERF_FLAGS(X) \
  X(Threads, 1)           \
  X(NoThreads, 2)         \
  X(CpuMin, 3)            \
  X(CpuMax, 4)            \
  X(CpuActual, 5)         \
  X(Details, 6)           \
  X(NoTiming, 7)          \
  X(PerfStatus, 8)        \
  X(AllDetails, 9)        \
  X(Force, 10)            \
  X(BuildFull, 11)        \
  X(UtilRandom, 12)       \
  X(AllSparse, 13)        \
  X(AllDense, 14)         \
  X(BuildIncremental, 15) \
  X(UtilDetails, 16)

// ---- MODELAVERAGE ----
#define VSF_MA_SLOT_COUNT 24
#define VSF_MA_SLOTS(X)                                                       \
  X(NThreads, 1)                                                              \
  X(NSamples, 2)                                                              \
  X(Alpha, 3)                                                                 \
  X(ParmThreshold, 4)                                                         \
  X(Size, 5)                                                                  \
  X(Percent, 6)                                                               \
  X(SharedDrive, 8)                                                           \
  X(Schedule, 9)                                                              \
  X(EspMinPct, 10)                                                            \
  X(EspOrder, 11)                                                             \
  X(AverageMethod, 12) /* MEAN 1, MEANNONZERO 2, MEDIAN 3, MEDIANNONZERO 4 */ \
  X(TrimPercent, 13)                                                          \
  X(MinModelFreq, 16)                                                         \
  X(MsfBest, 17)                                                              \
  X(PeMinPct, 18)                                                             \
  X(PeOrder, 19)                                                              \
  X(SubsetBest, 20)                                                           \
  X(RefitMinPct, 21)                                                          \
  X(RefitNSamples, 22)                                                        \
  X(RefitBest, 23)

#define VSF_MA_FLAGS(X) \
  X(Statement, 1)       \
  X(Details, 2)         \
  X(InMemory, 5)        \
  X(Srs, 7)             \
  X(SharedDrive, 9)     \
  X(Static, 10)         \
  X(Esp, 11)            \
  X(Msf, 12)            \
  X(ParmEst, 13)        \
  X(TablesAll, 14)      \
  X(MsfAll, 15)         \
  X(Only, 16)           \
  X(TablesNone, 17)     \
  X(AverageMethod, 18)  \
  X(Refit, 19)          \
  X(NonZeroParms, 43)   \
  X(PeAll, 44)          \
  X(EspAll, 45)         \
  X(RefitAll, 46)

// ---- CODE (handed to the bridge) ----
#define VSF_CODE_SLOT_COUNT 20
#define VSF_CODE_SLOTS(X)                                       \
  X(Bridge, 1) /* 13165: the statement belongs to the bridge */ \
  X(File, 2)                                                    \
  X(Catalog, 3)                                                 \
  X(Format, 4)                                                  \
  X(Group, 5)                                                   \
  X(LineSize, 6)                                                \
  X(Lookup, 7) /* AUTO 1, BINARY 2, LINEAR 3, SELECT 4 */       \
  X(Metabase, 8)

#define VSF_CODE_FLAGS(X) \
  X(Dummies, 1)           \
  X(NoDummies, 2)         \
  X(Error, 3)             \
  X(NoError, 4)           \
  X(Residual, 5)          \
  X(NoResidual, 6)

// ---- STORE (ITEMSTORE) ----
#define VSF_STORE_SLOT_COUNT 7
#define VSF_STORE_SLOTS(X) \
  X(ItemStore, 1)          \
  X(Label, 5)

#define VSF_STORE_FLAGS(X) X(Label, 3)

// The records in one list, for the grammar and the checks: X(namespace, SLOTS, FLAGS, count).
#define VSF_RECORDS(X)                                                             \
  X(proc, VSF_PROC_SLOTS, VSF_PROC_FLAGS, VSF_PROC_SLOT_COUNT)                     \
  X(model, VSF_MODEL_SLOTS, VSF_MODEL_FLAGS, VSF_MODEL_SLOT_COUNT)                 \
  X(effect, VSF_EFFECT_SLOTS, VSF_EFFECT_FLAGS, VSF_EFFECT_SLOT_COUNT)             \
  X(partition, VSF_PARTITION_SLOTS, VSF_PARTITION_FLAGS, VSF_PARTITION_SLOT_COUNT) \
  X(output, VSF_OUTPUT_SLOTS, VSF_OUTPUT_FLAGS, VSF_OUTPUT_SLOT_COUNT)             \
  X(score, VSF_SCORE_SLOTS, VSF_SCORE_FLAGS, VSF_SCORE_SLOT_COUNT)                 \
  X(perf, VSF_PERF_SLOTS, VSF_PERF_FLAGS, VSF_PERF_SLOT_COUNT)                     \
  X(ma, VSF_MA_SLOTS, VSF_MA_FLAGS, VSF_MA_SLOT_COUNT)                             \
  X(code, VSF_CODE_SLOTS, VSF_CODE_FLAGS, VSF_CODE_SLOT_COUNT)                     \
  X(store, VSF_STORE_SLOTS, VSF_STORE_FLAGS, VSF_STORE_SLOT_COUNT)

namespace vsf {

#define VSF_CONST(name, number) constexpr int k##name = number;
#define VSF_SLOT_NS(ns, SLOTS, FLAGS, count) \
  namespace slots::ns {                      \
  constexpr int kCount = count;              \
  SLOTS(VSF_CONST)                           \
  }                                          \
  namespace flags::ns {                      \
  FLAGS(VSF_CONST)                           \
  }
VSF_RECORDS(VSF_SLOT_NS)
#undef VSF_SLOT_NS
#undef VSF_CONST

// The bridge code that the CODE statement carries in its slot 1.
constexpr int kBridgeStatementCode = 13165;

// One named slot or flag of a record, for the grammar builder and the layout checks.
struct RecordField {
  const char* record;  // "proc", "model", ...
  const char* name;    // "SlEntry", ...
  char kind;           // 's' slot, 'f' flag
  int number;
};
// Every field of every record.
const RecordField* recordFields(int* count);
// The slot count of a record, 0 for an unknown one.
int recordSlotCount(const char* record);

}  // namespace vsf
