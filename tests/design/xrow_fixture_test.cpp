// Design rows of mtcars against R's model.matrix (tests/reference/design_rows.R): reference and
// effect coding, the indicator layout of observed combinations, and no intercept. Columns are
// matched by their variables and levels, since R varies the first factor of an interaction
// fastest and the design rows vary it slowest.
#include <cmath>

#include "common/csv.h"
#include "design/design_support.h"

namespace vsf::test {
namespace {

enum Var { kCyl, kGear, kAm };
enum Cont { kWt, kHp };

struct Mtcars {
  std::vector<std::vector<int32_t>> levels;
  std::vector<std::vector<double>> values;
};

Mtcars loadMtcars() {
  Csv t = readCsv(std::string(VSF_SHARED_DATA) + "/mtcars.csv");
  Mtcars m;
  const std::vector<std::vector<std::string>> levelTexts = {
      {"4", "6", "8"}, {"3", "4", "5"}, {"0", "1"}};
  const char* vars[] = {"cyl", "gear", "am"};
  for (size_t r = 0; r < t.rows.size(); ++r) {
    std::vector<int32_t> lv;
    for (int v = 0; v < 3; ++v) {
      const auto& texts = levelTexts[static_cast<size_t>(v)];
      lv.push_back(static_cast<int32_t>(std::find(texts.begin(), texts.end(), t.text(r, vars[v])) -
                                        texts.begin()));
    }
    m.levels.push_back(lv);
    m.values.push_back({t.number(r, "wt"), t.number(r, "hp")});
  }
  return m;
}

// The canonical name of one of our columns: its continuous variables and CLASS levels.
std::string keyOf(const DesignBuilder& b, int effect, int column) {
  const ZEffect& z = b.d.effects[effect];
  if (std::string(z.name) == "Intercept") return "Intercept";
  std::vector<std::string> parts;
  for (int k = 0; k < z.contCount; ++k) parts.push_back(b.d.modelVars[z.cont[k]].desc->name);
  std::vector<int32_t> row = b.levelRow(effect, column);
  for (int k = 0; k < z.keyCount; ++k) {
    const LevelVar& v = b.d.classVars[z.key[k]];
    int l = row[static_cast<size_t>(z.levelTableWidth - z.keyCount + k)];
    parts.push_back(v.desc->name + "=" + std::string(v.levelTexts[l], 1));
  }
  std::sort(parts.begin(), parts.end());
  std::string key;
  for (const auto& p : parts) key += (key.empty() ? "" : "|") + p;
  return key;
}

struct FixtureCase {
  const char* file;
  uint32_t flags;
  CodingCode coding;
  bool intercept;
};

void buildModel(DesignBuilder& b, const FixtureCase& c, const Mtcars& m) {
  int cyl = b.addClass(cls("cyl", {"4", "6", "8"}, c.coding));
  int gear = b.addClass(cls("gear", {"3", "4", "5"}, c.coding));
  int am = b.addClass(cls("am", {"0", "1"}, c.coding));
  int wt = b.addContinuous("wt");
  int hp = b.addContinuous("hp");
  if (c.intercept) {
    b.addEffect({"Intercept", {}, {}, {}, {}});
    b.addEffect({"wt", {wt}, {}, {}, {}});
  }
  b.addEffect({"cyl", {}, {cyl}, {}, {}});
  b.addEffect({"gear", {}, {gear}, {}, {}});
  b.addEffect({"cyl*gear", {}, {cyl, gear}, {}, {}});
  if (!c.intercept) b.addEffect({"wt", {wt}, {}, {}, {}});
  b.addEffect({"am(cyl)", {}, {am}, {cyl}, {}});
  b.addEffect({"wt*cyl", {wt}, {cyl}, {}, {}});
  if (c.intercept) b.addEffect({"wt*hp", {wt, hp}, {}, {}, {}});
  for (const auto& lv : m.levels) b.observe(lv);
  b.finish();
}

TEST(DesignRowFixtures, MtcarsAgainstModelMatrix) {
  const FixtureCase cases[] = {
      {"mtcars_ref.csv", dflag::kFullRank, kCodingRef, true},
      {"mtcars_effect.csv", dflag::kFullRank, kCodingEffect, true},
      {"mtcars_indicator.csv", 0, kCodingEffect, true},
      {"mtcars_noint_ref.csv", dflag::kFullRank | dflag::kNoIntercept, kCodingRef, false},
  };
  Mtcars m = loadMtcars();
  ASSERT_EQ(m.levels.size(), 32u);
  for (const FixtureCase& c : cases) {
    SCOPED_TRACE(c.file);
    Csv want = readCsv(std::string("design/") + c.file);
    ASSERT_EQ(want.rows.size(), 32u);
    DesignBuilder b(c.flags);
    buildModel(b, c, m);
    ASSERT_EQ(b.d.columnCount, static_cast<int>(want.header.size()));
    std::vector<int> map;  // our column -> fixture column
    for (int e = 0; e < b.d.effectCount; ++e)
      for (int j = 0; j < b.d.effects[e].columnCount; ++j) {
        std::string key = keyOf(b, e, j);
        map.push_back(want.column(key));
        EXPECT_GE(map.back(), 0) << key;
      }
    for (size_t i = 0; i < 32; ++i) {
      std::vector<double> row = b.row(m.levels[i], m.values[i]);
      for (size_t c2 = 0; c2 < row.size(); ++c2) {
        if (map[c2] < 0) continue;
        double r = std::stod(want.rows[i][static_cast<size_t>(map[c2])]);
        EXPECT_NEAR(row[c2], r, 1e-12 * std::fmax(1.0, std::fabs(r)))
            << "row " << i << " column " << c2;
      }
    }
  }
}

// The first crossed variable varies slowest here; R varies it fastest.
TEST(DesignRowFixtures, CrossedColumnsArePermutedFromModelMatrix) {
  Mtcars m = loadMtcars();
  DesignBuilder b;
  buildModel(b, {"", dflag::kFullRank, kCodingRef, true}, m);
  const int cross = 4;
  std::vector<std::string> ours;
  for (int j = 0; j < 4; ++j) ours.push_back(keyOf(b, cross, j));
  EXPECT_EQ(ours, (std::vector<std::string>{"cyl=4|gear=3", "cyl=4|gear=4", "cyl=6|gear=3",
                                            "cyl=6|gear=4"}));
  Csv want = readCsv("design/mtcars_ref.csv");
  int first = want.column("cyl=4|gear=3");
  for (int j = 0; j < 4; ++j)  // R's column (gear, cyl) is ours (cyl, gear)
    EXPECT_EQ(want.header[static_cast<size_t>(first + (j % 2) * 2 + j / 2)],
              ours[static_cast<size_t>(j)]);
}

}  // namespace
}  // namespace vsf::test
