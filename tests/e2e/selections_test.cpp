// Whole selections through the command, read from its JSON document, against R's step() and lm
// (tests/reference/e2e_selections.R): the moves of FORWARD, BACKWARD and STEPWISE with their
// criterion values, and the selected model's ANOVA, fit statistics and parameter estimates;
// observation counts and CLASS levels beside them. Each case runs again on one thread, on four
// workers over the smallest pages, on one thread over those pages and with the crossproducts
// built effect by effect: the same tables, and threaded runs equal sequential ones exactly.
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

// A fixture of tests/data/e2e: rows of cells by column name; "NA" stays as it is.
struct Fixture {
  std::vector<std::map<std::string, std::string>> rows;
  std::vector<std::map<std::string, std::string>> of(const std::string& name) const {
    std::vector<std::map<std::string, std::string>> out;
    for (const auto& r : rows)
      if (r.at("case") == name) out.push_back(r);
    return out;
  }
};

Fixture readFixture(const std::string& file) {
  const Csv t = readCsv("e2e/" + file);
  Fixture f;
  for (const auto& cells : t.rows) {
    std::map<std::string, std::string> row;
    for (size_t k = 0; k < t.header.size() && k < cells.size(); ++k) row[t.header[k]] = cells[k];
    f.rows.push_back(row);
  }
  return f;
}

// R's number against the command's: a missing reference wants a missing cell.
void expectClose(const Json& cell, const std::string& reference, double relative,
                 const std::string& what) {
  const double want = Csv::cellNumber(reference);
  if (std::isnan(want)) {
    EXPECT_FALSE(cell.is_number()) << what << ": " << cell;
    return;
  }
  ASSERT_TRUE(cell.is_number()) << what << ": " << cell;
  EXPECT_NEAR(cell.get<double>(), want, relative * std::max(1.0, std::fabs(want))) << what;
}

// p-values reach far below 1: they are compared relative to themselves.
void expectCloseP(const Json& cell, const std::string& reference, const std::string& what) {
  const double want = Csv::cellNumber(reference);
  if (std::isnan(want)) {
    EXPECT_FALSE(cell.is_number()) << what << ": " << cell;
    return;
  }
  ASSERT_TRUE(cell.is_number()) << what << ": " << cell;
  EXPECT_NEAR(cell.get<double>(), want, 1e-7 * want + 1e-300) << what;
}

struct SelectionCase {
  const char* name;  // the fixtures' case
  const char* data;
  const char* statements;  // between the PROC statement and RUN
  const char* criterion;   // the SELECT criterion's column in the summary
  double observations;     // read and used
  double training;         // 0: no roles
  std::vector<std::pair<std::string, std::string>> classes;  // variable, levels in order
  bool backward;
};

