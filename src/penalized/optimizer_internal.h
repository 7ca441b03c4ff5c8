// The optimizer fits inside the penalized layer: the problem the solver minimises, its
// callbacks, the group-LASSO path and the choice of its penalty by external cross validation.
#pragma once

#include <cstdint>

#include "frame/host/extensions.h"
#include "penalized/path_internal.h"

namespace vsf {

// The standardized problem from the run's crossproducts (each column centred and scaled to
// unit variance (n - 1) by algebra, the response centred and in units of its standard
// deviation); forced groups carry no penalty. 0 or rc::kMemory.
[[nodiscard]] int buildOptimizerProblem(SelectionState* s);
// The model of coefficients x: the first `kept` entries of the model list (the intercept and
// the forced effects) and every effect from the first selectable one with a nonzero
// coefficient, with the swept-column count of the model.
void rebuildModel(SelectionState* s, const double* x, int32_t kept);
// Estimates on the data's scale from x, the intercept the response mean less their sum times
// the column means (0 under NOINT), the standardized estimates (x itself when sd(y) > 0), and
// the training SSE.
void optimizerEstimates(SelectionState* s, const double* x);

// The solver of the hxsolve extension (null, with *ext null or released, when there is none)
// and its set-up for a plain (L1) or group penalty: dimension, option, callbacks, tolerance,
// a zero start, lambda-max. 0 or the solver's status.
SolverObject* startSolver(HxSolve** ext);
[[nodiscard]] int configureSolver(SelectionState* s, SolverObject* o, int option);
void stopSolver(HxSolve* ext, SolverObject* o);

// The solver's callbacks of the group penalty.
int groupLambdaMax(SolverObject* o);
int groupPenalty(SolverObject* o, const double* x, double* penalty);
int groupSoftThreshold(SolverObject* o, const double* x, double* y, double* penalty,
                       uint32_t* nonzero, double* norm);

// One optimizer fit at the state's penalty (a ratio of lambda-max); 0 or the solver's status.
[[nodiscard]] int runOptimizerFit(SelectionState* s);
// The group-LASSO path over the ratios rho, rho^2, ... with warm starts, each step judged by
// the STOP and CHOOSE criteria and recorded; 0 or the first failure.
[[nodiscard]] int runGroupLassoPath(SelectionState* s);
// The optimizer methods' entry from the selection run.
[[nodiscard]] int runOptimizerMethod(SelectionState* s);
// Validation, test and held-out SSE of the current estimates by a pass over the rows, and the
// validation and test ASE (missing without weight). 0 or the pass's failure.
[[nodiscard]] int computePartitionAse(SelectionState* s);

// Group LASSO under external cross validation: the path per fold, the held-out ASE averaged
// step by step (a fold that ends early counts with its last value), the ratio of the smallest
// average, then the final fit on all the folds. 0 (a fold's run that ended with a nonzero
// status leaves it in the state, with no final fit), or the code of a failed run.
[[nodiscard]] int choosePenaltyByCV(SelectionState* s);

}  // namespace vsf
