// The set-up's data sets: the input reader, the effects' containment relations, the held-out
// data sets, the SCORE data sets and the analysis data set's own row slots.
#include "base/codes.h"
#include "base/host.h"
#include "design/design.h"
#include "frame/bindings.h"
#include "frame/setup_internal.h"
#include "frame/state.h"

namespace vsf {

namespace {

template <typename T>
T* mainArray(VsfState* s, int32_t n) {
  return static_cast<T*>(kernel().poolAlloc(
      s->res.mainPool, sizeof(T) * static_cast<size_t>(n > 0 ? n : 1), kAllocZero));
}

// The host's check of a second data set against the input reader: 0 fits, 1 cannot be used,
// 2 usable after a warning (then it is not verified per BY group).
int checkAgainstInput(VsfState* s, HostDataSet* ds, uint8_t* verify, int warning) {
  *verify = 1;
  int status = hostv().ds->check(s->settings.inputReader, ds);
  if (status == 1) {
    raiseStepCode(s->stepCode, step::kInternal);
    return rc::kDataSetMismatch;
  }
  if (status == 2) {
    std::string name = dataSetName(ds);
    hostMsg(848, warning, {std::string_view(name)});
    raiseStepCode(s->stepCode, step::kWarning);
    *verify = 0;
  }
  return 0;
}

// A SCORE data set's response, frequency or weight: usable when found with the same type;
// the messages change no step code.
uint8_t scoreVariable(VsfState* s, const VarDescriptor& v, const ScoreRequest& q, int message) {
  VarDescriptor* found = nullptr;
  return findDataSetVar(s, v, q.input, &found, message, q.output) == 0;
}

int bindScoreRequest(VsfState* s, ScoreRequest* q) {
  if (!q->input) {
    q->input = s->settings.inputReader;
    q->verify = 0;
    q->responseUsable = 1;
    return 0;
  }
  if (int rc = allocScoreRowSlots(s, q); rc != 0) return rc;
  // The analysis data set itself needs no lookups.
  if (dataSetName(q->input) != dataSetName(s->settings.inputReader)) {
    int response = q->residual.on ? 182 : 0;
    q->responseUsable = scoreVariable(s, s->settings.response, *q, response);
    if (s->settings.options.freqPresent) scoreVariable(s, s->settings.freqVariable, *q, 187);
    if (s->settings.options.weightPresent) scoreVariable(s, s->settings.weightVariable, *q, 189);
  }
  return checkAgainstInput(s, q->input, &q->verify, 185);
}

}  // namespace

int startInputReader(VsfState* s) {
  bool scoreAnalysis = false;
  for (int i = 0; i < s->settings.scoreCount; ++i)
    scoreAnalysis |= s->settings.scoreRequests[i].input == nullptr;
  if (!s->settings.inputReader) return 0;
  const HostDsFamily& ds = *hostv().ds;
  if (s->settings.outputDataSet || s->settings.outDesignDataSet || scoreAnalysis)
    ds.setup(s->settings.inputReader);
  ds.start(s->settings.inputReader);
  int32_t kind = 0;
  if (ds.attr(s->settings.inputReader, dsattr::kKind, &kind) != 0 || kind != 1) return 3;
  return 0;
}

int buildRelations(VsfState* s) {
  SelectionOptions& o = s->settings.options;
  ZDesign* d = s->lev.design;
  const int32_t n = d ? d->effectCount : 0;
  if (n <= 0) return rc::kMemory;
  HierarchyRelations rel;
  rel.owner = &s->lev;
  rel.pool = s->res.mainPool;
  rel.mode = o.hierarchy;
  rel.method = o.method;
  rel.dependantCounts = mainArray<int32_t>(s, n);
  rel.prerequisiteCounts = mainArray<int32_t>(s, n);
  rel.dependants = mainArray<int32_t*>(s, n);
  rel.prerequisites = mainArray<int32_t*>(s, n);
  if (!rel.dependantCounts || !rel.prerequisiteCounts || !rel.dependants || !rel.prerequisites)
    return rc::kMemory;
  if (int rc = zhierrel(&rel); rc != 0) return rc;
  GroupState& g = s->group;
  g.relationCounts[0] = rel.dependantCounts;
  g.relationCounts[1] = rel.prerequisiteCounts;
  g.relationLists[0] = rel.dependants;
  g.relationLists[1] = rel.prerequisites;
  // A design built per BY group has per-candidate lists instead.
  if (!o.designPerByGroup) {
    g.candidates.dependantCount = rel.dependantCounts;
    g.candidates.dependants = rel.dependants;
    g.candidates.prerequisiteCount = rel.prerequisiteCounts;
    g.candidates.prerequisites = rel.prerequisites;
  }
  return 0;
}

int bindHeldOutDataSets(VsfState* s) {
  if (s->settings.test.dataSet)
    if (int rc = bindHeldOutDataSet(s, &s->settings.test, false); rc != 0) return rc;
  if (s->settings.validation.dataSet)
    if (int rc = bindHeldOutDataSet(s, &s->settings.validation, true); rc != 0) return rc;
  if (s->settings.validation.dataSet)
    if (int rc = checkAgainstInput(s, s->settings.validation.dataSet,
                                   &s->settings.validation.verify, 163);
        rc != 0)
      return rc;
  if (s->settings.test.dataSet)
    if (int rc = checkAgainstInput(s, s->settings.test.dataSet, &s->settings.test.verify, 164);
        rc != 0)
      return rc;
  return 0;
}

int bindScoreRequests(VsfState* s) {
  for (int i = 0; i < s->settings.scoreCount; ++i)
    if (int rc = bindScoreRequest(s, &s->settings.scoreRequests[i]); rc != 0) return rc;
  return 0;
}

int keepAnalysisDescriptors(VsfState* s) {
  if (!s->settings.validation.dataSet && !s->settings.test.dataSet && s->settings.scoreCount == 0)
    return 0;
  const ZDesign* d = s->lev.design;
  auto** model = mainArray<VarDescriptor*>(s, d->modelVarCount);
  auto** classes = mainArray<VarDescriptor*>(s, d->classCount);
  if (!model || !classes) return rc::kMemory;
  for (int32_t j = 0; j < d->modelVarCount; ++j) model[j] = d->modelVars[j].desc;
  for (int32_t c = 0; c < d->classCount; ++c) classes[c] = d->classVars[c].desc;
  s->res.dataPass.analysis.modelDescriptors = model;
  s->res.dataPass.analysis.classDescriptors = classes;
  return 0;
}

void settleDataPassOptions(VsfState* s) {
  StepSettings& set = s->settings;
  const SelectionOptions& o = set.options;
  DataPassOptions& d = s->res.dataPass;
  d.pageSizeKb = o.utilPageSizeKb;
  d.randomAccess = o.utilAccessMode == 2;
  d.showUtilFiles = o.utilDetails;
  d.allSparse = o.allSparse;
  d.allDense = o.allDense;
  AnalysisRowSlots& a = d.analysis;
  a.reader = set.inputReader;
  a.response = &set.response;
  a.weight = o.weightPresent ? &set.weightVariable : nullptr;
  a.frequency = o.freqPresent ? &set.freqVariable : nullptr;
  a.responseRecord = set.responseRecord;
  a.weightRecord = set.weightRecord;
  a.freqRecord = set.freqRecord;
}

}  // namespace vsf
