// Selections that do not depend on the data's scale, against R (tests/reference/e2e_scales.R):
// mtcars with mpg times 10^k (k = -12..12) or wt times 10^k (k = -100..100 by 10), STEPWISE by
// AIC and SBC choose what R's step() chooses, adjusted R-square what it chooses unscaled, and
// the SBC model's estimates are lm's. Sums beyond double precision end the step with an error
// naming the variable, never with a fit.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

// mtcars with one column times 10^k, as data set <column>_<k> (k < 0 written m<k>).
std::string writeScaled(const fs::path& library, const std::string& column, int k) {
  const Csv t = readCsv(std::string(VSF_SHARED_DATA) + "/mtcars.csv");
  const std::string name = column + "_" + (k < 0 ? "m" : "") + std::to_string(std::abs(k));
  std::ofstream out(library / (name + ".csv"));
  for (size_t j = 0; j < t.header.size(); ++j) out << (j ? "," : "") << t.header[j];
  out << "\n";
  const int c = t.column(column);
  char buf[32];
  for (const auto& row : t.rows) {
    for (size_t j = 0; j < row.size(); ++j) {
      std::string cell = row[j];
      if (static_cast<int>(j) == c) {
        const double v = std::stod(cell) * std::pow(10.0, k);
        cell.assign(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
      }
      out << (j ? "," : "") << (j == 0 ? "\"" + cell + "\"" : cell);
    }
    out << "\n";
  }
  return name;
}

// The selected effects without the intercept, sorted and blank-separated.
std::string chosen(const Json& selected) {
  std::istringstream in(selected["rows"][0]["Effects"].get<std::string>());
  std::vector<std::string> names;
  for (std::string w; in >> w;)
    if (w != "Intercept") names.push_back(w);
  std::sort(names.begin(), names.end());
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : " ") + n;
  return out;
}

TEST(Scales, SelectionsAndEstimatesFollowTheScaleAsInR) {
  const Csv want = readCsv("e2e/scale_selection.csv");
  const Csv estimates = readCsv("e2e/scale_estimates.csv");
  ScratchDir library("vsf_scales");
  const char* criteria[] = {"aic", "sbc", "adjrsq"};
  std::string program;
  struct Step {
    std::string scaled;
    int k;
    std::string criterion;
  };
  std::vector<Step> steps;
  for (size_t i = 0; i < want.rows.size(); ++i) {
    if (want.text(i, "criterion") != "aic") continue;  // one row per data set
    const Step s{want.text(i, "scaled"), static_cast<int>(want.number(i, "k")), ""};
    const std::string data = writeScaled(library.path(), s.scaled, s.k);
    for (const char* c : criteria) {
      program += "proc varsifter data=" + data + "; class cyl; model mpg = cyl disp hp drat wt " +
                 "qsec am / selection=stepwise(select=" + c + "); run;\n";
      steps.push_back({s.scaled, s.k, c});
    }
  }
  const CommandRun r = runCommand(program, library.path().string());
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<Json> selected = findAll(r.document, "SelectedEffects");
  const std::vector<Json> parms = findAll(r.document, "ParameterEstimates");
  ASSERT_EQ(selected.size(), steps.size());
  ASSERT_EQ(parms.size(), steps.size());

  std::map<std::string, std::string> unscaled;  // adjusted R-square's choice at k = 0
  for (size_t i = 0; i < steps.size(); ++i)
    if (steps[i].k == 0 && steps[i].criterion == "adjrsq")
      unscaled[steps[i].scaled] = chosen(selected[i]);
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& s = steps[i];
    const std::string at = s.scaled + " x 10^" + std::to_string(s.k) + " " + s.criterion;
    std::string expected = unscaled[s.scaled];
    for (size_t j = 0; j < want.rows.size(); ++j)
      if (want.text(j, "scaled") == s.scaled && want.number(j, "k") == s.k &&
          want.text(j, "criterion") == s.criterion)
        expected = want.text(j, "effects");
    EXPECT_EQ(chosen(selected[i]), expected) << at;
    if (s.scaled != "wt" || s.criterion != "sbc") continue;
    for (size_t j = 0; j < estimates.rows.size(); ++j) {
      if (estimates.number(j, "k") != s.k) continue;
      const std::string name = estimates.text(j, "parameter");
      const Json* row = nullptr;
      for (const Json& p : parms[i]["rows"])
        if (p["Parameter"] == name) row = &p;
      ASSERT_NE(row, nullptr) << at << " " << name;
      for (const char* what : {"estimate", "stderr"}) {
        const double w = estimates.number(j, what);
        const double got = number((*row)[std::string(what) == "estimate" ? "Estimate" : "StdErr"]);
        EXPECT_NEAR(got, w, 1e-9 * std::fabs(w)) << at << " " << name << " " << what;
      }
    }
  }
}

