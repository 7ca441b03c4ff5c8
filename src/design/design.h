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

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "grammar/codes.h"
#include "grammar/codings.h"
#include "numerics/numerics.h"

namespace vsf {

struct HostPool;
struct ZLevCtx;
struct ZDesign;
struct ZEffect;
struct ZDesignVar;
struct LevelVar;
struct SplineOptions;
struct StatementRecord;
struct HostScratch;
struct LagRecord;
struct LagGroupTable;
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
// The n columns `how` makes of level l (0 <= l < the variable's levels) of the variable, times
// w, written over zeros: the columns of every coding, before any orthogonalization.
void codingColumns(const LevelVar& var, LevelColumns how, int l, double* out, int n, double w);
// In place: block j of n values (j = m-1 .. 0) becomes v[j] times the first block.
void zkronexp(double* x, int n, const double* v, int m);

// ---- Column level tables ----

// Fills every effect's column level table for the current BY group; 0, or rc::kMemory when memory
// is refused (the effects done keep their tables).
[[nodiscard]] int zncols(ZLevCtx* ctx, int count = 0, const int32_t* list = nullptr);
// The coded layout's CLASS combination table of one effect (ZEffect::codedLevels, null when
// memory is refused); scratch holds three ints per CLASS variable, or is null.
void zeffncols(ZDesign* design, HostPool* allocator, ZEffect* effect, int32_t* scratch);

// ---- Names ----

// The name of column k (from 1) of a coding with coded names ("OEFF3"); empty for the others.
std::string codedLevelName(CodingCode coding, int k);
// The width of the longest coded name of a variable's columns ("OPOLY12": 7 for 13 levels).
int codedNameWidth(const LevelVar& var);

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

// Labels of the first `count` candidate entries and the longest of them; 0, or rc::kMemory when
// memory is refused or a label is empty.
[[nodiscard]] int nameDesignColumns(ZDesign* design, std::vector<CandidateEntry>* table, int count,
                                    HostPool* pool, int32_t* longestLabel);
// Effect-based names of the columns of the candidates in `set` (positions among the first
// `count` entries); firstParam gives each candidate's first column (null: its effect's own).
// The names are replaced only when the whole set is good: 0, or rc::kMemory for an empty or
// bad set.
[[nodiscard]] int nameDesignParameters(ZLevCtx* ctx, const std::vector<CandidateEntry>* table,
                                       int count, const std::vector<int32_t>& set,
                                       const int32_t* firstParam);

// Per-effect level rows of the CLASS cells (ZEffect::cellIndex) of the listed effects (null:
// every effect). 0, or rc::kMemory without CLASS variables or memory.
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

// Builds the dependant and prerequisite lists of every effect; 0 or rc::kMemory.
[[nodiscard]] int zhierrel(HierarchyRelations* rel);
// Relation of list a (n entries) to list b (m entries) of width-byte entries.
int znamelistrel(const void* a, int n, const void* b, int m, int width);

// ---- Constructed effects ----

// The columns of one design variable for the context's current row: MULTIMEMBER weighted
// level counts, COLLECTION values and level columns, SPLINE bases, POLYNOMIAL terms and LAG
// columns. A copy evaluates the record it copies, once per row (the caller clears the
// computed flags of every design variable before the row).
void zcterm(ZLevCtx* ctx, ZDesignVar* var);

// The k + 1 B-spline basis functions of degree k that can be nonzero at x, for the n
// nondecreasing knots t; *index (set to k by the caller) ends at the first knot above x or at
// its cap, and the values belong to the columns from *index - k. right and left are work
// arrays of k doubles. 0 inside the boundary knots, -1 below them, 1 above them: there the
// first or last interval's polynomial pieces are continued.
int zbspline(double x, int k, int n, int* index, const double* t, double* out, double* right,
             double* left);

// The scratch files of percentile knots: per variable its usable values (with their whole
// frequencies when a FREQ variable is read), written as read and sorted by value.
struct KnotFiles {
  int32_t count = 0;        // variables
  int32_t* vars = nullptr;  // model-variable indexes
  HostScratch** written = nullptr;
  HostScratch** sorted = nullptr;
  bool frequencies = false;     // records of (value, frequency)
  double observations = 0.0;    // usable observations
  double frequencyTotal = 0.0;  // the sum of their frequencies (0 without FREQ)
};
// The percentile variables of the design's spline records, or null when there are none; the
// files are made and filled by levelization's zknotfiles, and closed by zknotfilesfree.
KnotFiles* zknotfilesnew(const ZDesign* design, HostPool* allocator);
void zknotfilesfree(KnotFiles* files);
// Places the knots of every variable of a spline design variable (B-spline: the boundary
// knots too) from the variables' ranges, and sets its basis columns per variable. 0, or 1
// after a knot error (message issued, the design's build code at least step::kLevelization112).
[[nodiscard]] int zsplknots(ZDesignVar* var, ZDesign* design, HostPool* allocator,
                            const KnotFiles* files);
// Whether x lies outside the range of the analysis data that the knots of a spline of the
// variable are placed on, where the basis continues its end pieces. False for a missing x and
// for a variable without values in the group.
bool zbeyondknots(const LevelVar& var, double x);

// The knot at percentile j / (n + 1), j = 1 .. n, of sorted values, for the n knots out: by
// position without frequencies, in one forward sweep with them. 0, or nonzero when a file
// cannot be read.
[[nodiscard]] int zpctknots(HostScratch* sorted, bool frequencies, double observations,
                            double frequencyTotal, int32_t n, double* out);

// One node of a LAG group tree: the group's number and the rows met, then its key (the level
// indexes of the group's CLASS variables, ordered by zidxcmp).
struct LagGroupNode {
  ZTreeNode link;
  int32_t group = 0;
  int32_t rows = 0;
};
constexpr int kLagKeyOffset = static_cast<int>(sizeof(LagGroupNode));

// A probe node holding the current row's key of a LAG record (on the stack for keys of up to 16
// variables); missing() when a key level is missing.
class LagKeyProbe {
 public:
  LagKeyProbe(const ZLevCtx* ctx, const LagRecord* lag);
  bool missing() const { return missing_; }
  void* node() { return heap_.empty() ? static_cast<void*>(local_) : heap_.data(); }
  size_t bytes() const { return bytes_; }
  int32_t* keys() { return reinterpret_cast<int32_t*>(static_cast<char*>(node()) + kLagKeyOffset); }

