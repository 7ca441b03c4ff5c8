// readModelAverageOptions: the MODELAVERAGE statement into the model-averaging settings, with
// the samples shared over the threads and the table switches.
#include <algorithm>

#include "base/codes.h"
#include "base/host.h"
#include "grammar/slot_reader.h"
#include "statements/statements.h"

namespace vsf {

namespace {

namespace as = slots::ma;
namespace af = flags::ma;

constexpr int kMaxInt = 2147483647;

// Table switch: 1 without ONLY; with ONLY listed plus ALL (0, 1 or 2).
uint8_t tableSwitch(const StatementRecord* r, int listedFlag) {
  if (!r->flag(af::kOnly)) return 1;
  return static_cast<uint8_t>((r->flag(listedFlag) ? 1 : 0) + (r->flag(af::kTablesAll) ? 1 : 0));
}

void readTables(ModelAverageOptions& m, const StatementRecord* r, const Slots& slot) {
  m.espTable = tableSwitch(r, af::kEsp);
  m.msfTable = tableSwitch(r, af::kMsf);
  m.parmEstTable = tableSwitch(r, af::kParmEst);
  m.espMinPct = r->flag(af::kEspAll) ? 0.0 : slot.number(as::kEspMinPct, 20.0);
  m.espOrder = slot.integer(as::kEspOrder, 0);
  m.msfBest = r->flag(af::kMsfAll) ? kMaxInt : slot.integer(as::kMsfBest, 20);
  m.peMinPct = r->flag(af::kPeAll) ? 0.0 : slot.number(as::kPeMinPct, 20.0);
  m.peOrder = slot.integer(as::kPeOrder, 0);
  m.nonZeroParms = r->flag(af::kNonZeroParms);
  if (r->flag(af::kTablesNone)) {
    if (r->flag(af::kEsp) || r->flag(af::kMsf) || r->flag(af::kParmEst)) hostMsg(848, 258);
    m.espTable = m.msfTable = m.parmEstTable = 0;
    m.nonZeroParms = 0;
  }
}

}  // namespace

int readModelAverageOptions(ReaderTarget* s, const StatementRecord* r) {
  ModelAverageOptions& m = s->settings.modelAverage;
  Slots slot(r);
  // Model averaging repeats one selection; an L2 search per sample is not offered.
  if (s->settings.options.l2Search != kL2SearchNone) {
    refuseMsg(s->stepCode, 11, step::kStatement);
    return rc::kAveragingL2Search;
  }
  m.on = 1;
  m.samples = slot.integer(as::kNSamples, 100);
  // NTHREADS$=0 passes the grammar; it means the one thread of the default.
  m.threads = std::max(1, std::min(slot.integer(as::kNThreads, 1), m.samples));
  m.details = r->flag(af::kDetails);

  m.alpha = slot.number(as::kAlpha, 0.5);
  if (m.alpha == 0.0) {
    refuseMsg(s->stepCode, 268, step::kStatement);
    return rc::kModelAverage;
  }
  m.averageMethod = slot.integer(as::kAverageMethod, 1);
  m.averageMethodGiven = r->flag(af::kAverageMethod);
  m.trimFraction = slot.number(as::kTrimPercent, 0.0) / 100.0;
  m.parmThreshold = slot.number(as::kParmThreshold, 0.0) / 100.0;
  m.subsetMinModelFreq = slot.integer(as::kMinModelFreq, 0);
  m.subsetBest = slot.integer(as::kSubsetBest, 0);

  m.samplesPerThread = m.samples / m.threads;
  m.remainder = m.samples % m.threads;
  m.seed = s->settings.seedOption;
  m.inMemory = r->flag(af::kInMemory);
  m.threaded = m.threads > 1 && !m.noThreading;
  m.srs = r->flag(af::kSrs);
  m.sampleSize = slot.integer(as::kSize, 0);
  bool percentGiven = slot.given(as::kPercent);
  if (percentGiven && slot.number(as::kPercent, 0.0) == 0.0) {
    refuseMsg(s->stepCode, 266, step::kStatement);
    return rc::kModelAverage;
  }

  readTables(m, r, slot);

  int schedule = r->flag(af::kStatic) ? -1 : slot.integer(as::kSchedule, 5);
  m.schedule = std::min(schedule, m.samplesPerThread);

  if (slot.given(as::kSize) && percentGiven) {
    repairMsg(s->stepCode, 241);
    m.sampleSize = 0;
  }
  m.sampleFraction = percentGiven ? slot.number(as::kPercent, 100.0) / 100.0 : (m.srs ? 0.75 : 1.0);

  m.sharedDrive = r->flag(af::kSharedDrive);
  if (m.sharedDrive) {
    const std::string& text = r->slot(as::kSharedDrive)->text;
    m.sharedDriveText = text.c_str();
    m.sharedDriveLength = static_cast<int32_t>(text.size());
    s->settings.options.sharedDrive = 1;
    s->settings.options.sharedDriveText = m.sharedDriveText;
    s->settings.options.sharedDriveLength = m.sharedDriveLength;
  }

  m.refit = r->flag(af::kRefit);
  m.refitMinPct = slot.number(as::kRefitMinPct, 20.0) / 100.0;
  m.refitSamples = slot.integer(as::kRefitNSamples, m.samples);
  m.refitBest = slot.integer(as::kRefitBest, -1);
  if (r->flag(af::kRefitAll)) {
    m.refitBest = -1;
    m.refitMinPct = 0.0;
  }
  m.refitSamplesPerThread = m.refitSamples / m.threads;
  m.refitRemainder = m.refitSamples % m.threads;
  m.refitSchedule = std::min(schedule, m.refitSamplesPerThread);
  return 0;
}

}  // namespace vsf