const SelectionCase kCases[] = {
    {"mtcars_forward_aic",
     "mtcars",
     "class cyl gear am; model mpg = cyl gear am disp hp drat wt qsec / "
     "selection=forward(select=aic);",
     "AIC",
     32,
     0,
     {{"cyl", "4 6 8"}, {"gear", "3 4 5"}, {"am", "0 1"}},
     false},
    {"mtcars_backward_sbc",
     "mtcars",
     "class cyl gear am; model mpg = cyl gear am disp hp drat wt qsec / "
     "selection=backward(select=sbc);",
     "SBC",
     32,
     0,
     {{"cyl", "4 6 8"}, {"gear", "3 4 5"}, {"am", "0 1"}},
     true},
    {"mtcars_stepwise_aic",
     "mtcars",
     "class vs am; model mpg = disp hp drat wt qsec vs am / selection=stepwise(select=aic);",
     "AIC",
     32,
     0,
     {{"vs", "0 1"}, {"am", "0 1"}},
     false},
    // Every effect enters, then disp leaves: DROP=COMPETITIVE still weighs the removals once
    // no effect is left to enter.
    {"mtcars_competitive_sbc",
     "mtcars",
     "class am; model mpg = disp hp am / selection=stepwise(select=sbc drop=competitive);",
     "SBC",
     32,
     0,
     {{"am", "0 1"}},
     false},
    // From the model of the first three effects, which may leave.
    {"mtcars_start_sbc",
     "mtcars",
     "model mpg = disp hp drat wt qsec / selection=stepwise(select=sbc start=3 drop=competitive);",
     "SBC",
     32,
     0,
     {},
     false},
    {"mtcars_split_sbc",
     "mtcars",
     "class cyl(split); model mpg = cyl disp hp wt / selection=forward(select=sbc);",
     "SBC",
     32,
     0,
     {{"cyl", "4 6 8"}},
     false},
    {"mtcars_roles_sbc",
     "mtcars",
     "partition role=vs(train='0' test='1'); model mpg = disp hp drat wt qsec / "
     "selection=forward(select=sbc);",
     "SBC",
     32,
     18,
     {},
     false},
    {"diabetes_forward_sbc",
     "diabetes",
     "class sex; model y = age sex bmi bp s1-s6 / selection=forward(select=sbc);",
     "SBC",
     442,
     0,
     {{"sex", "1 2"}},
     false},
    {"diabetes_backward_aic",
     "diabetes",
     "class sex; model y = age sex bmi bp s1-s6 / selection=backward(select=aic);",
     "AIC",
     442,
     0,
     {{"sex", "1 2"}},
     true},
    {"diabetes_stepwise_sbc",
     "diabetes",
     "class sex; model y = age sex bmi bp s1-s6 / selection=stepwise(select=sbc);",
     "SBC",
     442,
     0,
     {{"sex", "1 2"}},
     false},
    {"diabetes_start_forward_aic",
     "diabetes",
     "class sex; model y = age sex bmi bp s1-s6 / selection=forward(select=aic start=2);",
     "AIC",
     442,
     0,
     {{"sex", "1 2"}},
     false},
};

struct Setting {
  const char* name;
  const char* performance;  // a PERFORMANCE statement, or empty
  const char* options;      // command-line options
};

const Setting kDefault{"default", "", ""};
const Setting kOneThread{"one thread", "", "--nothreads"};
const Setting kSmallPagesThreaded{"four workers, smallest pages",
                                  "performance threads cpucount=4 util_pagesize$=1;", ""};
const Setting kSmallPagesSequential{"one thread, smallest pages",
                                    "performance nothreads util_pagesize$=1;", ""};
const Setting kIncremental{"crossproducts effect by effect", "performance buildsscp=incremental;",
                           ""};

CommandRun runCase(const SelectionCase& c, const Setting& s) {
  const std::string program = std::string("proc varsifter data=") + c.data + "; " + c.statements +
                              " " + s.performance + " run;";
  return runCommand(program, VSF_SHARED_DATA, s.options);
}

// The tables of one selection, for the fixtures' case `name`.
struct ShownSelection {
  Json summary, anova, fit, estimates;
};

ShownSelection shownOf(const CommandRun& r) {
  return {theOne(r, "SelectionSummary"), theOne(r, "ANOVA"), theOne(r, "FitStatistics"),
          theOne(r, "ParameterEstimates")};
}

// The summary's step 0 may take several rows (the intercept, forced and START effects, one
// each); its last row holds the starting model that R's step 0 is.
void checkSummary(const std::string& name, const char* criterion, const Json& summary,
                  const Fixture& steps) {
  const auto want = steps.of(name);
  ASSERT_TRUE(summary.is_object()) << name;
  size_t first = 0;
  while (first + 1 < summary["rows"].size() && summary["rows"][first + 1]["Step"] == 0) ++first;
  ASSERT_EQ(summary["rows"].size() - first, want.size()) << name;
  for (size_t i = 0; i < want.size(); ++i) {
    const Json& row = summary["rows"][first + i];
    const std::string at = name + " step " + std::to_string(i);
    EXPECT_EQ(row["Step"], static_cast<int>(i)) << at;
    if (i > 0) {  // step 0 is the start: the intercept, or the full model
      EXPECT_EQ(row.value("EffectEntered", ""), want[i].at("entered")) << at;
      EXPECT_EQ(row.value("EffectRemoved", ""), want[i].at("removed")) << at;
    }
    expectClose(row[criterion], want[i].at("value"), 1e-9, at + " " + criterion);
  }
}

