// Constructed effects through the command: a forward selection by SBC with a B-spline of bmi on
// diabetes against R's step() over bs() with the same interior knots (each step's SSE and rank,
// through the SBC and AIC the summary shows, and the selected model's ANOVA), the same run on
// four workers over the smallest pages giving the same tables, the tables of every kind of
// constructed effect, and a row whose constructed value overflows left out of the fit.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

void expectRelative(const Json& cell, double want, double tolerance, const std::string& what) {
  ASSERT_TRUE(cell.is_number()) << what << ": " << cell;
  EXPECT_NEAR(cell.get<double>(), want, tolerance * std::max(1.0, std::fabs(want))) << what;
}

const char* kSplineProgram =
    "proc varsifter data=diabetes;\n"
    "  effect sb = spline(bmi / details);\n"
    "  model y = age sex sb bp s1 s2 s3 s4 s5 s6 / selection=forward(select=sbc)\n"
    "        stats=(aic sbc);\n";

TEST(ConstructedEffects, ForwardSplineMatchesStepOverBs) {
  const CommandRun r = runCommand(std::string(kSplineProgram) + "run;", VSF_SHARED_DATA);
  ASSERT_EQ(r.status, 0) << r.output;
  const Csv steps = readCsv("e2e/spline_steps.csv");
  const Json summary = theOne(r, "SelectionSummary");
  ASSERT_EQ(summary["rows"].size(), steps.rows.size());
  const double n = 442;
  for (size_t i = 0; i < steps.rows.size(); ++i) {
    const Json& row = summary["rows"][i];
    const std::string at = "step " + std::to_string(i);
    const double sse = steps.number(i, "sse"), p = steps.number(i, "rank");
    if (i > 0) {
      EXPECT_EQ(row["EffectEntered"], steps.rows[i][1]) << at;
    }
    // Two criteria pin the step's SSE and rank: SBC = n log(SSE/n) + p log n, AIC = n
    // log(SSE/n) + 2p + n + 2.
    expectRelative(row["SBC"], n * std::log(sse / n) + p * std::log(n), 1e-10, at + " SBC");
    expectRelative(row["AIC"], n * std::log(sse / n) + 2 * p + n + 2, 1e-10, at + " AIC");
  }
  const Csv anova = readCsv("e2e/spline_anova.csv");
  const Json shown = theOne(r, "ANOVA");
  for (size_t i = 0; i < anova.rows.size(); ++i) {
    const Json& row = shown["rows"][i];
    EXPECT_EQ(row["Source"], anova.rows[i][0]);
    EXPECT_EQ(number(row["DF"]), anova.number(i, "df")) << anova.rows[i][0];
    expectRelative(row["SS"], anova.number(i, "ss"), 1e-10, anova.rows[i][0]);
  }
  // The knot sequence, boundary knots marked, and one support row per basis column.
  const Csv knots = readCsv("e2e/spline_knots.csv");
  const Json table = theOne(r, "SplineKnots");
  ASSERT_EQ(table["rows"].size(), knots.rows.size());
  for (size_t k = 0; k < knots.rows.size(); ++k) {
    const Json& row = table["rows"][k];
    expectRelative(row["bmi"], knots.number(k, "value"), 1e-12, "knot " + std::to_string(k));
    EXPECT_EQ(number(row["Boundary"]), (k < 3 || k >= 6) ? 1 : 0) << k;
  }
  const Json details = theOne(r, "BSplineDetails");
  ASSERT_EQ(details["rows"].size(), 7u);
  EXPECT_EQ(details["rows"][0]["SupportingKnots"], "1-4");
  EXPECT_EQ(details["rows"][6]["SupportingKnots"], "6-9");
}

// The passes on four workers over the smallest pages give the tables of one thread over the same
// pages, number for number.
TEST(ConstructedEffects, ThreadedRunsEqualSequentialOnes) {
  const CommandRun one =
      runCommand(std::string(kSplineProgram) + "performance nothreads util_pagesize$=1;\nrun;",
                 VSF_SHARED_DATA);
  const CommandRun four = runCommand(
      std::string(kSplineProgram) + "performance threads cpucount=4 util_pagesize$=1;\nrun;",
      VSF_SHARED_DATA);
  ASSERT_EQ(one.status, 0) << one.output;
  ASSERT_EQ(four.status, 0) << four.output;
  for (const char* name : {"SelectionSummary", "ANOVA", "ParameterEstimates", "SplineKnots"})
    EXPECT_EQ(theOne(one, name)["rows"], theOne(four, name)["rows"]) << name;
}

