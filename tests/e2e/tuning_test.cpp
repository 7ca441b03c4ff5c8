// The tuned penalties through the command on Diabetes: the L2 values a search tries and the
// one it keeps; external cross validation of the LASSO, of LAR (of age sex bmi bp s3 s5 s6)
// and of the elastic net over CVMETHOD=SPLIT(5) against tests/reference/cvexternal_fixtures.py
// (each fold's path of its own standardized training rows from scikit-learn's lars_path, the
// held-out ASE at its knots, the average over the folds on the union of their ratios, and the
// model of the chosen point), and a golden-section search of the elastic net's L2 by those
// folds. Then the optimizer's fits against the LASSO knots of
// tests/reference/path_fixtures.py: the group LASSO of one-column effects at the ratios rho^k,
// and a single fit between two knots.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

const char* kModel = "model y = age sex bmi bp s1-s6";

Json fixture() {
  std::ifstream in(std::string(VSF_TEST_DATA) + "/penalized/cvexternal.json");
  return Json::parse(in);
}

CommandRun run(const std::string& selection, const std::string& more = "",
               const std::string& model = kModel) {
  return runCommand("proc varsifter data=diabetes; " + model + " / selection=" + selection + " " +
                        more + "; run;",
                    VSF_SHARED_DATA);
}

void near(double got, double want, double rel, const std::string& at) {
  EXPECT_NEAR(got, want, rel * std::max(1.0, std::fabs(want))) << at;
}

// Each fold's rows of CVExternal against the fold's knots.
void checkFolds(const Json& table, const Json& folds) {
  size_t row = 0;
  for (size_t f = 0; f < folds.size(); ++f) {
    const Json& fold = folds[f];
    for (size_t k = 0; k < fold["ratios"].size(); ++k, ++row) {
      ASSERT_LT(row, table["rows"].size());
      const Json& r = table["rows"][row];
      const std::string at = "fold " + std::to_string(f) + " knot " + std::to_string(k);
      EXPECT_EQ(r["Fold"], f + 1) << at;
      EXPECT_EQ(r["Step"], k) << at;
      near(number(r["L1Ratio"]), fold["ratios"][k], 1e-9, at);
      near(number(r["L1Norm"]), fold["l1"][k], 1e-9, at);
      near(number(r["ASEValidate"]), fold["ase"][k], 1e-9, at);
    }
  }
  EXPECT_EQ(row, table["rows"].size());
}

void checkEstimates(const CommandRun& r, const Json& names, const Json& final) {
  const Json table = theOne(r, "ParameterEstimates");
  ASSERT_EQ(table["rows"].size(), final["effects"].size() + 1) << table["rows"];
  near(number(table["rows"][0]["Estimate"]), final["estimates"][0], 1e-8, "Intercept");
  for (const Json& row : table["rows"]) {
    const std::string parm = row["Parameter"];
    for (size_t j = 0; j < names.size(); ++j)
      if (names[j] == parm) near(number(row["Estimate"]), final["estimates"][j + 1], 1e-8, parm);
  }
}

// Step 0, recorded before the path, stands at every fold's start: the folds' average error of
// the intercept-only model (it showed 0, a value no graph or best-value mark may take).
void checkStepZero(const CommandRun& r, const Json& want) {
  const Json row = theOne(r, "SelectionSummary")["rows"][0];
  near(number(row["CVEXPRESS"]), want["average"][0], 1e-9, "step 0");
  double folds = 0;
  for (const Json& f : want["folds"]) folds += f["ase"][0].get<double>();
  near(number(row["CVEXPRESS"]), folds / want["folds"].size(), 1e-9, "step 0 by fold");
}

// On the whole crossproducts matrix (each fold's by algebra, its held-out SSE a quadratic
// form) and by passes over each fold's rewritten rows.
TEST(ExternalCv, LassoPicksTheReferencePoint) {
  const Json want = fixture();
  const Json& lasso = want["lasso"];
  for (const char* more : {"", "; performance buildsscp=incremental"}) {
    SCOPED_TRACE(more);
    const CommandRun r =
        run("lasso(choose=cvex showcvex$ stop=none)", std::string("cvmethod=split(5)") + more);
    ASSERT_EQ(r.status, 0) << r.output;
    checkFolds(theOne(r, "CVExternal"), lasso["folds"]);
    checkEstimates(r, want["names"], lasso["final"]);
    checkStepZero(r, lasso);
  }
}

