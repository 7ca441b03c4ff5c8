// A response that is an exact linear function of the candidates (y = 2 x1 - 3 x2 + 1, with
// x3 = x1 + x2): every table shows one value of a criterion, -Infty where the error sum of
// squares is 0, never a stand-in number, and the log says the fit is exact and which effect
// is aliased, as R's lm says "essentially perfect fit" and leaves the aliased coefficient out.
#include <gtest/gtest.h>

#include <map>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

CommandRun runExact(const std::string& model) {
  return runCommand("proc varsifter data=exact_fit; model y = x1 x2 x3 / " + model + "; run;",
                    VSF_TEST_DATA "/e2e");
}

// The selected model's table of that name.
Json selected(const CommandRun& r, const std::string& name) {
  for (const Json& t : findAll(r.document, name))
    if (t["path"] == "SelectedModel." + name) return t;
  ADD_FAILURE() << "no SelectedModel." << name;
  return Json();
}

// The last row of the summary and the fit statistics show the same value of each criterion.
void expectSameCriteria(const CommandRun& r,
                        const std::vector<std::pair<const char*, const char*>>& columnsAndLabels) {
  const Json last = theOne(r, "SelectionSummary")["rows"].back();
  const Json fit = selected(r, "FitStatistics");
  for (const auto& [column, label] : columnsAndLabels)
    EXPECT_EQ(last[column], entryValue(fit, label)) << column;
}

TEST(ExactFit, OneValueOfEachCriterionAndNoStandInNumbers) {
  struct Case {
    const char* model;
    std::vector<const char*> notes;
  } cases[] = {
      {"selection=forward(select=sbc) stats=all details=steps", {"fits the data exactly"}},
      {"selection=backward(select=sbc) stats=all", {"fits the data exactly"}},
      {"selection=stepwise(select=sl) stats=all", {"fits the data exactly"}},
      {"selection=none",
       {"fits the data exactly",
        "(aliased); their estimates are set to 0, "
        "with 0 degrees of freedom: x3."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    CommandRun r = runExact(c.model);
    ASSERT_LE(r.status, 1) << r.output;
    for (const char* note : c.notes) EXPECT_NE(r.output.find(note), std::string::npos) << r.output;
    const std::string json = r.document.dump();
    for (const std::string& text : {r.output, r.html, json}) {
      EXPECT_EQ(text.find("E308"), std::string::npos) << text;
      EXPECT_EQ(text.find("e+308"), std::string::npos);
    }
    if (std::string(c.model) != "selection=none")
      expectSameCriteria(r, {{"SBC", "SBC"}, {"AIC", "AIC"}, {"AdjRSq", "Adj R-Sq"}});
    const Json sbc = entryValue(selected(r, "FitStatistics"), "SBC");
    EXPECT_EQ(sbc, Json({{"infinity", "-"}, {"missing", "M"}}));
    // The exact estimates of whichever two of x1, x2 and x3 the model holds.
    std::map<std::string, double> est;
    const Json estimates = selected(r, "ParameterEstimates");
    for (const Json& row : estimates["rows"])
      if (row["DF"] == 1) est[row["Effect"].get<std::string>()] = number(row["Estimate"]);
    const std::map<std::string, std::map<std::string, double>> exact = {
        {"x1 x2", {{"Intercept", 1}, {"x1", 2}, {"x2", -3}}},
        {"x1 x3", {{"Intercept", 1}, {"x1", 5}, {"x3", -3}}},
        {"x2 x3", {{"Intercept", 1}, {"x2", -5}, {"x3", 2}}}};
    std::string in;
    for (const char* x : {"x1", "x2", "x3"})
      in += est.count(x) ? (in.empty() ? "" : " ") + std::string(x) : "";
    ASSERT_TRUE(exact.count(in)) << in;
    for (const auto& [effect, want] : exact.at(in)) EXPECT_NEAR(est[effect], want, 1e-9) << effect;
  }
  // Four rows within 1e-6 of a line: the error sum of squares is not 0 but within what the
  // fit calls rounding noise (sums about centres leave none of their own on such data), and
  // the note says so where the criteria stay finite.
  const CommandRun noise = runCommand(
      "proc varsifter data=near_exact; by g notsorted; model y = x"
      " / selection=forward(select=sbc); run;",
      VSF_TEST_DATA "/e2e");
  const size_t first = noise.output.find("fits the data essentially exactly");
  EXPECT_NE(first, std::string::npos) << noise.output;
  EXPECT_LT(first, noise.output.find("g=2")) << noise.output;
  // Three rows on two points: summed raw their error sum of squares was rounding noise; about
  // the centres it is 0, as least squares has it.
  const CommandRun points = runCommand(
      "proc varsifter data=mtcars; by gear notsorted; model mpg = wt hp qsec"
      " / selection=forward(select=sbc); run;",
      VSF_SHARED_DATA);
  const size_t exact = points.output.find("fits the data exactly (its error sum of squares is 0)");
  EXPECT_NE(exact, std::string::npos) << points.output;
  EXPECT_LT(exact, points.output.find("gear=3")) << points.output;
  // PRESS as the summary keeps it: rounding noise is 0 in both tables.
  CommandRun r = runExact("selection=stepwise(select=sl) stats=all");
  expectSameCriteria(r, {{"PRESS", "PRESS"}});
}

}  // namespace
}  // namespace vsf::test
