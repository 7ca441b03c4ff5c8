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

// The two sides of a record, which visit the same fields in the same order (historyRecord):
// `array` writes n values of the array, or n zeros when it does not exist, or reads them.
class Writer {
 public:
  static constexpr bool kReading = false;
  Writer(ScratchFileObject* f, int64_t* pos) : f_(f), pos_(pos) {}
  template <typename T>
  void array(const T* p, int64_t n) {
    if (rc_ != 0 || n <= 0) return;
    if (p) {
      rc_ = streamWriteAt(f_, p, static_cast<int64_t>(sizeof(T)) * n, pos_);
      return;
    }
    const T zero{};
    for (int64_t i = 0; i < n && rc_ == 0; ++i) rc_ = streamWriteAt(f_, &zero, sizeof(T), pos_);
  }
  template <typename T>
  void one(const T* v) {
    array(v, 1);
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

class Reader {
 public:
  static constexpr bool kReading = true;
  Reader(ScratchFileObject* f, int64_t* pos) : f_(f), pos_(pos) {}
  template <typename T>
  void array(T* p, int64_t n) {
    if (rc_ != 0 || n <= 0) return;
    rc_ = streamReadAt(f_, p, static_cast<int64_t>(sizeof(T)) * n, pos_);
  }
  template <typename T>
  void one(T* v) {
    array(v, 1);
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

// Per-step arrays whose index -1 is kept: one element more before the steps.
template <typename T>
T* historyArray(SelectionState* s, int64_t steps, bool before) {
  T* p = poolArray<T>(s, steps + (before ? 1 : 0));
  return p && before ? p + 1 : p;
}

// The folds' statistics and estimates, when cross validation keeps them.
template <typename Io>
int foldFields(Io& io, SelectionState* s) {
  const CvOptions* o = s->cv;
  if (!foldDetails(o) || s->folds <= 0) return 0;
  if constexpr (Io::kReading)
    if (!(s->foldRecs = poolArray<FoldRecord>(s, s->folds))) return rc::kMemory;
  for (int32_t f = 0; f < s->folds; ++f) {
    FoldRecord* r = s->foldRecs ? &s->foldRecs[f] : nullptr;
    auto field = [r](double FoldRecord::*m) { return r ? &(r->*m) : nullptr; };
    if (o->foldStats)
      for (auto m :
           {&FoldRecord::sse, &FoldRecord::rows, &FoldRecord::freq, &FoldRecord::weightFreq})
        io.one(field(m));
    if (!o->foldEstimates) continue;
    if constexpr (Io::kReading)
      if (!(r->estimates = poolArray<double>(s, s->layout.paramCount))) return rc::kMemory;
    io.array(r ? r->estimates : nullptr, s->layout.paramCount);
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

// A per-step array's element before the first step (its index -1), or null.
template <typename T>
T* beforeFirst(T* p) {
  return p ? p - 1 : nullptr;
}

// The step history, the one list of its fields that the writer and the reader both follow:
// the status, the statistics and the counts, then, for a run that fitted, the arrays the
// counts size (which the reader makes first).
template <typename Io>
int historyRecord(Io& io, SelectionState* s) {
  const EngineOptions* o = s->engine;
  io.one(&s->run.status);
  for (double* p : statFields(s).p) io.one(p);
  for (int32_t* p : countFields(s).p) io.one(p);
  if (io.rc() != 0 || s->run.status < 0) return io.rc();
  if constexpr (Io::kReading) {
    if (s->layout.effectCount < 0 || s->layout.paramCount < 0 || s->steps.stepCount < 0 ||
        s->sweep.aliasedCount < 0)
      return rc::kHistory;
    if (int rc = allocateHistory(s); rc != 0) return rc;
  }

  const int64_t E = s->layout.effectCount, P = s->layout.paramCount, S = s->steps.stepCount;
  StepHistory& h = s->steps;
  io.array(s->sweep.entryOrder, E);
  io.array(s->sweep.firstParam, E);  // where each effect's estimates start
  io.array(s->sweep.aliasedList, s->sweep.aliasedCount);
  io.array(h.effect, S);
  io.array(beforeFirst(h.sweptColumns), S + 1);
  io.array(h.parameters, S);
  io.array(beforeFirst(h.effects), S + 1);
  io.array(h.sse, S);
  io.array(h.criteria, S * h.criterionCount);
  if (o->testAsePerStep) io.array(h.testAse, S);
  if (o->fifthPerStep) io.array(h.fifth, S);
  if (s->cv->kfold && io.rc() == 0) io.fail(foldFields(io, s));
  io.array(s->sweep.states, E);
  io.array(s->sweep.estimates, P);
  io.array(s->sweep.invDiag, P);
  io.array(s->sweep.stdEstimates, P);
  if (o->candidateValues) io.array(s->sweep.candidateValues, E);
  if (chooseOn(o)) {
    io.array(s->run.chosenEstimates, P);
    io.array(s->run.chosenInvDiag, P);
    io.array(s->run.chosenStdEstimates, P);
    io.array(s->run.chosenEffects, E);
    io.array(s->run.chosenStates, E);
  }
  io.one(&s->run.stop);
  // Group LASSO's steps move several effects: the change list says which.
  if (o->method == kMethodGroupLasso) {
    io.one(&h.changeListLength);
    if constexpr (Io::kReading) {
      if (io.rc() != 0 || h.changeListLength == 0) return io.rc();
      if (h.changeListLength < 0) return rc::kHistory;
      if (!(h.changes = poolArray<int32_t>(s, h.changeListLength))) return rc::kMemory;
      h.changeListCapacity = h.changeListLength;
    }
    io.array(h.changes, h.changeListLength);
  }
  return io.rc();
}

// The selected model: the status, then for a fitted run its effects and estimates.
template <typename Io>
int modelRecord(Io& io, int32_t* status, int32_t* count, int32_t* effects, double* estimates,
                int32_t parameters) {
  io.one(status);
  if (io.rc() != 0 || *status < 0) return io.rc();
  io.one(count);
  io.array(effects, *count);
  io.array(estimates, parameters);
  return io.rc();
}

// The result header: the status, then for a fitted group its counts and the model's effects.
template <typename Io>
int headerRecord(Io& io, SelectionState* s) {
  io.one(&s->run.status);
  if (io.rc() != 0 || s->run.status != 0) return io.rc();
  for (int32_t* p : {&s->layout.paramCount, &s->sweep.sweptColumns, &s->sweep.effectsInModel,
                     &s->layout.effectCount})
    io.one(p);
  if constexpr (Io::kReading) {
    if (io.rc() != 0) return io.rc();
    if (!(s->sweep.entryOrder = poolArray<int32_t>(s, s->layout.effectCount))) return rc::kMemory;
  }
  io.array(s->sweep.entryOrder, s->layout.effectCount);
  return io.rc();
}

}  // namespace

int writeStepHistory(SelectionState* s) {
  if (!s->streamFile || !s->streamPosition) return 0;
  Writer w(s->streamFile, s->streamPosition);
  if (s->resample) w.one(&s->resample->historyId);
  zeroNegligibleTotals(s);
  return historyRecord(w, s);
}

int readStepHistory(SelectionState* s) {
  if (!s->streamFile || !s->streamPosition) return rc::kHistory;
  Reader r(s->streamFile, s->streamPosition);
  return historyRecord(r, s);
}

int writeSelectedModel(SelectionState* s, ScratchFileObject* file, int64_t* position) {
  Writer w(file, position);
  const bool chosen = chooseOn(s->engine) && s->run.chosenStep >= 0 && s->run.chosenEffects;
  int32_t k = 0;
  if (s->run.status >= 0)
    k = chosen ? s->steps.effects[s->run.chosenStep] : s->sweep.effectsInModel;
  return modelRecord(w, &s->run.status, &k, chosen ? s->run.chosenEffects : s->sweep.entryOrder,
                     chosen ? s->run.chosenEstimates : s->sweep.estimates, s->layout.paramCount);
}

int readSelectedModel(ScratchFileObject* file, int32_t parameters, int64_t* position,
                      int32_t* status, int32_t* count, int32_t* effects, double* estimates) {
  Reader r(file, position);
  return modelRecord(r, status, count, effects, estimates, parameters);
}

int writeResultHeader(SelectionState* s) {
  if (!s->headerFile || !s->headerPosition) return 0;
  Writer w(s->headerFile, s->headerPosition);
  return headerRecord(w, s);
}

int readResultHeader(SelectionState* s) {
  if (!s->headerFile || !s->headerPosition) return rc::kHistory;
  Reader r(s->headerFile, s->headerPosition);
  return headerRecord(r, s);
}

}  // namespace vsf
