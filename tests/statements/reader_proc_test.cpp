// The procedure statement and the statements that write into its record: data sets, BY
// variables and OUTDESIGN.
#include <gtest/gtest.h>

#include <functional>

#include "base/host.h"
#include "common/statements_support.h"

namespace vsf::test {
namespace {

class ProcedureReader : public ::testing::Test {
 protected:
  StubData data;
};

struct ProcCase {
  const char* text;
  int code;
  std::function<void(const VsfState&)> check;
};

TEST_F(ProcedureReader, OptionsDefaultsAndBounds) {
  const ProcCase cases[] = {
      {"proc varsifter data=diab valdata=val tdata$=tst maxmacro=-1 seed=-42 namelen=64 "
       "noprint showinternaltables$; model y = x1;",
       0,
       [](const VsfState& s) {
         EXPECT_NE(s.settings.test.dataSet, nullptr);
         EXPECT_EQ(s.settings.seedOption, -42);
       }},
      {"proc varsifter data=nosuch; model y = x1;", 3000, nullptr},
      {"proc varsifter outdesign(fullmodel names prefix=dx)=od; model y = x1;", 0,
       [](const VsfState& s) {
         EXPECT_EQ(std::string(s.settings.outDesignPrefix, s.settings.outDesignPrefixLength), "dx");
       }},
      {"proc varsifter; by descending grp a notsorted; model y = x1;", 0,
       [](const VsfState& s) {
         EXPECT_EQ(s.settings.hasByStatement, 2);
         ASSERT_NE(s.settings.byVariables, nullptr);
         EXPECT_EQ(s.settings.byVariables->vars, (std::vector<int>{15, 11}));
         EXPECT_EQ(s.settings.byVariables->numbers, (std::vector<double>{1, 0}));
         EXPECT_EQ(s.settings.byVariables->number, 1);  // NOTSORTED
       }},
      {"proc varsifter; by x1-x3; model y = a;", 0,
       [](const VsfState& s) { EXPECT_EQ(s.settings.hasByStatement, 3); }},
      {"proc varsifter; by; model y = a;", 3000, nullptr},
      {"proc varsifter; by nosuch; model y = a;", 3000, nullptr},
  };
  for (const ProcCase& c : cases) {
    StepRun r = runStepText(std::string(c.text) + " run;");
    EXPECT_EQ(r.code, c.code) << c.text << "\n" << r.dump();
    if (c.check && r.code < 1000) {
      SCOPED_TRACE(c.text);
      c.check(lastState());
    }
  }
}

}  // namespace
}  // namespace vsf::test
