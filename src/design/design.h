// Design rows, codings, names and containment of the effects.
#pragma once

namespace vsf {

struct VsfState;
struct SelectionState;
struct HostPool;
struct ZLevCtx;

// Names the design columns of the CLASS parametrizations; 0 or a negative code.
int nameDesignColumns(VsfState* state, HostPool* pool);
void zcolnames(ZLevCtx* ctx);
void zncols(ZLevCtx* ctx);

}  // namespace vsf
