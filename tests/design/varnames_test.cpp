// Variable-based column names and labels (label style 0) under VALIDVARNAME V7, V6 and ANY.
#include <set>

#include "design/design_support.h"

namespace vsf::test {
namespace {

// One column per observed level of the variable, named variable-based.
std::vector<std::string> levelColumnNames(ClassSpec spec, const std::string& validVarName) {
  ValidVarName option(validVarName);
  DesignBuilder b(dflag::kNoIntercept);
  b.d.labelStyle = 0;
  int n = static_cast<int>(spec.levels.size());
  int g = b.addClass(std::move(spec));
  b.addEffect({"g", {}, {g}, {}, {}});
  for (int l = 0; l < n; ++l) b.observe({l});
  b.finish();
  zcolnames(&b.ctx);
  return b.names();
}

struct PrefixCase {
  const char* what;
  const char* option;
  int valueWidth;
  int cprefix;
  std::vector<std::string> want;
};

TEST(VariableNames, NamePrefixByValueWidthAndLimit) {
  const PrefixCase cases[] = {
      {"V6, width 8: no room for a prefix", "V6", 8, -1, {"A", "B"}},
      {"V6, width 2: six characters of the name, upper case", "V6", 2, -1, {"TREATMA", "TREATMB"}},
      {"V7, width 8: the whole name", "V7", 8, -1, {"TreatmentA", "TreatmentB"}},
      {"V7, width 30", "V7", 30, -1, {"TrA", "TrB"}},
      {"given prefix length", "V7", 8, 4, {"TreaA", "TreaB"}},
      {"given prefix length 0", "ANY", 8, 0, {"A", "B"}},
  };
  for (const PrefixCase& c : cases) {
    SCOPED_TRACE(c.what);
    ClassSpec s = cls("Treatment", {"A", "B"});
    s.length = c.valueWidth;
    s.cprefix = c.cprefix;
    EXPECT_EQ(levelColumnNames(s, c.option), c.want);
  }
}

TEST(VariableNames, NumericLevelTextsBecomeNameCharacters) {
  struct Case {
    const char* option;
    std::vector<std::string> want;
  } cases[] = {
      {"V7", {"x1D5", "xN2", "x1E3", "xP4", "xE5"}},
      {"V6", {"1D5", "N2", "1E3", "P4", "E5"}},
      {"ANY", {"x1.5", "x-2", "x1E3", "x+4", "xE5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    ClassSpec s = cls("x", {"1.5", "-2", "1E3", "+4", "E5"});
    s.character = false;
    EXPECT_EQ(levelColumnNames(s, c.option), c.want);
  }
}

TEST(VariableNames, InterceptClassContinuousAndNestedColumns) {
  ValidVarName option("V7");
  DesignBuilder b;
  b.d.labelStyle = 0;
  ClassSpec g = cls("g", {"a", "b", "c"});
  g.label = "Group";
  int gi = b.addClass(g);
  int hi = b.addClass(cls("h", {"u", "v"}));
  int x = b.addContinuous("x", "Weight");
  int z = b.addContinuous("z");
  b.addEffect({"Intercept", {}, {}, {}, {}});
  b.addEffect({"x", {x}, {}, {}, {}});
  b.addEffect({"z", {z}, {}, {}, {}});
  b.addEffect({"x*g", {x}, {gi}, {}, {}});
  b.addEffect({"h(g)", {}, {hi}, {gi}, {}});
  b.finish();
  zcolnames(&b.ctx);
  std::vector<std::string> names, labels;
  for (int c = 0; c < b.d.columnCount; ++c)
    names.push_back(b.name(c)), labels.push_back(b.label(c));
  EXPECT_EQ(names, (std::vector<std::string>{"Intercept", "x", "z", "gax", "gbx", "huga", "hugb",
                                             "hugc"}));
  EXPECT_EQ(labels, (std::vector<std::string>{"Intercept", "Weight", "", "Group a * Weight",
                                              "Group b * Weight", "h u * Group a", "h u * Group b",
                                              "h u * Group c"}));
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
  EXPECT_EQ(b.d.nameCounters[0], 9);
  EXPECT_EQ(b.d.nameCounters[1], 16);
  const char sep[] = "/";
  b.d.separatorText = sep;
  b.d.separatorLength = 1;
  zcolnames(&b.ctx);
  EXPECT_EQ(b.label(3), "Group a/Weight");
}

TEST(VariableNames, ContinuousNamesLeaveRoomForTheOthers) {
  ValidVarName option("V7");
  DesignBuilder b(dflag::kFullRank | dflag::kNoIntercept);
  b.d.labelStyle = 0;
  int x1 = b.addContinuous("aaaaaaaaaaaaaaaaaaaa");
  int x2 = b.addContinuous("bbbbbbbbbbbbbbbbbbbb");
  int x3 = b.addContinuous("cccccccccccccccccccc");
  b.addEffect({"x1*x2*x3", {x1, x2, x3}, {}, {}, {}});
  b.finish();
  zcolnames(&b.ctx);
  EXPECT_EQ(b.name(0), std::string(20, 'a') + std::string(11, 'b') + "c");
  EXPECT_EQ(b.label(0),
            std::string(20, 'a') + " * " + std::string(20, 'b') + " * " + std::string(20, 'c'));
}

TEST(VariableNames, LongLabelPrefixGivesWayToTheLevelText) {
  ValidVarName option("V7");
  DesignBuilder b(dflag::kFullRank | dflag::kNoIntercept);
  b.d.labelStyle = 0;
  ClassSpec g = cls("g", {std::string(100, 't'), "u"});
  g.label = std::string(200, 'L');
  int gi = b.addClass(g);
  b.addEffect({"g", {}, {gi}, {}, {}});
  b.finish();
  zcolnames(&b.ctx);
  EXPECT_EQ(b.label(0), std::string(155, 'L') + " " + std::string(100, 't'));
}

TEST(VariableNames, CodedLevelsUseTheirCodedTexts) {
  ValidVarName option("V7");
  DesignBuilder b(dflag::kFullRank | dflag::kNoIntercept);
  b.d.labelStyle = 0;
  ClassSpec g = cls("g", {"a", "b", "c"});
  g.coding = kCodingOrthPoly;
  g.matrix = std::vector<double>(6, 1.0);
  g.label = "Grp";
  int gi = b.addClass(g);
  int hi = b.addClass(cls("h", {"u", "v"}));
  b.addEffect({"h", {}, {hi}, {}, {}});
  b.addEffect({"g", {}, {gi}, {}, {}});
  b.finish();
  zcolnames(&b.ctx);
  EXPECT_EQ(b.name(2), "gOPOLY1");
  EXPECT_EQ(b.label(3), "Grp OPOLY 2");
}

}  // namespace
}  // namespace vsf::test
