// Effect-based column names and labels, and level names of design variables.
#include <set>

#include "design/design_support.h"

namespace vsf::test {
namespace {

TEST(EffectNames, LevelPartFollowsTheEffectName) {
  DesignBuilder b;
  b.d.labelStyle = 2;
  int a = b.addClass(cls("A", {"1", "2", "3"}));
  ClassSpec sb = cls("B", {"u", "v", "w"}, kCodingOrthEffect);
  sb.matrix = std::vector<double>(6, 0.5);
  int bb = b.addClass(sb);
  b.addEffect({"Intercept", {}, {}, {}, {}});
  b.addEffect({"A*B", {}, {a, bb}, {}, {}});
  b.finish();
  zcolnames(&b.ctx);
  EXPECT_EQ(b.labels(), (std::vector<std::string>{"Intercept", "A*B 1 OEFF1", "A*B 1 OEFF2",
                                                  "A*B 2 OEFF1", "A*B 2 OEFF2"}));
  EXPECT_EQ(b.name(3), "A*B 2 OEFF1");
  EXPECT_EQ(b.d.nameCounters[0], 11);
  EXPECT_EQ(b.d.nameCounters[1], 11);
  b.d.delimiter = '_';
  zcolnames(&b.ctx);
  EXPECT_EQ(b.label(3), "A*B 2_OEFF1");
}

TEST(EffectNames, AlignedLevelPartsUnderLabelStyleOne) {
  DesignBuilder b(dflag::kFullRank | dflag::kNoIntercept);
  b.d.labelStyle = 1;
  int x = b.addContinuous("x");
  int a = b.addClass(cls("A", {"a", "b"}));
  int bb = b.addClass(cls("B", {"c", "d"}));
  b.addEffect({"x", {x}, {}, {}, {}});
  b.addEffect({"A*B", {}, {a, bb}, {}, {}});
  b.finish();
  zcolnames(&b.ctx);
  EXPECT_EQ(b.labels(), (std::vector<std::string>{"x  ", "A*B a c"}));
  EXPECT_EQ(b.name(0), "x");
}

// Padding counts characters: a label with a two-byte character ("é") gets one blank more
// than its byte count gives, so the levels of both effects start at one page column.
TEST(EffectNames, AlignedLevelPartsCountCharacters) {
  DesignBuilder b(dflag::kFullRank | dflag::kNoIntercept);
  b.d.labelStyle = 1;
  int a = b.addClass(cls("A", {"a", "b"}));
  b.addEffect({"A_\xC3\xA9*A", {}, {a}, {}, {}});
  b.addEffect({"A_plain*A", {}, {a}, {}, {}});
  b.finish();
  zcolnames(&b.ctx);
  EXPECT_EQ(b.labels(),
            (std::vector<std::string>{"A_\xC3\xA9*A     a", "A_\xC3\xA9*A     b", "A_plain*A a"}));
  EXPECT_EQ(b.d.nameCounters[1], 12);  // bytes: what the label's storage takes
}

// A name is the label's first 32 bytes: a character across that edge is left out whole, never
// cut into an invalid byte sequence.
TEST(EffectNames, NamesCutAtWholeCharacters) {
  DesignBuilder b(dflag::kFullRank | dflag::kNoIntercept);
  b.d.labelStyle = 1;
  const std::string level = std::string(29, 'a') + "\xC3\xA9";  // the label's bytes 31 and 32
  int a = b.addClass(cls("A", {level, "b"}));
  b.addEffect({"A", {}, {a}, {}, {}});
  b.finish();
  zcolnames(&b.ctx);
  ASSERT_EQ(b.label(0), "A " + level);
  const std::string name = b.names()[0];
  EXPECT_EQ(name.size(), 31u) << name;
  EXPECT_EQ(name.substr(2), std::string(29, 'a')) << name;
  EXPECT_EQ(textHead("ab\xC3\xA9", 3), "ab");
  EXPECT_EQ(textHead("ab\xC3\xA9", 4), "ab\xC3\xA9");
  EXPECT_EQ(textHead("\xE2\x82\xAC", 2), "");  // a three-byte character cut anywhere inside
}

TEST(EffectNames, ShortNamesNumberColumnsWithinEachEffect) {
  DesignBuilder b;
  b.d.labelStyle = 2;
  b.d.shortParmNames = 1;
  std::vector<std::string> eleven;
  for (int l = 1; l <= 11; ++l) eleven.push_back("L" + std::to_string(l));
  int a = b.addClass(cls("A", eleven));
  int bb = b.addClass(cls("B", {"p", "q", "r"}));
  b.addEffect({"A", {}, {a}, {}, {}});
  b.addEffect({"B", {}, {bb}, {}, {}});
  b.finish();
  zcolnames(&b.ctx);
  std::vector<std::string> names = b.names();
  EXPECT_EQ(names[9], "_X10");
  EXPECT_EQ(names[10], "_X1");
  EXPECT_EQ(names[11], "_X2");
  EXPECT_EQ(b.label(9), "A L10");
  const char prefix[] = "Col";
  b.d.shortNameText = prefix;
  b.d.shortNameLength = 3;
  zcolnames(&b.ctx);
  EXPECT_EQ(b.name(9), "Col10");
  EXPECT_EQ(b.name(11), "Col2");
}

TEST(EffectNames, LongLabelGivesAThirtyTwoByteNameAndSplitVariablesAreLeftOut) {
  DesignBuilder b(dflag::kFullRank | dflag::kNoIntercept);
  b.d.labelStyle = 2;
  ClassSpec sa = cls("A", {"a_rather_long_level_text_of_30", "z"});
  sa.split = 0;
  int a = b.addClass(sa);
  ClassSpec sb = cls("B", {"b1", "b2"});
  sb.split = 1;
  int bb = b.addClass(sb);
  b.addEffect({"Effect_name", {}, {a}, {}, {}});
  b.addEffect({"A*B", {}, {a, bb}, {}, {}});
  b.finish();
  zcolnames(&b.ctx);
  EXPECT_EQ(b.label(0), "Effect_name a_rather_long_level_text_of_30");
  EXPECT_EQ(b.name(0), "Effect_name a_rather_long_level_");
  EXPECT_EQ(b.label(2), "A*B a_rather_long_level_text_of_30");
}

TEST(EffectNames, MemberLevelNamesAndListedEffects) {
  DesignBuilder b;
  b.d.labelStyle = 2;
  int a = b.addClass(cls("A", {"a", "b"}));
  int x1 = b.addContinuous("x1");
  int x2 = b.addContinuous("x2");
  int c = b.addDesignVar({"c", effkind::kCollection, 2, {x1, x2}, {}, {}});
  b.addEffect({"Intercept", {}, {}, {}, {}});
  b.addEffect({"c*A", {}, {a}, {}, {c}});
  b.finish();
  zlvlnameout(&b.ctx);
  zcolnames(&b.ctx);
  EXPECT_EQ(b.labels(), (std::vector<std::string>{"Intercept", "c*A x1 a", "c*A x2 a"}));
  const int32_t list[] = {1};
  zcolnames(&b.ctx, 1, list);
  EXPECT_EQ(b.d.parmNames[0][0], nullptr);
  EXPECT_EQ(b.label(2), "c*A x2 a");
  const int32_t* row = b.d.effects[1].levelTable + 1 * b.d.effects[1].levelTableWidth;
  char text[32];
  int n = zlvltext(&b.d, &b.d.effects[1], text, row);
  EXPECT_EQ(std::string(text, static_cast<size_t>(n)), " x2 a");
  EXPECT_EQ(zlvltextlen(&b.d, &b.d.effects[1], row), n);
}

// ---- Level names of design variables ----

struct LevelNameCase {
  const char* what;
  uint32_t flags;
  CodingCode coding;
  std::vector<std::string> want;
};

TEST(LevelNames, CollectionNames) {
  const LevelNameCase cases[] = {
      {"reference coding", dflag::kFullRank, kCodingRef, {"x1", "x2", "g:a", "g:b"}},
      {"orthogonal effect coding",
       dflag::kFullRank,
       kCodingOrthEffect,
       {"x1", "x2", "g:OEFF1", "g:OEFF2"}},
      {"orthogonal polynomial coding",
       dflag::kFullRank,
       kCodingOrthPoly,
       {"x1", "x2", "g:OPOLY1", "g:OPOLY2"}},
      {"one column per level", 0, kCodingRef, {"x1", "x2", "g:a", "g:b", "g:c"}},
  };
  for (const LevelNameCase& c : cases) {
    SCOPED_TRACE(c.what);
    DesignBuilder b(c.flags);
    int g = b.addClass(cls("g", {"a", "b", "c"}, c.coding));
    int x1 = b.addContinuous("x1");
    int x2 = b.addContinuous("x2");
    int v = b.addDesignVar(
        {"coll", effkind::kCollection, static_cast<int>(c.want.size()), {x1, x2}, {g}, {}});
    b.finish();
    ZDesignVar& dv = b.d.designVars[v];
    zlvlname(&b.ctx, &dv);
    std::vector<std::string> got;
    for (int i = 0; i < dv.columnCount; ++i)
      got.emplace_back(dv.labels[i], static_cast<size_t>(dv.labelLengths[i]));
    EXPECT_EQ(got, c.want);
    char** first = dv.labels;
    zlvlname(&b.ctx, &dv);
    EXPECT_EQ(dv.labels, first);
  }
}

TEST(LevelNames, CodedNamesAreNeverCut) {
  DesignBuilder b;
  std::vector<std::string> levels;
  for (int l = 0; l < 10001; ++l) levels.push_back("v" + std::to_string(l));
  int g = b.addClass(cls("g", levels, kCodingOrthBathtub));
  int v = b.addDesignVar({"lag", effkind::kLag, 10000, {}, {}, {}});
  b.finish();
  LagRecord lag;
  lag.lagged = g;
  ZDesignVar& dv = b.d.designVars[v];
  dv.lag = &lag;
  zlvlname(&b.ctx, &dv);
  EXPECT_EQ(std::string(dv.labels[9999], static_cast<size_t>(dv.labelLengths[9999])), "OBATH10000");
  EXPECT_EQ(dv.longestLabel, 10);
}

TEST(LevelNames, SplineColumnsAreNumbered) {
  for (int vars : {1, 2}) {
    SCOPED_TRACE(vars);
    DesignBuilder b;
    int x = b.addContinuous("x");
    int z = b.addContinuous("z");
    std::vector<int> members = vars == 1 ? std::vector<int>{x} : std::vector<int>{x, z};
    int v = b.addDesignVar({"spl", effkind::kSpline, 12 * vars, members, {}, {}});
    b.finish();
    SplineOptions opts;
    opts.basisColumns = 12;
    ZDesignVar& dv = b.d.designVars[v];
    dv.spline = &opts;
    zlvlnameout(&b.ctx, 1, std::vector<int32_t>{v}.data());
    auto at = [&](int i) {
      return std::string(dv.labels[i], static_cast<size_t>(dv.labelLengths[i]));
    };
    if (vars == 1) {
      EXPECT_EQ(at(0), "1");
      EXPECT_EQ(at(11), "12");
      EXPECT_EQ(dv.longestLabel, 2);
    } else {
      EXPECT_EQ(at(0), "x:1");
      EXPECT_EQ(at(23), "z:12");
    }
  }
}

TEST(LevelNames, OrthNameFillsTextOrValueSlots) {
  DesignBuilder b;
  ClassSpec num;
  num.name = "n";
  num.levels = {"1.5", "7"};
  num.coding = kCodingRef;
  int n = b.addClass(num);
  ClassSpec o = cls("o", {"a", "b", "c"}, kCodingOrthEffect);
  o.matrix = std::vector<double>(6, 1.0);
  int oi = b.addClass(o);
  int ch = b.addClass(cls("ch", {"left", "right"}));
  b.addEffect({"n*o*ch", {}, {n, oi, ch}, {}, {}});
  b.finish();
  char texts[3][32];
  std::memset(texts, '#', sizeof texts);
  double values[3] = {-1, -1, -1};
  const int32_t row[] = {0, 1, 0};
  zorthname(&b.d, &b.d.effects[0], row, texts, values);
  EXPECT_EQ(values[n], 1.5);
  EXPECT_EQ(texts[n][0], '#');
  EXPECT_STREQ(texts[oi], "OEFF2");
  EXPECT_EQ(std::string(texts[ch], 4), "left");
  EXPECT_EQ(values[ch], -1);
}

}  // namespace
}  // namespace vsf::test
