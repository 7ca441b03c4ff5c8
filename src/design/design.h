// Design rows, codings, names and containment of the effects.
#pragma once

#include <cstdint>

namespace vsf {

struct VsfState;
struct SelectionState;
struct HostPool;
struct ZLevCtx;
struct ZDesign;
struct SplineOptions;
struct StatementRecord;
struct ZEffect;
struct ZDesignVar;

// Names the design columns of the CLASS parametrizations; 0 or a negative code.
int nameDesignColumns(VsfState* state, HostPool* pool);
void zcolnames(ZLevCtx* ctx);
void zncols(ZLevCtx* ctx);

// Levelization's naming services: the design's parameter names at once (INTERLACED); an
// effect's coded level table under full-rank codings (scratch of three i32 per CLASS
// variable); the parameter names of one effect's columns into the design's two name arrays;
// the column-name table of one design variable.
void zdsgnnames(ZLevCtx* ctx);
void zeffncols(ZDesign* design, HostPool* allocator, ZEffect* effect, int32_t* scratch);
void zeffparmnames(ZDesign* design, HostPool* allocator, int effect, int longestName);
void zlvlname(ZLevCtx* ctx, ZDesignVar* var);

// Checks and completes the spline options of one SPLINE effect of nvars variables (defaults,
// knot lists, bounds), raising the design's build code after warnings; 0 when the effect can
// be built.
int zsplopts(ZDesign* design, SplineOptions* options, int nvars, const StatementRecord* statement);
// Index of the first of count entries of the given width equal to key byte for byte; count
// when none is (0 for an empty table).
int zleadeq(const void* table, int count, const void* key, int width);

}  // namespace vsf
