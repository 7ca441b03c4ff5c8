// Level order (ORDER=, DESCENDING), the reference level and the lookup of formatted values,
// levelized from tests/data/levelize/orders.csv (made by tests/reference/levelize_data.py).
#include <gtest/gtest.h>

#include "levelize/lev_harness.h"

namespace vsf {
namespace {

using test::LevHarness;
using Levels = std::vector<std::string>;

struct Options {
  int order = 'U';
  int descending = 0;
  int missing = 0;
  uint32_t flags = 0;
  bool formatted = false;  // the numeric variable has a format
};

struct Result {
  int status = -1;
  Levels levels;
  int note = 0;
};

Result levelize(const char* var, const Options& o) {
  LevHarness h("orders");
  h.addClass(var);
  h.build();
  LevelVar& v = h.design.classVars[0];
  v.order = o.order;
  v.descending = o.descending;
  v.missingLevel = o.missing;
  if (o.formatted) v.desc->format = "BEST";
  h.design.flags |= o.flags;
  EXPECT_TRUE(h.nextGroup());
  Result r;
  r.status = h.levelize();
  r.levels = h.levels(0);
  r.note = v.orderNote;
  return r;
}

// s holds " 9" once, "10" twice, "b" three times and "a" twice, first seen in that order
// except that "b" comes before "a". The formatted " 9" is the level "9", left-justified before
// the levels are compared, so it sorts after "10". Ties of FREQ stay as the Shell sort of the
// text-ordered list leaves them.
TEST(LevelOrder, CharacterVariable) {
  struct Case {
    int order, descending;
    Levels want;
  } cases[] = {
      {'M', 0, {"10", "9", "a", "b"}},  // the left-justified 9 after 10
      {'M', 1, {"b", "a", "9", "10"}}, {'F', 0, {"b", "10", "a", "9"}},  // a and 10 tie at 2
      {'F', 1, {"9", "10", "a", "b"}}, {'D', 0, {"9", "10", "b", "a"}},
      {'D', 1, {"a", "b", "10", "9"}}, {'I', 0, {"10", "9", "a", "b"}},
      {'I', 1, {"b", "a", "9", "10"}}, {'X', 0, {"b", "10", "a", "9"}},  // ties by formatted text
      {'X', 1, {"9", "a", "10", "b"}}, {'Y', 0, {"b", "10", "a", "9"}},  // ties by first appearance
      {'Z', 0, {"b", "10", "a", "9"}},                                   // ties by raw text
      {'Q', 0, {"10", "9", "a", "b"}},  // not an ORDER code: the design's default
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, static_cast<char>(c.order)) + (c.descending ? " DESCENDING" : ""));
    Options o;
    o.order = c.order;
    o.descending = c.descending;
    Result r = levelize("s", o);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.levels, c.want);
    EXPECT_EQ(r.note, 0);
  }
}