// LAR has no L1 choice: its folds line up by the penalty ratio and its final run reads the
// grid by its own ratios (read by its raw lambda, every step sat past the grid's end and the
// curve was flat).
TEST(ExternalCv, LarPicksTheReferencePoint) {
  const Json lar = fixture()["lar"];
  const std::string step = std::to_string(lar["final"]["step"].get<int>());
  for (const char* more : {"", "; performance buildsscp=incremental"}) {
    SCOPED_TRACE(more);
    const CommandRun r =
        run("lar(choose=cvex showcvex$ stop=none)", std::string("cvmethod=split(5)") + more,
            "model y = age sex bmi bp s3 s5 s6");
    ASSERT_EQ(r.status, 0) << r.output;
    checkFolds(theOne(r, "CVExternal"), lar["folds"]);
    checkEstimates(r, lar["names"], lar["final"]);
    checkStepZero(r, lar);
    EXPECT_NE(r.output.find("is the model at Step " + step + "."), std::string::npos) << r.output;
  }
}

TEST(ExternalCv, ElasticNetGridOfL2AndPoint) {
  const Json want = fixture();
  const Json& enet = want["enet"];
  const CommandRun r = run(
      "elasticnet(choose=cvex stop=none l2low=0.001 l2high=1 l2steps=4 showl2search$ showcvex$)",
      "cvmethod=split(5)");
  ASSERT_EQ(r.status, 0) << r.output;
  const Json tune = theOne(r, "ElasticNetTuneL2");
  ASSERT_EQ(tune["rows"].size(), enet["tries"].size());
  for (size_t k = 0; k < enet["tries"].size(); ++k) {
    const Json& row = tune["rows"][k];
    const Json& t = enet["tries"][k];
    const std::string at = "L2 " + std::to_string(k);
    near(number(row["L2"]), t["l2"], 1e-12, at);
    near(number(row["L1Ratio"]), t["chosenRatio"], 1e-9, at);
    near(number(row["CriterionValue"]), t["bestAverage"], 1e-9, at);
    EXPECT_EQ(row["OptCriterion"], t["l2"] == enet["chosen"]["l2"] ? 1 : 0) << at;
  }
  near(number(entryValue(theOne(r, "ElasticNetParaSummary"), "Chosen L2")), enet["chosen"]["l2"],
       1e-12, "chosen L2");
  checkFolds(theOne(r, "CVExternal"), enet["chosen"]["folds"]);
  checkEstimates(r, want["names"], enet["chosen"]["final"]);
}

// A golden-section search over L2 judged by external cross validation: from 0 to 2 in 7 tries,
// a = 0, b = 2 / phi^2, c = 2, then the longer side of b cut at 2 - phi: b + 0.382 (2 - b) is
// worse than b, so c comes down to it; b's right side is then the shorter, and each later
// point, better than b, is cut from b's left. Each L2's value is the folds' smallest average
// (cvexternal_fixtures.py), and the search keeps the least, L2 = 0.
TEST(ExternalCv, GoldenSectionSearchOfL2) {
  const Json golden = fixture()["golden"];
  const std::vector<double> tried = {0,
                                     0.7639320225002103,
                                     2,
                                     1.2360679774997898,
                                     0.4721359549995794,
                                     0.2917960675006309,
                                     0.1803398874989485};
  const CommandRun r =
      run("elasticnet(choose=cvex stop=none l2search=golden l2low=0 l2high=2 l2steps=7 "
          "showl2search$)",
          "cvmethod=split(5)");
  ASSERT_EQ(r.status, 0) << r.output;
  const Json rows = theOne(r, "ElasticNetTuneL2")["rows"];
  ASSERT_EQ(rows.size(), tried.size());
  ASSERT_EQ(golden["tries"].size(), tried.size());
  for (size_t k = 0; k < tried.size(); ++k) {
    const std::string at = "try " + std::to_string(k);
    near(number(rows[k]["L2"]), tried[k], 1e-14, at);
    near(number(rows[k]["L2"]), golden["tries"][k]["l2"], 1e-14, at);
    near(number(rows[k]["CriterionValue"]), golden["tries"][k]["bestAverage"], 1e-9, at);
    EXPECT_EQ(rows[k]["OptCriterion"], tried[k] == golden["chosen"] ? 1 : 0) << at;
  }
  near(number(entryValue(theOne(r, "ElasticNetParaSummary"), "Chosen L2")), golden["chosen"], 1e-14,
       "chosen L2");
  // The search by the folds writes no log line, as the search by a criterion does.
  EXPECT_EQ(r.output.find("chosen L2 by golden section search"), std::string::npos) << r.output;
}

