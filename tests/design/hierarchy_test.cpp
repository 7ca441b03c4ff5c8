// Effect containment: list relations, the relation of two effects and the per-effect lists
// under the three hierarchy modes.
#include "design/design_support.h"
#include "statements/settings.h"

namespace vsf::test {
namespace {

using Lists = std::vector<std::vector<int32_t>>;

// The lists zhierrel builds for a design.
struct Relations {
  explicit Relations(DesignBuilder& b, int mode, MethodCode method) {
    size_t n = static_cast<size_t>(b.d.effectCount);
    depCount.assign(n, 0), preCount.assign(n, 0), dep.assign(n, nullptr), pre.assign(n, nullptr);
    rel.owner = &b.ctx;
    rel.pool = b.pool;
    rel.mode = mode;
    rel.method = method;
    rel.dependantCounts = depCount.data();
    rel.prerequisiteCounts = preCount.data();
    rel.dependants = dep.data();
    rel.prerequisites = pre.data();
    rc = zhierrel(&rel);
  }
  static Lists lists(const std::vector<int32_t>& count, const std::vector<int32_t*>& l) {
    Lists out;
    for (size_t e = 0; e < count.size(); ++e) out.emplace_back(l[e], l[e] + count[e]);
    return out;
  }
  Lists prerequisites() const { return lists(preCount, pre); }
  Lists dependants() const { return lists(depCount, dep); }
  HierarchyRelations rel;
  std::vector<int32_t> depCount, preCount;
  std::vector<int32_t*> dep, pre;
  int rc = 0;
};

TEST(Containment, ListRelations) {
  const int32_t ab[] = {1, 2}, a[] = {1}, ba[] = {2, 1}, c[] = {3}, none[] = {0};
  EXPECT_EQ(znamelistrel(ab, 2, a, 1, 4), kRelContains);
  EXPECT_EQ(znamelistrel(a, 1, ab, 2, 4), kRelContained);
  EXPECT_EQ(znamelistrel(ab, 2, ba, 2, 4), kRelSame);
  EXPECT_EQ(znamelistrel(a, 1, c, 1, 4), kRelUnrelated);
  EXPECT_EQ(znamelistrel(none, 0, a, 1, 4), kRelContained);
  EXPECT_EQ(znamelistrel(none, 0, none, 0, 4), kRelSame);
}

// The effects library looks CLASS indexes up with zleadeq: the first equal entry's index.
TEST(Containment, FirstEqualEntry) {
  const char list[] = "aaba";
  EXPECT_EQ(zleadeq(list, 4, "a", 1), 0);
  EXPECT_EQ(zleadeq(list, 4, "b", 1), 2);
  EXPECT_EQ(zleadeq(list, 4, "c", 1), 4);
  EXPECT_EQ(zleadeq(list, 0, "a", 1), 0);
  const int32_t ids[] = {7, 9, 11};
  const int32_t key = 11;
  EXPECT_EQ(zleadeq(ids, 3, &key, 4), 2);
}

// Effects: 0 Intercept, 1 A, 2 B, 3 A*B, 4 B(A), 5 x, 6 x*x, 7 x*z, 8 x*A.
void model(DesignBuilder& b) {
  int a = b.addClass(cls("A", 2));
  int bb = b.addClass(cls("B", 2));
  int x = b.addContinuous("x");
  int z = b.addContinuous("z");
  b.addEffect({"Intercept", {}, {}, {}, {}});
  b.addEffect({"A", {}, {a}, {}, {}});
  b.addEffect({"B", {}, {bb}, {}, {}});
  b.addEffect({"A*B", {}, {a, bb}, {}, {}});
  b.addEffect({"B(A)", {}, {bb}, {a}, {}});
  b.addEffect({"x", {x}, {}, {}, {}});
  b.addEffect({"x*x", {x, x}, {}, {}, {}});
  b.addEffect({"x*z", {x, z}, {}, {}, {}});
  b.addEffect({"x*A", {x}, {a}, {}, {}});
  b.finish();
}

struct ModeCase {
  const char* what;
  int mode;
  MethodCode method;
  Lists prerequisites;
};

TEST(Containment, HierarchyModes) {
  const Lists all = {{}, {}, {}, {1, 2}, {1, 2}, {}, {5}, {5}, {1, 5}};
  // Only pairs of continuous effects drop out: x*A still contains x.
  const Lists classOnly = {{}, {}, {}, {1, 2}, {1, 2}, {}, {}, {}, {1, 5}};
  const Lists none(9);
  const ModeCase cases[] = {
      {"SINGLE: every effect", 1, kMethodStepwise, all},
      {"SINGLECLASS: effects with CLASS variables", 2, kMethodStepwise, classOnly},
      {"NONE: no lists", 0, kMethodForward, none},
      {"NONE under BACKWARD: the lists of SINGLE", 0, kMethodBackward, all},
  };
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.what);
    DesignBuilder b;
    model(b);
    Relations r(b, c.mode, c.method);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.prerequisites(), c.prerequisites);
    // Dependants mirror the prerequisites.
    Lists dependants(9);
    for (int32_t e = 0; e < 9; ++e)
      for (int32_t p : c.prerequisites[static_cast<size_t>(e)])
        dependants[static_cast<size_t>(p)].push_back(e);
    EXPECT_EQ(r.dependants(), dependants);
  }
}

// A(B) and A*B have the same variables: neither contains the other.
TEST(Containment, NestingAndCrossingOfTheSameVariablesAreNotRelated) {
  DesignBuilder b;
  model(b);
  Relations r(b, 1, kMethodStepwise);
  Lists pre = r.prerequisites();
  EXPECT_EQ(std::count(pre[3].begin(), pre[3].end(), 4), 0);
  EXPECT_EQ(std::count(pre[4].begin(), pre[4].end(), 3), 0);
}

TEST(Containment, NoInterceptComparesEffectZeroAndPolynomialTermsByVariables) {
  DesignBuilder b(dflag::kFullRank | dflag::kNoIntercept);
  int x = b.addContinuous("x");
  int sq = b.addDesignVar({"x^2", effkind::kPolynomial, 1, {x, x}, {}, {}});
  int sd = b.addDesignVar({"s_x^2", effkind::kPolynomial, 1, {x, x}, {}, {}});
  b.addEffect({"x", {x}, {}, {}, {}});
  b.addEffect({"x^2", {}, {}, {}, {sq}});
  b.addEffect({"s_x^2", {}, {}, {}, {sd}});
  b.finish();
  PolyRecord plain, standardized;
  standardized.standardize = 3;
  b.d.designVars[sq].poly = &plain;
  b.d.designVars[sd].poly = &standardized;
  Relations r(b, 1, kMethodStepwise);
  EXPECT_EQ(r.prerequisites(), (Lists{{}, {0}, {}}));
}

TEST(Containment, NoEffectsIsRefused) {
  DesignBuilder b;
  b.finish();
  Relations r(b, 1, kMethodStepwise);
  EXPECT_EQ(r.rc, -2);
}

}  // namespace
}  // namespace vsf::test
