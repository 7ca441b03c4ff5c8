// The CLASS statement reader: global options as defaults, per-variable options overriding
// them, the repairs of PARAM=, CPREFIX=, LPREFIX=, MISSING and DELIMITER=.
#include <gtest/gtest.h>

#include <functional>

#include "frame/statements_support.h"

namespace vsf::test {
namespace {

struct ClassCase {
  const char* statement;      // the CLASS statement
  const char* proc;           // procedure statement options
  std::vector<int> messages;  // set * 10000 + number
  int code;
  std::function<void(const ClassSettings&, const VsfState&)> check;
};

class ClassReader : public ::testing::Test {
 protected:
  StubData data;
};

void runCases(const std::vector<ClassCase>& cases) {
  for (const ClassCase& c : cases) {
    std::string text = std::string("proc varsifter data=diab ") + c.proc + "; " + c.statement +
                       "; model y = x1; run;";
    StepRun r = runStepText(text);
    EXPECT_EQ(r.messages(), c.messages) << c.statement << "\n" << r.dump();
    EXPECT_EQ(r.code, c.code) << c.statement << "\n" << r.dump();
    if (c.check) {
      SCOPED_TRACE(c.statement);
      c.check(lastState().classes, lastState());
    }
  }
}

TEST_F(ClassReader, CodingsOrderAndReference) {
  runCases({
      {"class a b",
       "",
       {},
       0,
       [](const ClassSettings& c, const VsfState&) {
         ASSERT_EQ(c.vars.size(), 2u);
         EXPECT_EQ(c.fullRank, 0);
         EXPECT_EQ(c.vars[0].coding, 0);
         EXPECT_EQ(c.vars[0].order, 'M');
         EXPECT_EQ(c.vars[0].reference, -2);
         EXPECT_EQ(c.vars[1].cprefix, -1);
         EXPECT_EQ(c.delimiter, ' ');
       }},
      // A per-variable option overrides the global one.
      {"class a b(param=ref) / param=effect",
       "",
       {},
       0,
       [](const ClassSettings& c, const VsfState& s) {
         EXPECT_EQ(c.vars[0].coding, 0);
         EXPECT_EQ(c.vars[1].coding, 2);
         EXPECT_EQ(c.fullRank, 1);
         EXPECT_EQ(lastDesign().flags & 0x10u, 0x10u);
       }},
      {"class a(param=effect) b / param=ref",
       "",
       {},
       0,
       [](const ClassSettings& c, const VsfState&) {
         EXPECT_EQ(c.vars[0].coding, 0);
         EXPECT_EQ(c.vars[1].coding, 2);
       }},
      {"class a(param=ref) b",
       "",
       {8480230},
       4,
       [](const ClassSettings& c, const VsfState&) {
         EXPECT_EQ(c.vars[0].coding, 2);
         EXPECT_EQ(c.vars[1].coding, 0);
       }},
      {"class a(param=ref) b / param=qfr",
       "",
       {8480231},
       4,
       [](const ClassSettings& c, const VsfState& s) {
         EXPECT_EQ(c.fullRank, 0);
         EXPECT_EQ(c.defaultCoding, 0);
         EXPECT_EQ(lastDesign().flags & 0x10u, 0u);
       }},
      {"class a(param=ref param=orthpoly) b(param=qfr) / param=thermometer",
       "",
       {},
       0,
       [](const ClassSettings& c, const VsfState&) {
         EXPECT_EQ(c.vars[0].coding, 5);      // the last value of a list wins
         EXPECT_EQ(c.vars[1].coding, 7);      // QFR for one variable changes nothing
         EXPECT_EQ(c.vars[1].reference, -1);  // ORDINAL takes FIRST
       }},
      {"class a(order=freq) b c(ref='Lvl  ') / order=data ref=first",
       "",
       {},
       0,
       [](const ClassSettings& c, const VsfState&) {
         EXPECT_EQ(c.vars[0].order, 'F');
         EXPECT_EQ(c.vars[1].order, 'D');
         EXPECT_EQ(c.vars[0].reference, -1);
         EXPECT_EQ(c.vars[2].reference, -3);
         ASSERT_NE(c.vars[2].referenceText, nullptr);
         EXPECT_EQ(std::string(c.vars[2].referenceText, c.vars[2].referenceLength), "Lvl");
       }},
      {"class x1-x3(ref=last) a / ref='z'",
       "",
       {},
       0,
       [](const ClassSettings& c, const VsfState&) {
         ASSERT_EQ(c.vars.size(), 4u);
         for (int i = 0; i < 3; ++i) EXPECT_EQ(c.vars[i].reference, -2) << i;
         EXPECT_EQ(c.vars[3].reference, -3);
         EXPECT_EQ(std::string(c.vars[3].referenceText, c.vars[3].referenceLength), "z");
       }},
  });
}

TEST_F(ClassReader, SwitchesPrefixesAndDelimiter) {
  runCases({
      {"class a(descending) b c(split) / missing",
       "",
       {},
       0,
       [](const ClassSettings& c, const VsfState& s) {
         EXPECT_EQ(c.vars[0].descending + c.vars[1].descending, 1);
         EXPECT_EQ(c.vars[2].split, 1);
         EXPECT_EQ(c.vars[0].split, 0);
         EXPECT_EQ(c.splitCount, 1);
         EXPECT_EQ(s.options.designPerByGroup, 1);
         for (const ClassVarSettings& v : c.vars) EXPECT_EQ(v.missing, 1);
       }},
      {"class a b / split desc showcoding",
       "",
       {},
       0,
       [](const ClassSettings& c, const VsfState& s) {
         EXPECT_EQ(c.vars[1].split + c.vars[0].split, 2);
         EXPECT_EQ(c.vars[1].descending, 1);
         EXPECT_EQ(c.showCoding, 1);
         EXPECT_EQ(s.options.designPerByGroup, 1);
       }},
      {"class a(param=poly) b / missing",
       "",
       {8480230, 5000911},
       4,
       [](const ClassSettings& c, const VsfState&) {
         EXPECT_EQ(c.vars[0].missing, 0);
         EXPECT_EQ(c.vars[1].missing, 1);
       }},
      {"class a(cprefix=2) b / lprefix=3",
       "",
       {8480221, 8480222},
       4,
       [](const ClassSettings& c, const VsfState&) {
         EXPECT_EQ(c.vars[0].cprefix, 2);
         EXPECT_EQ(c.vars[1].cprefix, -1);
         EXPECT_EQ(c.vars[1].lprefix, 3);
       }},
      {"class a(cprefix=2) / lprefix=0", "parmlabelstyle=interlaced", {}, 0, nullptr},
      // DELIMITER=: one character is used, a longer value its first, an empty one a blank.
      {"class a / delimiter=','",
       "",
       {},
       0,
       [](const ClassSettings& c, const VsfState&) { EXPECT_EQ(c.delimiter, ','); }},
      {"class a / delimiter='-+'",
       "",
       {8480203},
       4,
       [](const ClassSettings& c, const VsfState&) { EXPECT_EQ(c.delimiter, '-'); }},
      {"class a / delimiter=''",
       "",
       {8480204},
       4,
       [](const ClassSettings& c, const VsfState&) { EXPECT_EQ(c.delimiter, ' '); }},
      {"class a / truncate",
       "",
       {},
       0,
       [](const ClassSettings&, const VsfState& s) { EXPECT_EQ(s.design.formattedWidth, 0); }},
      {"class a / truncate=8",
       "",
       {},
       0,
       [](const ClassSettings&, const VsfState& s) { EXPECT_EQ(s.design.formattedWidth, 8); }},
      {"class a",
       "",
       {},
       0,
       [](const ClassSettings&, const VsfState& s) { EXPECT_EQ(s.design.formattedWidth, -1); }},
  });
}

}  // namespace
}  // namespace vsf::test
