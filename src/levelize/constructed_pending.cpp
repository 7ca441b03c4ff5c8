// The constructed-effect set-up pass (moments, knots, LAG tables, multimember levels); it
// prepares nothing until it exists.
#include "levelize/levelize_internal.h"

namespace vsf {

int zdatapass(ZLevCtx*) { return 0; }

}  // namespace vsf