// A path that reaches the least-squares fit ends at penalty 0: the folds' last steps and the
// L2 search's ratios show 0 there, never rounding noise (3.6E-18, 1.07E-13 were shown).
TEST(ExternalCv, LastStepsOfThePathsAreExactlyZero) {
  const struct {
    const char* program;
    const char* table;
  } kCases[] = {
      {"proc varsifter data=mtcars_by_cyl; by cyl; class am; model mpg = am wt hp qsec / "
       "selection=lasso(choose=cvex stop=none showcvex) cvmethod=split(3); run;",
       "CVExternal"},
      {"proc varsifter data=diabetes; model y = age sex bmi bp s1-s6 / selection=elasticnet("
       "choose=cvex l2search=golden l2low=0 l2high=0.5 l2steps=6 showl2search stop=none) "
       "cvmethod=split(5); run;",
       "ElasticNetTuneL2"},
  };
  for (const auto& c : kCases) {
    const CommandRun r = runCommand(c.program, VSF_SHARED_DATA);
    ASSERT_EQ(r.status, 0) << r.output;
    int zeros = 0;
    for (const Json& t : findAll(r.document, c.table))
      for (const Json& row : t["rows"]) {
        const double ratio = number(row["L1Ratio"]);
        EXPECT_TRUE(ratio == 0 || ratio > 1e-8) << c.table << " " << row;
        if (row.contains("L1Value")) {
          EXPECT_TRUE(ratio > 0 || number(row["L1Value"]) == 0) << row;
        }
        zeros += ratio == 0;
      }
    EXPECT_GT(zeros, 0) << c.table;
  }
}

// The values a search tries without external cross validation, and the one it keeps: the
// smallest criterion of those tried, which the final fit shows again.
TEST(L2Search, TriedValuesAndTheChosenOne) {
  struct Case {
    const char* options;
    std::vector<double> tried;
    bool logLine;
  } cases[] = {
      {"l2search=grid l2low=0 l2high=1 l2steps=4", {0, 1e-8, 1e-4, 1}, false},
      {"l2search=grid l2low=0.01 l2high=100 l2steps=5", {0.01, 0.1, 1, 10, 100}, false},
      {"l2search=golden l2low=0 l2high=1 l2steps=3", {0, 0.3819660112501051, 1}, true},
  };
  for (const Case& c : cases) {
    const CommandRun r = run(std::string("elasticnet(choose=sbc showl2search$ ") + c.options + ")");
    ASSERT_EQ(r.status, 0) << r.output;
    const Json rows = theOne(r, "ElasticNetTuneL2")["rows"];
    ASSERT_EQ(rows.size(), c.tried.size()) << c.options;
    double best = HUGE_VAL, bestL2 = -1;
    for (size_t k = 0; k < rows.size(); ++k) {
      near(number(rows[k]["L2"]), c.tried[k], 1e-12, c.options);
      if (number(rows[k]["CriterionValue"]) < best)
        best = number(rows[k]["CriterionValue"]), bestL2 = c.tried[k];
    }
    const Json summary = theOne(r, "ElasticNetParaSummary");
    near(number(entryValue(summary, "Chosen L2")), bestL2, 1e-12, c.options);
    EXPECT_EQ(r.output.find("chosen L2 by golden section search") != std::string::npos, c.logLine)
        << c.options;
  }
}

// R-square gives an L2 no score: every L2 tried shows a missing criterion (never 0), the first
// is kept, and the log says why.
TEST(L2Search, ACriterionThatCannotJudgeL2ShowsNoValue) {
  const CommandRun r =
      run("elasticnet(choose=rsquare showl2search$ l2search=grid l2low=0.01 l2high=1 l2steps=3)");
  ASSERT_EQ(r.status, 0) << r.output;
  const Json rows = theOne(r, "ElasticNetTuneL2")["rows"];
  ASSERT_EQ(rows.size(), 3u);
  for (const Json& row : rows) EXPECT_TRUE(std::isnan(number(row["CriterionValue"]))) << row;
  near(number(entryValue(theOne(r, "ElasticNetParaSummary"), "Chosen L2")), 0.01, 1e-12, "L2");
  EXPECT_NE(r.output.find("R-Square cannot judge an L2 value"), std::string::npos) << r.output;
}

