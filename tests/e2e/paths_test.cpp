// The LAR, LASSO and elastic-net paths through the command, against the knots of
// tests/reference/path_fixtures.py (a homotopy solved with numpy, checked against
// scikit-learn's lars_path and ElasticNet and against glmnet): at every knot the effect that
// enters or leaves, lambda over lambda-max, the SSE and the estimates on the data's scale, for
// every method and variant on Diabetes and Boston; over the whole crossproducts matrix and by
// passes over the rows, on one thread and on eight workers over small pages (the same numbers
// bit for bit). Then what a user reads of a path that stops and chooses, of a path cut at an
// L1 target, of a response in tiny units, of the screening rules on 300 x 2,000 synthetic rows,
// and the Dimensions table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

Json fixture(const std::string& file) {
  std::ifstream in(std::string(VSF_TEST_DATA) + "/penalized/" + file);
  return Json::parse(in);
}

struct Data {
  const char* name;
  const char* library;
  const char* model;
};
const Data kDiabetes{"diabetes", VSF_SHARED_DATA, "y = age sex bmi bp s1-s6"};
const Data kBoston{"boston", VSF_TEST_DATA "/averaging",
                   "medv = crim zn indus chas nox rm age dis rad tax ptratio black lstat"};

// The fixture's case (after the data set's name) and the SELECTION= that fits it.
struct PathCase {
  const char* variant;
  const char* selection;
};
const PathCase kPaths[] = {
    {"lar", "lar(stop=none)"},
    {"lar_ls", "lar(stop=none lscoeffs)"},
    {"lasso", "lasso(stop=none showstepl1$)"},
    {"lasso_ls", "lasso(stop=none lscoeffs showstepl1$)"},
    {"enet_0.5", "elasticnet(stop=none l2=0.5 showstepl1$)"},
    {"enet_0.5_enscale", "elasticnet(stop=none l2=0.5 enscale showstepl1$)"},
    {"enet_0.02", "elasticnet(stop=none l2=0.02 showstepl1$)"},
    {"enet_0.02_enscale", "elasticnet(stop=none l2=0.02 enscale showstepl1$)"},
    {"adaptive_1", "lasso(stop=none adaptive showstepl1$)"},
    {"adaptive_0.5", "lasso(stop=none adaptive(gamma=0.5) showstepl1$)"},
};

// In pairs over the same pages (a pass sums page by page): one thread, then eight workers.
struct Setting {
  const char* name;
  const char* performance;
  const char* options;
};
const Setting kSettings[] = {
    {"whole matrix, one thread", "performance nothreads util_pagesize$=1 util_buffers$=1;", ""},
    {"whole matrix, eight workers",
     "performance threads cpucount=8 util_pagesize$=1 util_buffers$=1;", ""},
    {"passes, one thread",
     "performance nothreads buildsscp=incremental util_pagesize$=1 util_buffers$=1;", ""},
    {"passes, eight workers",
     "performance threads cpucount=8 buildsscp=incremental util_pagesize$=1 util_buffers$=1;", ""},
};
const Setting kDefault{"default", "", ""};

CommandRun runPath(const Data& d, const std::string& selection, const std::string& more,
                   const Setting& s = kDefault, const std::string& library = "") {
  const std::string program = std::string("proc varsifter data=") + d.name + "; model " + d.model +
                              " / selection=" + selection + " " + more + "; " + s.performance +
                              " run;";
  return runCommand(program, library.empty() ? d.library : library, s.options);
}

// "+name" for an entry, "-name" for a removal.
std::string eventOf(const Json& row) {
  const std::string in = row.value("EffectEntered", "");
  return in.empty() ? "-" + row.value("EffectRemoved", "") : "+" + in;
}

void expectEstimates(const Json& table, const Json& want, double factor, const std::string& at) {
  ASSERT_EQ(table["rows"].size(), want.size()) << at << ": " << table["rows"];
  for (const Json& row : table["rows"]) {
    const std::string parm = row["Parameter"];
    ASSERT_TRUE(want.contains(parm)) << at << " " << parm;
    const double w = want[parm].get<double>() * factor;
    EXPECT_NEAR(number(row["Estimate"]), w, 1e-9 * std::max(factor, std::fabs(w))) << at << parm;
  }
}

