// Result stream records: the step history, the selected model and the result header, written
// and read back piece by piece in native byte order. The first failed write or read ends the
// record.
#include <algorithm>

#include "base/codes.h"
#include "datapass/utilfiles.h"
#include "selection/methods_internal.h"
#include "selection/resample.h"

namespace vsf {

namespace {

class Writer {
 public:
  Writer(ScratchFileObject* f, int64_t* pos) : f_(f), pos_(pos) {}
  // n values of the array, or n zeros when it does not exist.
  template <typename T>
  void put(const T* p, int64_t n) {
    if (rc_ != 0 || n <= 0) return;
    if (p) {
      rc_ = streamWriteAt(f_, p, static_cast<int64_t>(sizeof(T)) * n, pos_);
      return;
    }
    const T zero{};
    for (int64_t i = 0; i < n && rc_ == 0; ++i) rc_ = streamWriteAt(f_, &zero, sizeof(T), pos_);
  }
  template <typename T>
  void one(const T& v) {
    put(&v, 1);
  }
  int rc() const { return rc_; }

 private:
  ScratchFileObject* f_;
  int64_t* pos_;
  int rc_ = 0;
};

class Reader {
 public:
  Reader(ScratchFileObject* f, int64_t* pos) : f_(f), pos_(pos) {}
  template <typename T>
  void get(T* p, int64_t n) {
    if (rc_ != 0 || n <= 0) return;
    rc_ = streamReadAt(f_, p, static_cast<int64_t>(sizeof(T)) * n, pos_);
  }
  template <typename T>
  void one(T* v) {
    get(v, 1);
  }
  int rc() const { return rc_; }
  void fail(int rc) {
    if (rc_ == 0) rc_ = rc;
  }