 private:
  size_t bytes_;
  uint64_t local_[(kLagKeyOffset + 64) / 8 + 1] = {};
  std::vector<uint64_t> heap_;
  bool missing_ = false;
};

// LAG effects in a row (the tables are levelization's zlagtables and zlagpass). The group of
// the current row in a numbered table (through its tree, else the level of its one key
// variable), -1 when it has none.
int32_t zlaggroup(const ZLevCtx* ctx, const LagRecord* lag, LagGroupTable* table);
// The lag table a row goes to by the record's DESIGNROLE= value; null when that value is
// missing.
LagGroupTable* zlagtable(const LagRecord* lag, const double* values);
// The lagged variable's level at the current row's group, NLAG periods back: the level index,
// -1 when there is none (no group, no period, nothing observed then, a missing DESIGNROLE=
// value), -2 when the period lies within the first NLAG.
int32_t zlaglevel(const ZLevCtx* ctx, const LagRecord* lag);

// Condenses per-column statistics per effect: f times each effect's sum into totals, and for
// effects with SPLINE, COLLECTION or POLYNOMIAL members a per-column scale shared by the
// columns that belong together (ZEffect::columnScales, from the context's allocator).
void zeffscale(ZLevCtx* ctx, const double* statistics, double* totals, double f);

// Levelization's naming services: the design's parameter names at once (INTERLACED); an
// effect's coded level table under full-rank codings (scratch of three i32 per CLASS
// variable); the parameter names of one effect's columns into the design's two name arrays;
// the column-name table of one design variable.
void zdsgnnames(ZLevCtx* ctx);
void zeffncols(ZDesign* design, HostPool* allocator, ZEffect* effect, int32_t* scratch);
void zeffparmnames(ZDesign* design, HostPool* allocator, int effect, int longestName);
void zlvlname(ZLevCtx* ctx, ZDesignVar* var);

}  // namespace vsf
