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

// What the two sides of a record share: the file, the position and the first failure.
// `one` visits one value through the side's `array`.
template <typename Side>
class RecordSide {
 public:
  RecordSide(ScratchFileObject* f, int64_t* pos) : f_(f), pos_(pos) {}
  template <typename T>
  void one(T* v) {
    static_cast<Side*>(this)->array(v, 1);
  }
  int rc() const { return rc_; }
  void fail(int rc) {
    if (rc_ == 0) rc_ = rc;
  }

 protected:
  ScratchFileObject* f_;
  int64_t* pos_;
  int rc_ = 0;
};

// The two sides of a record, which visit the same fields in the same order (historyRecord):
// `array` writes n values of the array, or n zeros when it does not exist, or reads them.
class Writer : public RecordSide<Writer> {
 public:
  static constexpr bool kReading = false;
  using RecordSide::RecordSide;
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
};

class Reader : public RecordSide<Reader> {
 public:
  static constexpr bool kReading = true;
  using RecordSide::RecordSide;
  template <typename T>
  void array(T* p, int64_t n) {
    if (rc_ != 0 || n <= 0) return;
    rc_ = streamReadAt(f_, p, static_cast<int64_t>(sizeof(T)) * n, pos_);
  }
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

// An array of n values the record holds: the reader makes it from the state's pool first.
template <typename Io, typename T>
void heldArray(Io& io, SelectionState* s, T*& p, int64_t n) {
  if constexpr (Io::kReading)
    if (io.rc() == 0 && !(p = poolArray<T>(s, n))) io.fail(rc::kMemory);
  io.array(p, n);
}

// A per-step array of the history (forEachStepArray) for `steps` steps.
template <typename Io, typename T>
void stepArray(Io& io, SelectionState* s, T*& p, int64_t steps, const StepArray& a) {
  T* base = p && a.beforeFirst ? p - 1 : p;
  heldArray(io, s, base, a.length(steps));
  if constexpr (Io::kReading) p = base && a.beforeFirst ? base + 1 : base;
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

// The step history, the one list of its fields that the writer and the reader both follow:
// the status, the statistics and the counts, then, for a run that fitted, the arrays the
// counts size, which the reader makes as it comes to them.
template <typename Io>
int historyRecord(Io& io, SelectionState* s) {
  const EngineOptions* o = s->engine;
  io.one(&s->run.status);
  for (double* p : statFields(s).p) io.one(p);
  for (int32_t* p : countFields(s).p) io.one(p);
  if (io.rc() != 0 || s->run.status < 0) return io.rc();
  StepHistory& h = s->steps;
  if constexpr (Io::kReading) {
    if (s->layout.effectCount < 0 || s->layout.paramCount < 0 || h.stepCount < 0 ||
        s->sweep.aliasedCount < 0)
      return rc::kHistory;
    layOutStepCriteria(&h, *o, *s->cv);
    h.historyCapacity = h.stepCount;
  }

  const int64_t E = s->layout.effectCount, P = s->layout.paramCount, S = h.stepCount;
  heldArray(io, s, s->sweep.entryOrder, E);
  heldArray(io, s, s->sweep.firstParam, E);  // where each effect's estimates start
  if (s->sweep.aliasedCount > 0) heldArray(io, s, s->sweep.aliasedList, s->sweep.aliasedCount);
  forEachStepArray(h, *o, *s->cv, [&](auto*& p, const StepArray& a) {
    if (a.recorded) stepArray(io, s, p, S, a);
  });
  if (s->cv->kfold && io.rc() == 0) io.fail(foldFields(io, s));
  heldArray(io, s, s->sweep.states, E);
  heldArray(io, s, s->sweep.estimates, P);
  heldArray(io, s, s->sweep.invDiag, P);
  heldArray(io, s, s->sweep.stdEstimates, P);
  if (o->candidateValues) heldArray(io, s, s->sweep.candidateValues, E);
  if (chooseOn(o)) {
    heldArray(io, s, s->run.chosenEstimates, P);
    heldArray(io, s, s->run.chosenInvDiag, P);
    heldArray(io, s, s->run.chosenStdEstimates, P);
    heldArray(io, s, s->run.chosenEffects, E);
    heldArray(io, s, s->run.chosenStates, E);
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
  heldArray(io, s, s->sweep.entryOrder, s->layout.effectCount);
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