// Every knot of a run with DETAILS=STEPS(ANOVA PARMEST) against the reference.
void checkKnots(const CommandRun& r, const Json& knots) {
  const Json summary = theOne(r, "SelectionSummary");
  const std::vector<Json> anova = findAll(r.document, "ANOVA");
  const std::vector<Json> estimates = findAll(r.document, "ParameterEstimates");
  ASSERT_EQ(summary["rows"].size(), knots.size());
  ASSERT_GE(anova.size(), knots.size());
  ASSERT_GE(estimates.size(), knots.size());
  for (size_t k = 0; k < knots.size(); ++k) {
    const Json& row = summary["rows"][k];
    const Json& knot = knots[k];
    const std::string at = "knot " + std::to_string(k);
    if (k > 0) {
      EXPECT_EQ(eventOf(row), knot["event"]) << at;
    }
    if (row.contains("StepL1Ratio")) {
      EXPECT_NEAR(number(row["StepL1Ratio"]), knot["ratio"].get<double>(), 1e-9) << at;
    }
    double sse = NAN;
    for (const Json& a : anova[k]["rows"])
      if (a["Source"] == "Error") sse = number(a["SS"]);
    EXPECT_NEAR(sse, knot["sse"].get<double>(), 1e-9 * knot["sse"].get<double>()) << at;
    expectEstimates(estimates[k], knot["estimates"], 1.0, at);
  }
}

// What a run shows of its path, for comparisons between runs.
Json pathTables(const CommandRun& r) {
  Json out = Json::array({theOne(r, "SelectionSummary")["rows"]});
  for (const char* name : {"ANOVA", "ParameterEstimates"})
    for (const Json& t : findAll(r.document, name)) out.push_back(t["rows"]);
  return out;
}

TEST(PathKnots, MatchTheReferencesOnEveryRoad) {
  const Json all = fixture("path_knots.json");
  for (const Data& d : {kDiabetes, kBoston})
    for (const PathCase& p : kPaths) {
      const std::string name = std::string(d.name) + "_" + p.variant;
      Json oneThread;
      for (size_t i = 0; i < std::size(kSettings); ++i) {
        SCOPED_TRACE(name + ", " + kSettings[i].name);
        const CommandRun r = runPath(d, p.selection, "details=steps(anova parmest)", kSettings[i]);
        ASSERT_EQ(r.status, 0) << r.output;
        checkKnots(r, all.at(name));
        if (i % 2 == 0) {
          oneThread = pathTables(r);
        } else {
          EXPECT_TRUE(pathTables(r) == oneThread) << "eight workers differ from one";
        }
      }
    }
}

// With training and validation rows the path is the training rows', and every step shows
// the ASE of both at its knot.
TEST(PathSelections, ValidationRowsFollowTheTrainingPath) {
  const Json knots = fixture("path_knots.json").at("diabetes_roles_lasso");
  const Data d{"diabetes", VSF_SHARED_DATA, "y = age bmi bp s1-s6"};
  const Setting roles{"roles", "partition role=sex(train='1' validate='2');", ""};
  const CommandRun r =
      runPath(d, "lasso(stop=none showstepl1$)", "details=steps(anova parmest)", roles);
  ASSERT_EQ(r.status, 0) << r.output;
  checkKnots(r, knots);
  const Json summary = theOne(r, "SelectionSummary");
  for (size_t k = 0; k < knots.size(); ++k)
    for (const auto& [column, key] : {std::pair{"ASE", "ase"}, {"ValidationASE", "valid_ase"}}) {
      const double want = knots[k][key];
      EXPECT_NEAR(number(summary["rows"][k][column]), want, 1e-9 * want) << column << " " << k;
    }
}

// SBC of a reference knot: n ln(SSE / n) + p ln(n), p the model's parameters.
double sbcOf(const Json& knot, double n) {
  return n * std::log(knot["sse"].get<double>() / n) +
         static_cast<double>(knot["estimates"].size()) * std::log(n);
}