// Every kind's tables with DETAILS: the levels of COLLECTION and MULTIMEMBER effects, the truncated
// power basis with its repeated knot, the moments that standardize a polynomial (against R), and
// the lag design by subject and period.
TEST(ConstructedEffects, TablesShowEveryKind) {
  const CommandRun r = runCommand(
      "proc varsifter data=constructed;\n"
      "  class g h L;\n"
      "  effect co = collection(x g / details(delimiter=','));\n"
      "  effect mm = mm(g h / details);\n"
      "  effect tp = spline(x / basis=tpf knotmethod=list(2 4 4 6) details);\n"
      "  effect p = poly(x z / degree=2 standardize details);\n"
      "  effect lg = lag(L / within=subj period=per details);\n"
      "  effect quiet = spline(z);\n"
      "  model y = co mm tp p lg quiet / selection=none;\n"
      "  freq f;\n"
      "run;",
      VSF_TEST_DATA "/design");
  ASSERT_EQ(r.status, 0) << r.output;
  // Without DETAILS an effect shows no tables: one SplineKnots table, tp's.
  EXPECT_EQ(findAll(r.document, "SplineKnots").size(), 1u);
  const Json co = theOne(r, "CollectionLevelInfo");
  EXPECT_EQ(number(co["rows"][0]["Levels"]), 4);
  EXPECT_EQ(co["rows"][0]["Values"], "x,g:a,g:b,g:c");
  const Json mm = theOne(r, "MMLevelInfo");
  EXPECT_EQ(mm["rows"][0]["Values"], "a b c d");

  const Json tpf = theOne(r, "TPFSplineDetails");
  std::vector<double> powers, breaks;
  for (const Json& row : tpf["rows"]) {
    powers.push_back(number(row["Power"]));
    breaks.push_back(number(row["BreakKnot"]));
  }
  EXPECT_EQ(powers, (std::vector<double>{0, 1, 2, 3, 3, 3, 2, 3}));
  EXPECT_EQ(std::vector<double>(breaks.begin() + 4, breaks.end()),
            (std::vector<double>{2, 4, 4, 6}));

  const Csv want = readCsv("e2e/poly_scaling.csv");
  const Json scaling = theOne(r, "PolynomialScaling");
  ASSERT_EQ(scaling["rows"].size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const Json& row = scaling["rows"][i];
    EXPECT_EQ(row["Variable"], want.rows[i][0]);
    for (const auto& [column, field] :
         std::vector<std::pair<const char*, const char*>>{{"Minimum", "minimum"},
                                                          {"Maximum", "maximum"},
                                                          {"nObs", "n"},
                                                          {"SumFreqs", "freqs"},
                                                          {"Sum", "sum"},
                                                          {"SumSq", "sumsq"},
                                                          {"Center", "center"},
                                                          {"Scale", "scale"}})
      expectRelative(row[column], want.number(i, field), 1e-12, std::string(column));
  }
  EXPECT_EQ(scaling["rows"][0].count("SumWeights"), 0u);

  // Subject 2 has no period 4: its column is missing; subject 1's periods hold its levels.
  const Csv data = readCsv("design/constructed.csv");
  const Json lag = theOne(r, "LagDesign");
  ASSERT_EQ(lag["rows"].size(), 6u);
  EXPECT_EQ(lag["rows"][1]["Period4"], "") << lag["rows"][1];
  for (size_t p = 0; p < 8; ++p)
    EXPECT_EQ(lag["rows"][0]["Period" + std::to_string(p + 1)], data.text(p, "L")) << p;
}

// Level names that pass 253 characters end with the delimiter and "...".
TEST(ConstructedEffects, LongLevelListsAreCut) {
  const CommandRun r = runCommand(
      "proc varsifter data=mm_long; class a b; effect m = mm(a b / details);\n"
      "model y = m / selection=none;\nrun;",
      VSF_TEST_DATA "/e2e");
  ASSERT_EQ(r.status, 0) << r.output;
  const Json mm = theOne(r, "MMLevelInfo");
  const std::string values = mm["rows"][0]["Values"];
  EXPECT_EQ(number(mm["rows"][0]["Levels"]), 30);
  EXPECT_LE(values.size(), 253u);
  EXPECT_EQ(values.substr(values.size() - 4), " ...");
  EXPECT_EQ(values.substr(0, 27), "level_name_00 level_name_01");
}

