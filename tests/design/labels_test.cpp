// Candidate labels of whole effects and of split CLASS cells, and the parameter names of a set
// of candidates.
#include <memory>

#include "design/design_support.h"
#include "frame/state.h"

namespace vsf::test {
namespace {

// A step state over a built design with a candidate table.
struct StepFixture {
  explicit StepFixture(DesignBuilder& b) : design(&b.d), state(std::make_unique<VsfState>()) {
    state->lev.design = &b.d;
    state->lev.alloc = &b.alloc;
    state->group.candidates.table = &table;
  }
  CandidateEntry& add(int effect, std::vector<int32_t> vars = {},
                      std::vector<int32_t> levels = {}) {
    lists.push_back(std::move(vars));
    int32_t* v = lists.back().data();
    lists.push_back(std::move(levels));
    CandidateEntry e;
    e.effect = effect;
    e.columns = design->effects[effect].columnCount;
    e.splitCount = static_cast<int32_t>(lists.back().size());
    e.splitVars = v;
    e.levels = lists.back().data();
    table.push_back(e);
    state->group.candidates.count = static_cast<int32_t>(table.size());
    return table.back();
  }
  int nameColumns(HostPool* pool) {
    return nameDesignColumns(design, &table, state->group.candidates.count, pool,
                             &state->group.longestCandidateLabel);
  }
  // The set of the selection state as the OUTDESIGN names would take it.
  int nameParameters(const SelectionState* sel, int code) {
    std::vector<int32_t> set;
    if (!modelCandidateSet(sel, code, state->group.candidates.count, &set)) return -2;
    return nameDesignParameters(&state->lev, &table, state->group.candidates.count, set,
                                sel ? sel->sweep.firstParam : nullptr);
  }
  std::string label(int i) const {
    const CandidateEntry& e = table[static_cast<size_t>(i)];
    return e.label ? std::string(e.label, static_cast<size_t>(e.labelLength)) : "<null>";
  }
  ZDesign* design;
  std::unique_ptr<VsfState> state;
  std::vector<CandidateEntry> table;
  std::deque<std::vector<int32_t>> lists;
};

TEST(CandidateLabels, WholeEffectsAndSplitCells) {
  DesignBuilder b;
  int a = b.addClass(cls("A", {"a1", "a2"}, kCodingRef, 1));
  int bb = b.addClass(cls("B", {"b1", "b2"}, kCodingRef, 1));
  ClassSpec o = cls("O", {"o1", "o2", "o3"}, kCodingOrthEffect, 1);
  o.matrix = std::vector<double>(6, 1.0);
  int oi = b.addClass(o);
  int c = b.addClass(cls("C", {"c1", "c2"}));
  int x = b.addContinuous("x");
  b.addEffect({"A*B", {}, {a, bb}, {}, {}});  // 0
  b.addEffect({"x*A", {x}, {a}, {}, {}});     // 1
  b.addEffect({"O", {}, {oi}, {}, {}});       // 2
  b.addEffect({"A(B)", {}, {a}, {bb}, {}});   // 3
  b.addEffect({"C*A", {}, {c, a}, {}, {}});   // 4
  b.finish();
  StepFixture s(b);
  s.add(0);
  s.add(1, {a}, {1});
  s.add(2, {oi}, {0});
  s.add(3, {a, bb}, {0, 1});
  s.add(0, {a, bb}, {0, 1});
  s.add(4, {a}, {1});
  ASSERT_EQ(s.nameColumns(b.pool), 0);
  EXPECT_EQ(s.label(0), "A*B");
  EXPECT_EQ(s.table[0].label, b.d.effects[0].name);  // the name itself, not a copy
  EXPECT_EQ(s.label(1), "x*A_a2");
  EXPECT_EQ(s.label(2), "O_OEFF1");
  EXPECT_EQ(s.label(3), "A_a1(B_b2)");
  EXPECT_EQ(s.label(4), "A_a1*B_b2");
  EXPECT_EQ(s.label(5), "C*A_a2");
  EXPECT_EQ(s.state->group.longestCandidateLabel, 10);
}

// Coded names longer than nine characters fit the label.
TEST(CandidateLabels, LongCodedNamesFit) {
  DesignBuilder b;
  std::vector<std::string> levels;
  for (int l = 0; l < 100001; ++l) levels.push_back(std::to_string(l));
  ClassSpec g = cls("G", levels, kCodingOrthPoly, 1);
  int gi = b.addClass(g);
  b.addEffect({"G", {}, {gi}, {}, {}});
  b.finish();
  StepFixture s(b);
  s.add(0, {gi}, {99999});
  ASSERT_EQ(s.nameColumns(b.pool), 0);
  EXPECT_EQ(s.label(0), "G_OPOLY100000");
}

TEST(ParameterNames, CandidateLabelThenLevelPart) {
  DesignBuilder b;
  b.d.labelStyle = 2;
  int a = b.addClass(cls("A", {"1", "2"}));
  int bb = b.addClass(cls("B", {"1", "2", "3"}));
  b.addEffect({"Intercept", {}, {}, {}, {}});
  b.addEffect({"A*B", {}, {a, bb}, {}, {}});
  b.finish();
  zcolnames(&b.ctx);
  StepFixture s(b);
  s.add(0);
  s.add(1);
  ASSERT_EQ(s.nameColumns(b.pool), 0);
  SelectionState sel;
  EXPECT_EQ(s.nameParameters(&sel, 0), 0);
  EXPECT_EQ(b.label(2), "A*B 1 2");
  EXPECT_EQ(b.name(2), "A*B 1 2");
  // The current model: only its candidates' columns are named.
  int32_t order[] = {1};
  sel.sweep.effectsInModel = 1;
  sel.sweep.entryOrder = order;
  int32_t first[] = {0, 1};
  sel.sweep.firstParam = first;
  EXPECT_EQ(s.nameParameters(&sel, 2), 0);
  EXPECT_EQ(b.d.parmNames[0][0], nullptr);
  EXPECT_EQ(b.label(1), "A*B 1 1");
  // The chosen model of step 0: one effect.
  int32_t steps[] = {0, 1};
  sel.steps.effects = steps + 1;
  sel.run.chosenStep = 0;
  int32_t chosen[] = {0};
  sel.run.chosenEffects = chosen;
  EXPECT_EQ(s.nameParameters(&sel, 3), 0);
  EXPECT_EQ(b.label(0), "Intercept");
  EXPECT_EQ(b.d.parmNames[0][1], nullptr);
}

TEST(ParameterNames, RefusedSetsAndLabelStyleZero) {
  DesignBuilder b;
  b.d.labelStyle = 2;
  b.addEffect({"Intercept", {}, {}, {}, {}});
  b.finish();
  zcolnames(&b.ctx);
  StepFixture s(b);
  s.add(0);
  SelectionState sel;
  char** names = b.d.parmNames[0];
  EXPECT_EQ(s.nameParameters(&sel, 2), -2);  // no effect in the model
  EXPECT_EQ(b.d.parmNames[0], names);        // names kept
  b.d.labelStyle = 0;
  EXPECT_EQ(s.nameParameters(&sel, 2), 0);
}

TEST(ParameterNames, LongLabelKeepsItsLengthAndTheNameIsCut) {
  DesignBuilder b(dflag::kFullRank | dflag::kNoIntercept);
  b.d.labelStyle = 2;
  int a = b.addClass(cls("A", {"level_text_number_one", "two"}));
  b.addEffect({"An_effect_of_twenty_", {}, {a}, {}, {}});
  b.finish();
  zcolnames(&b.ctx);
  StepFixture s(b);
  s.add(0);
  ASSERT_EQ(s.nameColumns(b.pool), 0);
  EXPECT_EQ(s.nameParameters(nullptr, 0), 0);
  EXPECT_EQ(b.label(0), "An_effect_of_twenty_ level_text_number_one");
  EXPECT_EQ(b.name(0), "An_effect_of_twenty_ level_text_");
}

}  // namespace
}  // namespace vsf::test