// The default STOP=SBC ends a path at the first step that does not lower SBC (the step is
// undone); CHOOSE=SBC picks the best step shown, and the selected model is its knot.
TEST(PathSelections, StopAndChooseBySbc) {
  const Json all = fixture("path_knots.json");
  for (const char* c : {"lasso(choose=sbc)", "lar"}) {
    SCOPED_TRACE(c);
    const Json& knots = all.at(std::string("diabetes_") + (c[1] == 'a' ? "lar" : "lasso"));
    const double n = 442;
    size_t last = 0;
    while (last + 1 < knots.size() && sbcOf(knots[last + 1], n) < sbcOf(knots[last], n)) ++last;
    const CommandRun r = runPath(kDiabetes, c, "");
    ASSERT_EQ(r.status, 0) << r.output;
    const Json summary = theOne(r, "SelectionSummary");
    ASSERT_EQ(summary["rows"].size(), last + 1);
    for (size_t k = 0; k <= last; ++k) {
      const Json& row = summary["rows"][k];
      if (k > 0) {
        EXPECT_EQ(eventOf(row), knots[k]["event"]) << k;
      }
      EXPECT_NEAR(number(row["SBC"]), sbcOf(knots[k], n), 1e-9 * sbcOf(knots[k], n)) << k;
      EXPECT_EQ(row["OptSBC"], k == last ? 1 : 0) << k;
    }
    EXPECT_NE(r.output.find("local minimum of the SBC criterion"), std::string::npos);
    expectEstimates(theOne(r, "ParameterEstimates"), knots[last]["estimates"], 1.0, "selected");
  }
}

// C(p) and BIC of every path step take sigma2 from the error SS of the method's own full model
// (the last step of a path run to its end) over n - p: the elastic net's full model's plain
// error SS (8.95041 on 5 DF at L2=1, with ENSCALE its rescaled estimates'), not that of its
// ridge-augmented crossproducts. C(p) is then p at the full model.
TEST(PathSelections, CpAndBicTakeTheFullModelsOwnVariance) {
  const Data eight{"eight_rows", VSF_TEST_DATA "/e2e", "y = x1 x2"};
  for (const char* method :
       {"elasticnet(l2=1 stop=none choose=cp)", "elasticnet(l2=1 enscale stop=none choose=cp)",
        "lasso(stop=none choose=cp)", "lar(stop=none choose=bic)"}) {
    SCOPED_TRACE(method);
    const CommandRun r = runPath(eight, method, "stats=(cp bic ase)");
    ASSERT_EQ(r.status, 0) << r.output;
    const Json rows = theOne(r, "SelectionSummary")["rows"];
    ASSERT_EQ(rows.size(), 3u);
    const double n = 8, full = n * number(rows.back()["ASE"]), sigma2 = full / (n - 3);
    if (std::string(method) == "elasticnet(l2=1 stop=none choose=cp)") {
      EXPECT_NEAR(full, 8.95041, 1e-5);
    }
    for (const Json& row : rows) {
      const double p = number(row["nParmsIn"]), sse = n * number(row["ASE"]);
      const double q = n * sigma2 / sse;
      EXPECT_NEAR(number(row["CP"]), sse / sigma2 - n + 2 * p, 1e-9) << row;
      EXPECT_NEAR(number(row["BIC"]), n * std::log(sse / n) + 2 * q * (p + 2 - q), 1e-9) << row;
    }
    EXPECT_NEAR(number(rows.back()["CP"]), 3, 1e-9);
  }
}

// A CHOOSE= criterion other than the one that stopped the path chose among the steps before
// the stop: the log says so, and how to take the whole path; never when the path ran to its
// end, when the stop and the choice are one criterion, for a classical method or per sample
// of model averaging.
TEST(PathSelections, AChoiceAmongAStoppedPathIsExplained) {
  const std::string said = "chose among the steps taken before STOP=";
  struct Case {
    const char* selection;
    const char* more;
    const char* note;  // nullptr: none
  } cases[] = {
      {"lasso(choose=cv)", "",
       "NOTE: CHOOSE=CV chose among the steps taken before STOP=SBC stopped the path, not among "
       "the whole path; STOP=NONE runs the whole path for CHOOSE= to choose from."},
      {"lasso(choose=cvex)", "cvmethod=random(5)",
       "CHOOSE=CVEX chose among the steps taken "
       "before STOP=SBC"},
      {"lar(choose=aic stop=3)", "", "CHOOSE=AIC chose among the steps taken before STOP=3"},
      {"lasso(choose=cv stop=none)", "", nullptr},
      {"lasso(choose=sbc)", "", nullptr},
      {"forward(choose=cv)", "", nullptr},
      {"lasso(choose=aic)", "; modelaverage nsamples=3", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selection);
    const CommandRun r = runPath(kDiabetes, c.selection, c.more);
    ASSERT_EQ(r.status, 0) << r.output;
    if (c.note) {
      EXPECT_NE(r.output.find(c.note), std::string::npos) << r.output;
      EXPECT_EQ(r.output.find(said), r.output.rfind(said)) << "said once";
    } else {
      EXPECT_EQ(r.output.find(said), std::string::npos) << r.output;
    }
  }
}

