// The model's variables in the validation, test and SCORE data sets, and the switch of the
// levelization context's row slots between readers.
#include "frame/bindings.h"

#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "datapass/rowslots.h"
#include "frame/state.h"

namespace vsf {

namespace {

template <typename T>
T* mainArray(VsfState* s, int32_t n) {
  if (n <= 0) return nullptr;
  return static_cast<T*>(
      kernel().poolAlloc(s->res.mainPool, sizeof(T) * static_cast<size_t>(n), kAllocZero));
}

// The model variables and the CLASS variables the effects need; each model variable once.
int bindModelVariables(VsfState* s, DataSetBinding* b, int base) {
  const ZDesign* d = s->lev.design;
  std::vector<char> classNeeded(static_cast<size_t>(d->classCount), 0);
  std::vector<int32_t> order;
  effectVariables(d, &classNeeded, &order);
  for (int32_t j = 0; j < d->modelVarCount; ++j) order.push_back(j);
  for (int32_t k : order) {
    const LevelVar& v = k < 0 ? d->classVars[-1 - k] : d->modelVars[k];
    VarDescriptor** slot = k < 0 ? &b->classDescriptors[-1 - k] : &b->modelDescriptors[k];
    if (!v.desc || *slot) continue;
    if (int rc = findDataSetVar(s, *v.desc, b->dataSet, slot, base); rc != 0) {
      raiseStepCode(s->stepCode, step::kInternal);
      return rc;
    }
  }
  // A CLASS variable no effect uses is read when the data set has it; else it stays unread.
  for (int32_t c = 0; c < d->classCount; ++c)
    if (!classNeeded[static_cast<size_t>(c)] && d->classVars[c].desc)
      (void)findDataSetVar(s, *d->classVars[c].desc, b->dataSet, &b->classDescriptors[c], 0);
  return 0;
}

// FREQ and WEIGHT of a held-out data set: usable only when found with the same type.
uint8_t optionalVariable(VsfState* s, const VarDescriptor& v, HostDataSet* ds, VarDescriptor** out,
                         int message) {
  int rc = findDataSetVar(s, v, ds, out, message);
  if (rc == rc::kVarType) raiseStepCode(s->stepCode, step::kWarning);
  return rc == 0;
}

}  // namespace

std::string dataSetName(HostDataSet* ds) {
  std::string name;
  if (ds) hostv().ds->attr(ds, dsattr::kName, &name);
  return name;
}

int findDataSetVar(VsfState* s, const VarDescriptor& variable, HostDataSet* ds,
                   VarDescriptor** descriptor, int message, HostDataSet* other) {
  *descriptor = nullptr;
  VarDescriptor found;
  if (int rc = findLikeVariable(ds, variable, &found); rc != 0) {
    if (message != 0) {
      int n = rc == rc::kVarNotFound ? message : message + 1;
      std::string name = dataSetName(ds), otherName = dataSetName(other);
      std::string_view var = variable.name;
      if (other)
        hostMsg(848, n, {var, std::string_view(name), std::string_view(otherName)});
      else
        hostMsg(848, n, {var, std::string_view(name)});
    }
    return rc;
  }
  s->settings.boundDescriptors.push_back(std::move(found));
  *descriptor = &s->settings.boundDescriptors.back();
  return 0;
}

int bindHeldOutDataSet(VsfState* s, DataSetBinding* b, bool validation) {
  const int base = validation ? 171 : 165;
  const ZDesign* d = s->lev.design;
  hostv().ds->setup(b->dataSet);
  hostv().ds->start(b->dataSet);
  b->classDescriptors = mainArray<VarDescriptor*>(s, d->classCount);
  b->modelDescriptors = mainArray<VarDescriptor*>(s, d->modelVarCount);
  if ((d->classCount > 0 && !b->classDescriptors) || (d->modelVarCount > 0 && !b->modelDescriptors))
    return rc::kMemory;
  if (int rc = findDataSetVar(s, s->settings.response, b->dataSet, &b->responseDescriptor, base);
      rc != 0) {
    raiseStepCode(s->stepCode, step::kInternal);
    return rc;
  }
  if (int rc = bindModelVariables(s, b, base); rc != 0) return rc;
  b->hasFreq =
      s->settings.options.freqPresent &&
      optionalVariable(s, s->settings.freqVariable, b->dataSet, &b->freqDescriptor, base + 2);
  b->hasWeight =
      s->settings.options.weightPresent &&
      optionalVariable(s, s->settings.weightVariable, b->dataSet, &b->weightDescriptor, base + 4);
  b->inUse = 1;
  return 0;
}

void effectVariables(const ZDesign* d, std::vector<char>* classNeeded,
                     std::vector<int32_t>* order) {
  auto needClass = [&](int32_t c) {
    if (c < 0 || c >= d->classCount || (*classNeeded)[static_cast<size_t>(c)]) return;
    (*classNeeded)[static_cast<size_t>(c)] = 1;
    order->push_back(-1 - c);
  };
  auto needModel = [&](int32_t j) {
    if (j >= 0 && j < d->modelVarCount) order->push_back(j);
  };
  for (int e = 0; e < d->effectCount; ++e) {
    const ZEffect& z = d->effects[e];
    for (int i = 0; i < z.keyCount; ++i) needClass(z.key[i]);
    for (int i = 0; i < z.contCount; ++i) needModel(z.cont[i]);
    for (int i = 0; i < z.constructedCount; ++i) {
      const ZDesignVar& v = d->designVars[z.constructed[i]];
      for (int k = 0; k < v.classCount; ++k) needClass(v.classMembers[k]);
      for (int k = 0; k < v.valueCount; ++k) needModel(v.values[k]);
      if (v.lag) {
        for (int k = 0; k < v.lag->keyCount; ++k) needClass(v.lag->keys[k]);
        needClass(v.lag->time);
      }
    }
  }
}

void bindRowBuffers(VsfState* s, HostDataSet* reader, VarDescriptor* const* classDescriptors,
                    VarDescriptor* const* modelDescriptors, VarDescriptor* response,
                    VarDescriptor* weight, VarDescriptor* frequency) {
  switchRowSlots(s->res.dataPass.analysis, &s->lev, reader, classDescriptors, modelDescriptors,
                 response, weight, frequency);
}

void bindRowBuffers(VsfState* s, const DataSetBinding& b) {
  bindRowBuffers(s, b.dataSet, b.classDescriptors, b.modelDescriptors, b.responseDescriptor,
                 b.hasWeight ? b.weightDescriptor : nullptr,
                 b.hasFreq ? b.freqDescriptor : nullptr);
}

void restoreRowBuffers(VsfState* s) { restoreRowSlots(s->res.dataPass.analysis, &s->lev); }

int allocScoreRowSlots(VsfState* s, ScoreRequest* request) {
  const ZDesign* d = s->lev.design;
  request->modelSlots = mainArray<VarDescriptor*>(s, d->modelVarCount);
  request->classSlots = mainArray<VarDescriptor*>(s, d->classCount);
  if ((d->modelVarCount > 0 && !request->modelSlots) || (d->classCount > 0 && !request->classSlots))
    return rc::kMemory;
  return 0;
}

}  // namespace vsf