void checkSelectedModel(const std::string& name, const ShownSelection& shown, const Fixture& anova,
                        const Fixture& fit, const Fixture& parms) {
  const Json& a = shown.anova;
  const auto wantAnova = anova.of(name);
  ASSERT_EQ(a["rows"].size(), wantAnova.size());
  for (size_t i = 0; i < wantAnova.size(); ++i) {
    const Json& row = a["rows"][i];
    const auto& w = wantAnova[i];
    EXPECT_EQ(row["Source"], w.at("source"));
    expectClose(row["DF"], w.at("df"), 0, name + " ANOVA DF");
    expectClose(row["SS"], w.at("ss"), 1e-9, name + " ANOVA SS");
    expectClose(row["MS"], w.at("ms"), 1e-9, name + " ANOVA MS");
    expectClose(row["FValue"], w.at("f"), 1e-9, name + " ANOVA F");
    expectCloseP(row["ProbF"], w.at("p"), name + " ANOVA p");
  }

  const Json& f = shown.fit;
  for (const auto& w : fit.of(name))
    expectClose(entryValue(f, w.at("statistic")), w.at("value"), 1e-9,
                name + " " + w.at("statistic"));

  const Json& pe = shown.estimates;
  const auto wantParms = parms.of(name);
  ASSERT_EQ(pe["rows"].size(), wantParms.size()) << name;
  for (const auto& w : wantParms) {
    const std::string at = name + " " + w.at("effect") + " " + w.at("level");
    const Json* found = nullptr;
    for (const Json& row : pe["rows"]) {
      if (row["Effect"] != w.at("effect")) continue;
      if (!w.at("level").empty() && number(row[w.at("effect")]) != std::stod(w.at("level")))
        continue;
      found = &row;
    }
    ASSERT_NE(found, nullptr) << at;
    EXPECT_EQ((*found)["DF"], std::stoi(w.at("df"))) << at;
    expectClose((*found)["Estimate"], w.at("estimate"), 1e-9, at + " estimate");
    expectClose((*found)["StdErr"], w.at("stderr"), 1e-9, at + " standard error");
    expectClose((*found)["tValue"], w.at("t"), 1e-9, at + " t");
    expectCloseP((*found)["Probt"], w.at("p"), at + " p");
  }
}

void checkCounts(const SelectionCase& c, const CommandRun& r) {
  const Json nobs = theOne(r, "NObs");
  std::map<std::string, double> n;
  for (const Json& row : nobs["rows"]) n[row["Label"]] = number(row["N"]);
  EXPECT_EQ(n["Number of Observations Read"], c.observations) << c.name;
  EXPECT_EQ(n["Number of Observations Used"], c.observations) << c.name;
  if (c.training > 0) {
    EXPECT_EQ(n["Number of Observations Used for Training"], c.training) << c.name;
    EXPECT_EQ(n["Number of Observations Used for Testing"], c.observations - c.training) << c.name;
  } else {
    EXPECT_EQ(nobs["rows"].size(), 2u) << c.name;
  }
  if (c.classes.empty()) {
    EXPECT_TRUE(findAll(r.document, "ClassLevelInfo").empty()) << c.name;
    return;
  }
  const Json levels = theOne(r, "ClassLevelInfo");
  ASSERT_EQ(levels["rows"].size(), c.classes.size());
  for (size_t k = 0; k < c.classes.size(); ++k) {
    EXPECT_EQ(levels["rows"][k]["Class"], c.classes[k].first) << c.name;
    EXPECT_EQ(levels["rows"][k]["Values"], c.classes[k].second) << c.name;
  }
}

