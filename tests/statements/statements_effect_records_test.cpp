// EFFECT statements of every kind, parsed by the grammar and expanded by the effects library:
// the design variables (ZDesignVar) and their options as the statements give them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/statements_support.h"

namespace vsf::test {
namespace {

using Names = std::vector<std::string>;
using Ints = std::vector<int32_t>;

Names designVarNames(const ZDesign& d, int32_t first, int32_t count) {
  Names out;
  for (int32_t i = first; i < first + count; ++i) out.emplace_back(d.designVars[i].name);
  return out;
}

Names labelsOf(const ZDesignVar& v) {
  Names out;
  for (int32_t i = 0; i < v.columnCount; ++i) out.emplace_back(v.labels[i]);
  return out;
}

int32_t classIndex(const ZDesign& d, const std::string& name) {
  for (int32_t i = 0; i < d.classCount; ++i)
    if (d.classVars[i].desc && d.classVars[i].desc->name == name) return i;
  return -1;
}

int32_t modelIndex(const ZDesign& d, const std::string& name) {
  for (int32_t i = 0; i < d.modelVarCount; ++i)
    if (d.modelVars[i].desc && d.modelVars[i].desc->name == name) return i;
  return -1;
}

TEST(EffectRecords, EveryKindBuildsItsDesignVariables) {
  StubData data;
  const char* step =
      "proc varsifter data=diab;\n"
      "class a b c grp;\n"
      "effect s = spline(x1 / degree=2 knotmethod=list(1 to 5 by 2, 8) basis=tpf(noint) "
      "split details);\n"
      "effect p = poly(x1 x2 / degree=2 standardize(method=wmoments prefix='z_')=center "
      "labelstyle=(exponent='**' productsymbol=none) noseparate);\n"
      "effect l = lag(a / nlag=2 within=(b c) period=x9 designrole=x8);\n"
      "effect m = mm(a b / weight=(x3 x4) noeffect rowstd details(delimiter=','));\n"
      "effect k = spline(x2 / knotmethod=multiscale(startlevel=1 endscale=3) naturalcubic);\n"
      "effect q = poly(x5 x6 / degree=2 labelstyle=(expand productsymbol='.' includename));\n"
      "effect co = collection(a x7 / details(delimiter='|'));\n"
      "model y = s p l m k q co;\nrun;";
  StepRun r = runStepText(step, [](const VsfState& state) {
    const ZDesign& d = *state.lev.design;
    ASSERT_EQ(d.effectStatementCount, 7);
    // Design variables per statement: s 6 (SPLIT), p 1, l 1, m 1, k 1 (a natural cubic spline
    // has no scales), q 5, co 1.
    const Ints counts = {6, 1, 1, 1, 1, 5, 1};
    int32_t first = 0;
    for (size_t i = 0; i < counts.size(); ++i) {
      EXPECT_EQ(d.lookup[i].first, first) << i;
      EXPECT_EQ(d.lookup[i].count, counts[i]) << i;
      first += counts[i];
    }
    ASSERT_EQ(d.designVarCount, first);

    // SPLINE: TPF(NOINT) with 4 listed knots and degree 2: 4 + 2 columns, one per variable.
    EXPECT_EQ(designVarNames(d, 0, 6), (Names{"s:1", "s:2", "s:3", "s:4", "s:5", "s:6"}));
    const SplineOptions* so = d.designVars[0].spline;
    ASSERT_NE(so, nullptr);
    EXPECT_EQ(so->degree, 2);
    EXPECT_EQ(so->knotMethod, 3);
    EXPECT_EQ(so->knotCount, 4);
    EXPECT_EQ(std::vector<double>(so->listedKnots, so->listedKnots + 4),
              (std::vector<double>{1, 3, 5, 8}));
    EXPECT_EQ(so->basis, 2);
    EXPECT_EQ(so->tpfNoInt, 1);
    EXPECT_EQ(so->split, 1);
    EXPECT_EQ(so->details, 1);
    EXPECT_EQ(d.designVars[0].type, 3);

    // POLYNOMIAL with NOSEPARATE: one design variable keeping the term labels.
    const ZDesignVar& p = d.designVars[6];
    EXPECT_STREQ(p.name, "p");
    ASSERT_NE(p.poly, nullptr);
    EXPECT_EQ(p.poly->standardize, 2);  // WMOMENTS
    EXPECT_EQ(p.poly->center, 1);
    EXPECT_EQ(p.poly->scale, 0);
    EXPECT_EQ(labelsOf(p), (Names{"z_x1", "z_x2", "z_x1**2", "z_x1z_x2", "z_x2**2"}));

    // LAG: the PERIOD= variable joins the CLASS list with reference coding.
    const ZDesignVar& l = d.designVars[7];
    ASSERT_NE(l.lag, nullptr);
    EXPECT_EQ(l.lag->distance, 2);
    EXPECT_EQ(l.lag->lagged, classIndex(d, "a"));
    EXPECT_EQ(Ints(l.lag->keys, l.lag->keys + l.lag->keyCount),
              (Ints{classIndex(d, "b"), classIndex(d, "c")}));
    ASSERT_GE(classIndex(d, "x9"), 4);
    EXPECT_EQ(l.lag->time, classIndex(d, "x9"));
    EXPECT_EQ(d.classVars[classIndex(d, "x9")].coding, kCodingRef);
    EXPECT_EQ(l.lag->designRole, 1);
    EXPECT_EQ(l.lag->switchVar, modelIndex(d, "x8"));
    EXPECT_NE(l.lag->tables[1], nullptr);  // the rows whose x8 is 0
    EXPECT_EQ(l.lag->tables[2], nullptr);

    // MULTIMEMBER: CLASS members, their weights, the options and the delimiter.
    const ZDesignVar& m = d.designVars[8];
    EXPECT_EQ(Ints(m.classMembers, m.classMembers + m.classCount),
              (Ints{classIndex(d, "a"), classIndex(d, "b")}));
    EXPECT_EQ(Ints(m.values, m.values + m.valueCount),
              (Ints{modelIndex(d, "x3"), modelIndex(d, "x4")}));
    EXPECT_EQ(m.allMissingOk, 1);
    EXPECT_EQ(m.weightedSum, 1);
    EXPECT_EQ(m.separator, ',');
    EXPECT_EQ(d.classVars[classIndex(d, "a")].multimember, 1);

    // A natural cubic spline takes the truncated power basis, where MULTISCALE is EQUAL.
    EXPECT_EQ(designVarNames(d, 9, 1), (Names{"k"}));
    EXPECT_EQ(d.designVars[9].spline->naturalCubic, 1);
    EXPECT_EQ(d.designVars[9].spline->knotMethod, 1);

    // POLYNOMIAL, one design variable per term, EXPAND with the product text, INCLUDENAME.
    EXPECT_EQ(designVarNames(d, 10, 5), (Names{"q_x5", "q_x6", "q_x5.x5", "q_x5.x6", "q_x6.x6"}));

    // COLLECTION: the CLASS member and the continuous one.
    const ZDesignVar& co = d.designVars[15];
    EXPECT_EQ(Ints(co.classMembers, co.classMembers + co.classCount), Ints{classIndex(d, "a")});
    EXPECT_EQ(Ints(co.values, co.values + co.valueCount), Ints{modelIndex(d, "x7")});
    EXPECT_EQ(co.separator, '|');

    // The model: every design variable of a replicated statement is an effect of its own.
    EXPECT_EQ(d.effectCount, 1 + 6 + 1 + 1 + 1 + 1 + 5 + 1);
  });
  EXPECT_LT(r.code, 1000) << r.dump();
  EXPECT_TRUE(r.inspected) << r.dump();
}

// STANDARDIZE, LABELSTYLE and their defaults, as the term labels and the polynomial record
// show them.
TEST(EffectRecords, PolynomialOptions) {
  StubData data;
  struct Case {
    const char* options;
    int standardize, center, scale;
    Names names;
    int warning72;
  } cases[] = {
      {"", 0, 0, 0, {"x1", "x2", "x1^2", "x1*x2", "x2^2"}, 0},
      {"standardize", 1, 1, 1, {"s_x1", "s_x2", "s_x1^2", "s_x1*s_x2", "s_x2^2"}, 0},
      {"standardize=none", 0, 0, 0, {"x1", "x2", "x1^2", "x1*x2", "x2^2"}, 0},
      {"standardize(method=range)=scale",
       3,
       0,
       1,
       {"s_x1", "s_x2", "s_x1^2", "s_x1*s_x2", "s_x2^2"},
       0},
      {"standardize=centerscale", 1, 1, 1, {"s_x1", "s_x2", "s_x1^2", "s_x1*s_x2", "s_x2^2"}, 0},
      {"labelstyle=(productsymbol=none)", 0, 0, 0, {"x1", "x2", "x1^2", "x1x2", "x2^2"}, 0},
      {"labelstyle=expand", 0, 0, 0, {"x1", "x2", "x1*x1", "x1*x2", "x2*x2"}, 0},
      // EXPONENT, even without its text, asks for the exponent form: EXPAND is dropped.
      {"labelstyle=(exponent expand)", 0, 0, 0, {"x1", "x2", "x1^2", "x1*x2", "x2^2"}, 1},
      {"labelstyle=(exponent='**' expand)", 0, 0, 0, {"x1", "x2", "x1**2", "x1*x2", "x2**2"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    std::string step = std::string("proc varsifter data=diab; effect p = poly(x1 x2 / degree=2 ") +
                       c.options + "); model y = p; run;";
    StepRun r = runStepText(step, [&](const VsfState& state) {
      const ZDesign& d = *state.lev.design;
      ASSERT_EQ(d.designVarCount, 5);
      EXPECT_EQ(designVarNames(d, 0, 5), c.names);
      const PolyRecord& p = *d.designVars[0].poly;
      EXPECT_EQ(p.standardize, c.standardize);
      EXPECT_EQ(p.center, c.center);
      EXPECT_EQ(p.scale, c.scale);
    });
    EXPECT_TRUE(r.inspected) << r.dump();
    EXPECT_EQ(r.count(174, 72), c.warning72) << r.dump();
  }
}

// A polynomial's term named like another effect of the model takes its EFFECT's name in front,
// with a note; the MODEL statement's own effects and terms of a name of their own keep theirs.
TEST(EffectRecords, ATermNamedLikeAnotherEffectTakesItsEffectsName) {
  StubData data;
  struct Case {
    const char* statements;
    Names effects;  // after the intercept
    int notes;
  } cases[] = {
      {"effect p = poly(x1 x2 / degree=2); model y = x1 p;",
       {"x1", "p_x1", "x2", "x1^2", "x1*x2", "x2^2"},
       1},
      {"effect p = poly(x1 x2 / degree=2); model y = p x1;",
       {"p_x1", "x2", "x1^2", "x1*x2", "x2^2", "x1"},
       1},
      // Two polynomials sharing a variable: each term of the name is told apart.
      {"effect p = poly(x1 x2); effect q = poly(x2 x3); model y = p q;",
       {"x1", "p_x2", "q_x2", "x3"},
       2},
      {"effect p = poly(x1 x2 / degree=2 labelstyle=expand); model y = x1*x2 p;",
       {"x1*x2", "x1", "x2", "x1*x1", "p_x1*x2", "x2*x2"},
       1},
      {"effect p = poly(x1 x2 / labelstyle=includename); model y = x1 p;",
       {"x1", "p_x1", "p_x2"},
       0},
      {"effect p = poly(x1 / degree=2 standardize); model y = x1 p;", {"x1", "s_x1", "s_x1^2"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statements);
    StepRun r = runStepText(std::string("proc varsifter data=diab; ") + c.statements + " run;",
                            [&](const VsfState& state) {
                              const ZDesign& d = *state.lev.design;
                              Names names;
                              for (int32_t e = 1; e < d.effectCount; ++e)
                                names.emplace_back(d.effects[e].name);
                              EXPECT_EQ(names, c.effects);
                            });
    EXPECT_TRUE(r.inspected) << r.dump();
    EXPECT_EQ(r.count(174, 98), c.notes) << r.dump();
  }
}

// Statements the grammar refuses: a knot range that does not reach its end, DELIMITER=
// outside DETAILS.
TEST(EffectRecords, StatementErrors) {
  StubData data;
  for (const char* effect : {"spline(x1 / knotmethod=list(5 to 1))", "mm(a b / delimiter=',')"}) {
    SCOPED_TRACE(effect);
    StepRun r = runStepText(std::string("proc varsifter data=diab; class a b; effect e = ") +
                            effect + "; model y = e; run;");
    EXPECT_EQ(r.code, 3000) << r.dump();
  }
}

}  // namespace
}  // namespace vsf::test
