// The MODEL statement's effects as the grammar and the effects library build them together:
// the actions the grammar hands the library, the effects of real effect lists, the effect
// errors and their step codes, and the statement end.
#include <gtest/gtest.h>

#include "base/host.h"
#include "common/statements_support.h"
#include "grammar/grammar.h"
#include "grammar/slot_reader.h"
#include "grammar/slots.h"
#include "statements/statements.h"

namespace vsf::test {
namespace {

using Names = std::vector<std::string>;

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

// The actions the grammar hands the effects callback for a step, parsed without the
// procedure's callbacks (so the effects library never replaces the recorder).
std::vector<Action> grammarActions(const std::string& step) {
  recorded().clear();
  host::session().stepText = step;
  host::session().stepLine = 1;
  hostv().parse->setEffectsCallback(record);
  ParseCallbacks none;
  hostv().parse->run(buildGrammar(), 0, &none);
  return recorded();
}

// The order the library relies on: 16 and 17 around the list; 8, 7 ... 6 around each
// expression; 0, 1 per name, 2 per nesting name, 5 per term; 10(k) for operators with ':' as
// 10(5) before its term's 5; 12 with the '@' number. Action 1 comes after its name is read.
TEST(EffectActions, TheGrammarSendsWhatTheLibraryExpects) {
  StubData data;
  std::vector<Action> got =
      grammarActions("proc varsifter; model y = a*b c(a) x1-x3 a|b@2 x: / noint; run;");
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
  EXPECT_EQ(got, expected);

  std::vector<std::pair<int, int>> operators;
  for (const Action& a :
       grammarActions("proc varsifter; effect s = spline(x1); model y = a--c x1-numeric-x3 "
                      "b-character-c _numeric_ _char_ s; run;"))
    if (a.code == 10 || a.code == 14) operators.push_back({a.code, a.argument});
  const std::vector<std::pair<int, int>> expectedOps = {{14, 0}, {10, 2}, {10, 3},
                                                        {10, 4}, {10, 6}, {10, 7}};
  EXPECT_EQ(operators, expectedOps);
}

Names effectNames(const ZDesign& d) {
  Names out;
  for (int32_t i = 0; i < d.effectCount; ++i) out.emplace_back(d.effects[i].name);
  return out;
}

int modelReferences() {
  for (const StatementRecord* s = hostv().parse->firstStatement(); s; s = s->next)
    if (s->name == "MODEL") return static_cast<int>(s->slot(slots::model::kEffects)->refs.size());
  return -1;
}

// DIAB: y, x1-x10, a, b, c numeric; name, grp character.
TEST(EffectActions, EffectListsBuildTheModelEffects) {
  StubData data;
  struct Case {
    const char* statements;
    Names effects;  // after the intercept
  } cases[] = {
      {"class a b c; model y = a|b|c@2;", {"a", "b", "a*b", "c", "a*c", "b*c"}},
      {"class a b c; model y = a|b|c;", {"a", "b", "a*b", "c", "a*c", "b*c", "a*b*c"}},
      {"class a b; model y = b(a);", {"b(a)"}},
      {"class a b; model y = a|b(a);", {"a", "b(a)"}},
      {"class a; model y = x1*a a*x1;", {"x1*a"}},
      {"class a b; model y = a b a b*a a*b;", {"a", "b", "a*b"}},
      {"model y = x1|x1;", {"x1", "x1*x1"}},
      {"model y = x1-x3 x2;", {"x1", "x2", "x3"}},
      {"model y = a--c;", {"a", "b", "c"}},
      {"model y = x9-numeric-c;", {"x9", "x10", "a", "b", "c"}},
      {"class name grp; model y = c-character-grp;", {"name", "grp"}},
      {"model y = x1:;", {"x1", "x10"}},
      {"class name grp; model y = _character_;", {"name", "grp"}},
      {"model y = _numeric_;",
       {"x1", "x2", "x3", "x4", "x5", "x6", "x7", "x8", "x9", "x10", "a", "b",
        "c"}},  // not the response
      {"class a; effect s = spline(x1); model y = s x2 s*a;", {"s", "x2", "s*a"}},
      {"class a; effect s = spline(x1 / split); model y = s*a;",
       {"s:1*a", "s:2*a", "s:3*a", "s:4*a", "s:5*a", "s:6*a", "s:7*a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statements);
    Names got;
    int refs = -1;
    StepRun r = runStepText(std::string("proc varsifter data=diab; ") + c.statements + " run;",
                            [&](const VsfState& s) {
                              got = effectNames(*s.lev.design);
                              refs = modelReferences();
                            });
    EXPECT_LT(r.code, 1000) << r.dump();
    ASSERT_TRUE(r.inspected) << r.dump();
    Names expected = c.effects;
    expected.insert(expected.begin(), "Intercept");
    EXPECT_EQ(got, expected);
    // The MODEL statement references each chain effect once.
    if (std::string_view(c.statements).find("split") == std::string_view::npos) {
      EXPECT_EQ(refs, static_cast<int>(c.effects.size()));
    }
  }
}

TEST(EffectActions, EffectErrorsEndTheStepWithTheirCode) {
  StubData data;
  struct Case {
    const char* statements;
    int number;  // (174, number)
    int code;
  } cases[] = {
      {"model y = nosuch;", 6, 2000},
      {"model y = c(x1);", 1, 2000},
      {"model y = x1-x3|x4;", 4, 2000},
      {"model y = x1*x2-x3;", 7, 2000},
      {"model y = name;", 8, 2000},
      {"class a; model y = a*x:;", 93, 2000},
      {"model y = x1; effect s = spline(x2);", 5, 2000},
      {"effect x1 = spline(x2); model y = x1;", 30, 2000},
      {"effect s = spline(x1); effect S = poly(x2); model y = s;", 22, 2000},
      {"class a; effect s = spline(x1); model y = a(s);", 31, 2000},
      {"effect s = spline(x1); model y = s-x3;", 4, 2000},
      {"effect e = spline(); model y = e;", 67, 3000},
      {"effect m = mm(a b); model y = m;", 24, 1012},
      {"class a; effect m = mm(a / weight=(x1 x2)); model y = m;", 23, 1012},
      {"class a; effect p = poly(a x1); model y = p;", 69, 1012},
      {"effect l = lag(x1 / period=x2 within=x3); model y = l;", 74, 1012},
      {"class a; effect l = lag(a / within=b); model y = l;", 76, 1012},
      {"class a; effect l = lag(a / period=b); model y = l;", 75, 1012},
      {"effect k = spline(x1 / knotmethod=multiscale(startlevel=3 endscale=2)); model y = k;", 81,
       1012},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statements);
    StepRun r = runStepText(std::string("proc varsifter data=diab; ") + c.statements + " run;");
    EXPECT_TRUE(r.issued(174, c.number)) << r.dump();
    EXPECT_EQ(r.code, c.code) << r.dump();
    EXPECT_FALSE(r.inspected);
  }
  // The statement phase ends the step before the MODEL options are read.
  StepRun r = runStepText("proc varsifter data=diab; model y = a b nosuch / selection=lasso; run;");
  EXPECT_EQ(r.code, 2000) << r.dump();
  EXPECT_EQ(lastState().settings.options.method, kMethodStepwise);
}

// The continuous variables of the effects go to the procedure statement's list (slot 1) as
// the host builds any list: names and numbers; an expression that fails takes its back.
TEST(EffectActions, TheModelVariablesAreAListOfTheProcedureStatement) {
  StubData data;
  struct Case {
    const char* model;
    Names names;
  } cases[] = {
      {"model y = x2 x1*x3 x2*x1;", {"x2", "x1", "x3"}},
      {"class a; model y = a x1-x3;", {"x1", "x3", "x2"}},  // the endpoints come first
      {"model y = x1 x2*name;", {"x1"}},  // (174, 8): x2 and name leave the list again
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    runStepText(std::string("proc varsifter data=diab; ") + c.model + " run;");
    const OptionSlot* list = hostv().parse->procedureRecord()->slot(slots::proc::kModelVars);
    ASSERT_NE(list, nullptr);
    Names names;
    for (int i = 0; i < list->count; ++i) {
      std::string_view n;
      ASSERT_EQ(zlstget(list->names, i, &n), 0) << i;
      names.emplace_back(n);
    }
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(list->vars.size(), c.names.size());
    std::string_view beyond;
    EXPECT_EQ(zlstget(list->names, list->count, &beyond), 1);
  }
}

// Warnings of the library do not fail the step: A@2 drops the depth; an effect of more than
// 16 variables is named LONGNAME EFFECT.
TEST(EffectActions, WarningsLeaveTheStepRunning) {
  StubData data;
  std::string power17 = "x1";
  for (int i = 1; i < 17; ++i) power17 += "*x1";
  struct Case {
    std::string model;
    int number;
    Names effects;
  } cases[] = {
      {"x1@2 x2|x3@1", 16, {"Intercept", "x1", "x2", "x3"}},
      {power17 + " x2", 10, {"Intercept", "LONGNAME EFFECT", "x2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    StepRun r =
        runStepText("proc varsifter data=diab; model y = " + c.model + "; run;",
                    [&](const VsfState& s) { EXPECT_EQ(effectNames(*s.lev.design), c.effects); });
    EXPECT_EQ(r.count(174, c.number), 1) << r.dump();
    EXPECT_EQ(r.code, 0) << r.dump();
    EXPECT_TRUE(r.inspected) << r.dump();
  }
}

// The library looks no further than the ';' after the last name: the statement keeps its end
// and the statements after it are read as they stand.
TEST(EffectActions, TheStatementEndIsTheParsersOwn) {
  StubData data;
  const char* steps[] = {
      "proc varsifter data=diab; model y = x1*x2; output out=o p=yhat; run;",
      "proc varsifter data=diab; model y = x1:; output out=o p=yhat; run;",
      "proc varsifter data=diab; class a; model y = x1 a; * x2: note; output out=o; run;",
  };
  for (const char* step : steps) {
    SCOPED_TRACE(step);
    StepRun r = runStepText(step);
    EXPECT_LT(r.code, 1000) << r.dump();
    EXPECT_TRUE(r.lines("ERROR").empty()) << r.dump();
    bool output = false;
    for (const StatementRecord* s = hostv().parse->firstStatement(); s; s = s->next)
      output |= s->name == "OUTPUT";
    EXPECT_TRUE(output);
  }
}

}  // namespace
}  // namespace vsf::test
