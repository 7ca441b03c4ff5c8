// Levelization's own records and routines: the level collection work area, level order and
// coding, the reader callbacks, the threaded hooks and the formatting session.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

#include "base/crew.h"
#include "design/design.h"
#include "effects/effects.h"
#include "levelize/levelize.h"
#include "numerics/numerics.h"

namespace vsf {

// ---- Memory (levalloc.cpp) ----
// Zeroed memory from a pool; a refusal issues (848, 140) and ends the step with step::kInternal.
void* levAlloc(HostPool* pool, size_t bytes);
template <typename T>
T* levArray(HostPool* pool, size_t n) {
  T* p = static_cast<T*>(levAlloc(pool, sizeof(T) * (n == 0 ? 1 : n)));
  for (size_t i = 0; i < n; ++i) new (p + i) T();
  return p;
}
void levFree(HostPool* pool, void* block);
// A host heap for one pass (ends the step like levAlloc when refused) and its release.
HostPool* levHeapNew(uint32_t flags);
void levHeapFree(HostPool* heap);
// The context's allocator; made (and owned by the context) when the group gave none.
HostPool* levAllocator(ZLevCtx* ctx);

// ---- Hashed front index of a key tree (levhash.cpp) ----
// Finds the node holding a key already in the tree in one probe; only new keys go to the tree.
struct LevHashIndex {
  HostPool* pool = nullptr;
  void** slots = nullptr;
  uint32_t mask = 0;   // slots - 1
  uint32_t count = 0;  // nodes indexed
  int keyBytes = 0;
  int keyOffset = 0;  // where a node's key begins
};
uint64_t levHashBytes(const void* key, int bytes);
void levHashInit(LevHashIndex* h, HostPool* pool, int keyBytes, int keyOffset);
void* levHashFind(const LevHashIndex* h, const void* key, uint64_t hash);
void levHashAdd(LevHashIndex* h, void* node, uint64_t hash);

// ---- Level collection (levcollect.cpp) ----

// One distinct level of a CLASS variable; its formatted text follows the fixed fields.
struct LevelNode {
  ZTreeNode link;
  double value = 0.0;       // numeric: the least raw value of the level
  char* rawText = nullptr;  // character: the least raw text
  int32_t rawLength = 0;
  int64_t count = 0;      // sum of the frequency counts
  int64_t firstSeen = 0;  // order of first appearance
};
constexpr int kLevelKeyPosition = static_cast<int>(sizeof(LevelNode));
inline char* levelText(LevelNode* n) { return reinterpret_cast<char*>(n) + kLevelKeyPosition; }

struct LevelizeWork;
using WorkStartFn = int (*)(LevelizeWork* work);
using WorkNextFn = int (*)(LevelizeWork* work);
using WorkFetchFn = int (*)(LevelizeWork* work, ZDesign* design);
using WorkFilterFn = int (*)(LevelizeWork* work);

// The work area of one level-collection pass; everything in it comes from its allocator.
struct LevelizeWork {
  HostPool* allocator = nullptr;
  int32_t keyPosition = kLevelKeyPosition;
  int32_t nodeSize = 0;
  int32_t* levelCounts = nullptr;    // per CLASS variable
  ZTreeNode** levelTrees = nullptr;  // per CLASS variable, keyed by the formatted text
  double* minimum = nullptr;         // per continuous variable
  double* maximum = nullptr;
  int32_t numericCount = 0;
  int32_t characterCount = 0;
  int32_t* numericIndex = nullptr;    // CLASS-list positions of the numeric ones
  int32_t* characterIndex = nullptr;  // and of the character ones
  int32_t* inUse = nullptr;           // per CLASS variable, 1 at the start
  double* values = nullptr;           // per continuous variable
  char** formatted = nullptr;         // per CLASS variable
  double* numericRaw = nullptr;       // per numeric CLASS variable
  RawText* characterRaw = nullptr;    // per character CLASS variable
  int32_t* rawSlot = nullptr;         // per CLASS variable: its place in numericRaw or characterRaw
  // Per CLASS variable, the levels of its tree by text; rebuilt from the tree when its count
  // differs from the variable's level count (after levels were added to the tree directly).
  LevHashIndex* levelIndex = nullptr;
  LevelNode** levelList = nullptr;  // the variable being ordered: its levels in text order
  void* owner = nullptr;            // the reader; zlev puts its context here
  uint8_t formattedRow = 0;
  WorkStartFn start = nullptr;
  WorkNextFn next = nullptr;
  WorkFetchFn fetch = nullptr;
  WorkFilterFn filter = nullptr;
};

LevelizeWork* levelizeWorkNew(HostDataSet* reader, ZDesign* design);
void levelizeWorkFree(LevelizeWork* work);
void levelizeSequential(HostDataSet* reader, LevelizeWork* work, ZDesign* design);
int levelizeObservation(HostDataSet* reader, LevelizeWork* work, ZDesign* design, LevelNode** out,
                        LevelNode** spare);
// Adds a level that another work area collected to this one's levels: its count, its least raw
// value, and a new level's first-seen rank next in turn. Levels merged in the order of their
// first observation get the ranks one pass would give them.
void levelizeMergeLevel(LevelizeWork* w, ZDesign* d, int i, const LevelNode* from);
// Adds the continuous ranges of a later run of observations, as one pass would reach them.
void levelizeMergeRange(LevelizeWork* w, const ZDesign* d, const double* lo, const double* hi);
// The formatted width a CLASS variable reads with, its natural width, whether it has a format.
bool levHasFormat(const LevelVar& v);
int32_t levNaturalWidth(const LevelVar& v);
// The width the current reader's formatted values are read with.
inline int32_t levReadWidth(const LevelVar& v) {
  return v.readWidth > 0 ? v.readWidth : v.formattedWidth;
}
// Warns once per variable when its formatted values are cut to the width they are read with.
void levTruncationCheck(LevelVar* v);
// The bytes of a character CLASS value kept raw: at most the widest a character format shows
// (32767), which its level, a formatted value, never passes; what an observation costs stays
// in proportion however long a value of the data is. 8 for a number.
int32_t levRawLength(const LevelVar& v);
// The width a formatted value of the current reader has at most: its format's (the natural
// width when the variable has no format width).
int32_t levWholeWidth(const LevelVar& v);

// ---- Level order and coding (levorder.cpp, levcoding.cpp) ----
int zlvlcollect(HostPool* allocator, LevelizeWork* work, ZDesign* design, int var,
                char*** levelTexts);
void zlvlorder(HostPool* allocator, LevelizeWork* work, ZDesign* design, int var,
               char** levelTexts);
void zsort2key(char* keys, int n, int64_t* perm, const char* type1, const char* type2, int keyBytes,
               int slotBytes);
void zsortswap(char* a, char* b, const char* type1, const char* type2, int keyBytes);
// Whether a level text (as stored) is the variable's REF= value: both left-justified unless
// the variable is raw, equal trimmed lengths and equal bytes.
bool levRefMatches(const LevelVar& v, const char* levelText);
// The error that the REF= value is none of the n levels, at the place of the value.
void levRefAbsent(const LevelVar& v, const char* const* levelTexts, int n);
// The coding matrix of an orthogonalised parametrization (null for the others).
void levCodingMatrix(HostPool* allocator, LevelVar* v, int32_t n);

// ---- Reader callbacks (levreader.cpp) ----
[[nodiscard]] int zlevFetch(ZLevCtx* ctx, const char* spec, const FetchTargets& to);
void zlevBindRows(ZLevCtx* ctx, int formatted);
// zlevFetch's read of the current observation straight from the columns of the host's block,
// all but the model variables, which the caller reads from the columns returned (indexed by
// data set variable; `row` their row). Null when the host has no such columns or a variable
// has none: nothing was fetched, and the caller fetches as zlevFetch does.
const double* const* zlevFetchExtras(ZLevCtx* ctx, const FetchTargets& to, uint32_t* row);
// The same with CLASS variables: also their formatted values (as zlevFetch's letter c), from
// the reader's image of them alone. Null, with nothing fetched, as zlevFetchExtras.
const double* const* zlevFetchKeyed(ZLevCtx* ctx, const FetchTargets& to, uint32_t* row);
// CLASS variable c's formatted value of the current observation as read (the whole text,
// aligned as its levels are, without trailing blanks); the formatted image must be current.
std::string levCurrentText(const ZLevCtx* ctx, int c);
void zlevReleaseRows(LevAllocRecord* alloc);
int zlevNextObs(ZLevCtx* ctx);
int zlevNextObsRequest(ZLevCtx* ctx);
int zlevWorkNext(LevelizeWork* work);
int zlevWorkFetch(LevelizeWork* work, ZDesign* design);
int zlevFilterObs(LevelizeWork* work);
int levelizeNextDefault(LevelizeWork* work);
int levelizeFetchDefault(LevelizeWork* work, ZDesign* design);
// Start routines: the work area's (forwards to the context's) and the context's two.
int zlevcbfwd(LevelizeWork* work);
int zlevcbreset(ZLevCtx* ctx);
int zlevcbbymode(ZLevCtx* ctx);

// ---- The levelization pass (levelize.cpp, levcombos.cpp, levcolumns.cpp) ----
// zlev's first steps: multimember options, moments cleared, frequency and weights, reader
// routines installed, variables found again in the reader.
void levPrepare(ZLevCtx* ctx);
// Level collection over the group: the work area after the read loop.
LevelizeWork* levCollect(ZLevCtx* ctx);
// The combination pass: the level combinations each effect with a level key meets.
void levCombinations(ZLevCtx* ctx);
// Column counts, level tables and parameter names of every effect.
void levColumnCounts(ZDesign* design);
void levLevelTables(ZLevCtx* ctx);
void levParameterNames(ZLevCtx* ctx);
// Makes equal parameter names unique by appending a counter (design flag kNamesUnique).
void levUniqueNames(ZDesign* design, HostPool* allocator);

// The constructed-effect set-up pass: 0, or a setupstatus code when the data do not allow a
// constructed effect. zlev runs it through levDataPass so that tests can make it fail.
[[nodiscard]] int zdatapass(ZLevCtx* ctx);
extern int (*levDataPass)(ZLevCtx* ctx);

// ---- The observation reader (readobs.cpp) ----
// What the model uses: every effect, its continuous members, the CLASS variables of its key,
// its design variables with their members and lag variables, and the CLASS variables that are
// also extra variables.
ModelUsageMask* buildUsageMask(ZLevCtx* ctx);
// Drops zreadobs's plan of the context (a new group, or the context goes).
void dropReadPlan(ZLevCtx* ctx);

// ---- Continuous ranges and the work area's start (levranges.cpp) ----
struct CenterRange {
  double center = 0.0;
  double halfRange = 0.0;
};
// The centre and half-range of a continuous variable from its observed range: 0 no value
// seen (nothing written), 1 constant, 2 varying.
int zcenter(LevelizeWork* work, int var, CenterRange* out);
// Default start routine of a new work area: the reader in its observation mode, rewound.
[[nodiscard]] int zlevprep(LevelizeWork* work, ZDesign* design);

// ---- Threaded levelization (levthreads.cpp, levcombos.cpp) ----
// Level collection on the context's workers: 1 when they collected the levels and ranges into
// the work area, 0 to read on this thread (a note in the log says why, when threads were asked).
[[nodiscard]] int levelizeThreaded(ZLevCtx* ctx, LevelizeWork* work);
// A threaded pass that a worker's failure ended: (174, 66) when other workers had failed too,
// then (174, 55) for a worker that could not wait or (174, 56) for one whose work failed; the
// design's return code rises to step::kInternal.
void levThreadedStop(ZLevCtx* ctx, const WorkCrew::Stop& why);

// ---- Formatting session for CLASS values (levformat.cpp) ----
class ValueFormat;
class ValueFormatter;
class HxFormat;

struct FormatWorkerRecord {
  char* buffer = nullptr;           // widest output width + widest raw length
  char* text = nullptr;             // the formatted text, after the raw bytes
  char* wide = nullptr;             // 2 x widest output width
  char* wideChar = nullptr;         // when a variable is character
  ValueFormat** handles = nullptr;  // per variable
  struct FormatSession* session = nullptr;
};

struct FormatSession {
  int64_t encoding = 0;
  int32_t workerCount = 0;
  int32_t varCount = 0;
  int32_t widestOutput = 0;
  int32_t widestRaw = 0;
  int32_t* type = nullptr;  // 1 numeric, 2 character
  int32_t* outputWidth = nullptr;
  int32_t* formatWidth = nullptr;
  int32_t* formatDecimals = nullptr;
  int32_t* varNumber = nullptr;
  HostDataSet* dataSet = nullptr;
  HostPool* pool = nullptr;
  HxFormat* extension = nullptr;
  ValueFormatter* formatter = nullptr;
  FormatWorkerRecord* workers = nullptr;
};

// Statuses of zfmtopen.
namespace fmtstatus {
constexpr int kOk = 0;
constexpr int kResource = 1;
constexpr int kArguments = 2;
constexpr int kEncoding = 3;
}  // namespace fmtstatus

FormatSession* zfmtopen(HostDataSet* ds, const int* varNumbers, int varCount, int workerCount,
                        int* status, int widthOption);
void zfmtclose(FormatSession** session);

}  // namespace vsf
