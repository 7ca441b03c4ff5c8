// Model averaging through the command: the samples refitted independently from the counts the
// command exports (tests/reference/averaging_fixtures.R for FORWARD, averaging_lasso.py for
// LASSO) give the same selection percentages, models and averaged estimates; the samples do not
// depend on the workers or NTHREADS$=; a hundred samples with REFIT give the four tables;
// DETAILS shows each sample's own selection.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

std::string averagingProgram(const std::string& extra = "",
                             const std::string& file = "average_program.vsf") {
  std::ifstream in(std::string(VSF_TEST_DATA) + "/averaging/" + file);
  std::stringstream text;
  text << in.rdbuf();
  std::string program = text.str();
  const size_t end = program.rfind("tables=");
  program.insert(end, extra + " ");
  return program + "run;";
}

std::string trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

void expectNear(const Json& cell, double want, const std::string& what) {
  ASSERT_TRUE(cell.is_number()) << what << ": " << cell;
  EXPECT_NEAR(cell.get<double>(), want, 1e-9 * std::max(1.0, std::fabs(want))) << what;
}

// The tables of one program against its reference of the samples refitted independently.
void expectRefittedSamples(const std::string& program, const std::string& reference) {
  const CommandRun r = runCommand(averagingProgram("", program), VSF_SHARED_DATA);
  ASSERT_EQ(r.status, 0) << r.output;
  const Csv ref = readCsv("averaging/" + reference);
  std::map<std::string, size_t> effect, model, parm;
  for (size_t i = 0; i < ref.rows.size(); ++i) {
    const std::string kind = ref.text(i, "kind"), name = ref.text(i, "name");
    (kind == "effect" ? effect : kind == "model" ? model : parm)[name] = i;
  }

  const Json esp = theOne(r, "EffectSelectPct");
  size_t shown = 0;
  for (const auto& [name, i] : effect)
    if (name != "Intercept" && ref.number(i, "v1") > 0) ++shown;
  ASSERT_EQ(esp["rows"].size(), shown);
  for (const Json& row : esp["rows"]) {
    const std::string name = trimmed(row["Effect"]);
    ASSERT_TRUE(effect.count(name)) << name;
    expectNear(row["SelectionPct"], ref.number(effect[name], "v1"), name);
  }

  const Json msf = theOne(r, "ModelSelectFreq");
  ASSERT_EQ(msf["rows"].size(), model.size());
  double previous = 1e300;
  for (const Json& row : msf["rows"]) {
    const std::string name = trimmed(row["EffectsInModel"]);
    ASSERT_TRUE(model.count(name)) << name;
    expectNear(row["TimesSelected"], ref.number(model[name], "v1"), name);
    expectNear(row["FreqScore"], ref.number(model[name], "v2"), name);
    EXPECT_LE(row["FreqScore"].get<double>(), previous) << "best first";
    previous = row["FreqScore"].get<double>();
  }

  // Parameters never selected have no row.
  const Json ape = theOne(r, "AvgParmEst");
  size_t nonzero = 0;
  for (const auto& [name, i] : parm) nonzero += ref.number(i, "v6") > 0;
  ASSERT_EQ(ape["rows"].size(), nonzero);
  for (const Json& row : ape["rows"]) {
    const std::string name = trimmed(row["Parameter"]);
    ASSERT_TRUE(parm.count(name)) << name;
    const size_t i = parm[name];
    const std::pair<const char*, const char*> columns[] = {
        {"Mean", "v1"},          {"StdDev", "v2"},        {"Median", "v3"},
        {"LowerQuantile", "v4"}, {"UpperQuantile", "v5"}, {"NumberNonzero", "v6"}};
    for (const auto& [column, v] : columns)
      expectNear(row[column], ref.number(i, v), name + column);
  }
}

// FORWARD by SBC refitted with R's step (averaging_fixtures.R); LASSO by SBC with
// scikit-learn's lars_path on each sample's own centred and scaled rows (averaging_lasso.py).
TEST(ModelAveraging, MatchesSamplesRefittedFromTheExportedCounts) {
  const std::pair<const char*, const char*> cases[] = {
      {"average_program.vsf", "average_reference.csv"},
      {"average_lasso_program.vsf", "average_lasso_reference.csv"},
  };
  for (const auto& [program, reference] : cases) {
    SCOPED_TRACE(program);
    expectRefittedSamples(program, reference);
  }
}