// STOP=L1 cuts the step that would pass the target: the path ends on lambda = 0.3 lambda-max,
// where the LASSO estimates lie on the segment between the reference knots around it.
TEST(PathSelections, StepEndsOnTheL1Target) {
  const Json knots = fixture("path_knots.json").at("diabetes_lasso");
  const CommandRun r = runPath(kDiabetes, "lasso(stop=l1 l1=0.3 showstepl1$)", "");
  ASSERT_EQ(r.status, 0) << r.output;
  const Json rows = theOne(r, "SelectionSummary")["rows"];
  EXPECT_NEAR(number(rows.back()["StepL1Ratio"]), 0.3, 1e-12);
  EXPECT_NE(r.output.find("L1 target was reached"), std::string::npos) << r.output;
  size_t k = 1;
  while (knots[k]["ratio"].get<double>() > 0.3) ++k;
  const double a = knots[k - 1]["ratio"], b = knots[k]["ratio"], t = (a - 0.3) / (a - b);
  Json want = knots[k]["estimates"];
  for (auto& [parm, value] : want.items()) {
    const double before = knots[k - 1]["estimates"].value(parm, 0.0);
    value = before + t * (value.get<double>() - before);
  }
  expectEstimates(theOne(r, "ParameterEstimates"), want, 1.0, "at the target");
}

