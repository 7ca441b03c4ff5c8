// The CLASS statement reader: global options become the design's defaults and go to every
// CLASS variable's LevelVar, per-variable options override them; the repairs of PARAM=,
// CPREFIX=, LPREFIX=, MISSING and DELIMITER=; the procedure statement's design options.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "common/statements_support.h"

namespace vsf::test {
namespace {

// The fields of one CLASS variable's LevelVar that the reader writes.
struct Var {
  int coding = 0;
  char order = 'M';
  int ref = -2;
  std::string refText;
  int descending = 0, missing = 0, cprefix = -1, lprefix = -1, split = 0;
  bool operator==(const Var&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Var& v) {
  return o << "{coding " << v.coding << " order " << v.order << " ref " << v.ref << " '"
           << v.refText << "' desc " << v.descending << " missing " << v.missing << " cprefix "
           << v.cprefix << " lprefix " << v.lprefix << " split " << v.split << "}";
}

Var fieldsOf(const LevelVar& l) {
  return {static_cast<int>(l.coding),
          static_cast<char>(l.order),
          l.refIndex,
          l.refText ? l.refText : "",
          l.descending,
          l.missingLevel,
          l.cprefix,
          l.lprefix,
          l.split};
}

// The design's defaults the reader writes.
struct Defaults {
  int coding = 0;
  char order = 'M';
  int ref = -2, descending = 0, missing = 0, cprefix = -1, lprefix = -1;
  char delimiter = ' ';
  bool fullRank = false;
  bool operator==(const Defaults&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Defaults& d) {
  return o << "{coding " << d.coding << " order " << d.order << " ref " << d.ref << " desc "
           << d.descending << " missing " << d.missing << " cprefix " << d.cprefix << " lprefix "
           << d.lprefix << " delimiter '" << d.delimiter << "' full rank " << d.fullRank << "}";
}

Defaults defaultsOf(const ZDesign& d) {
  return {static_cast<int>(d.defaultCoding),
          static_cast<char>(d.defaultOrder),
          d.defaultRef,
          d.defaultDescending,
          d.defaultMissing,
          d.defaultCprefix,
          d.defaultLprefix,
          d.delimiter,
          (d.flags & dflag::kFullRank) != 0};
}

Var with(std::initializer_list<std::pair<const char*, int>> changes) {
  Var v;
  for (const auto& [field, value] : changes) {
    std::string f = field;
    if (f == "coding") v.coding = value;
    if (f == "order") v.order = static_cast<char>(value);
    if (f == "ref") v.ref = value;
    if (f == "desc") v.descending = value;
    if (f == "missing") v.missing = value;
    if (f == "cprefix") v.cprefix = value;
    if (f == "lprefix") v.lprefix = value;
    if (f == "split") v.split = value;
  }
  return v;
}

Var withText(Var v, std::string text) {
  v.refText = std::move(text);
  return v;
}

struct ClassCase {
  const char* statements;     // the CLASS statement (and any other before MODEL)
  std::vector<int> messages;  // set * 10000 + number
  int code;
  std::vector<Var> vars;  // the CLASS variables in the design's order
  Defaults defaults;
};

void runCases(const std::vector<ClassCase>& cases, const char* proc = "") {
  for (const ClassCase& c : cases) {
    SCOPED_TRACE(c.statements);
    std::string text = std::string("proc varsifter data=diab ") + proc + "; " + c.statements +
                       "; model y = x1; run;";
    std::vector<Var> vars;
    Defaults defaults;
    StepRun r = runStepText(text, [&](const VsfState& s) {
      const ZDesign& d = *s.lev.design;
      for (int32_t i = 0; i < d.classCount; ++i) vars.push_back(fieldsOf(d.classVars[i]));
      defaults = defaultsOf(d);
    });
    EXPECT_EQ(r.messages(), c.messages) << r.dump();
    EXPECT_EQ(r.code, c.code) << r.dump();
    ASSERT_TRUE(r.inspected) << r.dump();
    EXPECT_EQ(vars, c.vars);
    EXPECT_EQ(defaults, c.defaults);
  }
}

TEST(ClassReader, CodingsOrdersAndReferences) {
  StubData data;
  const Var plain;
  const Defaults none;
  Defaults fullRank;
  fullRank.fullRank = true;
  Defaults ref = fullRank;
  ref.coding = 2;
  Defaults ordinal = fullRank;
  ordinal.coding = 7;
  Defaults dataFirst;
  dataFirst.order = 'D';
  dataFirst.ref = -1;
  Defaults byValue;
  byValue.ref = -3;
  Defaults byData;
  byData.order = 'D';
  runCases({
      {"class a b", {}, 0, {plain, plain}, none},
      // A per-variable option overrides the global one, both ways.
      {"class a b(param=ref) / param=effect", {}, 0, {plain, with({{"coding", 2}})}, fullRank},
      {"class a(param=effect) b / param=ref", {}, 0, {plain, with({{"coding", 2}})}, ref},
      // Full rank for some variables only: b keeps coding 0.
      {"class a(param=ref) b", {8480230}, 4, {with({{"coding", 2}}), plain}, fullRank},
      {"class a(param=ref) b / param=qfr", {8480231}, 4, {with({{"coding", 2}}), plain}, none},
      // The last value of a list wins; QFR for one variable changes nothing; ORDINAL takes FIRST.
      {"class a(param=ref param=orthpoly) b(param=qfr) / param=thermometer",
       {},
       0,
       {with({{"coding", 5}}), with({{"coding", 7}, {"ref", -1}})},
       ordinal},
      {"class a(order=freq) b c(ref='Lvl  ') / order=data ref=first",
       {},
       0,
       {with({{"order", 'F'}, {"ref", -1}}), with({{"order", 'D'}, {"ref", -1}}),
        withText(with({{"order", 'D'}, {"ref", -3}}), "Lvl")},
       dataFirst},
      {"class x1-x3(ref=last) a / ref='z'",
       {},
       0,
       {plain, plain, plain, withText(with({{"ref", -3}}), "z")},
       byValue},
      {"class a(ref='p') b(ref='q' ref=first) c(ref='r')",
       {},
       0,
       {withText(with({{"ref", -3}}), "p"), with({{"ref", -1}}),
        withText(with({{"ref", -3}}), "r")},
       none},
      // A LAG effect's PERIOD= variable joins the list with reference coding and takes the
      // global ORDER=.
      {"class a b / order=data; effect l = lag(a / within=b period=c)",
       {},
       0,
       {with({{"order", 'D'}}), with({{"order", 'D'}}), with({{"order", 'D'}, {"coding", 2}})},
       byData},
  });
}

// Every keyword of the codings' table reads as its coding, per variable and for all: the
// grammar's rule for PARAM= is made from the table. QFR alone gives no coding of its own.
TEST(ClassReader, EveryCodingKeyword) {
  StubData data;
  std::vector<ClassCase> cases;
  std::deque<std::string> texts;  // the cases keep pointers to their statements
  for (const Coding& coding : coding_rows::kCodings) {
    const int code = static_cast<int>(coding.code);
    Var var = with({{"coding", code}});
    if (coding.referenceFirst) var.ref = -1;
    Defaults defaults;
    defaults.coding = code;
    defaults.fullRank = true;
    // QFR for all: no full rank, and a warning that the variables' codings may not apply.
    std::vector<int> messages;
    if (!coding.fullRank) var = Var(), defaults = Defaults(), messages = {8480231};
    for (std::string_view keyword : coding.keywords) {
      if (keyword.empty()) continue;
      texts.push_back("class a(param=" + std::string(keyword) +
                      ") b / param=" + std::string(keyword));
      cases.push_back(
          {texts.back().c_str(), messages, messages.empty() ? 0 : 4, {var, var}, defaults});
    }
  }
  EXPECT_EQ(cases.size(), 19u);
  runCases(cases);
}

TEST(ClassReader, SwitchesPrefixesAndDelimiter) {
  StubData data;
  const Var plain;
  const Defaults none;
  Defaults missing;
  missing.missing = 1;
  Defaults descending;
  descending.descending = 1;
  Defaults lprefix3;
  lprefix3.lprefix = 3;
  Defaults polyMissing = missing;
  polyMissing.fullRank = true;
  auto delimiter = [](char c) {
    Defaults d;
    d.delimiter = c;
    return d;
  };
  runCases({
      {"class a(descending) b c(split) / missing",
       {},
       0,
       {with({{"desc", 1}, {"missing", 1}}), with({{"missing", 1}}),
        with({{"split", 1}, {"missing", 1}})},
       missing},
      {"class a b / split desc showcoding",
       {},
       0,
       {with({{"split", 1}, {"desc", 1}}), with({{"split", 1}, {"desc", 1}})},
       descending},
      // POLY and ORTHPOLY variables keep no missing level.
      {"class a(param=poly) b / missing",
       {8480230, 5000911},
       4,
       {with({{"coding", 4}}), with({{"missing", 1}})},
       polyMissing},
      // Prefixes outside the INTERLACED style are repaired with a warning each.
      {"class a(cprefix=2) b / lprefix=3",
       {8480221, 8480222},
       4,
       {with({{"cprefix", 2}, {"lprefix", 3}}), with({{"lprefix", 3}})},
       lprefix3},
      {"class a / delimiter=','", {}, 0, {plain}, delimiter(',')},
      {"class a / delimiter='-+'", {8480203}, 4, {plain}, delimiter('-')},
      {"class a / delimiter=''", {8480204}, 4, {plain}, none},
  });
  Defaults interlaced;
  interlaced.lprefix = 0;
  runCases({{"class a(cprefix=2) / lprefix=0",
             {},
             0,
             {with({{"cprefix", 2}, {"lprefix", 0}})},
             interlaced}},
           "parmlabelstyle=interlaced");
}

// The VsfState switches of the CLASS statement and the design options of the procedure
// statement.
TEST(ClassReader, StepSwitchesAndDesignOptions) {
  StubData data;
  struct Case {
    const char* step;
    std::function<void(const VsfState&, const ZDesign&)> check;
  } cases[] = {
      {"proc varsifter data=diab; class a b(split) c / showcoding delimiter='|'; model y = x1;",
       [](const VsfState& s, const ZDesign& d) {
         EXPECT_EQ(s.settings.classes.splitCount, 1);
         EXPECT_EQ(s.settings.classes.globalSplit, 0);
         EXPECT_EQ(s.settings.classes.showCoding, 1);
         EXPECT_EQ(s.settings.classes.delimiter, '|');
         EXPECT_EQ(s.settings.options.designPerByGroup, 1);
         EXPECT_EQ(d.labelStyle, 1);
         EXPECT_EQ(d.widthOption, -1);
         EXPECT_EQ(d.classVars[0].formattedWidth, 12);  // a numeric variable without a format
       }},
      {"proc varsifter data=diab parmlabelstyle=separatecompact; class a grp / truncate;"
       " model y = x1;",
       [](const VsfState& s, const ZDesign& d) {
         EXPECT_EQ(s.settings.options.designPerByGroup, 0);
         EXPECT_EQ(d.labelStyle, 2);
         EXPECT_EQ(d.widthOption, 0);
         EXPECT_EQ(d.classVars[0].formattedWidth, 16);
         EXPECT_EQ(d.classVars[1].formattedWidth, 16);
       }},
      {"proc varsifter data=diab parmlabelstyle=interlaced(separator='~') shortparmnames$='sp';"
       " class grp / truncate=8; model y = x1;",
       [](const VsfState&, const ZDesign& d) {
         EXPECT_EQ(d.labelStyle, 0);
         EXPECT_EQ(std::string(d.separatorText, d.separatorLength), "~");
         EXPECT_EQ(d.shortParmNames, 1);
         EXPECT_EQ(std::string(d.shortNameText, d.shortNameLength), "sp");
         EXPECT_EQ(d.widthOption, 8);
         EXPECT_EQ(d.classVars[0].formattedWidth, 8);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    StepRun r = runStepText(std::string(c.step) + " run;",
                            [&](const VsfState& s) { c.check(s, *s.lev.design); });
    EXPECT_TRUE(r.inspected) << r.dump();
  }
}

}  // namespace
}  // namespace vsf::test
