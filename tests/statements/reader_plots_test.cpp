// The PLOTS option: requests and their "on" values, global defaults taken by each plot,
// step ranges, the model-averaging plots, and the host messages of PLOTS.
#include <gtest/gtest.h>

#include <functional>

#include "common/statements_support.h"

namespace vsf::test {
namespace {

class PlotsReader : public ::testing::Test {
 protected:
  StubData data;
};

struct PlotsCase {
  const char* proc;   // procedure statement options
  const char* extra;  // statements after MODEL
  std::vector<int> messages;
  int code;
  std::function<void(const VsfState&)> check;
  const char* model = "";  // MODEL options
};

TEST_F(PlotsReader, RequestsDefaultsAndRepairs) {
  const PlotsCase cases[] = {
      {"plots=none", "", {}, 0, [](const VsfState& s) { EXPECT_EQ(s.settings.graphicsOn, 0); }},
      {"plots=(none ase)",
       "",
       {2101100},
       0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.graphicsOn, 0); }},
      {"noprint plots=all",
       "",
       {2101102},
       0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.plots.ase.on, 0); }},
      {"plots(unpack)",
       "",
       {2101108},
       0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.graphicsOn, 0); }},
      {"plots=all",
       "",
       {},
       0,
       [](const VsfState& s) {
         const PlotSettings& p = s.settings.plots;
         EXPECT_EQ(p.coefficients.on, 2);
         EXPECT_EQ(p.ase.on, 2);
         EXPECT_EQ(p.criteria.on, 2);
         EXPECT_EQ(p.selectogram.on, 2);
         // Without a CANDIDATES step table the set-up drops the plot that ALL asked for.
         EXPECT_EQ(p.candidatesPlot.on, 0);
         EXPECT_EQ(p.effectSelectPct.on, 0);  // no model averaging
       }},
      {"plots=all",
       "modelaverage;",
       {},
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.plots.effectSelectPct.on, 2);
         EXPECT_EQ(s.settings.plots.parmDist.on, 2);
       }},
      {"plots=(all coefficients)",
       "",
       {},
       0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.plots.coefficients.on, 3); }},
      {"plots=coefficients(startstep=5 endstep=2)",
       "",
       {8480224},
       4,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.plots.coefficients.on, 1);
         EXPECT_EQ(s.settings.plots.coefficients.startStep, -1);
         EXPECT_EQ(s.settings.plots.coefficients.endStep, 2147483647);
       }},
      {"plots(stepaxis=normb startstep=2 endstep=9 unpack logp)=(coefficients(stepaxis=effect "
       "labelgap=10) criteria ase(endstep=4))",
       "",
       {},
       0,
       [](const VsfState& s) {
         const PlotSettings& p = s.settings.plots;
         EXPECT_EQ(p.coefficients.stepAxis, 2);
         EXPECT_EQ(p.criteria.stepAxis, 3);
         EXPECT_EQ(p.coefficients.startStep, 2);
         EXPECT_EQ(p.ase.endStep, 4);
         EXPECT_EQ(p.criteria.unpack, 1);
         EXPECT_EQ(p.coefficients.logp, 1);
         EXPECT_EQ(p.ase.unpack, 0);
         EXPECT_DOUBLE_EQ(p.labelGap, 0.1);
       },
       " / selection=lasso"},  // NORMB is a step axis of the LASSO path
      {"plots=(effectselectpct parmdist)",
       "",
       {8480244, 8480245},
       4,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.plots.effectSelectPct.on, 0);
         EXPECT_EQ(s.settings.plots.parmDist.on, 0);
       }},
      {"plots=parmdist(plotsperpanel=4 order=model noboxplots)",
       "modelaverage;",
       {},
       0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.plots.parmDist.on, 1); }},
      {"plots(candidates=4)=(candidates selectogram$(normc))",
       "",
       {8484972},  // not drawn: a note
       0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.plots.candidatesPlot.show, 4);
         EXPECT_EQ(s.settings.plots.selectogram.normalized, 1);  // read, though nothing draws it
       }},
  };
  for (const PlotsCase& c : cases) {
    std::string text = std::string("proc varsifter ") + c.proc + "; model y = x1" + c.model + "; " +
                       c.extra + " run;";
    StepRun r = runStepText(text);
    EXPECT_EQ(r.messages(), c.messages) << text << "\n" << r.dump();
    EXPECT_EQ(r.code, c.code) << text << "\n" << r.dump();
    if (c.check) {
      SCOPED_TRACE(text);
      c.check(lastState());
    }
  }
}

// Options that once shared a record field each keep their own value.
TEST_F(PlotsReader, OptionsThatSharedAFieldStayApart) {
  StepRun r = runStepText(
      "proc varsifter parmlabelstyle=interlaced(separator='~') shortparmnames$='sp' "
      "plots=(coefficients(stepaxis=number) ase(stepaxis=effect) criteria(stepaxis=normb)); "
      "model y = x1 / selection=lasso; run;",
      [](const VsfState& state) {
        const ZDesign& d = *state.lev.design;
        EXPECT_EQ(std::string(d.separatorText, d.separatorLength), "~");
        EXPECT_EQ(std::string(d.shortNameText, d.shortNameLength), "sp");
      });
  EXPECT_TRUE(r.inspected) << r.dump();
  const PlotSettings& p = lastState().settings.plots;
  EXPECT_EQ(p.coefficients.stepAxis * 100 + p.ase.stepAxis * 10 + p.criteria.stepAxis, 123);
}

}  // namespace
}  // namespace vsf::test
