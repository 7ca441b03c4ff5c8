// Effects and levelization: the model description (ZDesign) and the per-BY-group
// levelization context (ZLevCtx) that every later subsystem reads.
#pragma once

#include <cstdint>
#include <memory>

#include "effects/provider.h"
#include "grammar/codings.h"

namespace vsf {

struct HostPool;
struct HostDataSet;
struct VarDescriptor;
struct StatementRecord;
struct ParseToken;
struct EffectRec;  // one effect of the effects library (efflib_internal.h)
struct ZTreeNode;

// Design flag bits.
namespace dflag {
constexpr uint32_t kCountsOnly = 0x01;     // levelization stops after the column counts
constexpr uint32_t kRequestReader = 0x02;  // the data-set reader is request-based
constexpr uint32_t kNoOrderNote = 0x04;
constexpr uint32_t kNoResponseRead = 0x08;  // the combination pass reads no response/weight/freq
constexpr uint32_t kFullRank = 0x10;        // column counts from the codings
constexpr uint32_t kNoScaling = 0x20;       // continuous values are not scaled
constexpr uint32_t kNoIntercept = 0x40;
constexpr uint32_t kZeroWeights = 0x1000;  // zero weights and frequencies allowed
constexpr uint32_t kSplitAll = 0x2000;     // every SPLINE effect as if it had SPLIT
constexpr uint32_t kKeepMissing = 0x4000;  // a missing value drops only its own level
constexpr uint32_t kNamesUnique = 0x8000;  // parameter names had to be made unique
}  // namespace dflag

// Kinds of constructed effects: the EFFECT statement's type code.
namespace effkind {
constexpr int32_t kMultimember = 1;
constexpr int32_t kCollection = 2;
constexpr int32_t kSpline = 3;
constexpr int32_t kPolynomial = 4;
constexpr int32_t kLag = 5;
}  // namespace effkind

// Knot methods of a SPLINE effect (KNOTMETHOD=).
namespace knotmethod {
constexpr uint8_t kEqual = 1;
constexpr uint8_t kMultiscale = 2;
constexpr uint8_t kList = 3;
constexpr uint8_t kRangeFractions = 4;
constexpr uint8_t kPercentiles = 5;
constexpr uint8_t kListWithBoundary = 6;
}  // namespace knotmethod

// Effect ids at and below this index the EFFECT statements (constructed effects).
constexpr int32_t kConstructedIdBase = -10000000;

// One level of a CLASS variable: the internal value of a numeric variable, or the raw text
// of a character one.
struct LevelRecord {
  double value = 0.0;
  const char* text = nullptr;
  int32_t length = 0;
};

// One variable of the CLASS list or of the model's other variables; the records of the
// levelization context's responses, weights, frequency and row slots have the same form.
struct LevelVar {
  VarDescriptor* desc = nullptr;  // null when not a data-set variable
  // Number of levels; for a continuous variable after levelization: 0 no value seen,
  // 1 constant, 2 varying.
  int32_t levelCount = 0;
  char** levelTexts = nullptr;  // per level a text of the formatted width, in level order
  double center = 0.0;          // continuous variables
  double halfRange = 0.0;
  char** lookupTexts = nullptr;    // the level texts in byte order
  int32_t* lookupIndex = nullptr;  // level index of each sorted text
  int32_t formattedWidth = 0;
  int32_t readWidth = 0;    // the current reader's formatted values are read this wide (0: as
                            // formattedWidth), so that a longer value is seen whole
  int32_t valueOffset = 0;  // in the combined value buffer
  int32_t order = 'U';      // ORDER code: 'U' not set, 'M', 'D', 'F', 'I', 'X', 'Y', 'Z'
  int32_t raw = 0;          // keep formatted values as delivered
  int32_t orderNote = 0;
  int32_t truncWarned = 0;
  int32_t truncMsgSet = 0;
  int32_t truncMsgNumber = 0;
  CodingCode coding = kCodingEffect;  // PARAM= (grammar/codings.h)
  int32_t missingLevel = 0;           // MISSING
  int32_t multimember = 0;            // member of a MULTIMEMBER effect
  char* refText = nullptr;            // REF= level text
  int32_t refLine = 0;                // where the REF= text is written (0: not known)
  int32_t refColumn = 0;
  int32_t refIndex = -2;  // -1 FIRST, -2 LAST, -3 by value; then the 0-based index
  int32_t savedRef = 0;
  int32_t refInPlace = 0;
  int32_t descending = 0;
  int32_t cprefix = -1;
  int32_t lprefix = -1;
  int32_t split = 0;
  double* codingMatrix = nullptr;  // levels x (levels - 1), row by level
  LevelRecord* levels = nullptr;   // per level, in level order
  double value = 0.0;              // current value of a row-slot or response variable
  ZTreeNode* levelTree = nullptr;  // levels met so far (levelization)
  // Hashed lookup of the level texts: slots hold level indexes, -1 empty (zlvlfind).
  int32_t* levelSlots = nullptr;
  uint32_t levelSlotMask = 0;
};

// Spline options block of a SPLINE effect (filled from the EFFECT statement, completed by
// zsplopts) and the knots and basis of the design variables that evaluate a basis. Every
// design variable that evaluates a basis has a block of its own; the column records of SPLIT
// point at the block of the record they copy.
struct SplineOptions {
  uint8_t basis = 1;         // 1 B-spline (BSPLINE), any other value truncated power (TPF)
  uint8_t basisKind = 0;     // nonzero: natural cubic columns (knots - 2 plus extras)
  uint8_t knotMethod = 1;    // 1 EQUAL, 2 MULTISCALE, 3 LIST, 4 RANGEFRACTIONS,
                             // 5 PERCENTILES, 6 LISTWITHBOUNDARY
  uint8_t delegated = 0;     // knots placed by zsplknots (the B-spline basis)
  uint8_t extraTerms = 2;    // 0, 1, or 2 and above: the columns beyond the knots
  uint8_t singleColumn = 0;  // the design variable shows one column of the basis (SPLIT)
  uint8_t naturalCubic = 0;
  uint8_t separate = 0;
  uint8_t split = 0;
  uint8_t tpfNoInt = 0;
  uint8_t tpfNoPowers = 0;
  uint8_t details = 0;
  uint8_t dataBoundary = 0;
  uint8_t knotMinGiven = 0;
  uint8_t knotMaxGiven = 0;
  int32_t knotCount = 3;  // knots per variable n (listed values after thinning)
  int32_t totalKnots = 0;
  int32_t degree = 3;
  int32_t basisColumns = 0;  // per variable m
  int32_t startLevel = 0;    // MULTISCALE range of the statement
  int32_t endScale = 7;
  int32_t scale = 0;  // the design variable's own scale
  double knotMin = 0.0;
  double knotMax = 0.0;
  int32_t varCount = 0;           // entries of the per-variable arrays
  int32_t* knotCounts = nullptr;  // per variable
  double* listedKnots = nullptr;  // listed knots or fractions, knotCount of them
  double** knots = nullptr;       // per variable, sorted
  // B-spline work: distances to the right and left knots (degree each), then the degree + 1
  // basis values.
  double* basisWork = nullptr;
  const char* effectName = nullptr;  // the EFFECT statement's name
};

// Polynomial record shared by the design variables of one POLYNOMIAL statement.
struct PolyRecord {
  uint8_t standardize = 0;  // 0 none, 1 frequency sums, 2 weight-times-frequency sums,
                            // 3 centres and half-ranges
  uint8_t center = 0;       // centring asked
  uint8_t scale = 0;        // scaling asked
  uint8_t separate = 1;     // 0 with NOSEPARATE
  uint8_t expand = 0;
  uint8_t includeName = 0;
  uint8_t details = 0;
  double* centers = nullptr;  // per variable, the current BY group's
  double* scales = nullptr;
  int32_t varCount = 0;
  int32_t* vars = nullptr;  // model-variable indexes of the members
  int32_t degree = 1;
  int32_t mdegree = 0;  // MDEGREE=, 0 when not given
  int32_t termCount = 0;
  // Term tables: cumulative[d] = terms of degree at most d; starts[(d - 1) * varCount + i] =
  // the first term of degree d that has no variable before i.
  int32_t* cumulative = nullptr;
  int32_t* starts = nullptr;
  double* work = nullptr;      // the standardized values of a row
  const char* prefix = "s_";   // STANDARDIZE PREFIX=
  const char* exponent = "^";  // LABELSTYLE EXPONENT=
  const char* product = "*";   // LABELSTYLE PRODUCTSYMBOL=, "" for NONE
  const char* effectName = nullptr;
};

// One table of LAG groups: the groups met, their keys and the cells group x time level.
struct LagGroupTable {
  int32_t groupCount = 0;
  ZTreeNode* tree = nullptr;  // group keys; null when the key is one variable
  int32_t* cells = nullptr;   // groupCount x stride: level index + 1, 0 empty
};

struct LagRecord {
  int32_t distance = 1;  // NLAG=
  int32_t keyCount = 0;
  int32_t* keys = nullptr;  // WITHIN= variables, CLASS-list indexes
  int32_t lagged = -1;      // CLASS-list index of the lagged variable
  int32_t time = -1;        // CLASS-list index of the PERIOD= variable
  int32_t stride = 0;       // levels of the time variable
  int32_t switchVar = -1;   // model-variable index of the DESIGNROLE= variable, -1 none
  int32_t result = -1;      // -1 not available, -2 before the lag distance, else a level
  int32_t notAvailable = 0;
  int32_t* keyBuffer = nullptr;
  uint8_t designRole = 0;                                  // DESIGNROLE= given
  int32_t designRoleVar = -1;                              // its data-set variable number
  LagGroupTable* tables[3] = {nullptr, nullptr, nullptr};  // default, alternative, explicit
  LagGroupTable defaultTable;
  LagGroupTable alternativeTable;  // rows whose DESIGNROLE= value is 0
};

// One design variable of a constructed effect.
struct ZDesignVar {
  char* name = nullptr;
  int32_t nameLength = 0;
  char* label = nullptr;
  int32_t labelLength = 0;
  int32_t type = 0;  // effkind
  // Value members (model-variable indexes); for a polynomial term its variables, equal ids
  // adjacent, the count being the term's degree.
  int32_t valueCount = 0;
  int32_t* values = nullptr;
  int32_t classCount = 0;
  int32_t* classMembers = nullptr;  // CLASS-list indexes
  int32_t columnCount = 0;
  int32_t valueLength = 0;
  int32_t longestLabel = 0;
  int32_t* labelLengths = nullptr;
  int32_t replicates = 0;   // design variables made by the statement
  int32_t recordIndex = 0;  // position among the statement's design variables
  uint8_t perColumn = 0;    // one record per spline column or polynomial term
  uint8_t copy = 0;         // shows columns of copyOf: polynomial terms and SPLIT spline
                            // columns after their statement's (or variable's) first
  uint8_t first = 0;        // first record of its statement
  uint8_t details = 0;
  uint8_t allMissingOk = 0;  // MULTIMEMBER NOEFFECT
  uint8_t weightedSum = 0;   // MULTIMEMBER STDIZE or ROWSTD
  char** labels = nullptr;   // polynomial term labels or MULTIMEMBER union level names
  double* columnValues = nullptr;
  char separator = ' ';
  SplineOptions* spline = nullptr;
  PolyRecord* poly = nullptr;
  LagRecord* lag = nullptr;
  int32_t statement = 0;    // EFFECT statement number
  int32_t splineVar = 0;    // spline column records: the variable's position,
  int32_t splineScale = 0;  // the MULTISCALE scale and the column (from 0)
  int32_t splineColumn = 0;
  int32_t** levelMaps = nullptr;  // MULTIMEMBER: per CLASS member, union level per level
  uint8_t computed = 0;           // columns evaluated for the current row (design rows)
  uint8_t report = 0;             // DETAILS: its effect's tables are shown (first record)
  int32_t copyOf = -1;            // copy: the design variable whose columns it shows
  double weightSum = 0.0;         // MULTIMEMBER: the current row's sum of member weights
};

// Where the design variables of one EFFECT statement start, and how many it made.
struct DesignVarLookup {
  int32_t first = 0;
  int32_t count = 0;
};

// Per-effect result of the current observation (zreadobs).
struct EffectResult {
  double product = 1.0;     // product of the continuous members
  int32_t combination = 0;  // level-combination index
};

// The design-variable count and array, as an effect with constructed members sees them.
struct DesignVarTable {
  int32_t count = 0;
  ZDesignVar* vars = nullptr;
};

struct ZDesign;

// One model effect.
struct ZEffect {
  char* name = nullptr;
  char* chainName = nullptr;
  int32_t startColumn = 0;
  int32_t columnCount = 0;
  int32_t classColumnCount = 0;
  int32_t contCount = 0;
  int32_t* cont = nullptr;  // model-variable indexes
  int32_t crossCount = 0;
  int32_t* cross = nullptr;  // CLASS-list indexes (points into key)
  int32_t nestCount = 0;
  int32_t* nest = nullptr;  // points into key after the crossed ones
  int32_t constructedCount = 0;
  int32_t* constructed = nullptr;  // ZDesignVar indexes
  int32_t keyCount = 0;            // crossed + nesting: the level key
  int32_t* key = nullptr;          // 2 x keyCount i32: the key, then the multipliers
  int32_t combinationCount = 0;
  int32_t levelTableWidth = 0;
  int32_t* combinations = nullptr;
  int32_t* codedLevels = nullptr;
  int32_t* levelTable = nullptr;
  int32_t* multipliers = nullptr;
  int32_t allClassCount = 0;  // every CLASS variable the effect depends on
  int32_t* allClass = nullptr;
  DesignVarTable* designVars = nullptr;  // set when the effect has constructed members
  ZDesign* owner = nullptr;
  uint8_t allMissing = 0;
  uint8_t copy = 0;  // second and later copies of a replicated effect
  EffectRec* source = nullptr;
  ZTreeNode* combinationTree = nullptr;  // levelization's tree of the combinations met
  int32_t* cellIndex = nullptr;          // split candidates: per CLASS cell its level indexes
  double* columnScales = nullptr;        // per column, from zeffscale (constructed members)
};

struct MomentSums {
  double* sums = nullptr;
  double* squares = nullptr;
  double frequencyTotal = 0.0;
  double count = 0.0;
  double weightedTotal = 0.0;
  int32_t listCount = 0;
  int32_t* list = nullptr;
};

struct ModelUsageMask;

// Extra variables supplied to both lists: two counts and a fill callback that describes
// extra variable i of list (1 model variables, 2 CLASS) into a LevelVar.
struct DesignExtension {
  int32_t modelVarCount = 0;
  int32_t classCount = 0;
  void* modelContext = nullptr;
  void* classContext = nullptr;
  void (*fill)(void* context, int list, int index, LevelVar* out) = nullptr;
};

// The model description built from the MODEL, CLASS and EFFECT statements.
struct ZDesign {
  int32_t columnCount = 0;  // design columns of all effects, current BY group
  uint32_t flags = 0;       // dflag bits
  int32_t classCount = 0;
  LevelVar* classVars = nullptr;
  int32_t modelVarCount = 0;
  LevelVar* modelVars = nullptr;
  LevelVar* freqVar = nullptr;
  int32_t designVarCount = 0;
  uint8_t skipExpansion = 0;
  ZDesignVar* designVars = nullptr;
  int32_t replicateCount = 0;  // one entry per effect of the chain
  int32_t* replicates = nullptr;
  DesignVarLookup* lookup = nullptr;  // one entry per EFFECT statement
  int32_t effectCount = 0;
  ZEffect* effects = nullptr;  // the intercept, when present, first
  EffectResult* results = nullptr;
  int32_t defaultOrder = 'M';
  CodingCode defaultCoding = kCodingEffect;
  int32_t defaultMissing = 0;
  int32_t defaultRef = -2;
  int32_t defaultCprefix = -1;
  int32_t defaultLprefix = -1;
  char delimiter = ' ';
  int32_t defaultDescending = 0;
  char** parmNames[2] = {nullptr, nullptr};  // one entry per design column each
  int32_t nameCounters[2] = {0, 0};
  int32_t widthOption = -1;  // TRUNCATE: -1 own width, 0 16, else that width
  // The length TRUNCATE= cuts the formatted values at; -1 without TRUNCATE.
  int32_t truncation() const { return widthOption == 0 ? 16 : widthOption; }
  int32_t largestWidth = 0;
  int32_t totalWidth = 0;
  int32_t nameLengthLimit = 20;
  ModelUsageMask* usageMask = nullptr;
  uint8_t labelStyle = 1;  // 0 INTERLACED, 1 SEPARATE, 2 SEPARATECOMPACT
  uint8_t shortParmNames = 0;
  const char* shortNameText = nullptr;
  int32_t shortNameLength = 0;
  const char* separatorText = nullptr;
  int32_t separatorLength = 0;
  DesignExtension* extension = nullptr;
  MomentSums* moments[2] = {nullptr, nullptr};  // frequency, weight-times-frequency
  int32_t lagTableCount = 0;
  LagGroupTable* lagTables = nullptr;
  uint8_t lagEffects = 0;
  void* filterArg = nullptr;
  int32_t buildCode = 0;          // model-building return code, only rises
  HostPool* allocator = nullptr;  // the step pool the records above come from
  int32_t effectStatementCount = 0;
  DesignVarTable designVarTable;  // what constructed effects point at
};

// What the model uses, marked '1' (built by zreadobs under kFullRank): one character per effect,
// per design variable, per continuous variable and per CLASS variable.
struct ModelUsageMask {
  char marker = '1';
  char* effects = nullptr;
  char* designVars = nullptr;
  char* cont = nullptr;
  char* classVars = nullptr;
};

// A raw character value: its bytes (the variable's length) and that length.
struct RawText {
  char* text = nullptr;
  int32_t length = 0;
};

// How a CLASS variable's value of the current observation was read.
namespace valuestate {
constexpr uint8_t kMissing = 0x01;  // a missing number, or a text of blanks
constexpr uint8_t kLonger = 0x02;   // its formatted text is longer than every level's
}  // namespace valuestate

// Where one fetch puts the current observation's values; the fetch's letter codes say which
// of these it fills ('z' values, 'c' formatted, 'u' numeric raw, 'b' character raw,
// 'y' responses, 'w' weight, 'f' frequency). Unused targets stay null.
struct FetchTargets {
  double* values = nullptr;         // z: one per continuous variable
  char** formatted = nullptr;       // c: one buffer of its formatted width per CLASS variable
  double* numericRaw = nullptr;     // u: one per numeric CLASS variable, in list order
  RawText* characterRaw = nullptr;  // b: one per character CLASS variable
  double* responses = nullptr;      // y
  double* weight = nullptr;         // w
  double* frequency = nullptr;      // f
  uint8_t* classState = nullptr;    // c: per CLASS variable, how its value was read (valuestate)
};

struct ZLevCtx;
struct HostBindList;

// One row image of the input reader: the bound list that fills it and its bytes.
struct LevRowImage {
  HostDataSet* reader = nullptr;  // the reader the list is bound on
  HostBindList* list = nullptr;
  char* bytes = nullptr;
  int32_t size = 0;
  uint8_t classOnly = 0;  // the list binds the CLASS fields alone: the numbers come from the
                          // columns of the host's block
  // Of a CLASS-only image: the bytes of the numbers before its CLASS fields, and of the weight
  // fields between them, which the reader leaves unfilled.
  int32_t leadingBytes = 0, weightBytes = 0;
};

// The levelization allocation record: the input reader, the row images (raw, formatted) and
// the allocator of the group.
struct LevAllocRecord {
  HostDataSet* reader = nullptr;
  HostPool* allocator = nullptr;  // everything zlev allocates for the group
  LevRowImage images[2];          // 0 raw, 1 formatted
  int32_t active = -1;            // the image the reader fills on each read, -1 none
  uint8_t ownsAllocator = 0;      // zlev made the allocator (no group heap was given)
};

using LevStartFn = int (*)(ZLevCtx* ctx);  // rewinds to the group's first observation
using LevNextFn = int (*)(ZLevCtx* ctx);   // nonzero while an observation is current
using LevFetchFn = int (*)(ZLevCtx* ctx, const char* spec, const FetchTargets& to);
// Observation filter and CLASS in-use callback: (in-use flags, the design's filter argument,
// context) -> nonzero to use the observation; may clear flags of CLASS variables that do not
// matter for it.
using LevFilterFn = int (*)(int32_t* inUse, void* filterArg, ZLevCtx* ctx);

// The levelization context of the step (embedded in VsfState): what zlev reads, and per BY
// group the levels, the current observation's decoded values and the reader callbacks.
struct ZLevCtx {
  LevAllocRecord* alloc = nullptr;
  int32_t responseCount = 0;
  LevelVar* responses = nullptr;  // the extra variables of zreadobs, MODEL order
  LevelVar* weights = nullptr;
  LevelVar* frequency = nullptr;
  LevelVar* rowSlots[3] = {nullptr, nullptr, nullptr};  // current value into ->value
  int32_t weightCount = 0;
  ZDesign* design = nullptr;
  int32_t largestLevelCount = 0;
  int32_t* levelIndexes = nullptr;    // per CLASS variable, -1 none
  int32_t** responseLinks = nullptr;  // per response: the level index of the same variable
  double* values = nullptr;           // per continuous variable
  char* levelScratch = nullptr;       // largest level count x 8 bytes
  SscpProvider sscp;
  char** formatted = nullptr;     // per CLASS variable, its formatted width
  uint8_t* classState = nullptr;  // per CLASS variable, how its current value was read
  int32_t threaded = 0;
  int32_t workers = 1;             // threads a threaded levelization may use
  int32_t groupWorkers = 1 << 30;  // of them, those the BY group's rows keep busy
  uint32_t oneThreadNoted = 0;     // the passes whose one-thread note the step has given
  uint8_t formattedRow = 0;        // the fetch delivers the formatted image
  LevStartFn start = nullptr;
  LevNextFn next = nullptr;
  LevFetchFn fetch = nullptr;
  LevFilterFn filter = nullptr;
  // Design rows: per CLASS variable null or one weight per level (or all null), a routine
  // called once the constructed columns of a row are evaluated, the row zxrow fills when its
  // caller gives none.
  double** levelWeights = nullptr;
  void (*rowHook)(ZLevCtx* ctx) = nullptr;
  double* designRow = nullptr;
  // zreadobs's list of what it checks, made at its first call of a group (the context's own:
  // a copy of the context starts without one).
  std::shared_ptr<struct ReadPlan> readPlan;
  // zxrow's cells of a design of continuous effects alone, made at its first row (the same).
  std::shared_ptr<struct RowPlan> rowPlan;
  // The data set variables of the model variables, for their reads from the host's columns.
  std::shared_ptr<struct FetchPlan> fetchPlan;
};

// The EFFECT statement's record is laid out as the grammar writes it: grammar/slots.h
// (slots::effect, flags::effect).

// The effects library, driven by the parser while MODEL and EFFECT statements are read.
// Sets itself up on the first MODEL statement with the name length limit (NAMELEN=).
void zeffbldinit(int nameLengthLimit, int mode);
// Installs the library's effects callback; 0.
int zeffbldhook();
// Releases the step's effect records and design records (the step's clean-up).
void zeffbldfree();
// Takes every effect that is the data-set variable varNumber alone out of the statement's
// effect list (a response among its own effects); returns how many it took out.
int zeffdropvar(StatementRecord* statement, int effectSlot, int modelVarSlot, int varNumber);
// Builds the step's ZDesign from the effect chain and the EFFECT statements: 0, or 1 when the
// constructed effects could not be set up (the design's build code says why).
[[nodiscard]] int zeffinfo(ZDesign* design, HostDataSet* ds, int modelVarSlot, int classSlot,
                           StatementRecord* statement, int effectSlot, int noIntercept,
                           int columnCountFlag);
// Where the run forms the crossproducts of all its columns at once, the terms of a SEPARATE
// POLYNOMIAL the model uses, separate effects each, have crossproducts as large as NOSEPARATE's
// one effect: they are held to the memory as those are. 0, or 1 after the error naming DEGREE=
// (the design's build code says why).
[[nodiscard]] int zeffsepfits(ZDesign* design);
// Names an effect with constructed members after its members.
void zeffnamebuf(ZDesign* design, ZEffect* effect);
// Checks and completes the spline options of one SPLINE effect of nvars variables (defaults,
// knot lists, bounds), raising the design's build code after warnings; 0 when the effect can
// be built.
[[nodiscard]] int zsplopts(ZDesign* design, SplineOptions* options, int nvars,
                           const StatementRecord* statement);

}  // namespace vsf
