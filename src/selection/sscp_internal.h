// The whole-matrix crossproducts kernel, blocked and row by row.
#pragma once

#include "selection/selection.h"

namespace vsf {

// kernSscp with one packed rank-one update per row for every block: the loop that blocks
// with missing values take, offered whole for comparisons.
extern const RowKernel kernSscpRowByRow;

}  // namespace vsf