// The note of an L2 search that keeps its first L2 names the criterion in words, or says that
// none was given (STOP=NONE, a step count, STEPS=, without CHOOSE=); a criterion that judges
// the L2 leaves no note.
TEST(L2Search, TheNoteNamesWhatCannotJudgeTheL2) {
  const std::string none =
      "NOTE: No criterion judges an L2 value: neither CHOOSE= nor STOP= "
      "names one, so the L2 search scores every L2 alike and keeps the "
      "first it tries, L2=";
  const std::string rest =
      " cannot judge an L2 value: the L2 search scores every L2 alike and "
      "keeps the first it tries, L2=";
  const struct {
    const char* options;
    std::string note;  // empty: no note
  } kCases[] = {
      {"stop=none l2search=grid", none + "0."},
      {"stop=none l2search=grid l2low=0.01 l2high=1 l2steps=3", none + "0.01."},
      {"steps=3 l2search=golden", none + "0."},
      {"stop=4 l2search=grid", none + "0."},
      {"choose=rsquare stop=none l2search=grid", "NOTE: R-Square" + rest + "0."},
      {"stop=l1 l1=0.5 l2search=grid", "NOTE: L1" + rest + "0."},
      {"choose=sbc stop=none l2search=grid", ""},
  };
  for (const auto& c : kCases) {
    const CommandRun r = run(std::string("elasticnet(") + c.options + ")");
    ASSERT_EQ(r.status, 0) << c.options << "\n" << r.output;
    if (c.note.empty())
      EXPECT_EQ(r.output.find("judge"), std::string::npos) << c.options << "\n" << r.output;
    else
      EXPECT_NE(r.output.find(c.note + "\n"), std::string::npos) << c.options << "\n" << r.output;
  }
}

// Group LASSO by external cross validation: each fold's path starts at the held-out ASE of its
// training mean, and the final fit keeps the step of the smallest average over the folds.
TEST(ExternalCv, GroupLassoKeepsTheStepOfTheSmallestAverage) {
  const Json folds = fixture()["lasso"]["folds"];
  const CommandRun r =
      run("grouplasso(choose=cvex showcvex$ stop=none steps=8)", "cvmethod=split(5)");
  ASSERT_EQ(r.status, 0) << r.output;
  std::vector<double> sum(9, 0.0);
  const Json table = theOne(r, "CVExternal");
  for (const Json& row : table["rows"]) {
    const int fold = row["Fold"].get<int>() - 1, step = row["Step"];
    if (step == 0) near(number(row["ASEValidate"]), folds[fold]["ase"][0], 1e-9, "step 0");
    sum[step] += number(row["ASEValidate"]);
  }
  // Step 0, recorded before the path, shows its folds' average too.
  const Json summary = theOne(r, "SelectionSummary");
  near(number(summary["rows"][0]["CVEXPRESS"]), sum[0] / 5, 1e-9, "step 0 average");
  const size_t best = std::min_element(sum.begin() + 1, sum.end()) - sum.begin();
  EXPECT_NE(r.output.find("is the model at Step " + std::to_string(best) + "."), std::string::npos)
      << r.output;
}

// The LASSO's estimates at a ratio: linear in lambda between the reference knots.
Json lassoAt(double ratio) {
  std::ifstream in(std::string(VSF_TEST_DATA) + "/penalized/path_knots.json");
  const Json knots = Json::parse(in).at("diabetes_lasso");
  size_t k = 1;
  while (k + 1 < knots.size() && knots[k]["ratio"].get<double>() > ratio) ++k;
  const double a = knots[k - 1]["ratio"], b = knots[k]["ratio"], t = (a - ratio) / (a - b);
  Json want = knots[k]["estimates"];
  for (auto& [parm, value] : want.items()) {
    const double before = knots[k - 1]["estimates"].value(parm, 0.0);
    value = before + t * (value.get<double>() - before);
  }
  return want;
}

void expectLasso(const Json& table, double ratio, const std::string& at) {
  const Json want = lassoAt(ratio);
  for (const Json& row : table["rows"]) {
    const std::string parm = row["Parameter"];
    const double w = want.value(parm, 0.0);
    near(number(row["Estimate"]), w, 1e-7, at + " " + parm);
  }
  EXPECT_EQ(table["rows"].size(), want.size()) << at << table["rows"];
}

