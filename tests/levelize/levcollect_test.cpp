// Level collection: the distinct levels of each BY group with their frequencies, first
// appearance and internal values, and the continuous ranges.
#include <gtest/gtest.h>

#include <cfloat>
#include <fstream>
#include <nlohmann/json.hpp>

#include "levelize/lev_harness.h"

namespace vsf {
namespace {

using test::LevHarness;

struct Collected {
  std::string text;
  int64_t count;
  int64_t first;
  std::string value;  // internal value: the number's text, the raw text, or "."
};

std::string numberText(double x) {
  if (znotfinite(x)) return ".";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", x);
  return buf;
}

// The levels a work area collected for a CLASS variable, in the tree's text order.
std::vector<Collected> collected(LevelizeWork* w, const LevelVar& v, int var) {
  std::vector<Collected> out;
  ZTreeNode* root = w->levelTrees[var];
  for (ZTreeNode* p = ZTREORD(root); p; p = ZTREORD(root)) {
    auto* n = reinterpret_cast<LevelNode*>(p);
    std::string text(
        trimRight(std::string_view(levelText(n), static_cast<size_t>(v.formattedWidth))));
    std::string value = v.desc->type == kVarCharacter
                            ? std::string(trimRight(
                                  std::string_view(n->rawText, static_cast<size_t>(n->rawLength))))
                            : numberText(n->value);
    out.push_back({text, n->count, n->firstSeen, value});
  }
  return out;
}

std::vector<Collected> expected(const nlohmann::json& levels) {
  std::vector<Collected> out;
  for (const auto& l : levels) {
    std::string value = l[3].is_null()     ? "."
                        : l[3].is_string() ? l[3].get<std::string>()
                                           : numberText(l[3].get<double>());
    out.push_back({l[0].get<std::string>(), l[1].get<int64_t>(), l[2].get<int64_t>(), value});
  }
  return out;
}

bool operator==(const Collected& a, const Collected& b) {
  return a.text == b.text && a.count == b.count && a.first == b.first && a.value == b.value;
}
std::ostream& operator<<(std::ostream& o, const Collected& c) {
  return o << "{" << c.text << " n=" << c.count << " first=" << c.first << " value=" << c.value
           << "}";
}

// Fixture: tests/reference/levelize_data.py (groups_levels.json).
TEST(LevelCollection, LevelsFrequenciesAndRangesOfEachByGroup) {
  std::ifstream in(std::string(VSF_TEST_DATA) + "/levelize/groups_levels.json");
  ASSERT_TRUE(in.good());
  nlohmann::json fixture = nlohmann::json::parse(in);
  for (const char* option : {"plain", "missing"}) {
    SCOPED_TRACE(option);
    const bool missing = std::string(option) == "missing";
    LevHarness h("groups", {"g"});
    h.addClass("c").missingLevel = missing;
    h.addClass("n").missingLevel = missing;
    h.addModelVar("x");
    h.ctx.frequency = h.extraVar("f");
    h.build();
    for (const auto& group : fixture[option]) {
      SCOPED_TRACE("g=" + std::to_string(group["g"].get<int>()));
      ASSERT_TRUE(h.nextGroup());
      levPrepare(&h.ctx);
      LevelizeWork* w = levCollect(&h.ctx);
      EXPECT_EQ(collected(w, h.design.classVars[0], 0), expected(group["c"]));
      EXPECT_EQ(collected(w, h.design.classVars[1], 1), expected(group["n"]));
      if (group["x"].is_null()) {
        EXPECT_EQ(w->minimum[0], DBL_MAX);  // no value seen
      } else {
        EXPECT_EQ(w->minimum[0], group["x"][0].get<double>());
        EXPECT_EQ(w->maximum[0], group["x"][1].get<double>());
      }
      levelizeWorkFree(w);
    }
    EXPECT_FALSE(h.nextGroup());
  }
}

TEST(LevelCollection, TruncatedValuesAreOneLevelWithTheLeastValueAndWarnOnce) {
  LevHarness h("orders");
  LevelVar& t = h.addClass("t");
  t.formattedWidth = 3;  // TRUNCATE=3: 1.04 and 1.01 both read "1"
  h.build();
  ASSERT_TRUE(h.nextGroup());
  levPrepare(&h.ctx);
  LevelizeWork* w = levCollect(&h.ctx);
  EXPECT_EQ(collected(w, h.design.classVars[0], 0),
            (std::vector<Collected>{{"1", 2, 0, "1.01"}, {"2", 6, 1, "2"}}));
  levelizeWorkFree(w);
  ASSERT_EQ(h.messageNumbers(), (std::vector<std::pair<int, int>>{{172, 14}}));
  EXPECT_EQ(h.messages[0].args, (std::vector<std::string>{"t", "3"}));
  EXPECT_EQ(h.design.classVars[0].truncWarned, 1);
  // The next group reads without a second warning; a variable's own message pair wins.
  h.design.classVars[0].truncWarned = 0;
  h.design.classVars[0].truncMsgSet = 172;
  h.design.classVars[0].truncMsgNumber = 398;
  h.messages.clear();
  levTruncationCheck(&h.design.classVars[0]);
  levTruncationCheck(&h.design.classVars[0]);
  EXPECT_EQ(h.messageNumbers(), (std::vector<std::pair<int, int>>{{172, 398}}));
}

// ---- Scripted observations: the rules of one observation, without a data set ----

struct Row {
  const char* c;      // character CLASS value (blank-padded to 2)
  double n;           // numeric CLASS raw value
  const char* nText;  // its formatted text
  double x;           // continuous value
  double f;           // frequency
};

struct Script {
  std::vector<Row> rows;
  size_t at = 0;
  ZDesign* design = nullptr;
};
Script* gScript = nullptr;

class Scripted {
 public:
  explicit Scripted(uint32_t flags, int missingC = 0, int missingN = 0, int multimember = 0) {
    test::ensureHost();
    descC.name = "c";
    descC.type = kVarCharacter;
    descC.length = 2;
    descN.name = "n";
    descX.name = "x";
    descF.name = "f";
    cls[0].desc = &descC;
    cls[0].formattedWidth = 2;
    cls[0].missingLevel = missingC;
    cls[0].multimember = multimember;
    cls[1].desc = &descN;
    cls[1].formattedWidth = 4;
    cls[1].missingLevel = missingN;
    model[0].desc = &descX;
    freq.desc = &descF;
    d.flags = flags;
    d.classCount = 2;
    d.classVars = cls;
    d.modelVarCount = 1;
    d.modelVars = model;
    d.freqVar = &freq;
  }

