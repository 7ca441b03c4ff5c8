// The MODEL statement's effect syntax as the effects library expands it.
#include <gtest/gtest.h>

#include "effects/effinfo_fakehost.h"

namespace vsf {
namespace {

using Names = std::vector<std::string>;
using test::EffectsHarness;
using test::Var;

std::vector<Var> dataVars() {
  return {{"A", 'c', 0, 5}, {"B", 'c', 0, 3},    {"C", 'c', 0, 1}, {"D", 'n'},
          {"x", 'n'},       {"y", 'n'},          {"x1", 'n'},      {"x2", 'n'},
          {"x3", 'n'},      {"name", 'c', 0, 4}, {"x4", 'n'},      {"z", 'n'}};
}

struct SyntaxCase {
  const char* effects;
  Names expected;
};

TEST(EffectSyntax, ExpandsToTheExpectedEffects) {
  const SyntaxCase cases[] = {
      {"A|B|C@2", {"A", "B", "A*B", "C", "A*C", "B*C"}},
      {"A|B|C", {"A", "B", "A*B", "C", "A*C", "B*C", "A*B*C"}},
      {"A|B|C|D@1", {"A", "B", "C", "D"}},
      {"B(A)", {"B(A)"}},
      {"x*A", {"x*A"}},
      {"A*x", {"x*A"}},       // continuous members come first
      {"A B A", {"A", "B"}},  // each effect once
      {"B*A A*B", {"A*B"}},   // crossing is unordered
      {"x*x", {"x*x"}},       // quadratic
      {"A*A", {"A"}},         // a CLASS variable crossed with itself
      {"x|x", {"x", "x*x"}},
      {"A|B(A)", {"A", "B(A)"}},  // A*B(A) would cross its own nesting
      {"A(B C)", {"A(B*C)"}},
      {"A(C*B)", {"A(B*C)"}},
      {"x*A(B)", {"x*A(B)"}},
      {"A*B(C)", {"A*B(C)"}},
      {"x1-x3", {"x1", "x2", "x3"}},
      {"x--x3", {"x", "y", "x1", "x2", "x3"}},
      {"x-NUMERIC-z", {"x", "y", "x1", "x2", "x3", "x4", "z"}},
      {"A-CHARACTER-C", {"A", "B", "C"}},
      {"x:", {"x", "x1", "x2", "x3", "x4"}},
      {"'x1'n|y", {"x1", "y", "x1*y"}},
      {"D*x y", {"x*D", "y"}},
  };
  for (const auto& c : cases) {
    EffectsHarness h(dataVars());
    h.setClass({"A", "B", "C", "D"});
    h.parseModel(c.effects);
    EXPECT_EQ(h.status, 0) << c.effects;
    EXPECT_EQ(h.effectNames(), c.expected) << c.effects;
  }
}

// The list keywords expand over the whole data set; CLASS variables stay classification
// effects and numeric ones become continuous.
TEST(EffectSyntax, ListKeywords) {
  EffectsHarness h({{"g", 'c', 0, 2}, {"u", 'n'}, {"v", 'n'}, {"k", 'n'}});
  h.setClass({"g", "k"});
  h.parseModel("_NUMERIC_");
  EXPECT_EQ(h.effectNames(), (Names{"u", "v", "k"}));
  EffectsHarness h2({{"g", 'c', 0, 2}, {"u", 'n'}});
  h2.setClass({"g"});
  h2.parseModel("_CHARACTER_ u");
  EXPECT_EQ(h2.effectNames(), (Names{"g", "u"}));
}

// Continuous variables enter the model-variable list once each, in the order met; effects
// hold positions in that list and in the CLASS list.
TEST(EffectSyntax, ModelVariableListAndIds) {
  EffectsHarness h(dataVars());
  h.setClass({"A", "B"});
  h.parseModel("y x*A x y*x B(A)");
  EXPECT_EQ(h.procRecord.slots[1].vars, (std::vector<int>{h.number("y"), h.number("x")}));
  ASSERT_EQ(h.model->slots[1].refs.size(), 5u);
  auto* yx = static_cast<EffectRec*>(h.model->slots[1].refs[3]);
  EXPECT_EQ(std::string(yx->name), "y*x");  // y is model variable 0, x is 1
  ASSERT_EQ(yx->cont.count, 2);
  EXPECT_EQ(yx->cont.ids[0], 0);
  EXPECT_EQ(yx->cont.ids[1], 1);
  auto* ba = static_cast<EffectRec*>(h.model->slots[1].refs[4]);
  EXPECT_EQ(ba->cross.count, 1);
  EXPECT_EQ(ba->cross.ids[0], 1);  // B
  EXPECT_EQ(ba->nest.ids[0], 0);   // A
}

TEST(EffectSyntax, NamesAreCutToTheNameLength) {
  EffectsHarness h({{"abcdefghijklmno", 'n'}, {"pqrstuvwxyzabcd", 'n'}, {"short", 'n'}});
  h.parseModel("abcdefghijklmno*pqrstuvwxyzabcd short*abcdefghijklmno", 20);
  // Ids follow the model-variable list, so the first name met leads; one cut suffices.
  EXPECT_EQ(h.effectNames(), (Names{"abcdefghi*pqrstuvwxy", "abcdefghijklmn*short"}));
  EXPECT_TRUE(h.messages.empty());

  EffectsHarness wide({{"abcdefghijklmno", 'n'}, {"pqrstuvwxyzabcd", 'n'}});
  wide.parseModel("abcdefghijklmno*pqrstuvwxyzabcd", 40);
  EXPECT_EQ(wide.effectNames(), (Names{"abcdefghijklmno*pqrstuvwxyzabcd"}));
}

// More than 16 variables, or names that cannot be cut short enough, give the fixed name.
TEST(EffectSyntax, LongNameEffect) {
  std::vector<Var> vars;
  std::string crossed;
  for (int i = 0; i < 17; ++i) {
    vars.push_back({"v" + std::to_string(i), 'n'});
    crossed += (i ? "*v" : "v") + std::to_string(i);
  }
  EffectsHarness h(vars);
  h.parseModel(crossed + " v0*v1");
  EXPECT_EQ(h.effectNames(), (Names{"LONGNAME EFFECT", "v0*v1"}));
  EXPECT_EQ(h.messageNumbers(), (std::vector<std::pair<int, int>>{{174, 10}}));
  EXPECT_EQ(h.status, 0);

  // Eleven one-character pieces need 21 characters.
  std::vector<Var> few(vars.begin(), vars.begin() + 11);
  EffectsHarness h2(few);
  h2.parseModel("v0*v1*v2*v3*v4*v5*v6*v7*v8*v9*v10", 20);
  EXPECT_EQ(h2.effectNames(), (Names{"LONGNAME EFFECT"}));
  EXPECT_EQ(h2.messageNumbers(), (std::vector<std::pair<int, int>>{{174, 10}}));
}

// A depth limit needs a bar expression: otherwise a warning and no limit.
TEST(EffectSyntax, DepthWithoutBarsIsIgnored) {
  EffectsHarness h(dataVars());
  h.setClass({"A", "B"});
  h.parseModel("A*B@1");
  EXPECT_EQ(h.effectNames(), (Names{"A*B"}));
  EXPECT_EQ(h.messageNumbers(), (std::vector<std::pair<int, int>>{{174, 16}}));
  EXPECT_EQ(h.status, 0);
}

TEST(EffectSyntax, EffectNamesAreEffectsOfTheirOwn) {
  EffectsHarness h(dataVars());
  h.setClass({"A"});
  h.addEffect("spl", effkind::kSpline, {"x"});
  h.addEffect("Poly", effkind::kPolynomial, {"y"});
  h.parseModel("spl A*spl spl|poly spl*spl");
  EXPECT_EQ(h.status, 0);
  EXPECT_EQ(h.effectNames(), (Names{"spl", "spl*A", "Poly", "spl*Poly", "spl*spl"}));
  auto* twice = static_cast<EffectRec*>(h.model->slots[1].refs[4]);
  ASSERT_EQ(twice->cross.count, 2);  // an EFFECT name crossed with itself keeps both
  EXPECT_EQ(twice->cross.ids[0], kConstructedIdBase);
}

// The library belongs to its step: in the next step (another procedure record) an EFFECT
// statement does not meet the old step's effects.
TEST(EffectSyntax, ALibraryOfAnEarlierStepDoesNothing) {
  EffectsHarness h(dataVars());
  h.setClass({"A"});
  h.parseModel("A");
  h.callback(14, 0, ParseToken());
  EXPECT_EQ(h.messageNumbers(), (std::vector<std::pair<int, int>>{{174, 5}}));
  h.status = 0;
  h.messages.clear();
  StatementRecord nextStep;
  h.procedure = &nextStep;
  h.callback(14, 0, ParseToken());
  EXPECT_EQ(h.status, 0);
  EXPECT_TRUE(h.messages.empty());
}

}  // namespace
}  // namespace vsf