// A polynomial term that overflows (x squared of 1e200) makes its row unusable: it is stored
// nowhere, and the fit equals the fit of the data without it.
TEST(ConstructedEffects, AnOverflowingRowLeavesTheFit) {
  const std::string statements =
      "  effect p = poly(x / degree=2);\n  model y = p / selection=none;\nrun;";
  const CommandRun with =
      runCommand("proc varsifter data=overflow;\n" + statements, VSF_TEST_DATA "/e2e");
  const CommandRun without =
      runCommand("proc varsifter data=overflow_clean;\n" + statements, VSF_TEST_DATA "/e2e");
  ASSERT_EQ(with.status, 0) << with.output;
  ASSERT_EQ(without.status, 0) << without.output;
  const Json nobs = theOne(with, "NObs");
  EXPECT_EQ(number(nobs["rows"][0]["N"]), 8);
  EXPECT_EQ(number(nobs["rows"][1]["N"]), 7);
  for (const char* name : {"ANOVA", "FitStatistics", "ParameterEstimates"})
    EXPECT_EQ(theOne(with, name)["rows"], theOne(without, name)["rows"]) << name;
}

// How often each effect name stands in a list of names separated by blanks.
int timesNamed(const std::string& list, const std::string& name) {
  std::istringstream words(list);
  int times = 0;
  for (std::string w; words >> w;) times += w == name ? 1 : 0;
  return times;
}

// The term hp of a polynomial beside the variable hp: the term is named pl_hp, and every
// method fits one hp column with its whole coefficient, on its own and under model averaging
// (where group LASSO once named hp twice and its model table was refused).
TEST(ConstructedEffects, ATermBesideItsVariableIsFittedOnce) {
  const char* methods[] = {"lasso(stop=none)", "grouplasso(stop=none)", "forward"};
  std::map<std::string, double> slope;
  for (bool averaged : {false, true})
    for (const std::string method : methods) {
      SCOPED_TRACE(method + (averaged ? " with MODELAVERAGE" : ""));
      const CommandRun r = runCommand(
          "proc varsifter data=mtcars seed=7;\n"
          "  effect pl = poly(wt hp / degree=2);\n"
          "  model mpg = hp pl / selection=" +
              method + ";\n" + (averaged ? "  modelaverage nsamples=20;\n" : "") + "run;",
          VSF_SHARED_DATA);
      ASSERT_EQ(r.status, 0) << r.output;
      EXPECT_EQ(r.output.find("ERROR"), std::string::npos) << r.output;
      EXPECT_NE(r.output.find("NOTE: Two effects of the model are named hp: the one made from "
                              "the EFFECT pl is named pl_hp."),
                std::string::npos)
          << r.output;
      if (!averaged) {
        const std::string selected = theOne(r, "SelectedEffects")["rows"][0]["Effects"];
        EXPECT_EQ(timesNamed(selected, "hp"), 1) << selected;
        EXPECT_EQ(timesNamed(selected, "pl_hp"), 0) << selected;
        const Json estimates = theOne(r, "ParameterEstimates");
        for (const Json& row : estimates["rows"])
          if (row["Effect"] == "hp") slope[method] = number(row["Estimate"]);
        continue;
      }
      const Json models = theOne(r, "ModelSelectFreq");
      ASSERT_FALSE(models["rows"].empty());
      for (const Json& row : models["rows"]) {
        const std::string effects = row["EffectsInModel"];
        EXPECT_LE(timesNamed(effects, "hp") + timesNamed(effects, "pl_hp"), 1) << effects;
      }
    }
  // Group LASSO's hp at the path's end is the LASSO's, not half of it.
  EXPECT_NEAR(slope["grouplasso(stop=none)"], slope["lasso(stop=none)"],
              0.01 * std::fabs(slope["lasso(stop=none)"]));
}

// The set-up errors of an EFFECT statement name its line and column, as the parse's errors do,
// and the errors after it carry no stale place.
TEST(ConstructedEffects, EffectErrorsNameTheirStatement) {
  auto lag = [](const std::string& classes, const std::string& options, const std::string& model) {
    return "proc varsifter data=constructed;\n  class " + classes + ";\n  effect lg = lag(" +
           options + ");\n  model y = " + model + ";\nrun;";
  };
  expectRuns(VSF_TEST_DATA "/design",
             {
                 {lag("g", "x / within=subj period=per", "lg"),
                  1,
                  {"ERROR: Line 3, column 3: The lagged variable x is not a CLASS variable; "
                   "list it in the CLASS statement."}},
                 {lag("L", "L / within=subj", "lg"),
                  1,
                  {"ERROR: Line 3, column 3: The LAG effect lg needs PERIOD=."}},
                 {lag("L", "L / within=subj period=per", "lg x / selection=lasso include=1"),
                  1,
                  {"ERROR: INCLUDE= is not available with this selection method."},
                  {"ERROR: Line"}},
             });
}

}  // namespace
}  // namespace vsf::test
