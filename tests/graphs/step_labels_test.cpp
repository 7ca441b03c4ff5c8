// Step labels: the text naming each step on a labelled axis, where each is found by its
// displayed step, the cut to MAXSTEPLABEL=, the effects the steps moved.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "displays/display_support.h"
#include "frame/state.h"
#include "graphs/graphs.h"
#include "host/session.h"

namespace vsf::test {
namespace {

std::vector<std::string> labelsOf(VsfState& v, const StepMarks& m, int32_t first, int32_t last) {
  std::vector<std::string> out;
  for (int32_t d = first; d <= last; ++d) out.emplace_back(stepLabelText(settledView(v), m, d));
  return out;
}

// The intercept and ten effects, "b" to "j" and then `tenth`.
std::vector<std::string> tenEffects(const std::string& tenth) {
  std::vector<std::string> names = {"Intercept"};
  for (int e = 1; e <= 10; ++e) names.push_back(e == 10 ? tenth : std::string(1, 'a' + e));
  return names;
}

// A forward selection from the intercept that enters the effects in turn.
void enterInTurn(BareState& b) {
  b.vsf().settings.options.method = kMethodForward;
  b.sel().layout.firstSelectable = 1;
  std::vector<int32_t> effect, effects;
  for (int32_t i = 0; i <= 10; ++i) effect.push_back(i), effects.push_back(i + 1);
  b.history(effect, effects);
}

TEST(StepLabels, NameEachDisplayedStep) {
  struct Case {
    const char* name;
    MethodCode method;
    bool noInt;
    int32_t forced;
    std::vector<int32_t> effect, effects;
    int32_t first, last;  // displayed steps
    std::vector<std::string> labels;
    std::vector<uint8_t> seen;
  } cases[] = {
      {"forward from the intercept, a removal",
       kMethodStepwise,
       false,
       1,
       {0, 1, 2, 1},
       {1, 2, 3, 2},
       0,
       3,
       {"Intercept", "1+a", "2+b", "3-a"},
       {1, 1, 1, 0}},
      {"backward",
       kMethodBackward,
       false,
       1,
       {-1, 2, 1},
       {3, 2, 1},
       0,
       2,
       {"Full Model", "1-b", "2-a"},
       {1, 1, 1, 1}},
      {"two effects forced",
       kMethodForward,
       false,
       2,
       {0, 1, 2},
       {1, 2, 3},
       0,
       1,
       {"Included", "1+b"},
       {1, 1, 1, 0}},
      {"NOINT without forced effects: steps from 1",
       kMethodForward,
       true,
       0,
       {1, 2},
       {1, 2},
       0,
       2,
       {"", "1+a", "2+b"},
       {0, 1, 1, 0}},
      {"NOINT with a forced effect",
       kMethodForward,
       true,
       1,
       {1, 2},
       {1, 2},
       0,
       1,
       {"Included", "1+b"},
       {0, 1, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BareState b({"Intercept", "a", "b", "c"});
    VsfState& v = b.vsf();
    v.settings.options.method = c.method;
    v.settings.options.noInt = c.noInt;
    b.sel().layout.firstSelectable = c.forced;
    b.history(c.effect, c.effects);
    StepMarks m;
    ASSERT_EQ(makeStepLabels(settledView(v), &b.sel(), &m), 0);
    EXPECT_EQ(labelsOf(v, m, c.first, c.last), c.labels);
    EXPECT_EQ(std::vector<uint8_t>(m.effectSeen, m.effectSeen + 4), c.seen);
    EXPECT_EQ(displayStep(settledView(v), &b.sel(), b.sel().steps.stepCount - 1), c.last);
  }
}

// Display step 10 with a 9-character label is 12 characters: MAXSTEPLABEL=5 keeps the number,
// the sign and two characters, with one note for the fit.
TEST(StepLabels, LongLabelsAreCutWithOneNote) {
  BareState b(tenEffects("abcdefghi"));
  VsfState& v = b.vsf();
  enterInTurn(b);
  for (int32_t limit : {20, 5}) {
    v.settings.plots.maxStepLabel = limit;
    const size_t before = host::session().log.lines().size();
    StepMarks m;
    ASSERT_EQ(makeStepLabels(settledView(v), &b.sel(), &m), 0);
    EXPECT_EQ(stepLabelText(settledView(v), m, 10), limit == 20 ? "10+abcdefghi" : "10+ab");
    EXPECT_EQ(m.labelWidth, limit == 20 ? 12 : 5);
    int notes = 0;
    const auto& log = host::session().log.lines();
    for (size_t k = before; k < log.size(); ++k)
      notes += log[k].text.find("MAXSTEPLABEL=5") != std::string::npos;
    EXPECT_EQ(notes, limit == 5 ? 1 : 0);
  }
}

// A cut never ends inside a character: the label keeps the whole characters that fit.
TEST(StepLabels, CutsKeepWholeCharacters) {
  BareState b(tenEffects("ab\u5317\u4eac"));
  VsfState& v = b.vsf();
  enterInTurn(b);
  const struct {
    int32_t limit;
    std::string label;
  } cases[] = {{7, "10+ab"}, {8, "10+ab\u5317"}, {10, "10+ab\u5317"}, {11, "10+ab\u5317\u4eac"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.limit);
    v.settings.plots.maxStepLabel = c.limit;
    StepMarks m;
    ASSERT_EQ(makeStepLabels(settledView(v), &b.sel(), &m), 0);
    EXPECT_EQ(stepLabelText(settledView(v), m, 10), c.label);
  }
}

// Several effects may move in one step: "5+a-b", and a step without a move "5 ".
TEST(StepLabels, StepsThatMoveSeveralEffects) {
  BareState b({"Intercept", "a", "b", "c"});
  VsfState& v = b.vsf();
  v.settings.options.method = kMethodGroupLasso;
  SelectionState& s = b.sel();
  s.layout.firstSelectable = 1;
  b.history({1, 2, 2, 0}, {1, 2, 3, 3});  // changes per step
  int32_t changes[] = {0, 1, 2, 3, -1};
  s.steps.changes = changes;
  s.steps.changeListLength = 5;
  StepMarks m;
  ASSERT_EQ(makeStepLabels(settledView(v), &s, &m), 0);
  EXPECT_EQ(labelsOf(v, m, 0, 3), (std::vector<std::string>{"Intercept", "1+a+b", "2+c-a", "3 "}));
}

// A fit without steps has nothing to label: no failure, and no labels.
TEST(StepLabels, NothingToLabelIsNoFailure) {
  BareState b({"Intercept", "a"});
  // Marks left from another fit are made anew, not kept.
  StepMarks m;
  m.labelWidth = 7;
  m.firstNumberedStep = 3;
  ASSERT_EQ(makeStepLabels(settledView(b.vsf()), &b.sel(), &m), 0);
  EXPECT_EQ(stepLabelText(settledView(b.vsf()), m, 0), "");
  EXPECT_EQ(m.labelWidth, 0);
  EXPECT_EQ(m.firstNumberedStep, 0);
}

}  // namespace
}  // namespace vsf::test
