// Services of the constructed effects that have no work to do until those effects exist.
#include "design/design.h"
#include "design/design_internal.h"

namespace vsf {

void zcterm(ZLevCtx*, ZDesignVar*) {}

}  // namespace vsf