  // Collects the rows; the work area stays for inspection.
  LevelizeWork* run(std::vector<Row> rows) {
    script.rows = std::move(rows);
    script.design = &d;
    gScript = &script;
    LevelizeWork* w = levelizeWorkNew(nullptr, &d);
    w->start = [](LevelizeWork*) {
      gScript->at = 0;
      return 0;
    };
    w->next = [](LevelizeWork*) { return gScript->at++ < gScript->rows.size() ? 1 : 0; };
    w->fetch = [](LevelizeWork* work, ZDesign* design) {
      const Row& r = gScript->rows[gScript->at - 1];
      zcopypad(r.c, static_cast<int>(std::strlen(r.c)), work->formatted[0], 2);
      zcopypad(r.c, static_cast<int>(std::strlen(r.c)), work->characterRaw[0].text, 2);
      zcopypad(r.nText, static_cast<int>(std::strlen(r.nText)), work->formatted[1], 4);
      work->numericRaw[0] = r.n;
      work->values[0] = r.x;
      design->freqVar->value = r.f;
      return 1;
    };
    levelizeSequential(nullptr, w, &d);
    return w;
  }

  VarDescriptor descC, descN, descX, descF;
  LevelVar cls[2], model[1], freq;
  ZDesign d;
  Script script;
};

std::vector<Collected> levelsOf(LevelizeWork* w, const LevelVar& v, int var) {
  return collected(w, v, var);
}

const double kDot = missingValue('.');

TEST(LevelCollection, ObservationRulesOfOneRow) {
  struct Case {
    const char* name;
    uint32_t flags;
    int missingC, missingN, multimember;
    std::vector<Row> rows;
    std::vector<Collected> c, n;
    double minimum, maximum;
  } cases[] = {
      {"frequency 2.7 counts 2, 0.5 and a missing one count 0 but make the level",
       0,
       0,
       0,
       0,
       {{"a", 1, "1", 1, 2.7}, {"b", 2, "2", 2, 0.5}, {"a", 1, "1", 3, kDot}},
       {{"a", 2, 0, "a"}, {"b", 0, 1, "b"}},
       {{"1", 2, 0, "1"}, {"2", 0, 1, "2"}},
       1,
       3},
      {"a blank character value without MISSING drops the row, range included",
       0,
       0,
       0,
       0,
       {{"a", 1, "1", 1, 1}, {"  ", 2, "2", 9, 1}},
       {{"a", 1, 0, "a"}},
       {{"1", 1, 0, "1"}},
       1,
       1},
      {"with MISSING the blank value is a level",
       0,
       1,
       0,
       0,
       {{"a", 1, "1", 1, 1}, {"  ", 2, "2", 9, 1}},
       {{"", 1, 1, ""}, {"a", 1, 0, "a"}},
       {{"1", 1, 0, "1"}, {"2", 1, 1, "2"}},
       1,
       9},
      {"values sharing a text: the least raw value, a missing one counting least",
       0,
       0,
       1,
       0,
       {{"a", 1.04, "1", 1, 1},
        {"a", 1.01, "1", 1, 1},
        {"a", kDot, "1", 1, 1},
        {"a", 0.9, "1", 1, 1}},
       {{"a", 4, 0, "a"}},
       {{"1", 4, 0, "."}},
       1,
       1},
      {"keep-missing: a missing value drops only its own level",
       dflag::kKeepMissing,
       0,
       0,
       0,
       {{"a", kDot, ".", 2, 1}, {"  ", 3, "3", kDot, 1}},
       {{"a", 1, 0, "a"}},
       {{"3", 1, 0, "3"}},
       2,
       2},
      {"a multimember member's missing value is no level and keeps the row",
       0,
       0,
       0,
       1,
       {{"  ", 1, "1", 1, 1}, {"b", 2, "2", 2, 1}},
       {{"b", 1, 0, "b"}},
       {{"1", 1, 0, "1"}, {"2", 1, 1, "2"}},
       1,
       2},
      {"the range ignores missing values only under keep-missing; none seen keeps the extremes",
       dflag::kKeepMissing,
       0,
       0,
       0,
       {{"a", 1, "1", kDot, 1}},
       {{"a", 1, 0, "a"}},
       {{"1", 1, 0, "1"}},
       DBL_MAX,
       -DBL_MAX},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scripted s(c.flags, c.missingC, c.missingN, c.multimember);
    LevelizeWork* w = s.run(c.rows);
    EXPECT_EQ(levelsOf(w, s.cls[0], 0), c.c);
    EXPECT_EQ(levelsOf(w, s.cls[1], 1), c.n);
    EXPECT_EQ(w->minimum[0], c.minimum);
    EXPECT_EQ(w->maximum[0], c.maximum);
    levelizeWorkFree(w);
  }
}

TEST(LevelCollection, FilterSkipsRowsAndVariablesNotInUse) {
  Scripted s(0);
  gScript = &s.script;
  s.script.rows = {{"a", 1, "1", 1, 1}, {"b", 2, "2", 2, 1}, {"c", 3, "3", 3, 1}};
  s.script.design = &s.d;
  LevelizeWork* w = levelizeWorkNew(nullptr, &s.d);
  w->start = [](LevelizeWork*) { return gScript->at = 0, 0; };
  w->next = [](LevelizeWork*) { return gScript->at++ < gScript->rows.size() ? 1 : 0; };
  w->fetch = [](LevelizeWork* work, ZDesign* design) {
    const Row& r = gScript->rows[gScript->at - 1];
    zcopypad(r.c, 1, work->formatted[0], 2);
    zcopypad(r.c, 1, work->characterRaw[0].text, 2);
    zcopypad(r.nText, 1, work->formatted[1], 4);
    work->numericRaw[0] = r.n;
    work->values[0] = r.x;
    design->freqVar->value = r.f;
    return 1;
  };
  // Row 2 is filtered out; on row 3 the numeric variable does not matter.
  w->filter = [](LevelizeWork* work) {
    work->inUse[1] = gScript->at != 3;
    return gScript->at != 2 ? 1 : 0;
  };
  levelizeSequential(nullptr, w, &s.d);
  EXPECT_EQ(levelsOf(w, s.cls[0], 0), (std::vector<Collected>{{"a", 1, 0, "a"}, {"c", 1, 1, "c"}}));
  EXPECT_EQ(levelsOf(w, s.cls[1], 1), (std::vector<Collected>{{"1", 1, 0, "1"}}));
  EXPECT_EQ(w->maximum[0], 3.0);
  levelizeWorkFree(w);
}

}  // namespace
}  // namespace vsf
