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

}  // namespace
}  // namespace vsf::test