// The tables a run's selection shows, as the document holds them.
Json shownTables(const CommandRun& r) {
  Json all = Json::object();
  for (const char* name :
       {"SelectionSummary", "StopDetails", "ANOVA", "FitStatistics", "ParameterEstimates"}) {
    std::vector<Json> found = findAll(r.document, name);
    if (found.size() == 1)
      all[name] = found.front().contains("rows") ? found.front()["rows"] : found.front()["entries"];
  }
  return all;
}

class Selections : public ::testing::TestWithParam<SelectionCase> {
 protected:
  static void SetUpTestSuite() {
    steps_ = new Fixture(readFixture("selection_steps.csv"));
    anova_ = new Fixture(readFixture("selection_anova.csv"));
    fit_ = new Fixture(readFixture("selection_fit.csv"));
    parms_ = new Fixture(readFixture("selection_parms.csv"));
  }
  static void TearDownTestSuite() {
    delete steps_;
    delete anova_;
    delete fit_;
    delete parms_;
  }
  void check(const SelectionCase& c, const CommandRun& r) {
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("ended with return code 0"), std::string::npos) << r.output;
    checkCounts(c, r);
    const ShownSelection shown = shownOf(r);
    checkSummary(c.name, c.criterion, shown.summary, *steps_);
    checkSelectedModel(c.name, shown, *anova_, *fit_, *parms_);
  }
  static Fixture* steps_;
  static Fixture* anova_;
  static Fixture* fit_;
  static Fixture* parms_;
};

Fixture* Selections::steps_ = nullptr;
Fixture* Selections::anova_ = nullptr;
Fixture* Selections::fit_ = nullptr;
Fixture* Selections::parms_ = nullptr;

TEST_P(Selections, AgreeWithRUnderEverySetting) {
  const SelectionCase& c = GetParam();
  std::map<std::string, Json> tables;
  for (const Setting* s :
       {&kDefault, &kOneThread, &kSmallPagesThreaded, &kSmallPagesSequential, &kIncremental}) {
    // BACKWARD builds the whole matrix whatever BUILDSSCP= says (with a warning).
    if (s == &kIncremental && c.backward) continue;
    SCOPED_TRACE(s->name);
    const CommandRun r = runCase(c, *s);
    check(c, r);
    tables[s->name] = shownTables(r);
  }
  EXPECT_EQ(tables[kDefault.name], tables[kOneThread.name]);
  EXPECT_EQ(tables[kSmallPagesThreaded.name], tables[kSmallPagesSequential.name]);
}

// DETAILS=STEPS shows every step's model as the result stream recorded it: each step's
// estimates are lm's of that step's model.
TEST_P(Selections, StepDetailsShowEachStepsModel) {
  const SelectionCase& c = GetParam();
  std::string statements = c.statements;
  statements.replace(statements.find("/ selection="), 2, "/ details=steps ");
  const CommandRun r = runCommand(
      std::string("proc varsifter data=") + c.data + "; " + statements + " run;", VSF_SHARED_DATA);
  ASSERT_EQ(r.status, 0) << r.output;
  const Fixture steps = readFixture("selection_step_parms.csv");
  std::map<int, std::vector<std::map<std::string, std::string>>> byStep;
  for (const auto& row : steps.of(c.name)) byStep[std::stoi(row.at("step"))].push_back(row);
  ASSERT_FALSE(byStep.empty());
  std::map<std::string, Json> shown;
  for (const Json& t : findAll(r.document, "ParameterEstimates")) shown[t["path"]] = t;
  for (const auto& [step, want] : byStep) {
    const std::string path = "StepDetails.Step" + std::to_string(step) + ".ParameterEstimates";
    ASSERT_TRUE(shown.count(path)) << path << "\n" << r.output;
    const Json& rows = shown[path]["rows"];
    ASSERT_EQ(rows.size(), want.size()) << path;
    for (const auto& w : want) {
      const std::string at = path + " " + w.at("effect") + " " + w.at("level");
      const Json* found = nullptr;
      for (const Json& row : rows)
        if (row["Effect"] == w.at("effect") &&
            (w.at("level").empty() || number(row[w.at("effect")]) == std::stod(w.at("level"))))
          found = &row;
      ASSERT_NE(found, nullptr) << at;
      expectClose((*found)["Estimate"], w.at("estimate"), 1e-9, at + " estimate");
      expectClose((*found)["StdErr"], w.at("stderr"), 1e-9, at + " standard error");
    }
  }
  // The last step is the selected model.
  const std::string last =
      "StepDetails.Step" + std::to_string(byStep.rbegin()->first) + ".ParameterEstimates";
  EXPECT_EQ(shown[last]["rows"], shown["SelectedModel.ParameterEstimates"]["rows"]);
}

