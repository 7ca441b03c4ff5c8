// Pieces shared by the classical methods: the entry search, the statistics kept per step and
// the questions they ask of the options and the hierarchy.
#pragma once

#include <cfloat>

#include "selection/selection_internal.h"

namespace vsf {

// The candidate an entry search found (-1 none) and its SELECT value.
struct EntryChoice {
  int32_t effect = -1;
  double value = 0;
};

// The entry search of FORWARD and STEPWISE: single-column effects by their SSE reduction,
// the others by a trial of their own. The model is left as it was; 0 or a trial's code.
[[nodiscard]] int searchEntry(SelectionState* s, EntryChoice* out);

// The running scores brought to the current model (running_scores.cpp): followed from the
// last entry when its update was readied, or from the removal of one column, else (or
// `afresh`) worked out afresh from the store. 0 or rc::kMemory.
[[nodiscard]] int currentScores(SelectionState* s, const RunningScores** out, bool afresh = false);

// Before a removal: the running scores, where they are kept, follow the move before it now (they
// follow one move from the model they hold), so that they can follow the removal.
void keepScores(SelectionState* s);

// After a move: PRESS, CV PRESS and the partition ASEs of the new model as the options want
// them, the search's value standing for the SELECT criterion's own statistic.
[[nodiscard]] int refreshStatistics(SelectionState* s, double searchValue, bool entry);

// Starting value of a search: the worst value of the criterion.
inline double worstValue(CriterionCode code) {
  return criterionIsMaximized(code) ? -DBL_MAX : DBL_MAX;
}

inline bool selectByPass(const SelectionRules* r) { return criterionByPass(r->select); }
inline bool criterionUsed(const SelectionRules* r, CriterionCode code) {
  return r->select == code || r->stop == code || r->choose == code;
}
inline bool pressWanted(const SelectionRules* r) {
  return r->pressPerStep || criterionUsed(r, kCritPress);
}
inline bool holdoutWanted(const SelectionRules* r) {
  return r->validAsePerStep || r->testAsePerStep || criterionUsed(r, kCritValidate);
}

// A real entry after a search resweeps the model unless FULL_SWEEP$=NEVER.
inline uint8_t resweepOnEntry(const SelectionRules* r) { return r->fullSweepMode != 1; }

// The first selectable effect's index (the forced effects before it; the intercept under
// NOINT is held out and not counted among them).
inline int32_t firstSelectableIndex(const SelectionState* s) {
  return s->layout.firstSelectable + (s->rules->noInt ? 1 : 0);
}

// An effect may enter only once every effect it contains is in the model.
inline bool prerequisitesIn(const SweepMatrices& sweep, int32_t e) {
  return !sweep.hierarchyOn || !sweep.missingPrerequisites || sweep.missingPrerequisites[e] == 0;
}
// An effect may leave only while no effect that contains it is in the model.
inline bool dependantsOut(const SelectionState* s, int32_t e) {
  const CandidateData& c = candidateData(s);
  return !s->sweep.hierarchyOn || !s->sweep.absentDependants || !c.dependantCount ||
         s->sweep.absentDependants[e] == c.dependantCount[e];
}

// The cross blocks of an entering effect, built before its entry so that the entry reads its
// rows from the store instead of a pass of its own.
inline int growBeforeEntry(SelectionState* s, int32_t e) {
  return s->sweep.storeOn ? growEffectCrossproducts(s, e) : 0;
}

}  // namespace vsf
