// Helpers shared by the design sources: allocation, level texts, the name case and the
// VALIDVARNAME setting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "effects/effects.h"

namespace vsf {

// Allocation flags of the design's tables and texts.
constexpr uint32_t kFlagsList = 0x3004;
constexpr uint32_t kFlagsTable = 0x3006;

// Zeroed memory from a pool; null when refused or when pool is null.
void* designAlloc(HostPool* pool, size_t bytes, uint32_t flags);
template <typename T>
T* designArray(HostPool* pool, size_t count, uint32_t flags) {
  return static_cast<T*>(designAlloc(pool, sizeof(T) * (count ? count : 1), flags));
}
// A terminated copy of the text.
char* designText(HostPool* pool, std::string_view text, uint32_t flags);
// The group's allocator of a levelization context (the design's pool when it has none).
HostPool* contextPool(const ZLevCtx* ctx);

// Decimal digits of a positive k.
int digitCount(int k);
// The level the coded layout's column of a CLASS variable stands for, past the reference.
inline int codedColumnLevel(const LevelVar& v, int column) {
  return codingOf(v.coding).skipsReference && column >= v.refIndex ? column + 1 : column;
}

// A level's formatted text without trailing blanks, cut to the variable's formatted width.
std::string_view levelText(const LevelVar& var, int level);
std::string_view varName(const LevelVar* var);
std::string_view varLabel(const LevelVar* var);

// Host VALIDVARNAME setting.
enum class ValidNames { kV7, kV6, kAny };
ValidNames validNames();
// The host's name case: V6 names are upper case, the others keep theirs.
std::string hostNameCase(std::string_view name, ValidNames mode);

// The level of each CLASS variable of an effect in its column level table row.
inline const int32_t* classPart(const ZEffect& e, const int32_t* row) {
  return row ? row + (e.levelTableWidth - e.keyCount) : nullptr;
}

// The LAG columns of a row (zcterm's kind 5).
void zlagcolumns(ZLevCtx* ctx, ZDesignVar* var);
// A CLASS member's block from its level-weight vector: the first (levels) entries, or in the
// coded layout the entries of the levels other than the reference, packed into levels - 1.
void zlevelweights(const LevelVar& var, const double* weights, bool coded, double* block);

}  // namespace vsf