 private:
  ScratchFileObject* f_;
  int64_t* pos_;
  int rc_ = 0;
};

// The 28 statistics, in record order.
struct StatFields {
  double* p[28];
};
StatFields statFields(SelectionState* s) {
  return {{&s->totals.trainFreq,    &s->totals.obsRead,      &s->totals.freqRead,
           &s->totals.freqStored,   &s->totals.rowsStored,   &s->totals.obsUsed,
           &s->totals.testFreq,     &s->totals.validFreq,    &s->totals.testObsRead,
           &s->totals.testFreqRead, &s->totals.validObsRead, &s->totals.validFreqRead,
           &s->totals.correctedSS,  &s->totals.totalSS,      &s->fit.sigma2Full,
           &s->fit.trainSse,        &s->totals.responseMean, &s->totals.trainWeight,
           &s->fit.press,           &s->fit.validAse,        &s->fit.testAse,
           &s->fit.cvPress,         &s->totals.noRoleRows,   &s->totals.noRoleFreq,
           &s->totals.validRows,    &s->totals.testRows,     &s->totals.validWeight,
           &s->totals.testWeight}};
}

// The 13 counts, in record order.
struct CountFields {
  int32_t* p[13];
};
CountFields countFields(SelectionState* s) {
  return {{&s->layout.effectCount, &s->layout.paramCount, &s->steps.stepCount,
           &s->sweep.sweptColumns, &s->sweep.effectsInModel, &s->layout.singleColumnEffects,
           &s->sweep.sscpOrder, &s->steps.stepCapacity, &s->run.chosenStep, &s->folds,
           &s->sweep.aliasedCount, &s->layout.firstSelectable, &s->layout.denseValues}};
}

bool chooseOn(const EngineOptions* o) { return o->choose != kCritNone; }

void writeFolds(Writer& w, const SelectionState* s) {
  const CvOptions* o = s->cv;
  if (!foldDetails(o)) return;
  for (int32_t f = 0; f < s->folds; ++f) {
    const FoldRecord* r = s->foldRecs ? &s->foldRecs[f] : nullptr;
    if (o->foldStats) {
      const double stats[4] = {r ? r->sse : 0, r ? r->rows : 0, r ? r->freq : 0,
                               r ? r->weightFreq : 0};
      w.put(stats, 4);
    }
    if (o->foldEstimates) w.put(r ? r->estimates : nullptr, s->layout.paramCount);
  }
}

// Per-step arrays whose index -1 is kept: one element more before the steps.
template <typename T>
T* historyArray(SelectionState* s, int64_t steps, bool before) {
  T* p = poolArray<T>(s, steps + (before ? 1 : 0));
  return p && before ? p + 1 : p;
}

int readFolds(Reader& r, SelectionState* s) {
  const CvOptions* o = s->cv;
  if (!foldDetails(o) || s->folds <= 0) return 0;
  if (!(s->foldRecs = poolArray<FoldRecord>(s, s->folds))) return rc::kMemory;
  for (int32_t f = 0; f < s->folds; ++f) {
    FoldRecord& fr = s->foldRecs[f];
    if (o->foldStats) {
      double stats[4] = {};
      r.get(stats, 4);
      fr.sse = stats[0], fr.rows = stats[1], fr.freq = stats[2], fr.weightFreq = stats[3];
    }
    if (o->foldEstimates) {
      if (!(fr.estimates = poolArray<double>(s, s->layout.paramCount))) return rc::kMemory;
      r.get(fr.estimates, s->layout.paramCount);
    }
  }
  return 0;
}

// Every array the record holds, from the state's pool.
int allocateHistory(SelectionState* s) {
  const EngineOptions* o = s->engine;
  const int64_t E = s->layout.effectCount, P = s->layout.paramCount, S = s->steps.stepCount;
  StepHistory& h = s->steps;
  bool ok = (s->sweep.entryOrder = poolArray<int32_t>(s, E)) &&
            (s->sweep.firstParam = poolArray<int32_t>(s, E)) &&
            (h.effect = historyArray<int32_t>(s, S, false)) &&
            (h.sweptColumns = historyArray<int32_t>(s, S, true)) &&
            (h.parameters = historyArray<int32_t>(s, S, true)) &&
            (h.effects = historyArray<int32_t>(s, S, true)) &&
            (h.sse = historyArray<double>(s, S, true)) &&
            (s->sweep.states = poolArray<EffectState>(s, E)) &&
            (s->sweep.estimates = poolArray<double>(s, P)) &&
            (s->sweep.invDiag = poolArray<double>(s, P)) &&
            (s->sweep.stdEstimates = poolArray<double>(s, P));
  if (ok && s->sweep.aliasedCount > 0)
    ok = (s->sweep.aliasedList = poolArray<int32_t>(s, s->sweep.aliasedCount));
  layOutStepCriteria(&h, *o, *s->cv);
  if (ok) ok = (h.criteria = historyArray<double>(s, S * h.criterionCount, false));
  if (ok && o->testAsePerStep) ok = (h.testAse = historyArray<double>(s, S, false));
  if (ok && o->fifthPerStep) ok = (h.fifth = historyArray<double>(s, S, false));
  if (ok && o->candidateValues) ok = (s->sweep.candidateValues = poolArray<double>(s, E));
  if (ok && chooseOn(o))
    ok = (s->run.chosenEstimates = poolArray<double>(s, P)) &&
         (s->run.chosenInvDiag = poolArray<double>(s, P)) &&
         (s->run.chosenStdEstimates = poolArray<double>(s, P)) &&
         (s->run.chosenEffects = poolArray<int32_t>(s, E)) &&
         (s->run.chosenStates = poolArray<EffectState>(s, E));
  s->steps.historyCapacity = static_cast<int32_t>(S);
  return ok ? 0 : rc::kMemory;
}

}  // namespace

int writeStepHistory(SelectionState* s) {
  if (!s->streamFile || !s->streamPosition) return 0;
  const EngineOptions* o = s->engine;
  Writer w(s->streamFile, s->streamPosition);
  if (s->resample) w.one(s->resample->historyId);
  zeroNegligibleTotals(s);
  w.one(s->run.status);
  for (double* p : statFields(s).p) w.one(*p);
  for (int32_t* p : countFields(s).p) w.one(*p);
  if (s->run.status < 0) return w.rc();

  const int64_t E = s->layout.effectCount, P = s->layout.paramCount, S = s->steps.stepCount;
  const StepHistory& h = s->steps;
  w.put(s->sweep.entryOrder, E);
  w.put(s->sweep.firstParam, E);  // where each effect's estimates start
  if (s->sweep.aliasedCount != 0) w.put(s->sweep.aliasedList, s->sweep.aliasedCount);
  w.put(h.effect, S);
  w.put(h.sweptColumns ? h.sweptColumns - 1 : nullptr, S + 1);
  w.put(h.parameters, S);
  w.put(h.effects ? h.effects - 1 : nullptr, S + 1);
  w.put(h.sse, S);
  w.put(h.criteria, S * h.criterionCount);
  if (o->testAsePerStep) w.put(h.testAse, S);
  if (o->fifthPerStep) w.put(h.fifth, S);
  if (s->cv->kfold) writeFolds(w, s);
  w.put(s->sweep.states, E);
  w.put(s->sweep.estimates, P);
  w.put(s->sweep.invDiag, P);
  w.put(s->sweep.stdEstimates, P);
  if (o->candidateValues) w.put(s->sweep.candidateValues, E);
  if (chooseOn(o)) {
    w.put(s->run.chosenEstimates, P);
    w.put(s->run.chosenInvDiag, P);
    w.put(s->run.chosenStdEstimates, P);
    w.put(s->run.chosenEffects, E);
    w.put(s->run.chosenStates, E);
  }
  w.one(s->run.stop);
  // Group LASSO's steps move several effects: the change list says which.
  if (o->method == kMethodGroupLasso) {
    w.one(h.changeListLength);
    w.put(h.changes, h.changeListLength);
  }
  return w.rc();
}

int readStepHistory(SelectionState* s) {
  if (!s->streamFile || !s->streamPosition) return rc::kHistory;
  const EngineOptions* o = s->engine;
  Reader r(s->streamFile, s->streamPosition);
  r.one(&s->run.status);
  for (double* p : statFields(s).p) r.one(p);
  for (int32_t* p : countFields(s).p) r.one(p);
  if (r.rc() != 0 || s->run.status < 0) return r.rc();
  if (s->layout.effectCount < 0 || s->layout.paramCount < 0 || s->steps.stepCount < 0 ||
      s->sweep.aliasedCount < 0)
    return rc::kHistory;
  if (int rc = allocateHistory(s); rc != 0) return rc;

  const int64_t E = s->layout.effectCount, P = s->layout.paramCount, S = s->steps.stepCount;
  StepHistory& h = s->steps;
  r.get(s->sweep.entryOrder, E);
  r.get(s->sweep.firstParam, E);
  r.get(s->sweep.aliasedList, s->sweep.aliasedCount);
  r.get(h.effect, S);
  r.get(h.sweptColumns - 1, S + 1);
  r.get(h.parameters, S);
  r.get(h.effects - 1, S + 1);
  r.get(h.sse, S);
  r.get(h.criteria, S * h.criterionCount);
  if (o->testAsePerStep) r.get(h.testAse, S);
  if (o->fifthPerStep) r.get(h.fifth, S);
  if (s->cv->kfold && r.rc() == 0) r.fail(readFolds(r, s));
  r.get(s->sweep.states, E);
  r.get(s->sweep.estimates, P);
  r.get(s->sweep.invDiag, P);
  r.get(s->sweep.stdEstimates, P);
  if (o->candidateValues) r.get(s->sweep.candidateValues, E);
  if (chooseOn(o)) {
    r.get(s->run.chosenEstimates, P);
    r.get(s->run.chosenInvDiag, P);
    r.get(s->run.chosenStdEstimates, P);
    r.get(s->run.chosenEffects, E);
    r.get(s->run.chosenStates, E);
  }
  r.one(&s->run.stop);
  if (o->method == kMethodGroupLasso) {
    r.one(&h.changeListLength);
    if (r.rc() != 0 || h.changeListLength == 0) return r.rc();
    if (h.changeListLength < 0) return rc::kHistory;
    if (!(h.changes = poolArray<int32_t>(s, h.changeListLength))) return rc::kMemory;
    h.changeListCapacity = h.changeListLength;
    r.get(h.changes, h.changeListLength);
  }
  return r.rc();
}

int writeSelectedModel(SelectionState* s, ScratchFileObject* file, int64_t* position) {
  Writer w(file, position);
  w.one(s->run.status);
  if (s->run.status < 0) return w.rc();
  const bool chosen = chooseOn(s->engine) && s->run.chosenStep >= 0 && s->run.chosenEffects;
  const int32_t k = chosen ? s->steps.effects[s->run.chosenStep] : s->sweep.effectsInModel;
  w.one(k);
  w.put(chosen ? s->run.chosenEffects : s->sweep.entryOrder, k);
  w.put(chosen ? s->run.chosenEstimates : s->sweep.estimates, s->layout.paramCount);
  return w.rc();
}

int readSelectedModel(ScratchFileObject* file, int32_t parameters, int64_t* position,
                      int32_t* status, int32_t* count, int32_t* effects, double* estimates) {
  Reader r(file, position);
  r.one(status);
  if (r.rc() != 0 || *status < 0) return r.rc();
  r.one(count);
  r.get(effects, *count);
  r.get(estimates, parameters);
  return r.rc();
}

int writeResultHeader(SelectionState* s) {
  if (!s->headerFile || !s->headerPosition) return 0;
  Writer w(s->headerFile, s->headerPosition);
  w.one(s->run.status);
  if (s->run.status != 0) return w.rc();
  for (int32_t v : {s->layout.paramCount, s->sweep.sweptColumns, s->sweep.effectsInModel,
                    s->layout.effectCount})
    w.one(v);
  w.put(s->sweep.entryOrder, s->layout.effectCount);
  return w.rc();
}

int readResultHeader(SelectionState* s) {
  if (!s->headerFile || !s->headerPosition) return rc::kHistory;
  Reader r(s->headerFile, s->headerPosition);
  r.one(&s->run.status);
  if (r.rc() != 0 || s->run.status != 0) return r.rc();
  for (int32_t* p : {&s->layout.paramCount, &s->sweep.sweptColumns, &s->sweep.effectsInModel,
                     &s->layout.effectCount})
    r.one(p);
  if (r.rc() != 0) return r.rc();
  if (!(s->sweep.entryOrder = poolArray<int32_t>(s, s->layout.effectCount))) return rc::kMemory;
  r.get(s->sweep.entryOrder, s->layout.effectCount);
  return r.rc();
}

}  // namespace vsf
