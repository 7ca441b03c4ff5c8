// OUTPUT, SCORE and PARTITION: the requested statistics and their names, one ScoreRequest per
// SCORE statement, and the partition roles with their checks.
#include <new>

#include "base/codes.h"
#include "base/host.h"
#include "base/strings.h"
#include "grammar/slot_reader.h"
#include "statements/statements.h"

namespace vsf {

namespace {

// One statistic of OUTPUT or SCORE: its flag (the name given after "=" is in the slot of the
// same number), its request, and whether it counts among the statistics written per row.
template <typename Requests>
struct Statistic {
  int number;
  OutputRequest Requests::*request;
  bool counted;
};

constexpr Statistic<OutputSettings> kOutputStatistics[] = {
    {flags::output::kPred, &OutputSettings::predicted, true},
    {flags::output::kStdDev, &OutputSettings::stdDev, true},
    {flags::output::kUpper, &OutputSettings::upper, true},
    {flags::output::kLower, &OutputSettings::lower, true},
    {flags::output::kResid, &OutputSettings::residual, true},
    {flags::output::kMedian, &OutputSettings::median, true},
    {flags::output::kSampleFreq, &OutputSettings::sampleFreq, false},
    {flags::output::kSamplePred, &OutputSettings::samplePred, false},
};

constexpr Statistic<ScoreRequest> kScoreStatistics[] = {
    {flags::score::kPred, &ScoreRequest::predicted, true},
    {flags::score::kStdDev, &ScoreRequest::stdDev, true},
    {flags::score::kUpper, &ScoreRequest::upper, true},
    {flags::score::kLower, &ScoreRequest::lower, true},
    {flags::score::kResid, &ScoreRequest::residual, true},
    {flags::score::kMedian, &ScoreRequest::median, true},
    {flags::score::kSamplePred, &ScoreRequest::samplePred, false},
};

template <typename Requests, size_t N>
void request(const StatementRecord* r, const Statistic<Requests> (&statistics)[N], Requests& to) {
  for (const Statistic<Requests>& st : statistics) {
    if (!r->flag(st.number)) continue;
    OutputRequest& out = to.*st.request;
    out.on = 1;
    std::string_view name = Slots(r).firstName(st.number);
    if (!name.empty()) {
      out.name = name.data();
      out.nameLength = static_cast<uint16_t>(name.size());
    }
    if (st.counted) ++to.count;
  }
}

int countStatements(std::string_view name) {
  int n = 0;
  for (const StatementRecord* r = hostv().parse->firstStatement(); r; r = r->next)
    if (r->name == name) ++n;
  return n;
}

// A role value: left-justified in place, its length without trailing blanks, or minus its
// written length when it is all blanks.
int32_t roleValue(const OptionSlot* slot, std::string* out) {
  *out = slot->text;
  if (out->empty()) return 0;
  int length = 0, start = 0;
  zjustify(out->data(), static_cast<int>(out->size()), 'L', &length, &start);
  return length > 0 ? length : -static_cast<int32_t>(out->size());
}

}  // namespace

void readOutputStatement(ReaderTarget* s) {
  const StatementRecord* r = findStatement("OUTPUT");
  if (!r) return;
  s->settings.output.given = 1;
  s->settings.outputDataSet = Slots(r).dataSet(slots::output::kOut);
  request(r, kOutputStatistics, s->settings.output);
}

int readScoreStatements(ReaderTarget* s) {
  int n = countStatements("SCORE");
  s->settings.scoreCount = 0;
  if (n == 0) return 0;
  void* block =
      kernel().poolAlloc(s->mainPool, sizeof(ScoreRequest) * static_cast<size_t>(n), kAllocZero);
  if (!block) return rc::kMemory;
  s->settings.scoreRequests = static_cast<ScoreRequest*>(block);
  int k = 0;
  for (const StatementRecord* r = hostv().parse->firstStatement(); r; r = r->next) {
    if (r->name != "SCORE") continue;
    ScoreRequest* q = new (&s->settings.scoreRequests[k++]) ScoreRequest();
    Slots slot(r);
    q->input = slot.dataSet(slots::score::kData);
    q->output = slot.dataSet(slots::score::kOut);
    request(r, kScoreStatistics, *q);
  }
  s->settings.scoreCount = n;
  return 0;
}

int readPartitionStatement(ReaderTarget* s) {
  const StatementRecord* r = findStatement("PARTITION");
  if (!r) return 0;
  namespace qs = slots::partition;
  namespace qf = flags::partition;
  PartitionSettings& p = s->settings.partition;
  Slots slot(r);
  p.hasPartition = 1;
  const OptionSlot* role = slot.given(qs::kRoleVar) ? r->slot(qs::kRoleVar) : nullptr;
  p.roleVariable = role && !role->vars.empty() ? role->vars[0] : -1;
  bool train = r->flag(qf::kTrain), validate = r->flag(qf::kValidate), test = r->flag(qf::kTest);
  bool vFraction = r->flag(qf::kValidateFraction), tFraction = r->flag(qf::kTestFraction);
  if (role && !train && !validate && !test) {
    refuseMsg(s->stepCode, 121, step::kInternal);
    return rc::kPartition;
  }
  if ((validate || vFraction) && s->settings.validation.dataSet) {
    refuseMsg(s->stepCode, 122, step::kStatement);
    return rc::kValidateTwice;
  }
  if ((test || tFraction) && s->settings.test.dataSet) {
    refuseMsg(s->stepCode, 123, step::kStatement);
    return rc::kTestTwice;
  }
  if (vFraction || tFraction) {
    p.validateFraction = slot.number(qs::kValidateFraction, 0.0);
    p.testFraction = slot.number(qs::kTestFraction, 0.0);
    p.trainFraction = 1.0 - p.validateFraction - p.testFraction;
    if (!(p.trainFraction > 0.0)) {
      refuseMsg(s->stepCode, 124, step::kInternal);
      return rc::kPartition;
    }
  }
  if (train) p.trainLength = roleValue(r->slot(qs::kTrain), &p.trainValue);
  if (validate) p.validateLength = roleValue(r->slot(qs::kValidate), &p.validateValue);
  if (test) p.testLength = roleValue(r->slot(qs::kTest), &p.testValue);
  p.validationRows = validate || vFraction;
  p.testRows = test || tFraction;
  return 0;
}

}  // namespace vsf