// The tables of every arrangement of records and workers equal those of one record on one
// thread.
TEST(ModelAveraging, SamplesDoNotDependOnWorkersOrRecords) {
  const char* tables[] = {"EffectSelectPct", "ModelSelectFreq", "AvgParmEst"};
  const CommandRun base = runCommand(averagingProgram(), VSF_SHARED_DATA, "--nothreads");
  ASSERT_EQ(base.status, 0) << base.output;
  const std::pair<const char*, const char*> runs[] = {
      {"nthreads$=3", "--nothreads"},
      {"nthreads$=8", "--threads --cpucount 8"},
      {"", "--threads --cpucount 8"},
  };
  for (const auto& [statement, options] : runs) {
    SCOPED_TRACE(std::string(statement) + " " + options);
    const CommandRun r = runCommand(averagingProgram(statement), VSF_SHARED_DATA, options);
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* t : tables) EXPECT_EQ(theOne(r, t)["rows"], theOne(base, t)["rows"]) << t;
  }
}

// One hundred samples and REFIT give the four tables: the refit averages the effects selected
// in at least MINPCT= (20 by default) of the samples, which are the rows EffectSelectPct shows.
TEST(ModelAveraging, RefitOfAHundredSamplesGivesTheFourTables) {
  const CommandRun r = runCommand(
      "proc varsifter data=diabetes seed=7;\n"
      "model y = age sex bmi bp s1-s6 / selection=forward(select=sbc stop=sbc);\n"
      "modelaverage nsamples=100 refit; run;",
      VSF_SHARED_DATA);
  ASSERT_EQ(r.status, 0) << r.output;
  const Json info = theOne(r, "ModelAverageInfo");
  EXPECT_EQ(entryValue(info, "Number of Samples"), 100);
  EXPECT_EQ(entryValue(info, "Number of Refit Samples"), 100);
  EXPECT_EQ(entryValue(info, "Refit Minimum Effect Selection (%)"), 20.0);

  const Json models = theOne(r, "ModelSelectFreq"), effects = theOne(r, "EffectSelectPct");
  double times = 0;
  for (const Json& row : models["rows"]) times += number(row["TimesSelected"]);
  EXPECT_EQ(times, 100);

  std::vector<std::string> kept = {"Intercept"};
  for (const Json& row : effects["rows"]) {
    EXPECT_GE(number(row["SelectionPct"]), 20.0) << row;
    kept.push_back(trimmed(row["Effect"]));
  }
  EXPECT_FALSE(theOne(r, "AvgParmEst")["rows"].empty());
  const Json refit = theOne(r, "RefitAvgParmEst")["rows"];
  ASSERT_EQ(refit.size(), kept.size());
  for (size_t i = 0; i < kept.size(); ++i) {
    EXPECT_EQ(trimmed(refit[i]["Parameter"]), kept[i]);
    EXPECT_TRUE(std::isfinite(number(refit[i]["Mean"]))) << kept[i];
  }
}

// DETAILS shows every sample's selection, with its step details when MODEL asks for them; each
// sample's fit statistics are of its own drawn rows (the mean of y weighted by the exported
// counts) and its estimates are those the averaged table summarizes.
TEST(ModelAveraging, DetailsShowEachSamplesOwnSelection) {
  namespace fs = std::filesystem;
  constexpr int kSamples = 4;
  for (const char* details : {"", "details=steps"}) {
    SCOPED_TRACE(details);
    ScratchDir lib("averaging_details");
    fs::copy_file(fs::path(VSF_SHARED_DATA) / "diabetes.csv", lib.path() / "diabetes.csv");
    const CommandRun r = runCommand(
        "proc varsifter data=diabetes seed=5;\n"
        "model y = age sex bmi bp s1-s6 / selection=stepwise(select=sbc) " +
            std::string(details) +
            ";\n"
            "modelaverage nsamples=" +
            std::to_string(kSamples) +
            " details;\n"
            "output out=counts samplefreq; run;",
        lib.path().string());
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<Json> summaries = findAll(r.document, "SelectionSummary");
    const std::vector<Json> fits = findAll(r.document, "FitStatistics");
    ASSERT_EQ(summaries.size(), static_cast<size_t>(kSamples));
    size_t steps = 0;
    for (const Json& summary : summaries) steps += summary["rows"].size();
    if (*details) {  // a step's statistics, then the sample's own
      EXPECT_EQ(fits.size(), steps + kSamples);
      continue;
    }
    ASSERT_EQ(fits.size(), static_cast<size_t>(kSamples));

    const Csv data = readCsv((lib.path() / "diabetes.csv").string());
    const Csv counts = readCsv((lib.path() / "counts.csv").string());
    ASSERT_EQ(counts.rows.size(), data.rows.size());
    for (int k = 0; k < kSamples; ++k) {
      double sum = 0, weight = 0;
      for (size_t i = 0; i < data.rows.size(); ++i) {
        const double c = counts.number(i, "sampleFreq" + std::to_string(k + 1));
        sum += c * data.number(i, "y");
        weight += c;
      }
      expectNear(entryValue(fits[static_cast<size_t>(k)], "Dependent Mean"), sum / weight,
                 "sample " + std::to_string(k + 1));
    }
  }
}

}  // namespace
}  // namespace vsf::test
