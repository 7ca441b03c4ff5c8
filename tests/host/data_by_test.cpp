// BY groups, positioning within them, and bound reads.
#include <cmath>
#include <cstring>
#include <random>

#include "host/data_test_util.h"

namespace vsf::test {
namespace {

using Groups = std::vector<std::vector<std::string>>;

// The first variable of each observation, group by group; each group's size is known before
// its first observation is read.
Groups walkGroups(const HostDsFamily& f, HostDataSet* d) {
  Groups out;
  f.mode(d, 'B');
  while (f.nextByGroup(d) == 1) {
    int64_t size = -1;
    EXPECT_EQ(f.attr(d, dsattr::kGroupObs, &size), 0);
    out.emplace_back();
    while (f.readNext(d) == 1) out.back().emplace_back(f.getChar(d, 0));
    EXPECT_EQ(size, static_cast<int64_t>(out.back().size()));
  }
  return out;
}

struct ByCase {
  const char* name;
  const char* csv;
  std::vector<ByVariable> by;
  bool notSorted;
  Groups groups;
};

const ByCase kByCases[] = {
    {"ascending",
     "id,g\na,1\nb,1\nc,2\nd,3\ne,3\n",
     {{"g", false}},
     false,
     {{"a", "b"}, {"c"}, {"d", "e"}}},
    {"descending", "id,g\na,3\nb,3\nc,2\nd,1\n", {{"G", true}}, false, {{"a", "b"}, {"c"}, {"d"}}},
    {"two variables, the second descending",
     "id,g,h\na,1,b\nb,1,b\nc,1,a\nd,2,z\n",
     {{"g", false}, {"h", true}},
     false,
     {{"a", "b"}, {"c"}, {"d"}}},
    {"trailing blanks do not split a group",
     "id,g\na,x\nb,x \nc,y\n",
     {{"g", false}},
     false,
     {{"a", "b"}, {"c"}}},
    {"missing values come first",
     "id,g\na,.\nb,.\nc,.A\nd,-5\ne,2\n",
     {{"g", false}},
     false,
     {{"a", "b"}, {"c"}, {"d"}, {"e"}}},
    {"notsorted", "id,g\na,2\nb,2\nc,1\nd,2\n", {{"g", false}}, true, {{"a", "b"}, {"c"}, {"d"}}},
    {"no BY: one group", "id,g\na,2\nb,1\n", {}, false, {{"a", "b"}}},
    {"no observations", "id,g\n", {{"g", false}}, false, {}},
};

TEST_F(DataTest, ByGroups) {
  for (const ByCase& c : kByCases) {
    // Whole, and in pieces and blocks of a few bytes (one record a block at 1), so that groups
    // cross blocks and the scan's threads.
    for (size_t bytes : {size_t{1} << 20, size_t{9}, size_t{1}}) {
      HostDataSet* d = openInPieces(c.csv, std::max<size_t>(bytes, 9), 3, bytes);
      ASSERT_EQ(ds().setBy(d, c.by.data(), static_cast<int>(c.by.size()), c.notSorted), 0);
      EXPECT_EQ(walkGroups(ds(), d), c.groups) << c.name << ", blocks of " << bytes;
    }
  }
}

// Many groups over many blocks: the groups found and the first observation out of order are
// those of one pass over the rows, wherever the blocks and the scan's threads cut them.
TEST_F(DataTest, GroupsAcrossBlocksAndThreads) {
  std::mt19937 gen(5);
  for (int trial = 0; trial < 6; ++trial) {
    std::string csv = "id,g\n";
    std::vector<int> keys;
    for (int g = 0; keys.size() < 600; ++g)
      for (int n = 1 + static_cast<int>(gen() % 7); n > 0; --n) keys.push_back(g);
    // Half the trials put one observation out of order, at a place of their own.
    const size_t bad = trial % 2 ? 1 + gen() % (keys.size() - 1) : keys.size();
    if (bad < keys.size()) keys[bad] = keys[bad - 1] - 1;
    Groups expected;
    for (size_t i = 0; i < keys.size(); ++i) {
      csv += "r" + std::to_string(i) + "," + std::to_string(keys[i]) + "\n";
      if (i == 0 || keys[i] != keys[i - 1]) expected.emplace_back();
      expected.back().push_back("r" + std::to_string(i));
    }
    for (size_t bytes : {size_t{1} << 20, size_t{40}, size_t{1}}) {
      SCOPED_TRACE("trial " + std::to_string(trial) + ", blocks of " + std::to_string(bytes));
      ByVariable g{"g", false};
      HostDataSet* sorted = openInPieces(csv, 300, 4, bytes);
      if (bad < keys.size()) {
        const std::string error = stepEndError([&] { ds().setBy(sorted, &g, 1, false); });
        EXPECT_NE(error.find("observation " + std::to_string(bad + 1) + " "), std::string::npos)
            << error;
      } else {
        ASSERT_EQ(ds().setBy(sorted, &g, 1, false), 0);
        EXPECT_EQ(walkGroups(ds(), sorted), expected);
      }
      HostDataSet* runs = openInPieces(csv, 300, 4, bytes);
      ASSERT_EQ(ds().setBy(runs, &g, 1, true), 0);
      EXPECT_EQ(walkGroups(ds(), runs), expected);
    }
  }
}

TEST_F(DataTest, OutOfOrderNamesTheObservation) {
  struct Case {
    const char* csv;
    std::vector<ByVariable> by;
    const char* observation;
  } cases[] = {
      {"id,g\na,1\nb,2\nc,1\n", {{"g", false}}, "observation 3"},
      {"id,g\na,1\nb,2\n", {{"g", true}}, "observation 2"},
      {"id,g,h\na,1,1\nb,1,2\nc,1,1\n", {{"g", false}, {"h", false}}, "observation 3"},
      {"id,g\na,2\nb,2\nc,2\nd,.\n", {{"g", false}}, "observation 4"},
  };
  for (const Case& c : cases) {
    HostDataSet* d = openInPieces(c.csv, 7, 3, 1);  // a record a block: the order breaks between
    // Found when the BY variables are set, before any group is read.
    std::string error =
        stepEndError([&] { ds().setBy(d, c.by.data(), static_cast<int>(c.by.size()), false); });
    EXPECT_NE(error.find(c.observation), std::string::npos) << error;
    EXPECT_NE(error.find("WORK.PIECES"), std::string::npos) << error;
  }
  HostDataSet* d = openInPieces("id,g\na,1\n", 100);
  ByVariable unknown{"nope", false};
  EXPECT_EQ(ds().setBy(d, &unknown, 1, false), static_cast<int>(hs::kVarNotFound));
}

std::vector<std::string> readAll(const HostDsFamily& f, HostDataSet* d) {
  std::vector<std::string> out;
  while (f.readNext(d) == 1) out.emplace_back(f.getChar(d, 0));
  return out;
}

TEST_F(DataTest, StartModeAndSetup) {
  HostDataSet* d = openInPieces("id,g\na,1\nb,1\nc,2\nd,2\ne,2\nf,3\n", 8);
  ByVariable g{"g", false};
  ASSERT_EQ(ds().setBy(d, &g, 1, false), 0);
  ASSERT_EQ(ds().nextByGroup(d), 1);
  ASSERT_EQ(ds().nextByGroup(d), 1);  // the first group skipped unread
  ASSERT_EQ(ds().readNext(d), 1);
  ASSERT_EQ(ds().readNext(d), 1);
  EXPECT_EQ(ds().getChar(d, 0), "d");
  ds().start(d);
  EXPECT_EQ(readAll(ds(), d), (std::vector<std::string>{"c", "d", "e"}));
  EXPECT_EQ(ds().readNext(d), 0);  // stays at the group's end
  // The whole data set, then back to the group.
  ds().mode(d, 'F');
  ds().start(d);
  EXPECT_EQ(readAll(ds(), d).size(), 6u);
  ds().mode(d, 'B');
  ds().start(d);
  EXPECT_EQ(readAll(ds(), d), (std::vector<std::string>{"c", "d", "e"}));
  // Reading the whole data set does not lose the place among the groups.
  ds().mode(d, 'F');
  ds().start(d);
  readAll(ds(), d);
  ds().mode(d, 'B');
  ASSERT_EQ(ds().nextByGroup(d), 1);
  EXPECT_EQ(readAll(ds(), d), (std::vector<std::string>{"f"}));
  EXPECT_EQ(ds().nextByGroup(d), 0);
  // setup walks the groups again.
  ds().setup(d);
  ASSERT_EQ(ds().nextByGroup(d), 1);
  EXPECT_EQ(readAll(ds(), d), (std::vector<std::string>{"a", "b"}));
}

TEST_F(DataTest, BoundReads) {
  HostDataSet* d = openInPieces("n,c\n1.5,ab\n.B,abcdef\n-2e-9,\n", 6);
  double n = 0;
  char c4[4], c8[8], f12[12], t6[6];
  HostBindList* list = ds().bindBegin(d, 5);
  ASSERT_EQ(ds().bindVar(list, 0, &n, 8, kBindNumeric), 0);
  ASSERT_EQ(ds().bindVar(list, 1, c4, 4, kBindCharacter), 0);
  ASSERT_EQ(ds().bindVar(list, 1, c8, 8, kBindFormatted), 0);
  ASSERT_EQ(ds().bindVar(list, 0, f12, 12, kBindFormatted), 0);
  ASSERT_EQ(ds().bindVar(list, 0, t6, 6, kBindText), 0);
  // Bindings of the wrong kind are refused.
  EXPECT_EQ(ds().bindVar(list, 0, c4, 4, kBindCharacter), static_cast<int>(dsstatus::kBadBinding));
  EXPECT_EQ(ds().bindVar(list, 1, &n, 8, kBindNumeric), static_cast<int>(dsstatus::kBadBinding));
  EXPECT_EQ(ds().bindVar(list, 0, &n, 4, kBindNumeric), static_cast<int>(dsstatus::kBadBinding));
  EXPECT_EQ(ds().bindVar(list, 2, &n, 8, kBindNumeric), static_cast<int>(hs::kVarNotFound));
  ASSERT_EQ(ds().bindEnd(list), 0);
  struct Row {
    uint64_t bits;
    const char* c4;
    const char* c8;
    const char* f12;
    const char* t6;
  } want[] = {
      {bitsOf(1.5), "ab  ", "ab      ", "1.5         ", "1.5   "},
      {missingBits('B'), "abcd", "abcdef  ", "B           ", "B     "},
      {bitsOf(-2e-9), "    ", "        ", "-0.000000002", "-2E-9 "},
  };
  ds().mode(d, 'F');
  ds().start(d);
  for (const Row& w : want) {
    ASSERT_EQ(ds().readNext(d), 1);
    EXPECT_EQ(bitsOf(n), w.bits);
    EXPECT_EQ(std::string(c4, 4), w.c4);
    EXPECT_EQ(std::string(c8, 8), w.c8);
    EXPECT_EQ(std::string(f12, 12), w.f12);
    EXPECT_EQ(std::string(t6, 6), w.t6);
  }
  EXPECT_EQ(ds().readNext(d), 0);
}

TEST_F(DataTest, FormattedValues) {
  HostDataSet* d = openInPieces("n,c\n0.1,ab\n", 100);
  ds().mode(d, 'F');
  ds().start(d);
  ASSERT_EQ(ds().readNext(d), 1);
  EXPECT_EQ(ds().getFormatted(d, 0), "         0.1");
  EXPECT_EQ(ds().getFormatted(d, 1), "ab");
  EXPECT_TRUE(std::isnan(ds().getNum(d, 1)));  // a character variable has no number
  EXPECT_EQ(ds().getChar(d, 0), "");
  int number = 0;
  EXPECT_EQ(ds().findVar(d, "C", &number), 0);
  EXPECT_EQ(number, 1);
  EXPECT_EQ(ds().findVar(d, "missing", &number), static_cast<int>(hs::kVarNotFound));
}

// A text longer than the widest format keeps its length and its raw value, and is formatted in a
// field of that format's width, cut; a shorter one in a field of its own length.
TEST_F(DataTest, FormattedTextsStopAtTheWidestFormat) {
  const std::string longText(40000, 'z');
  HostDataSet* d = openInPieces("c\n" + longText + "\nab\n", 1 << 20);
  VarDescriptor v;
  ASSERT_EQ(ds().varByNumber(d, 0, &v), 0);
  EXPECT_EQ(v.length, 40000);
  EXPECT_EQ(v.formatWidth, 32767);
  ds().mode(d, 'F');
  ds().start(d);
  ASSERT_EQ(ds().readNext(d), 1);
  EXPECT_EQ(ds().getChar(d, 0), longText);
  EXPECT_EQ(ds().getFormatted(d, 0), longText.substr(0, 32767));
  ASSERT_EQ(ds().readNext(d), 1);
  EXPECT_EQ(ds().getFormatted(d, 0), "ab" + std::string(32765, ' '));
}

// Without BY variables every data set fits the reader and is read whole.
TEST_F(DataTest, VerifyAndCheck) {
  HostDataSet* reader = openInPieces("x,y,c\n1,2,a\n", 100);
  HostDataSet* same = openInPieces("y,z\n1,2\n", 100);
  HostDataSet* otherType = openInPieces("c\n5\n", 100);  // c numeric here
  HostDataSet* disjoint = openInPieces("q\n1\n", 100);
  EXPECT_EQ(ds().verify(reader, same), 0);
  EXPECT_EQ(ds().check(reader, same), 0);
  EXPECT_EQ(ds().check(reader, otherType), 0);
  EXPECT_EQ(ds().check(reader, disjoint), 0);
  EXPECT_EQ(ds().check(reader, nullptr), 1);
  EXPECT_NE(ds().verify(reader, nullptr), 0);
}

// The x values another data set delivers from its start.
std::vector<double> xValues(const HostDsFamily& f, HostDataSet* d) {
  std::vector<double> x;
  f.start(d);
  while (f.readNext(d) == 1) x.push_back(f.getNum(d, 0));
  return x;
}

// A data set with the BY variables, in no BY order and over many blocks, delivers in each of
// the reader's groups the observations of that group's BY values in its own order (none for a
// group it lacks), and again after each start; one without them is read whole every time.
TEST_F(DataTest, AnotherDataSetReadByTheReadersGroups) {
  HostDataSet* reader = openInPieces("g,s\n1,a\n1,a\n2,a\n2,b \n3,a\n", 6);
  const ByVariable by[] = {{"g", false}, {"s", false}};
  ASSERT_EQ(ds().setBy(reader, by, 2, false), 0);
  HostDataSet* other =
      openInPieces("x,S,G\n10,b,2\n11,a,1\n12,b ,2\n13,a,9\n14,a,2\n15,a,1\n16,b,2\n", 6);
  HostDataSet* lacking = openInPieces("x,g\n1,1\n2,2\n", 6);
  HostDataSet* mistyped = openInPieces("x,g,s\n1,1,2\n", 100);
  EXPECT_EQ(ds().check(reader, other), 0);
  EXPECT_EQ(ds().check(reader, lacking), 2);
  EXPECT_EQ(ds().check(reader, mistyped), 1);  // s is character in the reader
  // Before the first group there is no group to keep to.
  EXPECT_EQ(ds().verify(reader, other), 0);
  EXPECT_EQ(xValues(ds(), other).size(), 7u);
  const std::vector<std::vector<double>> groups = {{11, 15}, {14}, {10, 12, 16}, {}};
  ds().mode(reader, 'B');
  for (const std::vector<double>& want : groups) {
    ASSERT_EQ(ds().nextByGroup(reader), 1);
    ASSERT_EQ(ds().verify(reader, other), 0);
    EXPECT_EQ(xValues(ds(), other), want);
    EXPECT_EQ(xValues(ds(), other), want);
    ASSERT_EQ(ds().verify(reader, lacking), 0);
    EXPECT_EQ(xValues(ds(), lacking), (std::vector<double>{1, 2}));
    EXPECT_NE(ds().verify(reader, mistyped), 0);
  }
}

}  // namespace
}  // namespace vsf::test