// Sums of squares beyond double precision, and a response among its own effects.
TEST(Scales, WhatCannotBeFittedIsSaid) {
  ScratchDir library("vsf_scales_edge");
  struct Case {
    const char* name;
    std::string data;
    const char* model;
    int status;
    const char* says;
  } cases[] = {
      {"a column too large", writeScaled(library.path(), "wt", 160), "mpg = hp wt", 1,
       "ERROR: The sum of squares of wt is too large"},
      {"a column too small", writeScaled(library.path(), "wt", -170), "mpg = hp wt", 1,
       "ERROR: The sum of squares of wt is too small"},
      {"a response too large", writeScaled(library.path(), "mpg", 160), "mpg = hp wt", 1,
       "ERROR: The sum of squares of mpg is too large"},
      {"the response as an effect", "mtcars", "mpg = hp mpg wt", 0,
       "WARNING: The response mpg is also listed among the effects"},
  };
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", library.path() / "mtcars.csv");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CommandRun r = runCommand(
        "proc varsifter data=" + c.data + "; model " + c.model + " / selection=none; run;",
        library.path().string());
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    const std::vector<Json> fits = findAll(r.document, "ParameterEstimates");
    if (c.status != 0) {
      EXPECT_TRUE(fits.empty()) << r.output;
      continue;
    }
    ASSERT_EQ(fits.size(), 1u);
    EXPECT_EQ(fits[0]["rows"].size(), 3u);  // Intercept, hp, wt
  }
}