TEST(Optimizer, GroupLassoOfSingleColumnsIsTheLasso) {
  const CommandRun r =
      run("grouplasso(stop=none rho=0.8 tol=1e-13 steps=6)", "details=steps(parmest)");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<Json> steps = findAll(r.document, "ParameterEstimates");
  ASSERT_GE(steps.size(), 7u);
  for (size_t k = 1; k <= 6; ++k)
    expectLasso(steps[k], std::pow(0.8, double(k)), "step " + std::to_string(k));
}

// The labels of a summary cell, one word each.
std::vector<std::string> words(const Json& cell) {
  std::istringstream in(cell.get<std::string>());
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// Each step of the group path may move several effects. DETAILS=STEPS reads them back from
// the result stream: every step names the moves the summary shows (it said "No effect
// changed" at every step), ORDERSELECT lists each step's estimates in the order the effects
// entered, and step 0 is the intercept alone at the response's mean (it showed 0).
TEST(Optimizer, GroupLassoStepDetailsNameEachStepsMoves) {
  const Csv d = readCsv(std::string(VSF_SHARED_DATA) + "/diabetes.csv");
  double mean = 0;
  for (size_t i = 0; i < d.rows.size(); ++i) mean += d.number(i, "y") / d.rows.size();
  const CommandRun r = runCommand(
      "proc varsifter data=diabetes; class sex; model y = age sex bmi bp s1-s6 / "
      "selection=grouplasso(stop=none steps=12 rho=0.7) details=steps(parmest) orderselect; run;",
      VSF_SHARED_DATA);
  ASSERT_EQ(r.status, 0) << r.output;
  const Json summary = theOne(r, "SelectionSummary")["rows"];
  std::vector<std::vector<Json>> steps;  // each step group's items
  for (const Json& item : r.document["output"])
    if (item.value("name", "") == "StepDetails")
      for (const Json& group : item["items"]) steps.push_back(group["items"]);
  ASSERT_EQ(steps.size(), summary.size());
  std::vector<std::string> order = {"Intercept"};
  for (size_t k = 0; k < steps.size(); ++k) {
    const std::string at = "step " + std::to_string(k);
    std::string said;
    Json rows;
    for (const Json& item : steps[k]) {
      if (item.value("type", "") == "heading" && item.value("level", 0) == 3)
        said += item["text"].get<std::string>();
      if (item.value("name", "") == "ParameterEstimates") rows = item["rows"];
    }
    const std::vector<std::string> in = words(summary[k]["EffectEntered"]),
                                   out = words(summary[k]["EffectRemoved"]);
    std::string want;
    if (!in.empty()) want += "Effect Entered: " + summary[k]["EffectEntered"].get<std::string>();
    if (!out.empty()) want += "Effect Removed: " + summary[k]["EffectRemoved"].get<std::string>();
    EXPECT_EQ(said, want.empty() ? "No effect changed at this step" : want) << at;
    for (const std::string& e : in)
      if (std::find(order.begin(), order.end(), e) == order.end()) order.push_back(e);
    // The estimates in order of entry, those of effects that left skipped.
    std::vector<std::string> shown;
    for (const Json& row : rows)
      if (shown.empty() || shown.back() != row["Effect"]) shown.push_back(row["Effect"]);
    std::vector<std::string> expected;
    for (const std::string& e : order)
      if (std::find(shown.begin(), shown.end(), e) != shown.end()) expected.push_back(e);
    EXPECT_EQ(shown, expected) << at;
    EXPECT_EQ(shown.size(), static_cast<size_t>(summary[k]["nEffectsIn"].get<int>())) << at;
  }
  EXPECT_GT(order.size(), 5u);
  const Json first = findAll(r.document, "ParameterEstimates")[0]["rows"];
  ASSERT_EQ(first.size(), 1u);
  near(number(first[0]["Estimate"]), mean, 1e-9, "step 0 intercept");
}

// Between two knots, where no coefficient sits at its threshold.
TEST(Optimizer, OneFitIsTheLassoAtItsRatio) {
  std::ifstream in(std::string(VSF_TEST_DATA) + "/penalized/path_knots.json");
  const Json knots = Json::parse(in).at("diabetes_lasso");
  const double ratio = (knots[3]["ratio"].get<double>() + knots[4]["ratio"].get<double>()) / 2;
  std::ostringstream l1;
  l1.precision(17);
  l1 << ratio;
  const CommandRun r = run("hxlasso$(stop=l1 l1=" + l1.str() + " tol=1e-14)");
  ASSERT_EQ(r.status, 0) << r.output;
  expectLasso(theOne(r, "ParameterEstimates"), ratio, "between knots 3 and 4");
}

}  // namespace
}  // namespace vsf::test