// A fresh library holding one data set, removed at the end.
struct Library {
  fs::path dir;
  explicit Library(const std::string& name) : dir(processScratch(name)) {
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~Library() { fs::remove_all(dir); }
};

// Diabetes into the directory with each value as `value` gives it (its response or not, its
// value), written in full.
void writeDiabetes(const fs::path& dir, const std::function<double(bool, double)>& value) {
  const Csv d = readCsv(std::string(VSF_SHARED_DATA) + "/diabetes.csv");
  std::ofstream out(dir / "diabetes.csv");
  for (size_t c = 0; c < d.header.size(); ++c) out << (c ? "," : "") << d.header[c];
  out << "\n";
  char cell[32];
  for (size_t i = 0; i < d.rows.size(); ++i)
    for (size_t c = 0; c < d.header.size(); ++c) {
      const bool response = c + 1 == d.header.size();
      std::snprintf(cell, sizeof cell, "%.17g", value(response, d.number(i, c)));
      out << cell << (response ? "\n" : ",");
    }
}

// Ties and small steps are judged relative to the correlation level: a response in units of
// 1e-12 takes the same path, with estimates 1e-12 of the others.
TEST(PathSelections, AResponseInTinyUnitsTakesTheSamePath) {
  const Library lib("vsf_e2e_path_tiny");
  writeDiabetes(lib.dir, [](bool response, double v) { return response ? v * 1e-12 : v; });
  const Json knots = fixture("path_knots.json").at("diabetes_lasso");
  const CommandRun r = runPath(kDiabetes, "lasso(stop=none showstepl1$)", "details=steps(parmest)",
                               kDefault, lib.dir.string());
  ASSERT_EQ(r.status, 0) << r.output;
  const Json rows = theOne(r, "SelectionSummary")["rows"];
  ASSERT_EQ(rows.size(), knots.size());
  const std::vector<Json> estimates = findAll(r.document, "ParameterEstimates");
  for (size_t k = 1; k < knots.size(); ++k) {
    EXPECT_EQ(eventOf(rows[k]), knots[k]["event"]) << k;
    EXPECT_NEAR(number(rows[k]["StepL1Ratio"]), knots[k]["ratio"].get<double>(), 1e-9) << k;
    expectEstimates(estimates[k], knots[k]["estimates"], 1e-12, "knot " + std::to_string(k));
  }
}

// Every column of Diabetes moved by 10^6: the scales are the variance's about the columns'
// own values, so the path is the reference's knot for knot (its SSE and estimates; the
// intercept moves by 10^6 times the sum of the slopes), and eight workers give one thread's.
TEST(PathSelections, ColumnsFarFromZeroTakeTheSamePath) {
  constexpr double kOffset = 1e6;
  const Library lib("vsf_e2e_path_offset");
  writeDiabetes(lib.dir, [](bool response, double v) { return response ? v : v + kOffset; });
  Json knots = fixture("path_knots.json").at("diabetes_lasso");
  for (Json& knot : knots) {
    double slopes = 0;
    for (const auto& [parm, value] : knot["estimates"].items())
      if (parm != "Intercept") slopes += value.get<double>();
    knot["estimates"]["Intercept"] =
        knot["estimates"]["Intercept"].get<double>() - kOffset * slopes;
  }
  Json oneThread;
  for (size_t i = 0; i < std::size(kSettings); ++i) {
    SCOPED_TRACE(kSettings[i].name);
    const CommandRun r = runPath(kDiabetes, "lasso(stop=none showstepl1$)",
                                 "details=steps(anova parmest)", kSettings[i], lib.dir.string());
    ASSERT_EQ(r.status, 0) << r.output;
    checkKnots(r, knots);
    if (i % 2 == 0) {
      oneThread = pathTables(r);
    } else {
      EXPECT_TRUE(pathTables(r) == oneThread) << "eight workers differ from one";
    }
  }
}

// External cross validation on data moved far from 0: each fold's columns are centred on the
// fold's own rows (by algebra on the crossproducts, or by passes), and the folds' held-out
// errors and their averages are those of the data where they lie, on either road.
TEST(PathSelections, FoldsOfColumnsFarFromZeroKeepTheirDigits) {
  const Library lib("vsf_e2e_cv_offset");
  writeDiabetes(lib.dir, [](bool response, double v) { return response ? v : v + 1e6; });
  const std::string selection = "lasso(choose=cvex stop=none showcvex$)";
  for (const Setting& setting : kSettings) {
    SCOPED_TRACE(setting.name);
    const CommandRun plain = runPath(kDiabetes, selection, "cvmethod=split(5)", setting);
    const CommandRun moved =
        runPath(kDiabetes, selection, "cvmethod=split(5)", setting, lib.dir.string());
    ASSERT_EQ(plain.status, 0) << plain.output;
    ASSERT_EQ(moved.status, 0) << moved.output;
    const Json a = theOne(plain, "CVExternal")["rows"], b = theOne(moved, "CVExternal")["rows"];
    ASSERT_EQ(a.size(), b.size());
    for (size_t k = 0; k < a.size(); ++k) {
      const double want = number(a[k]["ASEValidate"]);
      EXPECT_NEAR(number(b[k]["ASEValidate"]), want, 1e-9 * want) << "row " << k;
    }
    const Json sa = theOne(plain, "SelectionSummary")["rows"];
    const Json sb = theOne(moved, "SelectionSummary")["rows"];
    ASSERT_EQ(sa.size(), sb.size());
    for (size_t k = 0; k < sa.size(); ++k) {
      const double want = number(sa[k]["CVEXPRESS"]);
      EXPECT_NEAR(number(sb[k]["CVEXPRESS"]), want, 1e-9 * want) << "step " << k;
    }
  }
}

// NOSTANDARDIZE$ leaves the columns at their own scale but still centres them: every knot is
// scikit-learn's on the centred, unscaled columns (tests/reference/path_unscaled.py), the
// intercept the response's mean less the slopes times the columns' means, and LAR ends at
// least squares with its intercept.
TEST(PathSelections, UnscaledColumnsAreStillCentred) {
  const Json all = fixture("unscaled_knots.json");
  const Data d{"diabetes", VSF_SHARED_DATA, "y = age sex bmi bp s1-s6"};
  for (const char* method : {"lasso", "lar"}) {
    SCOPED_TRACE(method);
    const Json& knots = all.at(method);
    const CommandRun r =
        runPath(d, std::string(method) + "(stop=none)", "nostandardize$ details=steps(parmest)");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<Json> estimates = findAll(r.document, "ParameterEstimates");
    ASSERT_GE(estimates.size(), knots.size());
    // A LASSO effect shows 0 at the knot where it leaves, and the reference omits it there.
    auto expectKnot = [](const Json& table, const Json& want, const std::string& at) {
      std::set<std::string> shown;
      for (const Json& row : table["rows"]) {
        const std::string parm = row["Parameter"];
        const double w = want.value(parm, 0.0);
        shown.insert(parm);
        EXPECT_NEAR(number(row["Estimate"]), w, 1e-9 * std::max(1.0, std::fabs(w))) << at << parm;
      }
      for (const auto& [parm, value] : want.items()) EXPECT_TRUE(shown.count(parm)) << at << parm;
    };
    for (size_t k = 0; k < knots.size(); ++k)
      expectKnot(estimates[k], knots[k], "knot " + std::to_string(k) + " ");
    if (method[1] == 'a') expectKnot(estimates.back(), all.at("lar_end"), "the end ");
  }
}

// ADAPTIVE takes its weights from the INEST= data set when it is given: the least-squares
// estimates there give the path of the weights from the least-squares fit.
TEST(PathSelections, AdaptiveWeightsFromInitialEstimates) {
  const Json all = fixture("path_knots.json");
  const Json& ols = all.at("diabetes_lar").back()["estimates"];  // LAR ends at least squares
  const Library lib("vsf_e2e_path_inest");
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "diabetes.csv", lib.dir / "diabetes.csv");
  std::ofstream inest(lib.dir / "inest.csv");
  std::string header = "_TYPE_", row = "PARMS";
  char cell[32];
  for (const auto& [parm, value] : ols.items()) {
    std::snprintf(cell, sizeof cell, ",%.17g", value.get<double>());
    header += "," + parm;
    row += cell;
  }
  inest << header << "\n" << row << "\n";
  inest.close();
  const CommandRun r = runPath(kDiabetes, "lasso(stop=none adaptive(inest=inest) showstepl1$)",
                               "details=steps(anova parmest)", kDefault, lib.dir.string());
  ASSERT_EQ(r.status, 0) << r.output;
  checkKnots(r, all.at("diabetes_adaptive_1"));
}

