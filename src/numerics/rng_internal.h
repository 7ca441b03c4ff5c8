// Generator internals: the message gate, the hardware source and its test seam, the tables.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "frame/host/msgarg.h"

namespace vsf {

struct RngState;

// Generator messages (host status codes).
namespace rngmsg {
constexpr uint32_t kHardwareInUse = 0x8C7FE816u;
constexpr uint32_t kNoHardware = 0x8C7FE815u;
constexpr uint32_t kNotImplemented = 0x8C7FE814u;
constexpr uint32_t kHybrid2002 = 0x8C7FE80Au;
constexpr uint32_t kSeedMade = 0x8C7FE81Eu;
}  // namespace rngmsg

int zrngmsg(int kind, uint32_t code, std::initializer_list<MsgArg> args = {});

// One hardware random word, retried a bounded number of times; false when the source gave no
// valid value.
bool hardwareWord64(uint64_t* out);
bool hardwareWord32(uint32_t* out);

// Test seam: replaces the single RDRAND attempt (null restores the instruction).
using HardwareStep = bool (*)(uint64_t* out);
void setHardwareStep(HardwareStep step);

// Builds the MT19937 state of a record from its seed field (making one when it is below 1).
void mtSeedRecord(RngState* rng, int method);

// Fills the draw and fill tables of a record.
void rngFillTables(RngState* rng);

}  // namespace vsf