// BY groups: each group's selection is its own, as R's on that group's rows alone; threaded
// equals sequential here too.
TEST(SelectionsByGroup, EachGroupAgreesWithR) {
  const Fixture steps = readFixture("selection_steps.csv");
  const Fixture anova = readFixture("selection_anova.csv");
  const Fixture fit = readFixture("selection_fit.csv");
  const Fixture parms = readFixture("selection_parms.csv");
  std::vector<Json> documents;
  for (const char* options : {"", "--nothreads"}) {
    const CommandRun r = runCommand(
        "proc varsifter data=mtcars_by_am; by am;"
        " model mpg = disp hp drat wt qsec / selection=forward(select=aic); run;",
        VSF_TEST_DATA "/e2e", options);
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<Json> summaries = findAll(r.document, "SelectionSummary");
    const std::vector<Json> anovas = findAll(r.document, "ANOVA");
    const std::vector<Json> fits = findAll(r.document, "FitStatistics");
    const std::vector<Json> estimates = findAll(r.document, "ParameterEstimates");
    ASSERT_EQ(summaries.size(), 2u) << r.output;
    ASSERT_EQ(anovas.size(), 2u);
    ASSERT_EQ(fits.size(), 2u);
    ASSERT_EQ(estimates.size(), 2u);
    for (int g = 0; g < 2; ++g) {
      const std::string name = "mtcars_by_am" + std::to_string(g);
      checkSummary(name, "AIC", summaries[g], steps);
      checkSelectedModel(name, {summaries[g], anovas[g], fits[g], estimates[g]}, anova, fit, parms);
    }
    EXPECT_EQ(r.document["macros"].value("_VSFNUMBYS", ""), "2");
    documents.push_back(Json::array({summaries, anovas, fits, estimates}));
  }
  EXPECT_EQ(documents[0], documents[1]);
}