// Every selection method takes the same steps and chooses the same model whatever the units of
// the response or of one effect: y or wt times 1e-8 or 1e8 against the data as they are. The
// estimates follow the units (all of them times k for y; wt's divided by k), to 1e-9.
TEST(Scales, EveryMethodIsFreeOfTheUnits) {
  struct Method {
    const char* name;
    const char* selection;
  } methods[] = {
      {"FORWARD", "forward"},
      {"BACKWARD", "backward"},
      {"STEPWISE", "stepwise(select=sbc)"},
      {"LAR", "lar(stop=none choose=sbc)"},
      {"LASSO", "lasso(stop=none choose=aic)"},
      {"adaptive LASSO", "lasso(adaptive stop=none choose=sbc)"},
      {"ELASTICNET", "elasticnet(l2=0.1 stop=none choose=sbc)"},
      {"GROUPLASSO", "grouplasso(stop=none steps=30 choose=sbc)"},
  };
  struct Scaling {
    std::string column;
    int k;
  } scalings[] = {{"mpg", 0}, {"mpg", -8}, {"mpg", 8}, {"wt", -8}, {"wt", 8}};
  ScratchDir library("vsf_scales_methods");
  std::string program;
  for (const Scaling& c : scalings) {
    const std::string data = writeScaled(library.path(), c.column, c.k);
    for (const Method& m : methods)
      program += "proc varsifter data=" + data + "; class cyl gear; model mpg = cyl gear disp " +
                 "hp drat wt qsec am / selection=" + m.selection + "; run;\n";
  }
  const CommandRun r = runCommand(program, library.path().string());
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<Json> summaries = findAll(r.document, "SelectionSummary");
  const std::vector<Json> selected = findAll(r.document, "SelectedEffects");
  const std::vector<Json> parms = findAll(r.document, "ParameterEstimates");
  const size_t n = std::size(methods);
  ASSERT_EQ(summaries.size(), n * std::size(scalings));
  ASSERT_EQ(parms.size(), summaries.size());
  auto moves = [](const Json& summary) {
    std::vector<std::string> out;
    for (const Json& row : summary["rows"])
      out.push_back(row.value("EffectEntered", Json()).dump() + "|" +
                    row.value("EffectRemoved", Json()).dump());
    return out;
  };
  for (size_t s = 1; s < std::size(scalings); ++s) {
    const Scaling& c = scalings[s];
    for (size_t m = 0; m < n; ++m) {
      const std::string at =
          std::string(methods[m].name) + ", " + c.column + " x 1e" + std::to_string(c.k);
      const size_t i = s * n + m;
      EXPECT_EQ(moves(summaries[i]), moves(summaries[m])) << at;
      EXPECT_EQ(selected[i]["rows"], selected[m]["rows"]) << at;
      const Json& got = parms[i]["rows"];
      const Json& want = parms[m]["rows"];
      ASSERT_EQ(got.size(), want.size()) << at;
      const double unit = std::pow(10.0, c.k);
      for (size_t j = 0; j < got.size(); ++j) {
        const std::string parm = want[j]["Parameter"].dump();
        EXPECT_EQ(got[j]["Parameter"].dump(), parm) << at;
        double w = number(want[j]["Estimate"]);
        if (c.column == "mpg") w *= unit;
        if (c.column == "wt" && parm == "\"wt\"") w /= unit;
        EXPECT_NEAR(number(got[j]["Estimate"]), w, 1e-9 * std::fabs(w)) << at << " " << parm;
      }
    }
  }
}

// Group LASSO under model averaging: the samples choose the same models and average the same
// digits whatever the response's units and the page size (with a convergence test absolute in
// the response's units, mpg times 1e-8 stopped the solver at once, on rounding noise).
TEST(Scales, GroupLassoAveragesAreFreeOfUnitsAndPages) {
  ScratchDir library("vsf_scales_averages");
  const int units[] = {0, -8};
  const int pages[] = {1, 64};
  std::string program;
  for (int k : units) {
    const std::string data = writeScaled(library.path(), "mpg", k);
    for (int page : pages)
      program +=
          "proc varsifter data=" + data + " seed=3; class cyl gear; model mpg = cyl " +
          "gear disp hp drat wt qsec am / selection=grouplasso(steps=12 choose=sbc); " +
          "modelaverage nsamples=12; performance nothreads util_pagesize$=" + std::to_string(page) +
          "; run;\n";
  }
  const CommandRun r = runCommand(program, library.path().string());
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<Json> models = findAll(r.document, "ModelSelectFreq");
  const std::vector<Json> averages = findAll(r.document, "AvgParmEst");
  ASSERT_EQ(models.size(), std::size(units) * std::size(pages));
  ASSERT_EQ(averages.size(), models.size());
  for (size_t i = 1; i < models.size(); ++i) {
    const int k = units[i / std::size(pages)];
    const std::string at = "mpg x 1e" + std::to_string(k) + ", page size " +
                           std::to_string(pages[i % std::size(pages)]);
    EXPECT_EQ(models[i]["rows"], models[0]["rows"]) << at;
    const Json& got = averages[i]["rows"];
    const Json& want = averages[0]["rows"];
    ASSERT_EQ(got.size(), want.size()) << at;
    for (size_t j = 0; j < got.size(); ++j)
      for (const char* c : {"Mean", "StdDev", "Median", "LowerQuantile", "UpperQuantile"}) {
        const double w = number(want[j][c]) * std::pow(10.0, k);
        EXPECT_NEAR(number(got[j][c]), w, 1e-9 * std::fabs(w)) << at << " " << j << " " << c;
      }
  }
}

}  // namespace
}  // namespace vsf::test
