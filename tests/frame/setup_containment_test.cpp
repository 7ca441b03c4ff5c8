// Containment among the per-parameter candidates of a design built per BY group: a candidate
// contains another when its effect contains the other's and it fixes the same level of every
// CLASS variable the other fixes.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "common/test_host.h"
#include "frame/phases.h"
#include "frame/state.h"

namespace vsf::test {
namespace {

struct Candidates {
  std::unique_ptr<VsfState> v = std::make_unique<VsfState>();
  std::vector<CandidateEntry> table;
  std::vector<std::vector<int32_t>> vars, levels;
  // Effects 0 (intercept), 1 = a, 2 = a*b; an effect contains the ones listed.
  std::vector<int32_t> counts{0, 1, 2};
  std::vector<int32_t> list1{0}, list2{0, 1};
  std::vector<int32_t*> relations{nullptr, list1.data(), list2.data()};

  Candidates() {
    ensureHost();
    v->group.byPool = kernel().poolCreate("VARSIFTER BY POOL", kPoolPlain);
    v->group.relationCounts[1] = counts.data();
    v->group.relationLists[1] = relations.data();
    v->settings.options.hierarchy = 1;
    // Candidates 0 (intercept), 1 and 2 (a at levels 0 and 1), 3 and 4 (a*b at (0, 0), (1, 0)).
    add({}, {});
    add({0}, {0});
    add({0}, {1});
    add({0, 1}, {0, 0});
    add({0, 1}, {1, 0});
  }
  ~Candidates() { kernel().poolDestroy(v->group.byPool); }
  void add(std::vector<int32_t> var, std::vector<int32_t> level) {
    vars.push_back(std::move(var));
    levels.push_back(std::move(level));
  }
  int build() {
    table.clear();
    for (size_t i = 0; i < vars.size(); ++i) {
      CandidateEntry e;
      e.effect = i == 0 ? 0 : (i < 3 ? 1 : 2);
      e.splitCount = static_cast<int32_t>(vars[i].size());
      e.splitVars = vars[i].data();
      e.levels = levels[i].data();
      table.push_back(e);
    }
    v->group.candidates.table = &table;
    v->group.candidates.count = static_cast<int32_t>(table.size());
    return buildCandidateContainment(v.get());
  }
  std::vector<std::vector<int32_t>> lists(bool contained) const {
    const SelectionState& s = v->group.selection;
    std::vector<std::vector<int32_t>> out;
    for (size_t i = 0; i < table.size(); ++i) {
      int32_t n = (contained ? s.containment.containedCount : s.containment.containingCount)[i];
      int32_t* l = (contained ? s.containment.containedLists : s.containment.containingLists)[i];
      out.emplace_back(l, l + n);
    }
    return out;
  }
};

using Lists = std::vector<std::vector<int32_t>>;

TEST(CandidateContainment, ListsAndTheirInverse) {
  Candidates c;
  ASSERT_EQ(c.build(), 0);
  EXPECT_EQ(c.lists(true), (Lists{{}, {0}, {0}, {0, 1}, {0, 2}}));
  EXPECT_EQ(c.lists(false), (Lists{{1, 2, 3, 4}, {3}, {4}, {}, {}}));
  const SelectionState& s = c.v->group.selection;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(s.containment.containedCountCopy[i], s.containment.containedCount[i]);
    EXPECT_EQ(s.containment.containingCountCopy[i], s.containment.containingCount[i]);
  }
}

TEST(CandidateContainment, WithoutHierarchyOnlyZeroCounts) {
  Candidates c;
  c.v->settings.options.hierarchy = 0;
  c.v->settings.options.method = kMethodForward;
  ASSERT_EQ(c.build(), 0);
  const SelectionState& s = c.v->group.selection;
  ASSERT_NE(s.containment.containedCount, nullptr);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(s.containment.containedCount[i] + s.containment.containingCount[i], 0);
  EXPECT_EQ(s.containment.containedLists, nullptr);
  // BACKWARD keeps the lists without HIERARCHY=.
  c.v->settings.options.method = kMethodBackward;
  ASSERT_EQ(c.build(), 0);
  EXPECT_EQ(c.lists(true)[3], (std::vector<int32_t>{0, 1}));
}

TEST(CandidateContainment, AnEmptyTableIsRefused) {
  Candidates c;
  c.vars.clear();
  c.levels.clear();
  EXPECT_EQ(c.build(), rc::kMemory);
}

}  // namespace
}  // namespace vsf::test
