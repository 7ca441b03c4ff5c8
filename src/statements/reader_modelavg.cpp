// readModelAverageOptions: the MODELAVERAGE statement into the model-averaging settings. Its
// table reads the options one by one; the rules share the samples over the threads, settle the
// sampling and the table switches.
#include <algorithm>

#include "base/codes.h"
#include "base/host.h"
#include "grammar/slot_reader.h"
#include "statements/option_table.h"
#include "statements/statements.h"

namespace vsf {

namespace {

namespace as = slots::ma;
namespace af = flags::ma;

constexpr int kMaxInt = 2147483647;

#define VSF_AVERAGE(field) VSF_FIELD(settings.modelAverage.field)
// clang-format off
constexpr OptionRow kAverageRows[] = {
    {"NSAMPLES", as::kNSamples, kOptInteger, 100, {1}, VSF_AVERAGE(samples), kFixedOnRead},
    {"DETAILS", af::kDetails, kOptFlag, 0, {}, VSF_AVERAGE(details), kFixedOnRead},
    {"ALPHA", as::kAlpha, kOptNumber, 0.5, {0, 1}, VSF_AVERAGE(alpha), kFixedOnRead},
    {"AVERAGEMETHOD$", as::kAverageMethod, kOptCode, 1, {}, VSF_AVERAGE(averageMethod), kFixedOnRead},
    {"AVERAGEMETHOD$ given", af::kAverageMethod, kOptFlag, 0, {}, VSF_AVERAGE(averageMethodGiven), kFixedOnRead},
    {"TRIMPERCENT", as::kTrimPercent, kOptPercent, 0, {0, 100}, VSF_AVERAGE(trimFraction), kFixedOnRead},
    {"PARMTHRESHOLD$", as::kParmThreshold, kOptPercent, 0, {0, 99}, VSF_AVERAGE(parmThreshold), kFixedOnRead},
    {"MINMODELFREQ", as::kMinModelFreq, kOptInteger, 0, {1}, VSF_AVERAGE(subsetMinModelFreq), kFixedOnRead},
    {"SUBSET(BEST=)", as::kSubsetBest, kOptInteger, 0, {1}, VSF_AVERAGE(subsetBest), kFixedOnRead},
    {"INMEMORY$", af::kInMemory, kOptFlag, 0, {}, VSF_AVERAGE(inMemory), kNoEffect},
    {"SAMPLING=SRS", af::kSrs, kOptFlag, 0, {}, VSF_AVERAGE(srs), kFixedOnRead},
    // PERCENT= outranks SIZE=.
    {"SIZE", as::kSize, kOptInteger, 0, {1}, VSF_AVERAGE(sampleSize), kStatementRules, {241, 0, kWhenGiven}},
    {"EFFECTSELECTPCT(MINPCT=)", as::kEspMinPct, kOptNumber, 20, {0, 100}, VSF_AVERAGE(espMinPct), kStatementRules},
    {"EFFECTSELECTPCT(ORDER=)", as::kEspOrder, kOptCode, 0, {}, VSF_AVERAGE(espOrder), kFixedOnRead},
    {"MODELSELECTFREQ(BEST=)", as::kMsfBest, kOptInteger, 20, {1}, VSF_AVERAGE(msfBest), kStatementRules},
    {"PARMEST(MINPCT=)", as::kPeMinPct, kOptNumber, 20, {0, 100}, VSF_AVERAGE(peMinPct), kStatementRules},
    {"PARMEST(ORDER=)", as::kPeOrder, kOptCode, 0, {}, VSF_AVERAGE(peOrder), kFixedOnRead},
    {"NONZEROPARMS", af::kNonZeroParms, kOptFlag, 0, {}, VSF_AVERAGE(nonZeroParms), kStatementRules},
    {"REFIT", af::kRefit, kOptFlag, 0, {}, VSF_AVERAGE(refit), kFixedOnRead},
    {"REFIT(MINPCT=)", as::kRefitMinPct, kOptPercent, 20, {0, 100}, VSF_AVERAGE(refitMinPct), kStatementRules},
    {"REFIT(BEST=)", as::kRefitBest, kOptInteger, -1, {0}, VSF_AVERAGE(refitBest), kStatementRules},
};
// clang-format on
#undef VSF_AVERAGE

constexpr const OptionRow& kSizeRow = rowNamed(kAverageRows, "SIZE");

// Table switch: 1 without ONLY; with ONLY listed plus ALL (0, 1 or 2).
uint8_t tableSwitch(const StatementRecord* r, int listedFlag) {
  if (!r->flag(af::kOnly)) return 1;
  return static_cast<uint8_t>((r->flag(listedFlag) ? 1 : 0) + (r->flag(af::kTablesAll) ? 1 : 0));
}

// The table switches; ALL of a table shows every row of it; TABLES=NONE shows no table.
void readTables(ModelAverageOptions& m, const StatementRecord* r) {
  m.espTable = tableSwitch(r, af::kEsp);
  m.msfTable = tableSwitch(r, af::kMsf);
  m.parmEstTable = tableSwitch(r, af::kParmEst);
  if (r->flag(af::kEspAll)) m.espMinPct = 0.0;
  if (r->flag(af::kMsfAll)) m.msfBest = kMaxInt;
  if (r->flag(af::kPeAll)) m.peMinPct = 0.0;
  if (r->flag(af::kTablesNone)) {
    if (r->flag(af::kEsp) || r->flag(af::kMsf) || r->flag(af::kParmEst)) hostMsg(848, 258);
    m.espTable = m.msfTable = m.parmEstTable = 0;
    m.nonZeroParms = 0;
  }
}

// The samples run one after another, each model kept in memory: these options of the
// statement change nothing, and the log says so.
void noEffectNotes(const StatementRecord* r) {
  Slots slot(r);
  if (slot.given(as::kNThreads)) noEffectMsg("NTHREADS=");
  if (slot.given(as::kSchedule) || r->flag(af::kStatic)) noEffectMsg("SCHEDULE=");
  if (r->flag(af::kInMemory)) noEffectMsg("INMEMORY=");
  if (r->flag(af::kSharedDrive)) noEffectMsg("SHAREDDRIVE=");
}

}  // namespace

OptionTable modelAverageOptionTable() { return {"ma", kAverageRows}; }

int readModelAverageOptions(ReaderTarget* s, const StatementRecord* r) {
  ModelAverageOptions& m = s->settings.modelAverage;
  Slots slot(r);
  // Model averaging repeats one selection; an L2 search per sample is not offered.
  if (s->settings.options.l2Search != kL2SearchNone) {
    refuseMsg(s->stepCode, 11, step::kStatement);
    return rc::kAveragingL2Search;
  }
  m.on = 1;
  readRows(s, kAverageRows, r);
  // NTHREADS$=0 passes the grammar; it means the one thread of the default.
  m.threads = std::max(1, std::min(slot.integer(as::kNThreads, 1), m.samples));
  // The quantiles are alpha/2 and 1 - alpha/2 of the sample values: both must lie inside.
  if (!(m.alpha > 0.0 && m.alpha < 1.0)) {
    refuseMsg(s->stepCode, 268, step::kStatement);
    return rc::kModelAverage;
  }

  m.seed = s->settings.seedOption;
  bool percentGiven = slot.given(as::kPercent);
  if (percentGiven && slot.number(as::kPercent, 0.0) == 0.0) {
    refuseMsg(s->stepCode, 266, step::kStatement);
    return rc::kModelAverage;
  }

  readTables(m, r);

  if (percentGiven) repairRow(s, kSizeRow, slot);
  // A SIZE= alone draws that many units; neither gives the method's default rate.
  m.sampleFraction = percentGiven       ? slot.number(as::kPercent, 100.0) / 100.0
                     : m.sampleSize > 0 ? 0.0
                     : m.srs            ? 0.75
                                        : 1.0;

  m.sharedDrive = r->flag(af::kSharedDrive);

  // The refit takes the samples of the selection unless it has its own.
  m.refitSamples = slot.integer(as::kRefitNSamples, m.samples);
  if (r->flag(af::kRefitAll)) {
    m.refitBest = -1;
    m.refitMinPct = 0.0;
  }
  noEffectNotes(r);
  return 0;
}

}  // namespace vsf
