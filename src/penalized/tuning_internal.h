// The tuning of a penalized fit: the searches over the elastic net's L2, their objectives, and
// the merge of the folds' paths under external cross validation.
#pragma once

#include <cstdint>
#include <functional>

#include "selection/selection.h"

namespace vsf {

// What an objective reports besides its value: kTuningStopped when its run ended with a
// nonzero status (the status stays in the state, and the fit ends without a final run).
constexpr int kTuningStopped = 1;

// One evaluation of a search: the L2 value, the index of the point (its history row), the
// value out. 0, kTuningStopped or the negative code of a failed run.
using L2Objective = std::function<int(double l2, int32_t index, double* value)>;

struct L2SearchResult {
  int rc = 0;              // 0, kTuningStopped or a negative code
  double best = 0;         // the best L2 tried
  int32_t bestIndex = -1;  // its point index
  double value = 0;        // and its value
  bool converged = false;  // the golden section closed in before its budget ran out
};

// The k-th of the n values of the L2 grid over [low, high]: from 0 (the next value 1e-8 times
// high, or 1e-8 when high >= 1) or from low > 0, evenly spaced in the base-10 logarithm up to
// high.
// Whether the criterion gives an L2 value a score; one that does not scores every L2 alike, so
// the search keeps the first L2 it tries.
bool criterionJudgesL2(CriterionCode c);

double l2GridValue(double low, double high, int32_t n, int32_t k);

// The grid search: every grid value in turn; a non-finite value ends it and is never chosen.
// Smaller is better; a tie keeps the earlier point.
L2SearchResult gridSearch(double low, double high, int32_t n, const L2Objective& f);

// The golden-section search over [low, high] with a budget of n evaluations (a, b and c at
// least): smaller is better, a tie keeps the earlier point, and a non-finite value never wins.
L2SearchResult goldenSectionSearch(double low, double high, int32_t n, const L2Objective& f);

// One run at the given L2 judged by the CHOOSE criterion (else STOP) at its chosen step (else
// its last), with the history row of the point filled when the history is kept; the state is
// cleared after the run. 0, kTuningStopped or the code of buildModelPool or runSelection.
[[nodiscard]] int l2TuneObjective(SelectionState* s, double l2, double* value);

// External cross validation at the state's L2: a path per fold with that fold held out, the
// folds' path points merged on one grid, the held-out ASE interpolated and averaged. *value is
// the smallest average (DBL_MAX with an empty grid) and the tables keep its grid point as the
// chosen alignment value. 0, kTuningStopped or the code of a failed run.
[[nodiscard]] int evalL2ByCV(SelectionState* s, double* value);

// The merge of the folds' path points kept in the tables (alignment by L1CHOICE, grid, ASE
// averaged over the folds), leaving the grid, the averages and the chosen alignment value;
// returns the smallest average (DBL_MAX with an empty grid). A point's curvature of 0 makes its
// segment linear. A fold without a point is left out of the average.
double mergeFoldPaths(TuningTables* t, L1ChoiceCode mode, double tol);

// The rules a fold's run of external cross validation reads while it lives: STOP= ends no
// fold's path (neither a criterion nor STOP=n; the lined-up paths run past STOP=L1's target,
// while group LASSO, whose folds are compared step by step, keeps the ratio cut at it), so
// that the folds' points and what the final run reads of them are the same whatever STOP
// says. The step limits stay. The final run, after it, stops by STOP= itself.
class FoldStopRules {
 public:
  FoldStopRules(SelectionState* s, bool keepL1Target);
  ~FoldStopRules();
  FoldStopRules(const FoldStopRules&) = delete;
  FoldStopRules& operator=(const FoldStopRules&) = delete;

 private:
  SelectionState* s_;
  const SelectionRules* rules_;
  const PathOptions* paths_;
  SelectionRules foldRules_;
  PathOptions foldPaths_;
};

// Room for `more` path points past those kept, and for a grid and averages as long as all of
// them. 0 or rc::kMemory.
[[nodiscard]] int reservePoints(TuningTables* t, int32_t more);
// The group's run totals and column moments, kept before the folds' runs change them (0 or
// rc::kMemory), and put back.
[[nodiscard]] int saveGroupMoments(SelectionState* s);
void restoreGroupMoments(SelectionState* s);
// Room in the tables for the history of n points (kept when big enough), kHistoryBytes each.
// 0 or rc::kMemory.
constexpr double kHistoryBytes = 7 * sizeof(double);
[[nodiscard]] int reserveHistory(TuningTables* t, int32_t n);

}  // namespace vsf
