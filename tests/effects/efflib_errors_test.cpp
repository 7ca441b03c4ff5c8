// Effect errors of the MODEL statement: each message of set 174, the parse status it leaves
// and what the library keeps.
#include <gtest/gtest.h>

#include "effects/effinfo_fakehost.h"

namespace vsf {
namespace {

using MsgList = std::vector<std::pair<int, int>>;
using Names = std::vector<std::string>;
using test::EffectsHarness;
using test::Var;

std::vector<Var> dataVars() {
  return {{"A", 'c', 0, 2}, {"B", 'c', 0, 2}, {"x", 'n'},  {"y", 'n'},
          {"x1", 'n'},      {"x2", 'n'},      {"x3", 'n'}, {"c1", 'c', 0, 3}};
}

struct ErrorCase {
  const char* effects;
  std::vector<const char*> effectStatements;  // EFFECT names declared before MODEL
  MsgList messages;
  int status;
  Names kept;  // effects referenced before the failure
};

TEST(EffectErrors, EachErrorItsMessageAndStatus) {
  const ErrorCase cases[] = {
      {"x B(x)", {}, {{174, 1}}, 2000, {"x"}},           // nesting on a continuous variable
      {"x1-x3|y", {}, {{174, 4}}, 2000, {}},             // a range mixed with a bar
      {"x1-x3 x:", {}, {}, 0, {"x1", "x2", "x3", "x"}},  // one operator per expression is fine
      {"A nosuch x", {}, {{174, 6}}, 2000, {"A"}},
      {"A*B-x", {}, {{174, 7}}, 2000, {}},          // an endpoint of two variables
      {"x c1", {}, {{174, 8}}, 2000, {"x", "c1"}},  // character, not CLASS
      {"x spl", {"spl", "spl"}, {{174, 22}}, 2000, {}},
      {"x", {"x"}, {{174, 30}}, 2000, {}},
      {"A(spl)", {"spl"}, {{174, 31}}, 2000, {}},
      {"x|y:", {}, {{174, 93}}, 2000, {}},  // a prefix after a bar
      {"A*x:", {}, {{174, 93}}, 2000, {}},  // a prefix after '*'
      {"A|B|A@1 A*B", {}, {}, 0, {"A", "B", "A*B"}},
  };
  for (const auto& c : cases) {
    EffectsHarness h(dataVars());
    h.setClass({"A", "B"});
    for (const char* e : c.effectStatements) h.addEffect(e, effkind::kSpline, {"x"});
    h.parseModel(c.effects);
    EXPECT_EQ(h.messageNumbers(), c.messages) << c.effects;
    EXPECT_EQ(h.status, c.status) << c.effects;
    EXPECT_EQ(h.effectNames(), c.kept) << c.effects;
  }
}

// A character variable that is not a CLASS variable leaves the model-variable list as it was
// before its expression.
TEST(EffectErrors, CharacterVariableIsTakenBackOut) {
  EffectsHarness h(dataVars());
  h.parseModel("y x*c1");
  EXPECT_EQ(h.messageNumbers(), (MsgList{{174, 8}}));
  ASSERT_EQ(h.messages[0].args, (std::vector<std::string>{"c1"}));
  EXPECT_EQ(h.procRecord.slots[1].vars, (std::vector<int>{h.number("y")}));
}

// An EFFECT statement after the MODEL statement's effects.
TEST(EffectErrors, EffectStatementAfterTheEffects) {
  EffectsHarness h(dataVars());
  h.parseModel("x");
  h.callback(14, 0, ParseToken());
  EXPECT_EQ(h.messageNumbers(), (MsgList{{174, 5}}));
  EXPECT_EQ(h.messages[0].args, (std::vector<std::string>{"EFFECT"}));
  EXPECT_EQ(h.status, 2000);
  // Nothing more happens for the step.
  h.callback(14, 0, ParseToken());
  EXPECT_EQ(h.messages.size(), 1u);

  EffectsHarness before(dataVars());
  zeffbldinit(20, 1);
  before.callback(14, 0, ParseToken());  // no effects yet: fine
  EXPECT_EQ(before.status, 0);
}

// An EFFECT name as a range endpoint ends the step at once.
TEST(EffectErrors, EffectNameAsRangeEndpointEndsTheStep) {
  EffectsHarness h(dataVars());
  h.addEffect("spl", effkind::kSpline, {"x"});
  EXPECT_THROW(h.parseModel("spl-x3"), host::StepEnd);
  EXPECT_EQ(h.messageNumbers(), (MsgList{{174, 4}}));
  EXPECT_EQ(h.status, 2000);
}

// Without an input data set a variable list cannot be expanded.
TEST(EffectErrors, ListWithoutDataSet) {
  EffectsHarness h(dataVars());
  h.procRecord.slots[11].dataSet = nullptr;
  h.parseModel("_NUMERIC_");
  EXPECT_EQ(h.messageNumbers(), (MsgList{{174, 94}}));
  EXPECT_EQ(h.status, 1012);
}

// An unnamed EFFECT statement before MODEL leaves no EFFECT names at all.
TEST(EffectErrors, UnnamedEffectStatementEndsTheNameScan) {
  EffectsHarness h(dataVars());
  h.addEffect("spl", effkind::kSpline, {"x"});
  h.addEffect("", effkind::kSpline, {"x"});
  h.parseModel("spl");
  EXPECT_EQ(h.messageNumbers(), (MsgList{{174, 6}}));
}

}  // namespace
}  // namespace vsf
