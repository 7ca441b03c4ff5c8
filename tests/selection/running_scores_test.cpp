// The entry search's running scores in the incremental mode, followed entry after entry, against
// the scores worked out afresh from the store at every step (the quadratic form the search used
// before), the store rows of wide rows summed by ranges of columns against block by block, and
// the resweep through what the last one kept against a resweep from scratch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <string>

#include "common/group_support.h"
#include "datapass/columnsum_internal.h"
#include "penalized/penalized.h"
#include "selection/methods_internal.h"

namespace vsf {
namespace {

using test::CaseData;
using test::Group;
using test::GroupSettings;

// Effects: 0 the intercept; 1, 2 and 3 = 1 + 2 exactly (aliased once both are in); 4 = 2 x 5
// and 10 = 5, ties that the earlier effect wins; 6 = -7, another tie; 8 a constant (aliased
// with the intercept); 9 a CLASS effect of three columns; 11 to 13 plain. Values are
// multiples of 1/64, so that sums and doubles are exact.
CaseData trickyCase(int rows, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> normal;
  auto q = [&] { return std::round(normal(gen) * 64) / 64; };
  // The weights, frequencies, folds and roles of a synthetic case, with columns of our own.
  CaseData d = test::syntheticCase({1, 1, 1, 1, 1, 1, 1, 1, 1, 3, 1, 1, 1, 1}, rows, seed);
  for (int i = 0; i < rows; ++i) {
    const double x1 = q(), x2 = q(), x5 = q(), x7 = q(), x11 = q(), x12 = q(), x13 = q();
    const int level = i % 4;  // level 3 has no column
    std::vector<double>& x = d.x[i];
    x = {1, x1, x2, x1 + x2, 2 * x5, x5, -x7, x7, 3};
    for (int j = 0; j < 3; ++j) x.push_back(j == level ? 1.0 : 0.0);
    x.insert(x.end(), {x5, x11, x12, x13});
    d.y[i] = x1 - 0.7 * x2 + 0.5 * x5 - x7 + 0.4 * level + 0.3 * x11 + normal(gen);
  }
  return d;
}

struct Case {
  const char* name;
  GroupSettings settings;
};

GroupSettings storeSettings() {
  GroupSettings g;
  g.full = false, g.store = true;
  return g;
}

std::vector<Case> cases() {
  std::vector<Case> out;
  out.push_back({"plain", storeSettings()});
  Case c{"weights, frequencies, roles", storeSettings()};
  c.settings.weight = c.settings.freq = c.settings.roles = true;
  out.push_back(c);
  c = {"five folds", storeSettings()};
  c.settings.kfold = true, c.settings.folds = 5, c.settings.choose = kCritCv;
  out.push_back(c);
  c = {"two workers, small pages", storeSettings()};
  c.settings.files = c.settings.workers = 2, c.settings.pageSizeKb = 1;
  out.push_back(c);
  c = {"sparse CLASS effect and column", storeSettings()};
  c.settings.sparse = std::vector<bool>(14, false);
  c.settings.sparse[9] = c.settings.sparse[12] = true;
  out.push_back(c);
  return out;
}

// A forward step as FORWARD takes it: the search, the entering effect's store rows, the entry.
int step(Group& g, EntryChoice* c) {
  SelectionState& s = g.s();
  if (int rc = searchEntry(&s, c); rc != 0 || c->effect < 0) return rc;
  if (int rc = growBeforeEntry(&s, c->effect); rc != 0) return rc;
  return enterEffect(&s, c->effect, resweepOnEntry(s.rules), 0);
}

std::vector<double> candidateValues(const SelectionState& s) {
  return std::vector<double>(s.sweep.candidateValues,
                             s.sweep.candidateValues + s.layout.effectCount);
}

TEST(RunningScores, PickAndValuesAsTheScoresWorkedOutAfresh) {
  const CaseData data = trickyCase(60, 5);
  for (const Case& k : cases()) {
    SCOPED_TRACE(k.name);
    Group running(data, k.settings), afresh(data, k.settings);
    for (Group* g : {&running, &afresh}) {
      g->options().candidateValues = 1;
      g->options().select = kCritSbc;
      ASSERT_EQ(g->prepare(), 0);
      ASSERT_EQ(g->enter({0}), 0);
    }
    std::set<int> entered;
    for (int i = 0;; ++i) {
      afresh.s().sweep.running.modelLength = -1;  // the scores hold for no model
      EntryChoice a, b;
      ASSERT_EQ(step(running, &a), 0);
      ASSERT_EQ(step(afresh, &b), 0);
      ASSERT_EQ(a.effect, b.effect) << "step " << i;
      if (a.effect < 0) break;
      entered.insert(a.effect);
      EXPECT_NEAR(a.value, b.value, 1e-9 * std::fabs(b.value)) << "step " << i;
      const auto va = candidateValues(running.s()), vb = candidateValues(afresh.s());
      for (size_t e = 0; e < va.size(); ++e) {
        ASSERT_EQ(isAbsent(va[e]), isAbsent(vb[e])) << "step " << i << " effect " << e;
        if (!isAbsent(va[e])) {
          EXPECT_NEAR(va[e], vb[e], 1e-9 * std::fabs(vb[e]) + 1e-12);
        }
      }
    }
    // Every effect enters but one of 1, 2 and 1 + 2, the constant and the tied copies that
    // lose (5 and 10 to 4, 7 to 6).
    for (int e : {1, 2, 3}) entered.erase(e);
    EXPECT_EQ(entered, (std::set<int>{4, 6, 9, 11, 12, 13}));
    EXPECT_EQ(running.s().sweep.sweptColumns, 11);
  }
}

// Unmarks every block of the group as finite: the passes then take its rows one at a time.
void unmarkBlocks(SelectionState& s) {
  const UtilFileArray& a = *s.utilFiles;
  for (int32_t i = 0; i < a.count; ++i)
    for (int64_t j = 0; j < a.records[i].residentCount; ++j)
      std::memset(static_cast<char*>(a.records[i].residentBlocks[j]) + 4, 0, 4);
}

// The two groups' store rows (of every fold too) and running scores, bit for bit.
void expectSameStoreAndScores(Group& a, Group& b, int step) {
  const SelectionState &x = a.s(), &y = b.s();
  const size_t n = sizeof(double) * x.sweep.storeRowsUsed * (x.layout.paramCount + 1);
  EXPECT_EQ(std::memcmp(x.sweep.store, y.sweep.store, n), 0) << "step " << step;
  for (int f = 0; kfoldOn(&x) && f < x.folds; ++f)
    EXPECT_EQ(std::memcmp(x.foldRecs[f].store, y.foldRecs[f].store, n), 0) << "fold " << f;
  const RunningScores *r = nullptr, *q = nullptr;
  ASSERT_EQ(currentScores(&a.s(), &r), 0);
  ASSERT_EQ(currentScores(&b.s(), &q), 0);
  const size_t E = sizeof(double) * x.layout.effectCount;
  EXPECT_EQ(std::memcmp(r->r, q->r, E), 0) << "step " << step;
  EXPECT_EQ(std::memcmp(r->v, q->v, E), 0) << "step " << step;
}

// The pass of an entering column adds the rows of a finite block four at a time: its store rows
// and the scores it updates are those of the rows taken one at a time, bit for bit.
TEST(RunningScores, RowsTakenTogetherSumAsOneAtATime) {
  CaseData data = trickyCase(70, 13);
  for (size_t i = 0; i < data.rows(); ++i) data.fold[i] = static_cast<int>(i / 14);  // in runs
  for (const Case& k : cases()) {
    SCOPED_TRACE(k.name);
    // Small pages: a pass sums many blocks into buffers that keep earlier blocks' sums, and
    // most blocks have no rows of most folds.
    GroupSettings small = k.settings;
    small.pageSizeKb = 1;
    Group together(data, small), alone(data, small);
    for (Group* g : {&together, &alone}) {
      ASSERT_EQ(g->prepare(), 0);
      ASSERT_EQ(g->enter({0}), 0);
    }
    unmarkBlocks(alone.s());
    for (int i = 0; i < 6; ++i) {
      // Scores for the model, so that the pass of the next entry updates them (the search by
      // CV does not score from them).
      const RunningScores* held = nullptr;
      ASSERT_EQ(currentScores(&together.s(), &held), 0);
      ASSERT_EQ(currentScores(&alone.s(), &held), 0);
      EntryChoice a, b;
      ASSERT_EQ(step(together, &a), 0);
      ASSERT_EQ(step(alone, &b), 0);
      ASSERT_EQ(a.effect, b.effect) << "step " << i;
      if (a.effect < 0) break;
      expectSameStoreAndScores(together, alone, i);
    }
  }
}

// Rows wider than the blocks hold a few of, every block in memory: the pass of an entering
// effect gives its workers ranges of the store's columns, the ranges crossing dense runs and a
// sparse effect's columns. Its store rows and scores are those of one worker, bit for bit,
// whether the blocks are marked finite (a column's rows four at a time) or not, in one slice or
// a slice a fold.
TEST(RunningScores, WideRowsSummedByColumnsAsOneWorkerDoes) {
  std::vector<int> columns(202, 1);
  columns[1] = 3;  // a CLASS effect
  CaseData data = test::syntheticCase(columns, 30, 21);
  for (size_t i = 0; i < data.rows(); ++i) data.fold[i] = static_cast<int>(i % 3);
  GroupSettings wide = storeSettings();
  wide.files = wide.workers = 4, wide.pageSizeKb = 8;  // four rows a block
  wide.sparse = std::vector<bool>(columns.size(), false);
  wide.sparse[1] = wide.sparse[60] = true;
  for (int folds : {0, 3})
    for (bool finite : {true, false}) {
      SCOPED_TRACE(std::to_string(folds) + (finite ? " folds, finite" : " folds, unmarked"));
      GroupSettings split = wide;
      split.kfold = folds > 0, split.folds = folds;
      split.choose = folds > 0 ? kCritCv : kCritNone;
      GroupSettings one = split;
      one.files = one.workers = 1;
      Group a(data, split), b(data, one);
      for (Group* g : {&a, &b}) {
        ASSERT_EQ(g->prepare(), 0);
        ASSERT_EQ(g->enter({0}), 0);
        if (!finite) unmarkBlocks(g->s());
      }
      const uint32_t L = a.s().layout.paramCount + 1;
      ASSERT_TRUE(sumsByColumns(&a.s(), kernGrowSscp, L, 4, L));
      for (int i = 0; i < 5; ++i) {
        const RunningScores* held = nullptr;
        ASSERT_EQ(currentScores(&a.s(), &held), 0);
        ASSERT_EQ(currentScores(&b.s(), &held), 0);
        EntryChoice c, d;
        if (i == 0) {  // the CLASS effect's three store rows
          ASSERT_EQ(a.enter({1}), 0);
          ASSERT_EQ(b.enter({1}), 0);
        } else {
          ASSERT_EQ(step(a, &c), 0);
          ASSERT_EQ(step(b, &d), 0);
          ASSERT_EQ(c.effect, d.effect) << "step " << i;
          ASSERT_GE(c.effect, 0);
        }
        expectSameStoreAndScores(a, b, i);
      }
    }
}

// The running scores follow an entry only when the model is the one they held plus the entering
// effect; any other change of the model has them worked out afresh.
TEST(RunningScores, FollowOnlyTheEntryTheyWereReadiedFor) {
  const CaseData data = trickyCase(40, 9);
  Group g(data, storeSettings());
  ASSERT_EQ(g.prepare(), 0);
  ASSERT_EQ(g.enter({0}), 0);
  SelectionState& s = g.s();
  const RunningScores* r = nullptr;
  ASSERT_EQ(currentScores(&s, &r), 0);
  EXPECT_TRUE(prepareScoreUpdate(&s, 1));
  EXPECT_EQ(s.sweep.running.entering, 1);
  EXPECT_FALSE(prepareScoreUpdate(&s, 9));  // three columns: worked out afresh after it
  EXPECT_EQ(s.sweep.running.entering, -1);
  ASSERT_EQ(g.enter({9}), 0);  // a model the scores do not hold: nothing readied
  EXPECT_FALSE(prepareScoreUpdate(&s, 1));
  ASSERT_EQ(currentScores(&s, &r), 0);
  EXPECT_EQ(r->modelLength, 2);
  removeEffect(&s, 9, Removal::kStep);
  ASSERT_EQ(currentScores(&s, &r), 0);
  EXPECT_EQ(r->modelLength, 1);
}

// An entering column the sweep leaves out (3 = 1 + 2) changes neither the residual nor the
// swept columns: the scores stand through its entry as worked out afresh, without the scorer.
TEST(RunningScores, StandThroughAnAliasedEntry) {
  const CaseData data = trickyCase(40, 11);
  Group g(data, storeSettings());
  ASSERT_EQ(g.prepare(), 0);
  ASSERT_EQ(g.enter({0}), 0);
  SelectionState& s = g.s();
  const RunningScores* r = nullptr;
  for (int k : {1, 2, 3}) {
    ASSERT_EQ(currentScores(&s, &r), 0);
    ASSERT_EQ(growBeforeEntry(&s, k), 0);
    ASSERT_EQ(enterEffect(&s, k, resweepOnEntry(s.rules), 0), 0);
  }
  ASSERT_EQ(s.sweep.flags[s.sweep.firstColumn[3]], '0');
  ASSERT_EQ(currentScores(&s, &r), 0);
  EXPECT_EQ(r->afresh, 1);
  EXPECT_EQ(r->modelLength, 4);
  const int E = s.layout.effectCount;
  const std::vector<double> rs(r->r, r->r + E), vs(r->v, r->v + E);
  s.sweep.running.modelLength = -1;
  ASSERT_EQ(currentScores(&s, &r), 0);
  EXPECT_EQ(r->afresh, 2);
  for (int e : {4, 5, 6, 7, 11, 12, 13}) {
    EXPECT_NEAR(rs[e], r->r[e], 1e-9 * (1 + std::fabs(r->r[e]))) << e;
    EXPECT_NEAR(vs[e], r->v[e], 1e-9 * (1 + std::fabs(r->v[e]))) << e;
  }
}

// 90 correlated candidates on 30 rows, three of them with effects.
CaseData wideCase(unsigned seed) {
  const int q = 90, rows = 30;
  CaseData data = test::syntheticCase(std::vector<int>(q + 1, 1), rows, seed);
  for (int i = 0; i < rows; ++i) {
    for (int j = 2; j <= q; ++j) data.x[i][j] = 0.6 * data.x[i][j - 1] + 0.8 * data.x[i][j];
    data.y[i] = data.x[i][10] - data.x[i][40] + 0.5 * data.x[i][70] + 0.3 * data.y[i];
  }
  return data;
}

// A whole run of the method by SBC (SELECT and STOP), on the store or the full crossproducts.
void fitBySbc(Group& g) {
  g.options().stop = kCritSbc;
  g.settleOptionRecords();
  ASSERT_EQ(fitModel(&g.s(), nullptr), 0);
}

GroupSettings sbcSettings(MethodCode method, bool full) {
  GroupSettings gs = storeSettings();
  gs.method = method, gs.select = kCritSbc, gs.full = full, gs.store = !full;
  return gs;
}

// The default FORWARD (SELECT=SBC, STOP=SBC) on more candidates than rows, on to the exact
// fit: the scores are worked out afresh once, for the intercept's model, and followed through
// every entry after it.
TEST(RunningScores, DefaultForwardWorksThemOutOnce) {
  Group g(wideCase(17), sbcSettings(kMethodForward, false));
  fitBySbc(g);
  const SelectionState& s = g.s();
  EXPECT_GE(s.steps.stepCount, 30 / 2);
  EXPECT_EQ(s.sweep.running.afresh, 1);
}

// The default STEPWISE the same way, on a set whose looks at removals remove nothing and on one
// with removals and entries again: the scores are worked out afresh once and followed through
// every move; the steps (removed effects negated) are those of the full crossproducts' search.
TEST(RunningScores, DefaultStepwiseWorksThemOutOnce) {
  for (const auto& [seed, removals] : {std::pair{17u, false}, std::pair{1u, true}}) {
    std::vector<int> steps[2];
    for (bool full : {false, true}) {
      Group g(wideCase(seed), sbcSettings(kMethodStepwise, full));
      g.s().sweep.running.followAlways = 1;  // removals in a small model too
      fitBySbc(g);
      const StepHistory& h = g.s().steps;
      for (int i = 0; i < h.stepCount; ++i)
        steps[full].push_back(i > 0 && h.effects[i] < h.effects[i - 1] ? -h.effect[i]
                                                                       : h.effect[i]);
      EXPECT_EQ(g.s().sweep.running.afresh, full ? 0 : 1) << seed;
    }
    EXPECT_EQ(steps[0], steps[1]) << seed;
    EXPECT_EQ(std::count_if(steps[0].begin(), steps[0].end(), [](int e) { return e < 0; }) > 0,
              removals)
        << seed;
  }
}

// Removals of one column, one after another, and the entries again of effects whose store rows
// stand: the scores follow each without being worked out afresh (the second time: after 1 leaves
// 3 = 1 + 2 and 2, 2 comes back), and equal those worked out afresh.
TEST(RunningScores, FollowRemovalsAndEntriesAgainAsWorkedOutAfresh) {
  const CaseData data = trickyCase(50, 23);
  for (const Case& k : cases()) {
    SCOPED_TRACE(k.name);
    Group g(data, k.settings);
    ASSERT_EQ(g.prepare(), 0);
    ASSERT_EQ(g.enter({0}), 0);
    SelectionState& s = g.s();
    s.sweep.running.followAlways = 1;  // however small the model
    const int E = s.layout.effectCount;
    const RunningScores* r = nullptr;
    ASSERT_EQ(currentScores(&s, &r), 0);
    for (int e : {1, 2, 4, 11, 12, -2, -4, 3, 2, -1, 4, 13, -11, -12, 11, 6, -13, 13}) {
      keepScores(&s);
      if (e > 0) {
        ASSERT_EQ(growBeforeEntry(&s, e), 0);
        ASSERT_EQ(enterEffect(&s, e, resweepOnEntry(s.rules), 0), 0);
      } else {
        removeEffect(&s, -e, Removal::kStep);
      }
      ASSERT_EQ(currentScores(&s, &r), 0);
      EXPECT_EQ(r->afresh, s.sweep.states[1] == EffectState::kFree ? 2 : 1) << e;
      const std::vector<double> rs(r->r, r->r + E), vs(r->v, r->v + E);
      ASSERT_EQ(currentScores(&s, &r, true), 0);
      for (int f = 0; f < E; ++f)
        if (s.layout.columnCount[f] == 1 && s.sweep.states[f] == EffectState::kFree) {
          EXPECT_NEAR(rs[f], r->r[f], 1e-9 * (1 + std::fabs(r->r[f]))) << e << " " << f;
          EXPECT_NEAR(vs[f], r->v[f], 1e-9 * (1 + std::fabs(r->v[f]))) << e << " " << f;
        }
      s.sweep.running.afresh -= 1;
    }
  }
}

// After a removal a tie of three candidates (4 = 2 x 5, 10 = 5) is settled on scores worked out
// afresh, which the earliest wins as before; with no removal since, nothing is reworked.
TEST(RunningScores, ATieAfterARemovalIsSettledAfresh) {
  Group g(trickyCase(40, 29), storeSettings());
  ASSERT_EQ(g.prepare(), 0);
  ASSERT_EQ(g.enter({0, 11, 12}), 0);
  SelectionState& s = g.s();
  for (int e : {0, 1, 2, 3, 6, 7, 8, 9, 13}) s.sweep.states[e] = EffectState::kHeldOut;
  s.sweep.running.followAlways = 1;
  const RunningScores* r = nullptr;
  ASSERT_EQ(currentScores(&s, &r), 0);
  removeEffect(&s, 12, Removal::kStep);
  s.sweep.states[12] = EffectState::kHeldOut;
  for (int afresh : {2, 2}) {
    EntryChoice c;
    ASSERT_EQ(searchEntry(&s, &c), 0);
    EXPECT_EQ(c.effect, 4);
    EXPECT_EQ(r->afresh, afresh);
  }
}

// Enters effects one by one as FORWARD's entries do (resweeping everything), in a state that
// keeps its resweeps and in one made to resweep from scratch: the swept matrices and their
// flags agree bit for bit, through aliased columns, a removal and the folds.
TEST(Resweep, ThroughWhatTheLastKeptAsFromScratch) {
  const CaseData data = trickyCase(50, 3);
  GroupSettings gs = storeSettings();
  gs.kfold = true, gs.folds = 3;
  Group kept(data, gs), scratch(data, gs);
  for (Group* g : {&kept, &scratch}) {
    ASSERT_EQ(g->prepare(), 0);
    ASSERT_EQ(g->enter({0}), 0);
  }
  auto same = [](const SelectionState& a, const SelectionState& b, const std::string& at) {
    const int n = a.sweep.sscpOrder;
    ASSERT_EQ(n, b.sweep.sscpOrder) << at;
    EXPECT_EQ(std::memcmp(a.sweep.swept, b.sweep.swept, sizeof(double) * tri(n)), 0) << at;
    EXPECT_EQ(std::string(a.sweep.flags, n), std::string(b.sweep.flags, n)) << at;
    EXPECT_EQ(a.sweep.sweptColumns, b.sweep.sweptColumns) << at;
    for (int f = 0; f < a.folds; ++f)
      EXPECT_EQ(std::memcmp(a.foldRecs[f].swept, b.foldRecs[f].swept, sizeof(double) * tri(n)), 0)
          << at << " fold " << f;
  };
  const std::vector<std::pair<int, bool>> moves = {{1, true},  {2, true}, {3, true},  {8, true},
                                                   {9, true},  {4, true}, {2, false}, {5, true},
                                                   {11, true}, {2, true}, {12, true}};
  for (const auto& [e, in] : moves) {
    const std::string at = (in ? "+" : "-") + std::to_string(e);
    for (Group* g : {&kept, &scratch}) {
      SelectionState& s = g->s();
      if (g == &scratch) {
        s.sweep.resweep.order = 0;
        for (int f = 0; f < s.folds; ++f) s.foldRecs[f].resweep.order = 0;
      }
      if (!in) {
        removeEffect(&s, e, Removal::kStep);
        continue;
      }
      ASSERT_EQ(growBeforeEntry(&s, e), 0);
      ASSERT_EQ(enterEffect(&s, e, 1, 0), 0);
    }
    same(kept.s(), scratch.s(), at);
  }
  const SelectionState& s = kept.s();
  EXPECT_EQ(s.sweep.flags[s.sweep.firstColumn[2]], '0');  // 3 - 1, back after 3
  EXPECT_EQ(s.sweep.flags[s.sweep.firstColumn[8]], '0');  // a constant
  EXPECT_EQ(s.sweep.resweep.order, s.sweep.sscpOrder);
}

}  // namespace
}  // namespace vsf
