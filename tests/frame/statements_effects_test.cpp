// The grammar's effect terms: the actions handed to the effects callback with their tokens,
// the EFFECT statement's record, and an effect error ending the step.
#include <gtest/gtest.h>

#include "frame/module.h"
#include "frame/slots.h"
#include "frame/statements.h"
#include "frame/statements_support.h"

namespace vsf::test {
namespace {

struct Action {
  int code, argument;
  std::string token;
  bool operator==(const Action&) const = default;
};

std::vector<Action>& recorded() {
  static std::vector<Action> v;
  return v;
}

void record(int code, int argument, const ParseToken& token) {
  recorded().push_back({code, argument, token.text});
}

class EffectTerms : public ::testing::Test {
 protected:
  StubData data;
  void SetUp() override { recorded().clear(); }
  // The callback stays installed for the next run only.
  void install(EffectsCallback cb) { hostv().parse->setEffectsCallback(cb); }
};

TEST_F(EffectTerms, ActionsOfTheEffectSyntax) {
  install(record);
  StepRun r = runStepText("proc varsifter; model y = a*b c(a) x1-x3 a|b@2 x: / noint; run;");
  EXPECT_EQ(r.code, 0) << r.dump();
  const std::vector<Action> expected = {
      {16, 0, "="},
      // a*b
      {8, 0, "="},
      {7, 0, "="},
      {0, 0, "="},
      {1, 0, "a"},
      {1, 0, "b"},
      {5, 0, "b"},
      {6, 0, "b"},
      // c(a)
      {8, 0, "b"},
      {7, 0, "b"},
      {0, 0, "b"},
      {1, 0, "c"},
      {2, 0, "a"},
      {5, 0, ")"},
      {6, 0, ")"},
      // x1-x3
      {8, 0, ")"},
      {7, 0, ")"},
      {0, 0, ")"},
      {1, 0, "x1"},
      {5, 0, "x1"},
      {10, 1, "-"},
      {0, 0, "-"},
      {1, 0, "x3"},
      {5, 0, "x3"},
      {6, 0, "x3"},
      // a|b@2
      {8, 0, "x3"},
      {7, 0, "x3"},
      {0, 0, "x3"},
      {1, 0, "a"},
      {5, 0, "a"},
      {10, 0, "|"},
      {0, 0, "|"},
      {1, 0, "b"},
      {5, 0, "b"},
      {12, 0, "2"},
      {6, 0, "2"},
      // x:
      {8, 0, "2"},
      {7, 0, "2"},
      {0, 0, "2"},
      {1, 0, "x"},
      {10, 5, ":"},
      {5, 0, ":"},
      {6, 0, ":"},
      {17, 0, ":"},
  };
  EXPECT_EQ(recorded(), expected);
}

TEST_F(EffectTerms, RangeOperatorsAndListKeywords) {
  install(record);
  runStepText(
      "proc varsifter; effect s = spline(x1); model y = a--c x1-numeric-x3 b-character-c "
      "_numeric_ _char_ s; run;");
  std::vector<std::pair<int, int>> operators;
  for (const Action& a : recorded())
    if (a.code == 10 || a.code == 14) operators.push_back({a.code, a.argument});
  const std::vector<std::pair<int, int>> expected = {{14, 0}, {10, 2}, {10, 3},
                                                     {10, 4}, {10, 6}, {10, 7}};
  EXPECT_EQ(operators, expected);
}

// The effects library looks ahead and skips tokens through the parser.
void skipSemicolonAfterName(int code, int, const ParseToken&) {
  if (code != 1) return;
  const ParseToken* next = hostv().parse->peekToken(0);
  if (next && next->text == "*") {
    const ParseToken* after = hostv().parse->peekToken(1);
    recorded().push_back({100, 0, after ? after->text : ""});
  }
}

TEST_F(EffectTerms, LookAheadSeesTheNextTokens) {
  install(skipSemicolonAfterName);
  runStepText("proc varsifter; model y = a*b*c; run;");
  const std::vector<Action> expected = {{100, 0, "b"}, {100, 0, "c"}};
  EXPECT_EQ(recorded(), expected);
}

void failOnC(int code, int, const ParseToken& token) {
  if (code == 1 && token.text == "c") {
    host::session().log.write("ERROR", "effect error");
    hostv().parse->setStatus(2000);
  }
}

TEST_F(EffectTerms, AnEffectErrorEndsTheStepThroughTheStatementPhase) {
  install(failOnC);
  StepRun r = runStepText("proc varsifter; model y = a b c / selection=lasso; run;");
  EXPECT_EQ(r.code, 2000) << r.dump();
  EXPECT_EQ(lastState().options.method, kMethodStepwise);  // the MODEL options were not read
}

TEST_F(EffectTerms, EffectStatementRecords) {
  StepRun r = runStepText(
      "proc varsifter;\n"
      "effect s = spline(x1 / degree=2 knotmethod=list(1 to 5 by 2, 8) basis=tpf(noint) "
      "split details);\n"
      "effect p = poly(x1 x2 / degree=2 standardize(method=moments prefix='z_')=center "
      "labelstyle=(exponent='**' productsymbol=none) noseparate);\n"
      "effect l = lag(a / nlag=2 within=(b c) period=x1 designrole=grp);\n"
      "effect m = mm(a b / weight=(x1 x2) noeffect rowstd details(delimiter=','));\n"
      "effect k = spline(x2 / knotmethod=multiscale(startlevel=1 endscale=3) naturalcubic);\n"
      "model y = s p l m k;\nrun;");
  EXPECT_EQ(r.code, 0) << r.dump();
  namespace es = slots::effect;
  namespace ef = flags::effect;
  std::vector<const StatementRecord*> effects;
  for (const StatementRecord* e = hostv().parse->firstStatement(); e; e = e->next)
    if (e->name == "EFFECT") effects.push_back(e);
  ASSERT_EQ(effects.size(), 5u);
  for (const StatementRecord* e : effects) EXPECT_EQ(e->slots.size(), 25u);

  const StatementRecord* s = effects[0];
  std::string_view name;
  ASSERT_EQ(zlstget(s->slot(es::kName)->names, 0, &name), 0);
  EXPECT_EQ(name, "s");
  EXPECT_EQ(s->slot(es::kType)->number, 3);
  EXPECT_EQ(s->slot(es::kVars)->vars, std::vector<int>{1});
  EXPECT_EQ(s->slot(es::kDegree)->number, 2);
  EXPECT_EQ(s->slot(es::kKnotMethod)->number, 3);
  EXPECT_EQ(s->slot(es::kKnotList)->numbers, (std::vector<double>{1, 3, 5, 8}));
  EXPECT_EQ(s->slot(es::kBasis)->number, 2);
  EXPECT_TRUE(s->flag(ef::kTpfNoInt) && s->flag(ef::kSplit) && s->flag(ef::kDetails));

  const StatementRecord* p = effects[1];
  EXPECT_EQ(p->slot(es::kType)->number, 4);
  EXPECT_EQ(p->slot(es::kVars)->count, 2);
  EXPECT_EQ(p->slot(es::kStdMethod)->number, 1);
  EXPECT_EQ(p->slot(es::kStdPrefix)->text, "z_");
  EXPECT_EQ(p->slot(es::kStdOption)->number, 2);
  EXPECT_EQ(p->slot(es::kExponent)->text, "**");
  EXPECT_TRUE(p->flag(ef::kStandardize) && p->flag(ef::kExponentGiven) &&
              p->flag(ef::kProductNone) && p->flag(ef::kNoSeparate));

  const StatementRecord* l = effects[2];
  EXPECT_EQ(l->slot(es::kType)->number, 5);
  EXPECT_EQ(l->slot(es::kNLag)->number, 2);
  EXPECT_EQ(l->slot(es::kWithin)->count, 2);
  EXPECT_EQ(l->slot(es::kPeriod)->vars, std::vector<int>{1});
  EXPECT_EQ(l->slot(es::kDesignRole)->count, 1);

  const StatementRecord* m = effects[3];
  EXPECT_EQ(m->slot(es::kType)->number, 1);
  EXPECT_EQ(m->slot(es::kMmWeight)->vars, (std::vector<int>{1, 2}));
  EXPECT_EQ(m->slot(es::kDelimiter)->text, ",");
  EXPECT_TRUE(m->flag(ef::kNoEffect) && m->flag(ef::kStdize) && m->flag(ef::kDetails));

  const StatementRecord* k = effects[4];
  EXPECT_EQ(k->slot(es::kKnotMethod)->number, 2);
  EXPECT_EQ(k->slot(es::kStartLevel)->number, 1);
  EXPECT_EQ(k->slot(es::kEndScale)->number, 3);
  EXPECT_TRUE(k->flag(ef::kNaturalCubic));

  StepRun bad = runStepText(
      "proc varsifter; effect e = spline(x1 / knotmethod=list(5 to 1));"
      " model y = e; run;");
  EXPECT_EQ(bad.code, 3000) << bad.dump();
}

}  // namespace
}  // namespace vsf::test
