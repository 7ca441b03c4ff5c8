// Design-matrix services that have no work to do until the design subsystem exists.
#include "design/design.h"

namespace vsf {

int nameDesignColumns(VsfState*, HostPool*) { return 0; }
void zcolnames(ZLevCtx*) {}
void zncols(ZLevCtx*) {}

}  // namespace vsf