// The synthetic rows of path_fixtures.py: a uniform value in [-0.5, 0.5) for row i and
// column j from splitmix64, and a response on every seventh of the first 50 columns.
double uniform(uint64_t i, uint64_t j) {
  uint64_t z = i * 4096 + j + 0x9E3779B97F4A7C15ULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * 0x1p-53 - 0.5;
}

void writeSynthetic(const fs::path& file, const Json& first) {
  std::ofstream out(file);
  char cell[32];
  for (int j = 1; j <= 2000; ++j) out << "x" << j << ",";
  out << "y\n";
  for (uint64_t i = 0; i < 300; ++i) {
    double y = 0.5 * uniform(i, 4095);
    for (uint64_t j = 0; j < 2000; ++j) {
      const double x = uniform(i, j);
      if (j % 7 == 0 && j < 56) y += 0.3 * static_cast<double>(j / 7 + 1) * x;
      std::snprintf(cell, sizeof cell, "%.17g,", x);
      out << cell;
      if (i == 0 && j < 3) {
        EXPECT_EQ(x, first[j].get<double>()) << "column " << j;
      }
    }
    if (i == 0) {
      EXPECT_EQ(y, first[3].get<double>());
    }
    std::snprintf(cell, sizeof cell, "%.17g\n", y);
    out << cell;
  }
}

std::vector<std::string> stepEvents(const CommandRun& r, std::vector<double>* ratios) {
  std::vector<std::string> out;
  const Json summary = theOne(r, "SelectionSummary");
  for (const Json& row : summary["rows"]) {
    out.push_back(eventOf(row));
    ratios->push_back(number(row["StepL1Ratio"]));
  }
  return out;
}