// v holds 3 three times, 10 twice, 2.5, -1 and one missing value; its texts sort "-1", "10",
// "2.5", "3". Without a format ORDER=FORMATTED orders by value and notes that the order
// differs from the text order.
TEST(LevelOrder, NumericVariable) {
  struct Case {
    const char* name;
    Options o;
    Levels want;
    int note;
  } cases[] = {
      {"formatted without a format: by value, noted", {'M'}, {"-1", "2.5", "3", "10"}, 1},
      {"default order", {'U'}, {"-1", "2.5", "3", "10"}, 1},
      {"descending: no note", {'M', 1}, {"10", "3", "2.5", "-1"}, 0},
      {"note suppressed by the design",
       {'M', 0, 0, dflag::kNoOrderNote},
       {"-1", "2.5", "3", "10"},
       0},
      {"with a format: text order", {'M', 0, 0, 0, true}, {"-1", "10", "2.5", "3"}, 0},
      {"internal with MISSING: missing first", {'I', 0, 1}, {".", "-1", "2.5", "3", "10"}, 0},
      {"internal descending with MISSING", {'I', 1, 1}, {"10", "3", "2.5", "-1", "."}, 0},
      {"frequency", {'F'}, {"3", "10", "-1", "2.5"}, 0},
      {"frequency then value", {'Z'}, {"3", "10", "-1", "2.5"}, 0},
      {"frequency then value, descending", {'Z', 1}, {"2.5", "-1", "10", "3"}, 0},
      {"data order", {'D'}, {"3", "10", "2.5", "-1"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result r = levelize("v", c.o);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.levels, c.want);
    EXPECT_EQ(r.note, c.note);
  }
}

struct RefCase {
  const char* name;
  int32_t ref;
  const char* text;
  uint32_t flags;
  int32_t inPlace;
  int32_t raw;
  Levels want;
  int32_t refIndex;
};

// The reference level of s (levels 9, 10, a, b in text order). Without full-rank codings the
// reference is moved last and its index is then the last one.
TEST(LevelOrder, ReferenceLevel) {
  RefCase cases[] = {
      {"FIRST moved last", -1, nullptr, 0, 0, 0, {"9", "a", "b", "10"}, 3},
      {"FIRST in place under full rank",
       -1,
       nullptr,
       dflag::kFullRank,
       0,
       0,
       {"10", "9", "a", "b"},
       0},
      {"LAST", -2, nullptr, 0, 0, 0, {"10", "9", "a", "b"}, 3},
      {"by value", -3, "a", 0, 0, 0, {"10", "9", "b", "a"}, 3},
      {"by value, leading and trailing blanks", -3, "  a  ", 0, 0, 0, {"10", "9", "b", "a"}, 3},
      {"by value, the right-aligned 9", -3, " 9", 0, 0, 0, {"10", "a", "b", "9"}, 3},
      {"by value kept in place", -3, "a", 0, 1, 0, {"10", "9", "a", "b"}, 2},
      {"raw variable: the value as delivered",
       -3,
       " 9",
       dflag::kFullRank,
       0,
       1,
       {" 9", "10", "a", "b"},
       0},
      {"an index out of range becomes LAST",
       7,
       nullptr,
       dflag::kFullRank,
       0,
       0,
       {"10", "9", "a", "b"},
       3},
  };
  for (const RefCase& c : cases) {
    SCOPED_TRACE(c.name);
    LevHarness h("orders");
    h.addClass("s");
    h.build();
    LevelVar& v = h.design.classVars[0];
    v.refIndex = c.ref;
    v.refText = const_cast<char*>(c.text);
    v.refInPlace = c.inPlace;
    v.raw = c.raw;
    h.design.flags |= c.flags;
    ASSERT_TRUE(h.nextGroup());
    ASSERT_EQ(h.levelize(), 0);
    Levels got;
    for (int k = 0; k < v.levelCount; ++k)
      got.emplace_back(trimRight(std::string_view(v.levelTexts[k], 2)));
    EXPECT_EQ(got, c.want);
    EXPECT_EQ(v.refIndex, c.refIndex);
    EXPECT_TRUE(h.messages.empty());
  }
}

TEST(LevelOrder, ReferenceValueThatIsNoLevelEndsTheOrderingStep) {
  // zlev finds such a value first (status 2); zlvlorder on its own ends the step.
  LevHarness h("orders");
  h.addClass("s");
  h.build();
  LevelVar& v = h.design.classVars[0];
  v.raw = 1;
  v.refIndex = -3;
  v.refText = const_cast<char*>("9");  // raw: " 9" is not "9"
  ASSERT_TRUE(h.nextGroup());
  EXPECT_EQ(h.levelize(), 2);
  ASSERT_EQ(h.messageNumbers(), (std::vector<std::pair<int, int>>{{172, 394}}));
  // The error names the value and the levels as they compare: the raw " 9" shows why.
  EXPECT_EQ(h.messages[0].args,
            (std::vector<std::string>{"s", "9", "\" 9\", \"10\", \"a\", \"b\""}));
  EXPECT_EQ(h.design.buildCode, 112);

  levPrepare(&h.ctx);
  LevelizeWork* w = levCollect(&h.ctx);
  char** texts = nullptr;
  EXPECT_TRUE(test::endsStep([&] { zlvlcollect(h.alloc.allocator, w, &h.design, 0, &texts); },
                             step::kStatement));
  levelizeWorkFree(w);
}

TEST(LevelOrder, LookupOfFormattedValues) {
  LevHarness h("orders");
  h.addClass("s");
  h.addClass("v").missingLevel = 1;
  h.build();
  ASSERT_TRUE(h.nextGroup());
  ASSERT_EQ(h.levelize(), 0);
  LevelVar& s = h.design.classVars[0];
  LevelVar& v = h.design.classVars[1];
  // s levels after LAST: 10, 9, a, b; v: ., -1, 2.5, 3, 10.
  struct Case {
    LevelVar* var;
    std::string text;
    int want;
  } cases[] = {
      {&s, "a ", 2},
      {&s, " a", 2},
      {&s, " 9", 1},
      {&s, "9 ", 1},
      {&s, "10", 0},
      {&s, "zz", -1},
      {&v, "10          ", 4},
      {&v, "          10", 4},
      {&v, ".           ", 0},
      {&v, "2.5         ", 2},
      {&v, "2           ", -1},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string buf = c.text;
    EXPECT_EQ(zlvlfind(nullptr, c.var, buf.data()), c.want);
  }
  // Many levels: the bisection above six entries finds every one of them.
  std::vector<char*> texts;
  std::vector<std::string> store;
  for (int k = 0; k < 40; ++k) store.push_back(fmt::format("L{:02d}", k));
  LevelVar many;
  many.formattedWidth = 3;
  many.levelCount = 40;
  std::vector<char*> lookup;
  std::vector<int32_t> index;
  for (int k = 0; k < 40; ++k) {
    lookup.push_back(store[static_cast<size_t>(k)].data());
    index.push_back(39 - k);
  }
  many.lookupTexts = lookup.data();
  many.lookupIndex = index.data();
  for (int k = 0; k < 40; ++k) {
    std::string t = store[static_cast<size_t>(k)];
    EXPECT_EQ(zlvlfind(nullptr, &many, t.data()), 39 - k) << t;
  }
  std::string absent = "L99";
  EXPECT_EQ(zlvlfind(nullptr, &many, absent.data()), -1);
}

// zsort2key on its own: each key type with its direction; equal keys are never exchanged.
TEST(LevelOrder, TwoKeyShellSort) {
  auto sortDoubles = [](std::vector<double> keys, const char* type) {
    std::vector<int64_t> p(keys.size());
    for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<int64_t>(i);
    zsort2key(reinterpret_cast<char*>(keys.data()), static_cast<int>(keys.size()), p.data(), type,
              "", 8, 8);
    return p;
  };
  const double dot = missingValue('.'), a = missingValue('A');
  // Missing values of any kind tie below every number.
  EXPECT_EQ(sortDoubles({2, dot, -5, a, 1}, "D"), (std::vector<int64_t>{1, 3, 2, 4, 0}));
  EXPECT_EQ(sortDoubles({2, dot, -5, a, 1}, "-D"), (std::vector<int64_t>{0, 4, 2, 1, 3}));

  auto sortPairs = [](std::vector<std::pair<int64_t, int64_t>> keys, const char* t1,
                      const char* t2) {
    std::vector<int64_t> p(keys.size());
    for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<int64_t>(i);
    zsort2key(reinterpret_cast<char*>(keys.data()), static_cast<int>(keys.size()), p.data(), t1, t2,
              16, 16);
    return p;
  };
  // Count descending, then first appearance ascending (ORDER=FREQ with data-order ties).
  EXPECT_EQ(sortPairs({{1, 0}, {3, 4}, {1, 2}, {3, 1}}, "-X", "L"),
            (std::vector<int64_t>{3, 1, 0, 2}));
  EXPECT_EQ(sortPairs({{1, 0}, {3, 4}, {1, 2}, {3, 1}}, "X", "-L"),
            (std::vector<int64_t>{2, 0, 1, 3}));
  // Negative 64-bit keys compare as signed.
  std::vector<int64_t> l = {5, -7, 0};
  zsort2key(reinterpret_cast<char*>(l.data()), 3, nullptr, "L", "", 8, 8);
  EXPECT_EQ(l, (std::vector<int64_t>{-7, 0, 5}));
}

}  // namespace
}  // namespace vsf
