// Result stream records: step histories written during a fit and read back equal what the fit
// recorded, its criteria too; the record's pieces and their lengths; selected-model and header
// records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "datapass/utilfiles.h"
#include "penalized/penalized.h"
#include "selection/group_support.h"
#include "selection/methods_internal.h"

namespace vsf {
namespace {

using test::Group;
using test::GroupSettings;

// A scratch file for the group's result stream, bound before the fit.
void bindStream(Group& g) {
  VsfState& v = g.vsf();
  int stage = 0;
  const std::string dir = ::testing::TempDir();
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
    s.options = g.s().options;
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
  for (uint8_t c = 0; c < kCriterionCodes; ++c)
    for (int32_t i = 0; i < steps; ++i) out.push_back(bitsOf(stepCriterion(&s, c, i)));
  return out;
}

// Everything a record holds, as the state holds it.
void expectSameRecord(const SelectionState& a, const SelectionState& b) {
  EXPECT_EQ(a.status, b.status);
  for (auto f :
       {&SelectionState::trainFreq, &SelectionState::obsUsed, &SelectionState::validFreq,
        &SelectionState::correctedSS, &SelectionState::totalSS, &SelectionState::sigma2Full,
        &SelectionState::trainSse, &SelectionState::trainWeight, &SelectionState::testWeight,
        &SelectionState::validWeight})
    EXPECT_EQ(std::memcmp(&(a.*f), &(b.*f), 8), 0);
  for (auto f :
       {&SelectionState::effectCount, &SelectionState::paramCount, &SelectionState::stepCount,
        &SelectionState::sweptColumns, &SelectionState::effectsInModel, &SelectionState::sscpOrder,
        &SelectionState::stepCapacity, &SelectionState::chosenStep, &SelectionState::folds,
        &SelectionState::aliasedCount, &SelectionState::firstSelectable,
        &SelectionState::denseValues})
    EXPECT_EQ(a.*f, b.*f);
  const int64_t E = a.effectCount, P = a.paramCount, S = a.stepCount;
  EXPECT_EQ(vec(a.entryOrder, a.effectsInModel), vec(b.entryOrder, b.effectsInModel));
  EXPECT_EQ(vec(a.firstParam, E), vec(b.firstParam, E));  // the displays find estimates by it
  EXPECT_EQ(vec(a.aliasedList, a.aliasedCount), vec(b.aliasedList, b.aliasedCount));
  EXPECT_EQ(vec(a.steps.effect, S), vec(b.steps.effect, S));
  EXPECT_EQ(vec(a.steps.sweptColumns - 1, S + 1), vec(b.steps.sweptColumns - 1, S + 1));
  EXPECT_EQ(vec(a.steps.parameters, S), vec(b.steps.parameters, S));
  EXPECT_EQ(vec(a.steps.effects - 1, S + 1), vec(b.steps.effects - 1, S + 1));
  EXPECT_EQ(vec(a.steps.sse, S), vec(b.steps.sse, S));
  EXPECT_EQ(criteriaOf(a, S), criteriaOf(b, S));
  EXPECT_EQ(vec(a.steps.testAse, S), vec(b.steps.testAse, S));
  EXPECT_EQ(vec(a.steps.fifth, S), vec(b.steps.fifth, S));
  EXPECT_EQ(vec(a.states, E), vec(b.states, E));
  EXPECT_EQ(vec(a.estimates, P), vec(b.estimates, P));
  EXPECT_EQ(vec(a.invDiag, P), vec(b.invDiag, P));
  EXPECT_EQ(vec(a.stdEstimates, P), vec(b.stdEstimates, P));
  EXPECT_EQ(vec(a.candidateValues, E), vec(b.candidateValues, E));
  EXPECT_EQ(vec(a.chosenEstimates, P), vec(b.chosenEstimates, P));
  EXPECT_EQ(vec(a.chosenEffects, E), vec(b.chosenEffects, E));
  EXPECT_EQ(vec(a.chosenStates, E), vec(b.chosenStates, E));
  EXPECT_EQ(std::memcmp(&a.stop, &b.stop, sizeof(StopBlock)), 0);
  for (int32_t f = 0; f < a.folds && a.options->foldStats; ++f) {
    EXPECT_EQ(a.foldRecs[f].sse, b.foldRecs[f].sse);
    EXPECT_EQ(a.foldRecs[f].rows, b.foldRecs[f].rows);
  }
}

// The bytes a history record takes, piece by piece.
int64_t recordLength(const SelectionState& s) {
  const SelectionOptions* o = s.options;
  const int64_t E = s.effectCount, P = s.paramCount, S = s.stepCount;
  int64_t n =
      4 + 224 + 52 + 8 * E + 4 * s.aliasedCount + 4 * S + 4 * (S + 1) + 4 * S + 4 * (S + 1) + 8 * S;
  // The criteria: five closed forms, Cp and BIC with the full model, the data-based ones kept.
  const int kept = 5 + (fullModelWanted(o) ? 2 : 0) + o->pressPerStep + o->validAsePerStep +
                   o->kfold + o->externalCv;
  n += 8 * S * (kept + o->testAsePerStep + o->fifthPerStep);
  if (o->kfold) n += s.folds * ((o->foldStats ? 32 : 0) + (o->foldEstimates ? 8 * P : 0));
  n += E + 24 * P + (o->candidateValues ? 8 * E : 0);
  if (o->choose != kCritNone) n += 24 * P + 5 * E;
  return n + 32;
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
  const StreamCase cases[] = {
      {"STEPWISE, CV, every optional piece", "diabetes_cv", cv,
       [](SelectionOptions& o) {
         o.pressPerStep = o.fifthPerStep = o.candidateValues = 1;
         o.foldStats = o.foldEstimates = 1;
         o.stop = kCritSbc;
       }},
      {"BACKWARD with an aliased effect dropped", "mtcars", backward,
       [](SelectionOptions& o) { o.stop = kCritNone; }},
  };
  for (const StreamCase& c : cases) {
    SCOPED_TRACE(c.name);
    const test::CaseData data = test::readCase(c.data);
    Group g(data, c.group);
    bindStream(g);
    SelectionOptions& o = g.options();
    c.options(o);
    o.detailsBeyondSummary = 1;  // every step is written as it is recorded
    ASSERT_EQ(fitModel(&g.s(), nullptr), 0);
    SelectionState& s = g.s();
    ASSERT_EQ(s.status, 0);
    ASSERT_GT(s.stepCount, 2);
    EXPECT_TRUE(o.method != kMethodBackward || s.aliasedCount == 1);
    for (uint8_t c : {kCritSbc, kCritAdjRsq, o.kfold ? kCritCv : kCritAic})
      EXPECT_FALSE(isAbsent(stepCriterion(&s, c, s.stepCount - 1))) << int{c};

    // One record per step, each with the history as it stood.
    int64_t at = 0;
    for (int32_t r = 0; r < s.stepCount; ++r) {
      Record rec(g, at);
      ASSERT_EQ(readStepHistory(&rec.s), 0);
      EXPECT_EQ(rec.s.stepCount, r + 1);
      EXPECT_EQ(vec(rec.s.steps.sse, r + 1), vec(s.steps.sse, r + 1));
      EXPECT_EQ(vec(rec.s.steps.effect, r + 1), vec(s.steps.effect, r + 1));
      EXPECT_EQ(criteriaOf(rec.s, r + 1), criteriaOf(s, r + 1));
      EXPECT_EQ(rec.position - at, recordLength(rec.s));
      at = rec.position;
    }
    // The final state, written whole and read back.
    const int64_t start = *s.streamPosition;
    ASSERT_EQ(writeStepHistory(&s), 0);
    EXPECT_EQ(*s.streamPosition - start, recordLength(s));
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
  EXPECT_EQ(*s.streamPosition, recordLength(s));
  {
    Record rec(g, 0);
    ASSERT_EQ(readStepHistory(&rec.s), 0);
    EXPECT_EQ(rec.s.stepCount, 0);
    EXPECT_EQ(rec.position, recordLength(s));
  }
  // A failed run: status, statistics and counts only.
  s.status = runstatus::kNoObservations;
  *s.streamPosition = 0;
  ASSERT_EQ(writeStepHistory(&s), 0);
  EXPECT_EQ(*s.streamPosition, 280);
  {
    Record rec(g, 0);
    ASSERT_EQ(readStepHistory(&rec.s), 0);
    EXPECT_EQ(rec.s.status, runstatus::kNoObservations);
    EXPECT_EQ(rec.position, 280);
    EXPECT_EQ(rec.s.entryOrder, nullptr);
  }

  // The selected model: the chosen step's effects and estimates.
  resetSelectionState(&s);
  ASSERT_EQ(fitModel(&s, nullptr), 0);
  ASSERT_GE(s.chosenStep, 0);
  int64_t pos = 1000;
  ASSERT_EQ(writeSelectedModel(&s, s.streamFile, &pos), 0);
  int64_t rpos = 1000;
  int32_t status = -1, count = 0;
  std::vector<int32_t> list(static_cast<size_t>(s.effectCount));
  std::vector<double> est(static_cast<size_t>(s.paramCount));
  ASSERT_EQ(readSelectedModel(s.streamFile, s.paramCount, &rpos, &status, &count, list.data(),
                              est.data()),
            0);
  EXPECT_EQ(rpos, pos);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(count, s.steps.effects[s.chosenStep]);
  EXPECT_EQ(vec(list.data(), count), vec(s.chosenEffects, count));
  EXPECT_EQ(vec(est.data(), s.paramCount), vec(s.chosenEstimates, s.paramCount));

  // The result header on a stream of its own.
  int64_t hpos = 5000;
  s.headerFile = s.streamFile, s.headerPosition = &hpos;
  ASSERT_EQ(writeResultHeader(&s), 0);
  EXPECT_EQ(hpos, 5000 + 4 + 16 + 4 * s.effectCount);
  Record h(g, 0);
  int64_t hread = 5000;
  h.s.headerFile = s.streamFile, h.s.headerPosition = &hread;
  ASSERT_EQ(readResultHeader(&h.s), 0);
  EXPECT_EQ(h.s.effectsInModel, s.effectsInModel);
  EXPECT_EQ(vec(h.s.entryOrder, s.effectCount), vec(s.entryOrder, s.effectCount));
  closeScratchFile(&g.vsf().group.groupScratch, &g.vsf().res.extensions);
}

}  // namespace
}  // namespace vsf