// The screened-in count after each rebuild, from the SHOWSCREEN$ log lines.
std::vector<int> screenedIn(const std::string& output) {
  std::vector<int> out;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    int step = 0, count = 0;
    if (std::sscanf(line.c_str(), ">>>>>>>>>> %d, %d,", &step, &count) == 2) out.push_back(count);
  }
  return out;
}

// The safe rules screen candidates out only while they surely stay out: each gives the path
// without screening. The rebuilt bound refined by the fitted vector's sums screens in fewer
// than the basic bound. SIS ranks the columns by |correlation| as numpy does and keeps the best.
TEST(PathScreening, SafeRulesKeepThePathAndSisKeepsTheRanking) {
  const Json sis = fixture("sis.json");
  const Library lib("vsf_e2e_path_screening");
  writeSynthetic(lib.dir / "syn.csv", sis["first"]);
  const Data syn{"syn", "", "y = x1-x2000"};
  auto run = [&](const std::string& method, const std::string& screen) {
    return runPath(syn,
                   method + " stop=none maxsteps=80 showstepl1$ showscreen$ screen=" + screen + ")",
                   "", kDefault, lib.dir.string());
  };
  // The elastic net's ridge rows enter the columns' squares and the fitted vector's sums.
  std::vector<int> rebuilt[2];
  for (const std::string method : {"lasso(", "elasticnet(l2=0.5"}) {
    const CommandRun plain = run(method, "none");
    ASSERT_EQ(plain.status, 0) << plain.output;
    std::vector<double> plainRatios;
    const std::vector<std::string> plainEvents = stepEvents(plain, &plainRatios);
    ASSERT_EQ(plainEvents.size(), 81u);
    for (const std::string rule : {"base$", "zanvi", "zanvi2$", "dpp$"}) {
      SCOPED_TRACE(method + " " + rule);
      const CommandRun r = run(method, rule);
      ASSERT_EQ(r.status, 0) << r.output;
      std::vector<double> ratios;
      EXPECT_EQ(stepEvents(r, &ratios), plainEvents);
      for (size_t k = 0; k < ratios.size() && k < plainRatios.size(); ++k)
        EXPECT_NEAR(ratios[k], plainRatios[k], 1e-9) << k;
      if (method == "lasso(" && rule == "zanvi") rebuilt[0] = screenedIn(r.output);
      if (method == "lasso(" && rule == "zanvi2$") rebuilt[1] = screenedIn(r.output);
    }
  }
  ASSERT_GE(rebuilt[0].size(), 2u);
  ASSERT_GE(rebuilt[1].size(), 2u);
  EXPECT_LT(rebuilt[0][1], rebuilt[1][1]);
  EXPECT_LT(rebuilt[1][1], 1000);

  const CommandRun r = run("lasso(", "sis(keepnum=100)");
  ASSERT_EQ(r.status, 0) << r.output;
  const Json info = theOne(r, "ScreeningInfo");
  EXPECT_EQ(number(entryValue(info, "Number of Effects Kept")), 100);
  EXPECT_EQ(number(entryValue(info, "Fraction of Effects Kept")), 0.05);
  const Json rows = theOne(r, "SISCorrelation")["rows"];
  ASSERT_EQ(rows.size(), 105u);  // the kept ones and the next five
  std::vector<std::string> kept;
  for (size_t k = 0; k < rows.size(); ++k) {
    const std::string name = "x" + std::to_string(sis["columns"][k].get<int>());
    EXPECT_EQ(rows[k]["Effect"], name) << k;
    EXPECT_NEAR(number(rows[k]["absCorr"]), sis["correlations"][k].get<double>(), 1e-12) << k;
    EXPECT_EQ(rows[k]["corrOut"], k < 100 ? 0 : 1) << k;
    if (k < 100) kept.push_back(name);
  }
  const Json summary = theOne(r, "SelectionSummary");
  for (const Json& row : summary["rows"]) {
    const std::string in = row.value("EffectEntered", "");
    if (!in.empty() && in != "Intercept") {
      EXPECT_NE(std::find(kept.begin(), kept.end(), in), kept.end()) << in;
    }
  }
}

