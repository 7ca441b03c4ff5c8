// EFFECT statement expansion: design-variable counts, names, defaults and checks.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>

#include "effects/effinfo_fakehost.h"

namespace vsf {
namespace {

using MsgList = std::vector<std::pair<int, int>>;
using Names = std::vector<std::string>;
using Ints = std::vector<int32_t>;
using Options = std::function<void(test::EffectsHarness&, StatementRecord*)>;
using test::EffectsHarness;
using test::Var;

std::vector<Var> dataVars() {
  std::vector<Var> v = {{"A", 'c', 0, 2}, {"G", 'c', 0, 2}, {"H", 'n'}, {"T", 'n'}};
  for (const char* n : {"x", "y", "u", "v", "w", "m1", "m2", "m3", "m4", "m5", "wt1", "wt2"})
    v.push_back({n, 'n'});
  return v;
}

Ints ints(const int32_t* p, int32_t n) { return p ? Ints(p, p + n) : Ints(); }

Names designVarNames(const ZDesign& d) {
  Names out;
  for (int32_t i = 0; i < d.designVarCount; ++i) out.emplace_back(d.designVars[i].name);
  return out;
}

Names numbered(const std::string& stem, int n) {
  Names out;
  for (int i = 1; i <= n; ++i) out.push_back(stem + ":" + std::to_string(i));
  return out;
}

Names concat(std::initializer_list<Names> parts) {
  Names out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

void setText(StatementRecord* s, int slot, const std::string& text) {
  s->slots[slot].text = text;
  s->slots[slot].given = 1;
}

void setNumbers(StatementRecord* s, int slot, std::vector<double> values) {
  s->slots[slot].numbers = std::move(values);
  s->slots[slot].given = 1;
}

// One EFFECT statement named by `name`, then MODEL with the effect; zeffinfo's result.
void expand(EffectsHarness& h, ZDesign* d, int* rc, const std::string& name, int type,
            std::initializer_list<const char*> vars, const Options& options) {
  StatementRecord* s = h.addEffect(name, type, vars);
  if (options) options(h, s);
  h.parseModel(name);
  *rc = zeffinfo(d, h.dataSet(), 1, 2, h.model, 1, 0, 0);
}

struct SplineCase {
  const char* what;
  std::initializer_list<const char*> vars;
  Options options;
  Names names;
  MsgList messages;
  int rc = 0;
  int buildCode = 0;
};

auto flags(std::initializer_list<int> list) {
  return [fs = std::vector<int>(list)](EffectsHarness&, StatementRecord* s) {
    for (int f : fs) s->setFlag(f);
  };
}

TEST(EffectStatement, SplineDesignVariables) {
  auto tpf = [](std::initializer_list<int> list) {
    return [fs = std::vector<int>(list)](EffectsHarness&, StatementRecord* s) {
      EffectsHarness::setNumber(s, es::kBasis, 2);
      s->setFlag(ef::kSplit);
      for (int f : fs) s->setFlag(f);
    };
  };
  auto multiscale = [](int start, int end, bool split) {
    return [=](EffectsHarness&, StatementRecord* s) {
      EffectsHarness::setNumber(s, es::kKnotMethod, 2);
      EffectsHarness::setNumber(s, es::kStartLevel, start);
      EffectsHarness::setNumber(s, es::kEndScale, end);
      if (split) s->setFlag(ef::kSplit);
    };
  };
  auto natural = [](int knots, bool split) {
    return [=](EffectsHarness&, StatementRecord* s) {
      s->setFlag(ef::kNaturalCubic);
      EffectsHarness::setNumber(s, es::kKnotCount, knots);
      if (split) s->setFlag(ef::kSplit);
    };
  };
  const SplineCase cases[] = {
      {"defaults", {"x"}, nullptr, {"spl"}, {}},
      {"two variables", {"x", "y", "x"}, nullptr, {"spl"}, {}},
      {"split", {"x"}, flags({ef::kSplit}), numbered("spl", 7), {}},
      {"split two",
       {"x", "y"},
       flags({ef::kSplit}),
       concat({numbered("spl_x", 7), numbered("spl_y", 7)}),
       {}},
      {"separate", {"x", "y"}, flags({ef::kSeparate}), {"spl_x", "spl_y"}, {}},
      {"natural 2 knots", {"x"}, natural(2, false), {"spl"}, {{174, 86}}},
      // A natural cubic spline's columns: 1, x and knots - 2 (none below 3 knots).
      {"natural 2 knots split", {"x"}, natural(2, true), numbered("spl", 2), {{174, 86}}},
      {"natural 5 knots split", {"x"}, natural(5, true), numbered("spl", 5), {}},
      {"tpf", {"x"}, tpf({}), numbered("spl", 7), {}},
      {"tpf noint", {"x"}, tpf({ef::kTpfNoInt}), numbered("spl", 6), {}},
      {"tpf nopowers", {"x"}, tpf({ef::kTpfNoPowers}), numbered("spl", 3), {}},
      {"multiscale", {"x"}, multiscale(0, 2, false), {"spl_S0", "spl_S1", "spl_S2"}, {}},
      {"multiscale split",
       {"x"},
       multiscale(1, 2, true),
       concat({numbered("spl_S1", 6), numbered("spl_S2", 8)}),
       {}},
      {"multiscale reversed", {"x"}, multiscale(3, 2, false), {}, {{174, 81}}, 1, 1012},
      {"degree 2 split",
       {"x"},
       [](EffectsHarness&, StatementRecord* s) {
         EffectsHarness::setNumber(s, es::kDegree, 2);
         s->setFlag(ef::kSplit);
       },
       numbered("spl", 6),
       {}},
      {"listed knots split",
       {"x"},
       [](EffectsHarness&, StatementRecord* s) {
         EffectsHarness::setNumber(s, es::kKnotMethod, 3);
         setNumbers(s, es::kKnotList, {1, 2, 3, 4});
         s->setFlag(ef::kSplit);
       },
       numbered("spl", 8),
       {}},
      {"percentiles split",
       {"x"},
       [](EffectsHarness&, StatementRecord* s) {
         EffectsHarness::setNumber(s, es::kKnotMethod, 5);
         EffectsHarness::setNumber(s, es::kKnotCount, 5);
         s->setFlag(ef::kSplit);
       },
       numbered("spl", 9),
       {}},
      {"no columns",
       {"x"},
       [](EffectsHarness&, StatementRecord* s) {
         EffectsHarness::setNumber(s, es::kBasis, 2);
         EffectsHarness::setNumber(s, es::kKnotMethod, 3);
         s->setFlag(ef::kTpfNoPowers);
       },
       {},
       {{174, 73}},
       1,
       1012},
  };
  for (const auto& c : cases) {
    EffectsHarness h(dataVars());
    ZDesign d;
    int rc = -1;
    expand(h, &d, &rc, "spl", effkind::kSpline, c.vars, c.options);
    EXPECT_EQ(rc, c.rc) << c.what;
    EXPECT_EQ(h.messageNumbers(), c.messages) << c.what;
    EXPECT_EQ(d.buildCode, c.buildCode) << c.what;
    if (rc == 0) {
      EXPECT_EQ(designVarNames(d), c.names) << c.what;
      EXPECT_EQ(d.lookup[0].count, static_cast<int32_t>(c.names.size())) << c.what;
    }
  }
}

// The split-all design flag splits every spline; the records carry their variable, scale and
// column; the first column of a variable evaluates its basis and the others copy it.
TEST(EffectStatement, SplitAllAndSplineRecords) {
  EffectsHarness h(dataVars());
  ZDesign d;
  d.flags = dflag::kSplitAll;
  int rc = -1;
  expand(h, &d, &rc, "spl", effkind::kSpline, {"x", "y"}, nullptr);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(d.designVarCount, 14);
  const ZDesignVar& r = d.designVars[9];  // y, column 3
  EXPECT_STREQ(r.name, "spl_y:3");
  EXPECT_EQ(r.type, effkind::kSpline);
  EXPECT_EQ(r.perColumn, 1);
  EXPECT_EQ(r.splineVar, 1);
  EXPECT_EQ(r.splineColumn, 2);
  EXPECT_EQ(ints(r.values, r.valueCount), (Ints{1}));  // y is model variable 1
  EXPECT_EQ(r.replicates, 14);
  EXPECT_EQ(r.recordIndex, 9);
  EXPECT_EQ(d.designVars[0].first, 1);
  EXPECT_EQ(r.first, 0);
  EXPECT_EQ(r.copy, 1);
  EXPECT_EQ(r.copyOf, 7);  // y, column 1
  EXPECT_EQ(r.spline, d.designVars[7].spline);
  EXPECT_NE(r.spline, d.designVars[0].spline);
  EXPECT_EQ(r.spline->degree, 3);
  EXPECT_EQ(r.spline->knotCount, 3);
  EXPECT_EQ(r.spline->basis, 1);
  EXPECT_EQ(r.spline->split, 1);
}

// The options block as zsplopts completes it: defaults, the basis a natural cubic spline takes,
// the options one basis cannot use (a warning each, build code 4), listed knots sorted and kept
// at most degree + 1 times.
TEST(EffectStatement, SplineOptionRepairs) {
  struct Case {
    const char* what;
    Options options;
    MsgList messages;
    int basis, degree, method;
    std::vector<double> listed;
  };
  auto set = [](std::initializer_list<std::pair<int, double>> numbers,
                std::initializer_list<int> flagList = {}, std::vector<double> list = {}) {
    return [=](EffectsHarness&, StatementRecord* s) {
      for (auto [slot, v] : numbers) EffectsHarness::setNumber(s, slot, v);
      for (int f : flagList) s->setFlag(f);
      if (!list.empty()) setNumbers(s, es::kKnotList, list);
    };
  };
  const Case cases[] = {
      {"defaults", nullptr, {}, 1, 3, 1, {}},
      {"natural, degree 2", set({{es::kDegree, 2}}, {ef::kNaturalCubic}), {{174, 87}}, 2, 3, 1, {}},
      {"natural, BSPLINE", set({{es::kBasis, 1}}, {ef::kNaturalCubic}), {{174, 88}}, 2, 3, 1, {}},
      {"TPF, MULTISCALE", set({{es::kBasis, 2}, {es::kKnotMethod, 2}}), {{174, 26}}, 2, 3, 1, {}},
      {"TPF, KNOTMIN", set({{es::kBasis, 2}, {es::kKnotMin, 0}}), {{174, 27}}, 2, 3, 1, {}},
      {"TPF, DATABOUNDARY", set({{es::kBasis, 2}}, {ef::kDataBoundary}), {{174, 28}}, 2, 3, 1, {}},
      {"TPF, LISTWITHBOUNDARY",
       set({{es::kBasis, 2}, {es::kKnotMethod, 6}}, {}, {1, 2, 3}),
       {{174, 60}},
       2,
       3,
       3,
       {1, 2, 3}},
      {"DATABOUNDARY and KNOTMAX",
       set({{es::kKnotMax, 9}}, {ef::kDataBoundary}),
       {{174, 29}},
       1,
       3,
       1,
       {}},
      {"LISTWITHBOUNDARY and KNOTMIN",
       set({{es::kKnotMethod, 6}, {es::kKnotMin, 0}}, {}, {0, 1, 2, 3, 4, 5, 6}),
       {{174, 68}},
       1,
       3,
       6,
       {0, 1, 2, 3, 4, 5, 6}},
      {"a knot listed 5 times",
       set({{es::kKnotMethod, 3}}, {}, {3, 1, 2, 2, 2, 2, 2}),
       {{174, 62}},
       1,
       3,
       3,
       {1, 2, 2, 2, 2, 3}},
  };
  for (const auto& c : cases) {
    EffectsHarness h(dataVars());
    ZDesign d;
    int rc = -1;
    expand(h, &d, &rc, "spl", effkind::kSpline, {"x"}, c.options);
    ASSERT_EQ(rc, 0) << c.what;
    EXPECT_EQ(h.messageNumbers(), c.messages) << c.what;
    EXPECT_EQ(d.buildCode, c.messages.empty() ? 0 : 4) << c.what;
    const SplineOptions& o = *d.designVars[0].spline;
    EXPECT_EQ(o.basis, c.basis) << c.what;
    EXPECT_EQ(o.degree, c.degree) << c.what;
    EXPECT_EQ(o.knotMethod, c.method) << c.what;
    EXPECT_EQ(o.delegated, c.basis == 1) << c.what;
    if (o.knotMinGiven || o.knotMaxGiven) ADD_FAILURE() << c.what << ": bounds kept";
    EXPECT_EQ(std::vector<double>(o.listedKnots, o.listedKnots + (o.listedKnots ? o.knotCount : 0)),
              c.listed)
        << c.what;
  }
}

// Term counts, order and labels against the independent fixture (itertools).
TEST(EffectStatement, PolynomialTermsMatchTheFixture) {
  std::ifstream in(VSF_TEST_DATA "/effects/poly_terms.json");
  ASSERT_TRUE(in.good()) << "poly_terms.json from tests/reference/poly_terms.py";
  nlohmann::json cases = nlohmann::json::parse(in);
  ASSERT_GT(cases.size(), 0u);
  for (const auto& c : cases) {
    for (int variant = 0; variant < 3; ++variant) {  // separate, NOSEPARATE, INCLUDENAME
      EffectsHarness h(dataVars());
      StatementRecord* s = h.addEffect("poly", effkind::kPolynomial, {});
      for (const auto& v : c["vars"])
        s->slots[es::kVars].vars.push_back(h.number(v.get<std::string>()));
      s->slots[es::kVars].given = 1;
      EffectsHarness::setNumber(s, es::kDegree, c["degree"].get<int>());
      if (c.contains("prefix")) {
        s->setFlag(ef::kStandardize);
        setText(s, es::kStdPrefix, c["prefix"]);
      }
      if (c.contains("exponent")) {
        s->setFlag(ef::kExponentGiven);
        setText(s, es::kExponent, c["exponent"]);
      }
      if (c.contains("product")) {
        if (c["product"] == "")
          s->setFlag(ef::kProductNone);  // PRODUCTSYMBOL=NONE
        else
          setText(s, es::kProductSymbol, c["product"]);
      }
      if (c.value("expand", false)) s->setFlag(ef::kExpand);
      if (variant == 1) s->setFlag(ef::kNoSeparate);
      if (variant == 2) s->setFlag(ef::kIncludeName);
      h.parseModel("poly");
      ZDesign d;
      ASSERT_EQ(zeffinfo(&d, h.dataSet(), 1, 2, h.model, 1, 0, 0), 0);
      Names labels = c["labels"].get<Names>();
      SCOPED_TRACE(c.dump() + " variant " + std::to_string(variant));
      if (variant == 1) {
        ASSERT_EQ(d.designVarCount, 1);
        const ZDesignVar& r = d.designVars[0];
        EXPECT_STREQ(r.name, "poly");
        EXPECT_EQ(r.columnCount, static_cast<int32_t>(labels.size()));
        Names got(r.labels, r.labels + r.columnCount);
        EXPECT_EQ(got, labels);
        size_t longest = 0;
        for (const auto& l : labels) longest = std::max(longest, l.size());
        EXPECT_EQ(r.longestLabel, static_cast<int32_t>(longest));
        continue;
      }
      if (variant == 2)
        for (auto& l : labels) l = "poly_" + l;
      EXPECT_EQ(designVarNames(d), labels);
      EXPECT_EQ(d.effectCount, static_cast<int32_t>(labels.size()) + 1);
      for (int32_t t = 0; t < d.designVarCount; ++t) {
        const ZDesignVar& r = d.designVars[t];
        EXPECT_EQ(r.copy, t > 0 ? 1 : 0);
        EXPECT_EQ(r.columnCount, 1);
        EXPECT_EQ(r.columnValues, d.designVars[0].columnValues + t);
      }
    }
  }
}

TEST(EffectStatement, PolynomialTermMembersAndStandardization) {
  EffectsHarness h(dataVars());
  StatementRecord* s = h.addEffect("poly", effkind::kPolynomial, {"y", "x"});
  EffectsHarness::setNumber(s, es::kDegree, 2);
  s->setFlag(ef::kStandardize);
  EffectsHarness::setNumber(s, es::kStdMethod, 2);  // WMOMENTS
  h.parseModel("poly");
  ZDesign d;
  ASSERT_EQ(zeffinfo(&d, h.dataSet(), 1, 2, h.model, 1, 0, 0), 0);
  EXPECT_EQ(designVarNames(d), (Names{"s_y", "s_x", "s_y^2", "s_y*s_x", "s_x^2"}));
  const ZDesignVar& yx = d.designVars[3];
  EXPECT_EQ(ints(yx.values, yx.valueCount), (Ints{0, 1}));  // degree 2: y then x
  EXPECT_EQ(ints(d.designVars[4].values, 2), (Ints{1, 1}));
  const PolyRecord& p = *yx.poly;
  EXPECT_EQ(p.standardize, 2);
  EXPECT_EQ(p.center, 1);
  EXPECT_EQ(p.scale, 1);
  EXPECT_EQ(d.moments[0], nullptr);
  ASSERT_NE(d.moments[1], nullptr);
  EXPECT_EQ(ints(d.moments[1]->list, d.moments[1]->listCount), (Ints{0, 1}));
}

TEST(EffectStatement, PolynomialChecks) {
  {
    EffectsHarness h(dataVars());
    h.setClass({"A"});
    ZDesign d;
    int rc = -1;
    expand(h, &d, &rc, "poly", effkind::kPolynomial, {"x", "A"}, nullptr);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(h.messageNumbers(), (MsgList{{174, 69}}));
    EXPECT_EQ(d.buildCode, 1012);
  }
  {
    // EXPONENT= wins over EXPAND, with a warning that raises nothing.
    EffectsHarness h(dataVars());
    ZDesign d;
    int rc = -1;
    expand(h, &d, &rc, "poly", effkind::kPolynomial, {"x"},
           [](EffectsHarness&, StatementRecord* s) {
             EffectsHarness::setNumber(s, es::kDegree, 2);
             s->setFlag(ef::kExponentGiven);
             setText(s, es::kExponent, "**");
             s->setFlag(ef::kExpand);
           });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(h.messageNumbers(), (MsgList{{174, 72}}));
    EXPECT_EQ(designVarNames(d), (Names{"x", "x**2"}));
    EXPECT_EQ(d.buildCode, 0);
  }
}

struct CheckCase {
  const char* what;
  int type;
  std::initializer_list<const char*> vars;
  Options options;
  MsgList messages;
  int rc;
  int buildCode;
};

TEST(EffectStatement, ChecksOfEachType) {
  auto lag = [](bool period, bool within) {
    return [=](EffectsHarness& h, StatementRecord* s) {
      if (period) h.setVars(s, es::kPeriod, {"T"});
      if (within) h.setVars(s, es::kWithin, {"G"});
    };
  };
  const CheckCase cases[] = {
      {"no variables", effkind::kCollection, {}, nullptr, {{174, 67}}, 1, 3000},
      {"multimember of a continuous",
       effkind::kMultimember,
       {"A", "x"},
       nullptr,
       {{174, 24}},
       1,
       1012},
      {"multimember weights",
       effkind::kMultimember,
       {"A", "G"},
       [](EffectsHarness& h, StatementRecord* s) { h.setVars(s, es::kMmWeight, {"wt1"}); },
       {{174, 23}},
       1,
       1012},
      {"lag without PERIOD=", effkind::kLag, {"A"}, lag(false, true), {{174, 76}}, 1, 1012},
      {"lag without WITHIN=", effkind::kLag, {"A"}, lag(true, false), {{174, 75}}, 1, 1012},
      {"lag of a continuous", effkind::kLag, {"x"}, lag(true, true), {{174, 74}}, 1, 1012},
      {"lag", effkind::kLag, {"A"}, lag(true, true), {}, 0, 0},
      {"spline of a CLASS variable", effkind::kSpline, {"x", "A"}, nullptr, {{174, 95}}, 1, 1012},
      {"empty delimiter",
       effkind::kCollection,
       {"x"},
       [](EffectsHarness&, StatementRecord* s) {
         s->setFlag(ef::kDetails);
         setText(s, es::kDelimiter, "");
       },
       {{174, 65}},
       0,
       0},
      {"long delimiter",
       effkind::kMultimember,
       {"A"},
       [](EffectsHarness&, StatementRecord* s) {
         s->setFlag(ef::kDetails);
         setText(s, es::kDelimiter, "/-");
       },
       {{174, 64}},
       0,
       0},
  };
  for (const auto& c : cases) {
    EffectsHarness h(dataVars());
    h.setClass({"A", "G"});
    ZDesign d;
    int rc = -1;
    expand(h, &d, &rc, "eff", c.type, c.vars, c.options);
    EXPECT_EQ(rc, c.rc) << c.what;
    EXPECT_EQ(h.messageNumbers(), c.messages) << c.what;
    EXPECT_EQ(d.buildCode, c.buildCode) << c.what;
  }
}

TEST(EffectStatement, MultimemberAndCollectionRecords) {
  EffectsHarness h(dataVars());
  h.setClass({"A", "G", "H"});
  StatementRecord* mm = h.addEffect("mm", effkind::kMultimember, {"G", "A"});
  h.setVars(mm, es::kMmWeight, {"wt1", "wt2"});
  mm->setFlag(ef::kNoEffect);
  mm->setFlag(ef::kDetails);
  setText(mm, es::kDelimiter, "/");
  h.addEffect("col", effkind::kCollection, {"x", "H", "y"});
  h.parseModel("mm col");
  ZDesign d;
  ASSERT_EQ(zeffinfo(&d, h.dataSet(), 1, 2, h.model, 1, 0, 0), 0);
  ASSERT_EQ(d.designVarCount, 2);
  const ZDesignVar& m = d.designVars[0];
  EXPECT_EQ(ints(m.classMembers, m.classCount), (Ints{1, 0}));
  EXPECT_EQ(ints(m.values, m.valueCount), (Ints{0, 1}));  // the weights became model variables
  EXPECT_EQ(m.allMissingOk, 1);
  EXPECT_EQ(m.weightedSum, 0);
  EXPECT_EQ(m.separator, '/');
  EXPECT_EQ(d.classVars[0].multimember, 1);
  EXPECT_EQ(d.classVars[1].multimember, 1);
  EXPECT_EQ(d.classVars[2].multimember, 0);
  const ZDesignVar& c = d.designVars[1];
  EXPECT_EQ(ints(c.classMembers, c.classCount), (Ints{2}));
  EXPECT_EQ(ints(c.values, c.valueCount), (Ints{2, 3}));
  EXPECT_EQ(c.separator, ' ');
  EXPECT_EQ(d.modelVarCount, 4);
}

// LAG: its PERIOD= and WITHIN= variables join the CLASS list with reference coding when
// they are not CLASS variables; two WITHIN= variables need a lag table.
TEST(EffectStatement, LagRecord) {
  EffectsHarness h(dataVars());
  h.setClass({"A", "G"});
  StatementRecord* s = h.addEffect("lg", effkind::kLag, {"A"});
  h.setVars(s, es::kPeriod, {"T"});
  h.setVars(s, es::kWithin, {"G", "H"});
  EffectsHarness::setNumber(s, es::kNLag, 2);
  h.parseModel("lg");
  ZDesign d;
  ASSERT_EQ(zeffinfo(&d, h.dataSet(), 1, 2, h.model, 1, 0, 0), 0);
  ASSERT_EQ(d.classCount, 4);
  EXPECT_EQ(d.classVars[2].desc->name, "T");
  EXPECT_EQ(d.classVars[2].coding, kCodingRef);
  EXPECT_EQ(d.classVars[3].desc->name, "H");
  EXPECT_EQ(d.classVars[3].coding, kCodingRef);
  EXPECT_EQ(d.classVars[0].coding, kCodingEffect);
  const LagRecord& lag = *d.designVars[0].lag;
  EXPECT_EQ(lag.distance, 2);
  EXPECT_EQ(lag.lagged, 0);
  EXPECT_EQ(lag.time, 2);
  EXPECT_EQ(ints(lag.keys, lag.keyCount), (Ints{1, 3}));
  EXPECT_EQ(d.lagTableCount, 1);
  EXPECT_EQ(lag.tables[2], &d.lagTables[0]);
  EXPECT_EQ(lag.tables[0], &lag.defaultTable);
  EXPECT_EQ(ints(d.effects[1].allClass, d.effects[1].allClassCount), (Ints{0}));
}

}  // namespace
}  // namespace vsf
