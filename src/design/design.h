// Design rows, codings, names and containment of the effects.
//
// What the data pass, the output writers and the displays call:
// - zxrow builds an observation's design row from the ZLevCtx (levelIndexes, values,
//   the design's per-effect EffectResult records filled by zreadobs) into a caller's row of
//   ZDesign::columnCount doubles.
// - zncols fills each ZEffect's column level table (levelTable, levelTableWidth): per design
//   column the member design-variable columns, then one level per CLASS variable.
// - zcolnames / zdsgnnames fill the column-name table of the ZDesign: parmNames[0] names and
//   parmNames[1] labels, one terminated text per design column; nameCounters[0] and [1] hold
//   the longest name and label lengths.
// - zlvlname fills a design variable's level names (ZDesignVar::labels, labelLengths,
//   longestLabel); nameDesignColumns labels the candidates (CandidateEntry::label).
#pragma once

#include <cstdint>
#include <vector>

#include "grammar/codes.h"

namespace vsf {

struct HostPool;
struct ZLevCtx;
struct ZDesign;
struct ZEffect;
struct ZDesignVar;
struct LevelVar;
struct SplineOptions;
struct StatementRecord;
struct ZEffect;
struct ZDesignVar;

// One candidate of the selection: an effect, or a split CLASS effect's level combination, with
// the design columns it stands for and its label.
struct CandidateEntry {
  int32_t effect = 0;
  int32_t columns = 0;
  const int32_t* columnMap = nullptr;
  // Split CLASS variables: the pairs (variable, level) the entry fixes, and its label.
  int32_t splitCount = 0;
  int32_t* splitVars = nullptr;  // CLASS-list indexes
  int32_t* levels = nullptr;     // level of each split variable
  int32_t labelLength = 0;
  const char* label = nullptr;  // not terminated when splitCount is nonzero
};

// ---- Design rows ----

// Builds the design row of the current observation. Values (one per model variable) and levels
// (one per CLASS variable) are copied into the context first when given; a null row means the
// context's designRow.
void zxrow(ZLevCtx* ctx, const double* values, const int32_t* levels, double* row);
// Writes the CLASS part of effect `effect` at `columns` (the effect's first column).
void zeffrow(ZLevCtx* ctx, int effect, double* columns);

// The n columns that level l of the variable contributes under its coding, times w. A level
// outside the variable's levels gives zeros.
void zlvlcode(const LevelVar* var, double* out, int level, int n, double w);
// In place: block j of n values (j = m-1 .. 0) becomes v[j] times the first block.
void zkronexp(double* x, int n, const double* v, int m);

// ---- Column level tables ----

// Fills every effect's column level table for the current BY group; 0, or -2 when memory is
// refused (the effects done keep their tables).
int zncols(ZLevCtx* ctx, int count = 0, const int32_t* list = nullptr);
// The coded layout's CLASS combination table of one effect (ZEffect::codedLevels, null when
// memory is refused); scratch holds three ints per CLASS variable, or is null.
void zeffncols(ZDesign* design, HostPool* allocator, ZEffect* effect, int32_t* scratch);

// ---- Names ----

// Names and labels the columns of `count` listed effects, or of all when count is 0.
void zcolnames(ZLevCtx* ctx, int count = 0, const int32_t* list = nullptr);
// Variable-based names of every column (label style 0).
void zdsgnnames(ZLevCtx* ctx);
// Effect-based names and labels of one effect's columns.
void zeffparmnames(ZDesign* design, HostPool* allocator, int effect, int longestEffectName);
// The level part of one column's effect-based label (without terminator) and a bound for it.
int zlvltext(const ZDesign* design, const ZEffect* effect, char* out, const int32_t* row);
int zlvltextlen(const ZDesign* design, const ZEffect* effect, const int32_t* row);

// Level names of a design variable, once; zlvlnameout for count listed ones (0: all).
void zlvlname(ZLevCtx* ctx, ZDesignVar* var);
void zlvlnameout(ZLevCtx* ctx, int count = 0, const int32_t* list = nullptr);
// Per CLASS variable of the effect, for one column's level row: the coded name in its 32-byte
// text slot, or a numeric level's value in its value slot, or a character level's text.
void zorthname(const ZDesign* design, const ZEffect* effect, const int32_t* row, char (*texts)[32],
               double* values);

// Labels of the first `count` candidate entries and the longest of them; 0, or -2 when memory
// is refused or a label is empty.
[[nodiscard]] int nameDesignColumns(ZDesign* design, std::vector<CandidateEntry>* table, int count,
                                    HostPool* pool, int32_t* longestLabel);
// Effect-based names of the columns of the candidates in `set` (positions among the first
// `count` entries); firstParam gives each candidate's first column (null: its effect's own).
// The names are replaced only when the whole set is good: 0, or -2 for an empty or bad set.
[[nodiscard]] int nameDesignParameters(ZLevCtx* ctx, const std::vector<CandidateEntry>* table,
                                       int count, const std::vector<int32_t>& set,
                                       const int32_t* firstParam);

// Per-effect level rows of the CLASS cells (ZEffect::cellIndex) of the listed effects (null:
// every effect). 0, or -2 without CLASS variables or memory.
[[nodiscard]] int buildEffectCellIndex(ZDesign* design, const std::vector<int32_t>* effects,
                                       HostPool* pool);

// ---- Containment ----

// Relation of a to b: 0 same, -1 a contained in b, 1 a contains b, 999 unrelated.
constexpr int kRelSame = 0;
constexpr int kRelContained = -1;
constexpr int kRelContains = 1;
constexpr int kRelUnrelated = 999;

// Argument record of zhierrel. The four per-effect arrays come zeroed from the caller.
struct HierarchyRelations {
  ZLevCtx* owner = nullptr;
  HostPool* pool = nullptr;     // lists from here (flags 0) when allocatorChoice is 0
  int32_t allocatorChoice = 0;  // nonzero: from the allocator
  HostPool* allocator = nullptr;
  int32_t mode = 0;                 // HIERARCHY=: 0 none, 1 all effects, 2 CLASS effects
  MethodCode method = kMethodNone;  // BACKWARD builds the lists under mode 0
  int32_t* dependantCounts = nullptr;
  int32_t* prerequisiteCounts = nullptr;
  int32_t** dependants = nullptr;     // effects that contain the effect
  int32_t** prerequisites = nullptr;  // effects the effect contains
};

// Builds the dependant and prerequisite lists of every effect; 0 or -2.
[[nodiscard]] int zhierrel(HierarchyRelations* rel);
// Relation of list a (n entries) to list b (m entries) of width-byte entries.
int znamelistrel(const void* a, int n, const void* b, int m, int width);

// ---- Constructed effects ----

// Levelization's naming services: the design's parameter names at once (INTERLACED); an
// effect's coded level table under full-rank codings (scratch of three i32 per CLASS
// variable); the parameter names of one effect's columns into the design's two name arrays;
// the column-name table of one design variable.
void zdsgnnames(ZLevCtx* ctx);
void zeffncols(ZDesign* design, HostPool* allocator, ZEffect* effect, int32_t* scratch);
void zeffparmnames(ZDesign* design, HostPool* allocator, int effect, int longestName);
void zlvlname(ZLevCtx* ctx, ZDesignVar* var);

}  // namespace vsf