// Dimensions counts the effects, the candidates of split CLASS variables and the parameters,
// without the intercept's slot under NOINT.
TEST(PathSelections, DimensionsCountTheProblem) {
  struct Case {
    const char* statements;
    std::vector<std::pair<std::string, int>> entries;
  } cases[] = {
      {"class cyl; model mpg = cyl wt / selection=forward;",
       {{"Number of Effects", 3}, {"Number of Parameters", 5}}},
      {"class cyl; model mpg = cyl wt / selection=forward noint;",
       {{"Number of Effects", 2}, {"Number of Parameters", 4}}},
      {"class cyl; model mpg = cyl wt / selection=lasso;",
       {{"Number of Effects", 3},
        {"Number of Effects after Splits", 5},
        {"Number of Parameters", 5}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statements);
    const CommandRun r = runCommand(
        std::string("proc varsifter data=mtcars; ") + c.statements + " run;", VSF_SHARED_DATA);
    ASSERT_EQ(r.status, 0) << r.output;
    const Json d = theOne(r, "Dimensions");
    ASSERT_EQ(d["entries"].size(), c.entries.size()) << d;
    for (size_t i = 0; i < c.entries.size(); ++i) {
      EXPECT_EQ(d["entries"][i]["label"], c.entries[i].first);
      EXPECT_EQ(d["entries"][i]["value"], c.entries[i].second);
    }
  }
}

// Fits that cannot be made say why: one fold under external cross validation (it said "no
// usable observations"), more folds than rows for the group LASSO ("A memory pool could not
// be created"), adaptive weights beyond double precision ("internal code 1"). GAMMA=0 weighs
// every effect 1, as the plain LASSO does, a constant response too ("internal code 3").
TEST(PathSelections, WhatCannotBeFittedSaysWhy) {
  ScratchDir library("vsf_paths_causes");
  const Csv d = readCsv(std::string(VSF_SHARED_DATA) + "/mtcars.csv");
  {
    std::ofstream out(library.path() / "cars.csv");
    out << "mpg,cyl,disp,hp,wt,k,c\n";
    for (size_t i = 0; i < d.rows.size(); ++i) {
      for (const char* v : {"mpg", "cyl", "disp", "hp", "wt"}) out << d.text(i, v) << ",";
      out << "1,5\n";  // a fold variable of one value, a constant response
    }
  }
  const std::string x = " = cyl disp hp wt / selection=";
  const char* oneFold = "ERROR: Cross validation needs more than one fold.";
  struct Case {
    const char* name;
    std::string model;
    int status;
    const char* says;
  } cases[] = {
      {"LASSO, one fold", "mpg" + x + "lasso(choose=cvex) cvmethod=index(k)", 1, oneFold},
      {"group LASSO, one fold", "mpg" + x + "grouplasso(choose=cvex) cvmethod=index(k)", 1,
       oneFold},
      {"group LASSO, more folds than rows",
       "mpg" + x + "grouplasso(choose=cvex) cvmethod=split(40)", 1,
       "ERROR: External cross validation needs a training observation to hold out in each of "
       "its 40 folds; the data have 32."},
      {"GAMMA=1000", "mpg" + x + "lasso(adaptive(gamma=1000))", 1,
       "ERROR: The adaptive weight of cyl cannot be computed: 2.30976"},
      {"GAMMA=0, a constant response", "c" + x + "lasso(adaptive(gamma=0))", 0,
       "NOTE: The selected model fits the data exactly"},
      {"GAMMA=0", "mpg" + x + "lasso(adaptive(gamma=0))", 0, ""},
      {"the plain LASSO", "mpg" + x + "lasso", 0, ""},
  };
  std::vector<Json> estimates;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CommandRun r = runCommand("proc varsifter data=cars; model " + c.model + "; run;",
                                    library.path().string());
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    for (const char* wrong : {"memory pool", "internal code", "no usable observations"})
      EXPECT_EQ(r.output.find(wrong), std::string::npos) << r.output;
    if (c.status == 0) estimates.push_back(theOne(r, "ParameterEstimates")["rows"]);
  }
  // GAMMA=0 is the plain LASSO.
  ASSERT_EQ(estimates.size(), 3u);
  EXPECT_EQ(estimates[1], estimates[2]);
}

}  // namespace
}  // namespace vsf::test