// CHOOSE=CV over SPLIT folds along a path that enters every effect: every step's CV PRESS, the
// chosen step (not the last), the selected model's fold PRESS (CVDetails) and its per-fold
// estimates (CVDETAILS=ALL) are R's, threaded or not.
TEST(SelectionsByCrossValidation, FoldsAgreeWithR) {
  const std::string name = "diabetes_cv_split";
  const Fixture press = readFixture("selection_cv_press.csv");
  const Fixture estimates = readFixture("selection_cv_estimates.csv");
  std::map<int, std::map<int, std::string>> byStep;  // step -> fold -> PRESS (fold 0 the sum)
  for (const auto& row : press.of(name))
    byStep[std::stoi(row.at("step"))][std::stoi(row.at("fold"))] = row.at("press");
  int chosen = 0;
  for (const auto& [step, folds] : byStep)
    if (Csv::cellNumber(folds.at(0)) < Csv::cellNumber(byStep[chosen].at(0))) chosen = step;
  EXPECT_LT(chosen, static_cast<int>(byStep.size()) - 1);  // the chosen step's own folds
  std::vector<Json> runs;
  for (const char* options : {"", "--nothreads"}) {
    const CommandRun r = runCommand(
        "proc varsifter data=diabetes; class sex; model y = age sex bmi bp s1-s6 /"
        " selection=forward(select=sbc stop=none choose=cv) cvmethod=split(5) cvdetails=all;"
        " run;",
        VSF_SHARED_DATA, options);
    ASSERT_EQ(r.status, 0) << r.output;
    const Json summary = theOne(r, "SelectionSummary");
    ASSERT_EQ(summary["rows"].size(), byStep.size());
    for (const Json& row : summary["rows"]) {
      const int step = row["Step"];
      expectClose(row["CVPRESS"], byStep[step].at(0), 1e-9,
                  "CV PRESS of step " + std::to_string(step));
      EXPECT_EQ(row["OptCVPRESS"], step == chosen ? 1 : 0) << step;
    }
    std::vector<Json> details;
    for (const Json& t : findAll(r.document, "CVDetails"))
      if (t["path"] == "SelectedModel.CVDetails") details.push_back(t);
    ASSERT_EQ(details.size(), 1u) << r.output;
    ASSERT_GE(details[0]["rows"].size(), 5u);
    for (int f = 1; f <= 5; ++f)
      expectClose(details[0]["rows"][f - 1]["CVPRESS"], byStep[chosen].at(f), 1e-9,
                  "fold " + std::to_string(f) + " PRESS");
    const Json pe = theOne(r, "ParameterEstimates");
    for (const auto& w : estimates.of(name)) {
      const std::string at = w.at("effect") + " " + w.at("level") + " fold " + w.at("fold");
      const Json* found = nullptr;
      for (const Json& row : pe["rows"])
        if (row["Effect"] == w.at("effect") &&
            (w.at("level").empty() || number(row[w.at("effect")]) == std::stod(w.at("level"))))
          found = &row;
      ASSERT_NE(found, nullptr) << at;
      expectClose((*found)["CVEstimate" + w.at("fold")], w.at("estimate"), 1e-9, at);
    }
    runs.push_back(Json::array({summary["rows"], details[0]["rows"], pe["rows"]}));
  }
  EXPECT_EQ(runs[0], runs[1]);
}

// The fit statistics' Dependent Mean is the response's mean (R's) whatever the rows the fit
// works on: rows taken as standardized (NOSTANDARDIZE$), a model without intercept whose
// external cross validation folds work on the crossproducts (mtcars) or on the rows
// (diabetes), and a sample's fit of every row.
TEST(SelectionsDependentMean, IsTheResponseMeanOnEveryRoad) {
  const Fixture fit = readFixture("selection_fit.csv");
  auto meanOf = [&](const std::string& name) {
    for (const auto& w : fit.of(name))
      if (w.at("statistic") == "Dependent Mean") return w.at("value");
    return std::string();
  };
  const std::string mtcars = "proc varsifter data=mtcars seed=1; model mpg = cyl disp hp wt / ";
  const std::string diabetes =
      "proc varsifter data=diabetes seed=1; class sex; model y = age sex bmi bp s1-s6 / ";
  const struct {
    std::string program, reference;
  } cases[] = {
      {mtcars + "selection=stepwise nostandardize$; run;", "mtcars_forward_aic"},
      {mtcars + "selection=lasso(stop=none) nostandardize$; run;", "mtcars_forward_aic"},
      {mtcars + "selection=lasso(choose=cvex) cvmethod=split(4) noint; run;", "mtcars_forward_aic"},
      {mtcars + "selection=lar nostandardize$;"
                " modelaverage nsamples=2 sampling=srs(percent=100) details; run;",
       "mtcars_forward_aic"},
      {diabetes + "selection=lasso(choose=cvex) cvmethod=split(5) noint; run;",
       "diabetes_forward_sbc"},
      {diabetes + "selection=forward nostandardize$ noint; run;", "diabetes_forward_sbc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    const CommandRun r = runCommand(c.program, VSF_SHARED_DATA);
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<Json> fits = findAll(r.document, "FitStatistics");
    ASSERT_FALSE(fits.empty()) << r.output;
    for (const Json& f : fits)
      expectClose(entryValue(f, "Dependent Mean"), meanOf(c.reference), 1e-12, "");
  }
}

INSTANTIATE_TEST_SUITE_P(PublicData, Selections, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SelectionCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace vsf::test
