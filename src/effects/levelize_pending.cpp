// Levelization entry points; they leave every group with no CLASS levels until the
// levelization pass exists.
#include "effects/effects.h"

namespace vsf {

int zlev(ZLevCtx*) { return 0; }
void zlevfree(ZLevCtx*, int) {}
void zsinglelvl(ZLevCtx*) {}

}  // namespace vsf
