// Result stream records: step histories written during a fit and read back equal what the fit
// recorded, its criteria too, each read ending where its write ended; selected-model and header
// records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/group_support.h"
#include "datapass/utilfiles.h"
#include "penalized/penalized.h"
#include "selection/methods_internal.h"

namespace vsf {
namespace {

using test::Group;
using test::GroupSettings;

// A scratch file for the group's result stream, bound before the fit.
void bindStream(Group& g) {
  VsfState& v = g.vsf();
  int stage = 0;
  static const test::ScratchDir scratch("vsf_result_stream");
  const std::string dir = scratch.path().string();
  static int number = 700;
  ASSERT_EQ(openScratchFile(&v.group.groupScratch, &v.res.extensions, ++number,
                            static_cast<int>(dir.size()), dir.data(), false, &stage),
            0);
  g.s().scratch = &v.group.groupScratch;
}

// A cleared record state reading from the group's stream at `position`.
struct Record {
  SelectionState s;
  int64_t position;
  Record(Group& g, int64_t at) : position(at) {
    s.modelPool = kernel().poolCreate("step pool", kPoolPlain);
    shareRunOptions(&s, g.s());
    s.streamFile = g.s().streamFile;
    s.streamPosition = &position;
  }
  ~Record() { kernel().poolDestroy(s.modelPool); }
};

template <typename T>
std::vector<T> vec(const T* p, int64_t n) {
  return p && n > 0 ? std::vector<T>(p, p + n) : std::vector<T>();
}
// Doubles by their bits, so that missing values compare equal.
std::vector<uint64_t> vec(const double* p, int64_t n) {
  std::vector<uint64_t> out;
  for (int64_t i = 0; p && i < n; ++i) out.push_back(bitsOf(p[i]));
  return out;
}

// Every criterion the first `steps` steps kept, by code and step (missing where none).
std::vector<uint64_t> criteriaOf(const SelectionState& s, int32_t steps) {
  std::vector<uint64_t> out;
  for (CriterionCode c : kAllCriterionCodes)
    for (int32_t i = 0; i < steps; ++i) out.push_back(bitsOf(stepCriterion(s.steps, c, i)));
  return out;
}

// Every per-step array the record holds, as bytes from the element before the first step:
// an array added to the history's list is held here too.
std::vector<std::vector<uint8_t>> stepArrays(SelectionState& s) {
  std::vector<std::vector<uint8_t>> out;
  forEachStepArray(s.steps, *s.engine, *s.cv, [&](auto*& p, const StepArray& a) {
    if (!a.recorded) return;
    const auto* first = reinterpret_cast<const uint8_t*>(a.beforeFirst ? p - 1 : p);
    out.emplace_back(first, first + a.length(s.steps.stepCount) * sizeof(*p));
  });
  return out;
}

// Everything a record holds, as the state holds it.
void expectSameRecord(SelectionState& a, SelectionState& b) {
  EXPECT_EQ(a.run.status, b.run.status);
  auto doubles = [](const SelectionState& s) {
    const std::vector<double> v = {s.totals.trainFreq,   s.totals.obsUsed,     s.totals.validFreq,
                                   s.totals.correctedSS, s.totals.totalSS,     s.fit.sigma2Full,
                                   s.fit.trainSse,       s.totals.trainWeight, s.totals.testWeight,
                                   s.totals.validWeight};
    std::vector<uint64_t> bits;
    for (double x : v) bits.push_back(bitsOf(x));
    return bits;
  };
  EXPECT_EQ(doubles(a), doubles(b));
  auto counts = [](const SelectionState& s) {
    return std::vector<int32_t>{
        s.layout.effectCount, s.layout.paramCount,      s.steps.stepCount,
        s.sweep.sweptColumns, s.sweep.effectsInModel,   s.sweep.sscpOrder,
        s.steps.stepCapacity, s.run.chosenStep,         s.folds,
        s.sweep.aliasedCount, s.layout.firstSelectable, s.layout.denseValues};
  };
  EXPECT_EQ(counts(a), counts(b));
  const int64_t E = a.layout.effectCount, P = a.layout.paramCount, S = a.steps.stepCount;
  EXPECT_EQ(vec(a.sweep.entryOrder, a.sweep.effectsInModel),
            vec(b.sweep.entryOrder, b.sweep.effectsInModel));
  EXPECT_EQ(vec(a.sweep.firstParam, E),
            vec(b.sweep.firstParam, E));  // the displays find estimates by it
  EXPECT_EQ(vec(a.sweep.aliasedList, a.sweep.aliasedCount),
            vec(b.sweep.aliasedList, b.sweep.aliasedCount));
  EXPECT_EQ(vec(a.steps.effect, S), vec(b.steps.effect, S));
  EXPECT_EQ(vec(a.steps.sweptColumns - 1, S + 1), vec(b.steps.sweptColumns - 1, S + 1));
  EXPECT_EQ(vec(a.steps.parameters, S), vec(b.steps.parameters, S));
  EXPECT_EQ(vec(a.steps.effects - 1, S + 1), vec(b.steps.effects - 1, S + 1));
  EXPECT_EQ(vec(a.steps.sse, S), vec(b.steps.sse, S));
  EXPECT_EQ(criteriaOf(a, S), criteriaOf(b, S));
  EXPECT_EQ(vec(a.steps.testAse, S), vec(b.steps.testAse, S));
  EXPECT_EQ(vec(a.steps.fifth, S), vec(b.steps.fifth, S));
  EXPECT_EQ(stepArrays(a), stepArrays(b));
  EXPECT_EQ(vec(a.sweep.states, E), vec(b.sweep.states, E));
  EXPECT_EQ(vec(a.sweep.estimates, P), vec(b.sweep.estimates, P));
  EXPECT_EQ(vec(a.sweep.invDiag, P), vec(b.sweep.invDiag, P));
  EXPECT_EQ(vec(a.sweep.stdEstimates, P), vec(b.sweep.stdEstimates, P));
  EXPECT_EQ(vec(a.sweep.candidateValues, E), vec(b.sweep.candidateValues, E));
  EXPECT_EQ(vec(a.run.chosenEstimates, P), vec(b.run.chosenEstimates, P));
  EXPECT_EQ(vec(a.run.chosenInvDiag, P), vec(b.run.chosenInvDiag, P));
  EXPECT_EQ(vec(a.run.chosenStdEstimates, P), vec(b.run.chosenStdEstimates, P));
  EXPECT_EQ(vec(a.run.chosenEffects, E), vec(b.run.chosenEffects, E));
  EXPECT_EQ(vec(a.run.chosenStates, E), vec(b.run.chosenStates, E));
  EXPECT_EQ(std::memcmp(&a.run.stop, &b.run.stop, sizeof(StopBlock)), 0);
  EXPECT_EQ(vec(a.steps.changes, a.steps.changeListLength),
            vec(b.steps.changes, b.steps.changeListLength));
  for (int32_t f = 0; f < a.folds && a.cv->foldStats; ++f) {
    const FoldRecord &x = a.foldRecs[f], &y = b.foldRecs[f];
    EXPECT_EQ(vec(&x.sse, 1), vec(&y.sse, 1));
    EXPECT_EQ(vec(&x.rows, 1), vec(&y.rows, 1));
    EXPECT_EQ(vec(&x.freq, 1), vec(&y.freq, 1));
    EXPECT_EQ(vec(&x.weightFreq, 1), vec(&y.weightFreq, 1));
  }
  for (int32_t f = 0; f < a.folds && a.cv->foldEstimates; ++f)
    EXPECT_EQ(vec(a.foldRecs[f].estimates, P), vec(b.foldRecs[f].estimates, P));
}

struct StreamCase {
  const char* name;
  const char* data;
  GroupSettings group;
  void (*options)(SelectionOptions&);
};

TEST(ResultStream, HistoriesReadBackEqualWhatWasRecorded) {
  GroupSettings cv;
  cv.weight = true, cv.kfold = true, cv.folds = 5, cv.method = kMethodStepwise;
  cv.choose = kCritCv;
  GroupSettings backward;
  backward.method = kMethodBackward;
  backward.choose = kCritAic;
  GroupSettings group;
  group.method = kMethodGroupLasso;
  group.choose = kCritSbc;
  const StreamCase cases[] = {
      {"STEPWISE, CV, every optional piece", "diabetes_cv", cv,
       [](SelectionOptions& o) {
         o.pressPerStep = o.fifthPerStep = o.candidateValues = 1;
         o.foldStats = o.foldEstimates = 1;
         o.stop = kCritSbc;
       }},
      {"BACKWARD with an aliased effect dropped", "mtcars", backward,
       [](SelectionOptions& o) { o.stop = kCritNone; }},
      {"GROUPLASSO, whose steps move several effects", "mtcars", group,
       [](SelectionOptions& o) { o.stop = kCritNone, o.maxSteps = 8, o.rho = 0.5; }},
  };
  for (const StreamCase& c : cases) {
    SCOPED_TRACE(c.name);
    const test::CaseData data = test::readCase(c.data);
    Group g(data, c.group);
    bindStream(g);
    SelectionOptions& o = g.options();
    c.options(o);
    o.detailsBeyondSummary = 1;  // every step is written as it is recorded
    g.settleOptionRecords();
    ASSERT_EQ(fitModel(&g.s(), nullptr), 0);
    SelectionState& s = g.s();
    ASSERT_EQ(s.run.status, 0);
    ASSERT_GT(s.steps.stepCount, 2);
    EXPECT_TRUE(o.method != kMethodBackward || s.sweep.aliasedCount == 1);
    EXPECT_TRUE(o.method != kMethodGroupLasso || s.steps.changeListLength > 2);
    for (CriterionCode c : {kCritSbc, kCritAdjRsq, o.kfold ? kCritCv : kCritAic})
      EXPECT_FALSE(isAbsent(stepCriterion(s.steps, c, s.steps.stepCount - 1))) << codeIndex(c);

    // One record per step, each with the history as it stood.
    int64_t at = 0;
    for (int32_t r = 0; r < s.steps.stepCount; ++r) {
      Record rec(g, at);
      ASSERT_EQ(readStepHistory(&rec.s), 0);
      EXPECT_EQ(rec.s.steps.stepCount, r + 1);
      EXPECT_EQ(vec(rec.s.steps.sse, r + 1), vec(s.steps.sse, r + 1));
      EXPECT_EQ(vec(rec.s.steps.effect, r + 1), vec(s.steps.effect, r + 1));
      EXPECT_EQ(criteriaOf(rec.s, r + 1), criteriaOf(s, r + 1));
      // The change list as it stood: the step details name each step's moves from it.
      EXPECT_EQ(vec(rec.s.steps.changes, rec.s.steps.changeListLength),
                vec(s.steps.changes, changeListStart(&s, r + 1)));
      at = rec.position;
    }
    // The final state, written whole and read back.
    const int64_t start = *s.streamPosition;
    ASSERT_EQ(writeStepHistory(&s), 0);
    Record last(g, start);
    ASSERT_EQ(readStepHistory(&last.s), 0);
    EXPECT_EQ(last.position, *s.streamPosition);
    expectSameRecord(s, last.s);
    closeScratchFile(&g.vsf().group.groupScratch, &g.vsf().res.extensions);
  }
}

TEST(ResultStream, ShortRecordsAndTheOtherRecordKinds) {
  const test::CaseData data = test::readCase("swiss");
  GroupSettings gs;
  gs.method = kMethodForward;
  gs.choose = kCritAic;
  Group g(data, gs);
  bindStream(g);
  g.options().stop = kCritNone;
  SelectionState& s = g.s();

  // No step yet: the arrays from index -1 give one element each.
  ASSERT_EQ(g.prepare(), 0);
  *s.streamPosition = 0;
  ASSERT_EQ(writeStepHistory(&s), 0);
  {
    Record rec(g, 0);
    ASSERT_EQ(readStepHistory(&rec.s), 0);
    EXPECT_EQ(rec.s.steps.stepCount, 0);
    EXPECT_EQ(rec.position, *s.streamPosition);
  }
  // A failed run: status, statistics and counts only.
  s.run.status = runstatus::kNoObservations;
  *s.streamPosition = 0;
  ASSERT_EQ(writeStepHistory(&s), 0);
  {
    Record rec(g, 0);
    ASSERT_EQ(readStepHistory(&rec.s), 0);
    EXPECT_EQ(rec.s.run.status, runstatus::kNoObservations);
    EXPECT_EQ(rec.position, *s.streamPosition);
    EXPECT_EQ(rec.s.sweep.entryOrder, nullptr);
  }

  // The selected model: the chosen step's effects and estimates.
  resetSelectionState(&s);
  ASSERT_EQ(fitModel(&s, nullptr), 0);
  ASSERT_GE(s.run.chosenStep, 0);
  int64_t pos = 1000;
  ASSERT_EQ(writeSelectedModel(&s, s.streamFile, &pos), 0);
  int64_t rpos = 1000;
  int32_t status = -1, count = 0;
  std::vector<int32_t> list(static_cast<size_t>(s.layout.effectCount));
  std::vector<double> est(static_cast<size_t>(s.layout.paramCount));
  ASSERT_EQ(readSelectedModel(s.streamFile, s.layout.paramCount, &rpos, &status, &count,
                              list.data(), est.data()),
            0);
  EXPECT_EQ(rpos, pos);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(count, s.steps.effects[s.run.chosenStep]);
  EXPECT_EQ(vec(list.data(), count), vec(s.run.chosenEffects, count));
  EXPECT_EQ(vec(est.data(), s.layout.paramCount), vec(s.run.chosenEstimates, s.layout.paramCount));

  // The result header on a stream of its own.
  int64_t hpos = 5000;
  s.headerFile = s.streamFile, s.headerPosition = &hpos;
  ASSERT_EQ(writeResultHeader(&s), 0);
  Record h(g, 0);
  int64_t hread = 5000;
  h.s.headerFile = s.streamFile, h.s.headerPosition = &hread;
  ASSERT_EQ(readResultHeader(&h.s), 0);
  EXPECT_EQ(hread, hpos);
  EXPECT_EQ(h.s.sweep.effectsInModel, s.sweep.effectsInModel);
  EXPECT_EQ(vec(h.s.sweep.entryOrder, s.layout.effectCount),
            vec(s.sweep.entryOrder, s.layout.effectCount));
  closeScratchFile(&g.vsf().group.groupScratch, &g.vsf().res.extensions);
}

}  // namespace
}  // namespace vsf
