// The options of a SPLINE effect: defaults, knot lists and bounds. Nothing to complete until
// the spline bases are built.
#include "effects/effects.h"

namespace vsf {

int zsplopts(ZDesign*, SplineOptions*, int, const StatementRecord*) { return 0; }

}  // namespace vsf
