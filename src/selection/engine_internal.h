// Pieces of the step engine shared by its files.
#pragma once

#include "selection/selection_internal.h"

namespace vsf {

// Sweeps column k of the main model with the pivot rule, counts it and repeats it in the
// folds whose flag was the main flag before the sweep.
void sweepModelColumn(SelectionState* s, int32_t k);

// enterEffect with a choice the methods do not have: `exact` sweeps a trial entry's columns
// in for real (a data-based criterion of the trial model reads the whole swept matrix).
[[nodiscard]] int enterEffectImpl(SelectionState* s, int32_t effect, bool resweepAll,
                                  bool fromTrial, bool exact);

// Resweeps a matrix of the current order (every flag reset, S copied from A, columns swept in
// order with the pivot rule), through what the last resweep kept; returns the swept columns.
int32_t resweepMatrix(SelectionState* s, ResweepMemo* memo, const double* A, double* S,
                      char* flags);

// Rows o .. n-1 of S from the same rows of A, swept on the columns 1 .. o-1 flagged '1', as
// sweeping the bordered matrix from scratch would give them.
void borderNewRows(SelectionState* s, double* S, const double* A, const char* flags, int32_t o,
                   int32_t n);

// Gaussian elimination of the new columns o .. n-1 against the response only (flags stay
// '0'); returns the number of pivots accepted.
int32_t eliminateNewColumns(SelectionState* s, double* S, const double* A, int32_t o, int32_t n);

// The new rows o .. o+c-1 of A (and of every A_f) for effect k; 0 or a pass's code.
[[nodiscard]] int assembleNewRows(SelectionState* s, int32_t k, int32_t o, bool fromTrial);

// Removes columns [first, first + c) from a packed triangle of order n, in place.
void dropColumns(double* m, int32_t n, int32_t first, int32_t c);

}  // namespace vsf
