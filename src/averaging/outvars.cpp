// The OUTPUT and SCORE OUT= data sets' variables: the source's variables carried over, then the
// computed ones, each bound to the host's value slot that the row writers fill.
#include <algorithm>
#include <numeric>
#include <string>

#include "averaging/averaging.h"
#include "averaging/model_internal.h"
#include "base/codes.h"
#include "base/host.h"
#include "selection/group.h"

namespace vsf {

void* addVariable(HostDataSet* out, const std::string& name, int type, int length,
                  const std::string& label) {
  OutVarDefinition def;
  def.type = type;
  def.length = length;
  def.name = name;
  def.label = label;
  void* slot = nullptr;
  return hostv().ds->outVarAdd(out, &def, &slot) == 0 ? slot : nullptr;
}

double* addNumber(HostDataSet* out, const std::string& name, const std::string& label) {
  auto* slot = static_cast<double*>(addVariable(out, name, kVarNumeric, 8, label));
  if (slot) *slot = dotMissing();
  return slot;
}

int carryAll(HostDataSet* out, HostDataSet* source) {
  int32_t n = 0;
  if (!source || hostv().ds->attr(source, dsattr::kVarCount, &n) != 0 || n <= 0) return 0;
  std::vector<int> numbers(static_cast<size_t>(n));
  std::iota(numbers.begin(), numbers.end(), 0);
  return hostv().ds->outCarry(out, source, numbers.data(), n);
}

namespace {

double* number(HostDataSet* out, const std::string& name) { return addNumber(out, name, {}); }

std::string givenName(const OutputRequest& r, const std::string& fallback) {
  return r.name && r.nameLength > 0 ? std::string(r.name, r.nameLength) : fallback;
}

struct Requests {
  const OutputRequest *predicted, *residual, *median, *stdDev, *lower, *upper, *sampleFreq,
      *samplePred;
};

// The computed variables common to OUTPUT and SCORE OUT=, in the order of the data set.
void statistics(const StepView* s, HostDataSet* out, const Requests& r, OutputSlots* slots) {
  const std::string& response = s->settings.response.name;
  if (r.predicted->on)
    slots->predicted = number(out, givenName(*r.predicted, prefixedName("p_", response)));
  if (r.residual->on)
    slots->residual = number(out, givenName(*r.residual, prefixedName("r_", response)));
  if (r.median->on) slots->median = number(out, givenName(*r.median, "median"));
  if (r.stdDev->on) slots->stdDev = number(out, givenName(*r.stdDev, "stdDev"));
  if (r.lower->on) slots->lower = number(out, givenName(*r.lower, "lower"));
  if (r.upper->on) slots->upper = number(out, givenName(*r.upper, "upper"));
  const int32_t n = outputSampleCount(s);
  auto perSample = [&](const OutputRequest* q, const char* base, std::vector<double*>* to) {
    if (!q || !q->on) return;
    const std::string prefix =
        q->name && q->nameLength > 0 ? std::string(q->name, q->nameLength) : base;
    for (int32_t k = 1; k <= n; ++k) to->push_back(number(out, prefix + std::to_string(k)));
  };
  perSample(r.sampleFreq, "sampleFreq", &slots->sampleFreq);
  perSample(r.samplePred, "samplePred", &slots->samplePred);
}

// Whether every requested statistic has its variable: the host refuses one named like another.
bool statisticsDefined(const Requests& r, const OutputSlots& slots) {
  const std::pair<const OutputRequest*, const double*> one[] = {
      {r.predicted, slots.predicted}, {r.residual, slots.residual}, {r.median, slots.median},
      {r.stdDev, slots.stdDev},       {r.lower, slots.lower},       {r.upper, slots.upper}};
  for (const auto& [request, slot] : one)
    if (request->on && !slot) return false;
  auto all = [](const std::vector<double*>& v) {
    return std::all_of(v.begin(), v.end(), [](const double* p) { return p != nullptr; });
  };
  return all(slots.sampleFreq) && all(slots.samplePred);
}

// A data set without a variable it was asked for is not written short: the step fails.
int refuseShortDataSet(StepView* s, HostDataSet* out) {
  std::string name;
  hostv().ds->attr(out, dsattr::kName, &name);
  hostMsg(848, 6141, {std::string_view(name)});
  raiseStepCode(s->stepCode, step::kInternal);
  return rc::kOutputVariable;
}

}  // namespace

bool roleColumnWanted(const StepView* s) {
  return s->settings.partition.hasPartition && s->display.rolesPresent;
}

bool foldColumnWanted(const StepView* s) { return s->display.kfold || s->display.externalCv; }

int defineOutputVariables(StepView* s, HostDataSet* out, OutputData* data) {
  const StepSettings& st = s->settings;
  OutputSlots& slots = data->output;
  (void)carryAll(out, st.inputReader);
  if (roleColumnWanted(s)) {
    slots.role = static_cast<char*>(addVariable(out, "_ROLE_", kVarCharacter, 8));
    if (slots.role) std::fill(slots.role, slots.role + 8, ' ');
  }
  if (foldColumnWanted(s)) slots.cvIndex = number(out, "_CVINDEX_");
  const OutputSettings& o = st.output;
  const Requests requests = {&o.predicted, &o.residual, &o.median,     &o.stdDev,
                             &o.lower,     &o.upper,    &o.sampleFreq, &o.samplePred};
  statistics(s, out, requests, &slots);
  if (st.hasByStatement) slots.by = number(out, "_BY_");
  if (!statisticsDefined(requests, slots) || (roleColumnWanted(s) && !slots.role) ||
      (foldColumnWanted(s) && !slots.cvIndex) || (st.hasByStatement && !slots.by))
    return refuseShortDataSet(s, out);
  hostv().ds->outReady(out);
  slots.dataSet = out;
  return 0;
}

int defineScoreVariables(StepView* s, OutputData* data) {
  const StepSettings& st = s->settings;
  data->score.resize(static_cast<size_t>(st.scoreCount));
  for (int32_t i = 0; i < st.scoreCount; ++i) {
    const ScoreRequest& q = st.scoreRequests[i];
    OutputSlots& slots = data->score[static_cast<size_t>(i)].slots;
    if (!q.output) continue;
    std::string source;
    if (q.input) hostv().ds->attr(q.input, dsattr::kName, &source);
    hostv().ds->outLabel(q.output, hostMsgText(848, 814, {std::string_view(source)}));
    (void)carryAll(q.output, q.input);
    const Requests requests = {&q.predicted, &q.residual, &q.median, &q.stdDev,
                               &q.lower,     &q.upper,    nullptr,   &q.samplePred};
    statistics(s, q.output, requests, &slots);
    // Under BY each row says whose model scored it.
    if (st.hasByStatement) slots.by = number(q.output, "_BY_");
    if (!statisticsDefined(requests, slots) || (st.hasByStatement && !slots.by))
      return refuseShortDataSet(s, q.output);
    hostv().ds->outReady(q.output);
    slots.dataSet = q.output;
  }
  return 0;
}

}  // namespace vsf
