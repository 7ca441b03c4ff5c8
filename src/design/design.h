// Design rows, codings, names and containment of the effects.
#pragma once

namespace vsf {

struct VsfState;
struct SelectionState;
struct HostPool;
struct ZLevCtx;
struct ZDesign;
struct SplineOptions;
struct StatementRecord;

// Names the design columns of the CLASS parametrizations; 0 or a negative code.
int nameDesignColumns(VsfState* state, HostPool* pool);
void zcolnames(ZLevCtx* ctx);
void zncols(ZLevCtx* ctx);

// Checks and completes the spline options of one SPLINE effect of nvars variables (defaults,
// knot lists, bounds), raising the design's build code after warnings; 0 when the effect can
// be built.
int zsplopts(ZDesign* design, SplineOptions* options, int nvars, const StatementRecord* statement);
// Index of the first of count entries of the given width equal to key byte for byte; count
// when none is (0 for an empty table).
int zleadeq(const void* table, int count, const void* key, int width);

}  // namespace vsf
