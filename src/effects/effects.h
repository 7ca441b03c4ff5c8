// Effects and levelization: the model description (ZDesign) and the per-BY-group
// levelization context (ZLevCtx) that every later subsystem reads.
#pragma once

#include <cstdint>

namespace vsf {

struct HostPool;
struct HostDataSet;

// The model description built from the MODEL, CLASS and EFFECT statements.
struct ZDesign {
  uint32_t flags = 0;        // 0x01 names made, 0x02 request reader, 0x10 full-rank coding
  int32_t columnCount = 0;   // design columns of the current BY group
  int32_t effectCount = 0;
  int32_t parameterCount = 0;
  int32_t labelStyle = 0;
  int32_t buildCode = 0;     // model-building return code
};

// The levelization allocation record: the input reader and the allocator of the group.
struct LevAllocRecord {
  HostDataSet* reader = nullptr;
  HostPool* allocator = nullptr;
};

struct ZLevCtx {
  LevAllocRecord* alloc = nullptr;
  ZDesign* design = nullptr;
};

struct StatementRecord;
struct ParseToken;

// The effects library, driven by the parser while MODEL and EFFECT statements are read.
// Sets itself up on the first MODEL statement with the name length limit (NAMELEN=).
void zeffbldinit(int nameLengthLimit, int mode);
// Builds the step's ZDesign from the effect chain and the EFFECT statements: 0, or 1 when the
// constructed effects could not be set up (the design's build code says why).
int zeffinfo(ZDesign* design, HostDataSet* ds, int modelVarSlot, int classSlot,
             StatementRecord* statement, int effectSlot, int noIntercept, int columnCountFlag);

// Levelizes the current BY group: 0, or a positive status (1 no levels, 2 a reference level
// that does not occur, 6 the constructed-effect set-up failed) that skips the group.
int zlev(ZLevCtx* ctx);
// Releases the group's levelization; what = -1 releases everything.
void zlevfree(ZLevCtx* ctx, int what);

}  // namespace vsf
