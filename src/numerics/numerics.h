// Numerics library: distributions, random numbers, packed-matrix kernels, trees and sorts.
#pragma once

#include <cstdint>
#include <shared_mutex>

namespace vsf {

// ---------------------------------------------------------------------------------------------
// Elementary functions
// ---------------------------------------------------------------------------------------------

// Log of an exact zero on the log-probability scale.
constexpr double kLogZero = -1.3407807929943e+154;

double zlgamma(double x);           // ln Gamma(x); -99 for x <= DBL_MIN
double zstirlerr(double x);         // ln Gamma(x) - Stirling's formula
double zlbeta(double a, double b);  // ln B(a,b); 99 when a or b <= 0
double zlog1p(double x);
double zexpm1(double x);
double zfrexp(double x, int* e);                  // x = m 2^e, |m| in [0.5, 1)
double zldexp(double x, int e);                   // x 2^e
[[nodiscard]] int zmills(double x, double* out);  // (1 - Phi(x)) / phi(x); 0 or 1 (did not settle)
int zpkidx(int i, int j);                         // index of (i,j) in a packed lower triangle

// e^x and x^y. Overflow throws NumericFault(0xC0000091), a negative base with a fractional
// exponent NumericFault(0xE0000001). A missing argument gives it back.
double zexp(double x);
double zpow(double x, double y);

// ---------------------------------------------------------------------------------------------
// Distribution records
// ---------------------------------------------------------------------------------------------

struct TrapezoidRec;

// Gamma distribution request (scale 1); zero-filled by the caller before first use.
struct GammaDistRec {
  uint32_t request = 0;  // 1 tails, 2 log density, 4 quantile of p, 8 quantile of q
  double p = 0;          // lower-tail target (request 4)
  double x = 0;          // argument; result of requests 4 and 8
  double a = 0;          // shape
  double logLower = 0;   // ln P(a,x)
  double logUpper = 0;   // ln Q(a,x)
  double logDensity = 0;
  double tol = 0;        // relative tolerance (raised on entry)
  double q = 0;          // upper-tail target (request 8)
  double shapeWork = 0;  // a' - 1, or the caller's a while working with a + 1
  double lastConvergent = 0;
  double logIntegrandAtShape = 0;
  int32_t method = 0;  // 0 series, 2 Wilson-Hilferty, 3 Legendre fraction, 4 series fraction
  double growth = 0;
  double shrink = 0;
  TrapezoidRec* quad = nullptr;
  double smallest = 0;
};

// Beta distribution request; zero-filled by the caller before first use.
struct BetaDistRec {
  uint32_t request = 0;  // as GammaDistRec; 0 means 1
  double x = 0;
  double a = 0;
  double b = 0;
  double logLower = 0;
  double logUpper = 0;
  double logDensity = 0;
  double tol = 0;
  double lastConvergent = 0;
  double complement = 0;
  double shapeWork = 0;
  double shapeSum = 0;
  double savedX = 0, savedA = 0, savedB = 0;
  double p = 0;  // lower-tail target (request 4)
  int32_t shifted = 0, swapped = 0;
  int32_t halley = 0;
  int32_t momentsDone = 0;
  double mean = 0, sd = 0;
  double smallest = 0;
  double searchTol = 0;
  double start = 0;
  double alpha = 0;
  double q = 0;  // upper-tail target (request 8)
  double startA = 0, startB = 0;
  uint8_t clamp = 0;     // 0 inside, 1 at the lower end, 2 at the upper end
  uint8_t oriented = 0;  // the start value was computed for the swapped shapes
  double xLo = 0, xHi = 0;
  double logTarget = 0;
  double fLo = 0, fHi = 0;
};

// Trapezoidal quadrature in a transformed variable; zero-filled by the caller.
struct TrapezoidRec {
  double sum = 0;
  double tol = 0;
  double termThreshold = 0;
  double lastTerm = 0;
  double reference = 0;
  double lower = 0;  // a (kinds 2 and 3)
  double upper = 0;  // b (kind 3)
  double width = 0;  // b - a
  double estimate = 0;
  int32_t pointsBelow = 0, pointsAbove = 0;
  int32_t overflow = 0;
  int32_t strict = 0;
  double start = 0;
  double h = 0;
  double step = 0, halfStep = 0;
  int32_t maxPasses = 0, passes = 0;
  int32_t kind = 0;   // 1 plain, 2 offset on a log scale, 3 interval
  int32_t mode = 0;   // convergence mode 0 or 1
  double change = 0;  // last relative change
  double base = 0, invLogBase = 0;
  int32_t scale = 0;   // applied scale exponent
  int32_t fScale = 0;  // the integrand's scale exponent
  int32_t scaling = 0;
  void* context = nullptr;
  int (*integrand)(double t, void* context, double* value) = nullptr;
  double logBase = 0;
  int32_t maxTotal = 0;
  int32_t scaledConvergence = 0;
  int32_t accuracy = 0;  // 1234567: stricter agreement
  int32_t limitHit = 0;
  double limitPoint = 0, limitPrevTerm = 0;
};

// Modified Bessel function I_nu(x).
struct BesselIRec {
  double x = 0;
  double half = 0, halfSq = 0;
  double nu = 0;
  double frac = 0;
  double twoOverX = 0;
  double order = 0;
  double logHi = 0, logLo = 0;
  double result = 0;
  int32_t intPart = 0;
  int32_t offset = 0;
  int32_t scaled = 0;
  int32_t kind = 0;  // 1 e^-x I, 2 ln I, other I
  int32_t status = 0;
};

struct FDistRec {
  double x = 0, df1 = 0, df2 = 0, nc = 0;
  double logLower = 0, logUpper = 0, logDensity = 0;
  double tol = 0;
  int32_t directLower = 0;
  uint32_t request = 0;
  double seriesTol = 0, quadTol = 0;
};

struct ChiSqDistRec {
  double p = 0, x = 0, df = 0, nc = 0;
  double logLower = 0, logUpper = 0, logDensity = 0;
  double tol = 0;
  double q = 0;
  int32_t directLower = 0;
  uint32_t request = 0;  // 1 tails, 2 log density, 4 quantile of p, 8 quantile of q
  int32_t momentsDone = 0;
  double mean = 0, sd = 0;
  double smallestStep = 0;
  TrapezoidRec* quad = nullptr;
};

struct RootSolveRec {
  int32_t scaleMode = 0;  // 0 P, 1 log P, 2 log P of the complementary tail
  int32_t stepKind = 0;   // 1 linear in the point, 2 linear in its logarithm
  int32_t status = 0;     // 0, 1 no convergence, 12345677 missing value or step too small
  int32_t flag = 0;
  double tol = 0, tol2 = 0;
  double* value = nullptr;  // where the evaluation writes
  double clamped = 0;
  double vLo = 0, vHi = 0, lLo = 0, lHi = 0;
  double logOdds = 0, targetLogOdds = 0, target = 0;
  double growth = 0, shrink = 0;
  double xLo = 0, xHi = 0, point = 0;
  double step = 0, smallestStep = 0;
  void* context = nullptr;
  uint8_t converged = 0;
  int (*start)(RootSolveRec*) = nullptr;
  int (*eval)(RootSolveRec*) = nullptr;
  uint8_t bisect = 0;
};

// Incomplete beta and gamma.
[[nodiscard]] int zbetacdf(double x, double a, double b, double* prob, double* dens);
[[nodiscard]] int zbetalpdf(double x, double a, double b, double* out);
[[nodiscard]] int zbetatails(BetaDistRec* rec);
[[nodiscard]] int zbetainv(BetaDistRec* rec);
[[nodiscard]] int zgammadist(GammaDistRec* rec);
[[nodiscard]] int zgammainc(GammaDistRec* rec);
[[nodiscard]] int zgammalpdf(double x, double a, double* out);
[[nodiscard]] int zgammaser(GammaDistRec* rec);
[[nodiscard]] int zdistkern(TrapezoidRec* rec, double* result);
[[nodiscard]] int zbesseli(BesselIRec* rec);

// Normal, F and chi-square.
double znormcdf(double x);
[[nodiscard]] int zlnormcdf(double x, double* logLower, double* logUpper, double* logDensity);
double znormq(double p);
double zprobf(double x, double df1, double df2);
[[nodiscard]] int zfdistnc(double x, double df1, double df2, double nc, double* logLower,
                           double* logUpper);
[[nodiscard]] int zfdist(FDistRec* rec);
[[nodiscard]] int zchisqnc(ChiSqDistRec* rec);
[[nodiscard]] int zrootsolve(RootSolveRec* rec);

// ---------------------------------------------------------------------------------------------
// Packed symmetric matrices (lower triangle by rows) and vector kernels
// ---------------------------------------------------------------------------------------------

using PackedSymMatrix = double*;
using SweptFlags = char*;

void zsweep(double* a, int k, int n, char* flags, double* work, double tol);
void zquadform(const double* a, int n, const double* x, int m, double* b, double* work,
               int accumulate);
void zcholrow(int k, double* l, double tol);
int zdspr(const double* x, int n, double a, double* ap);

void zdaxpy(double* z, const double* y, const double* x, int n, double a);
void zdscal(double* out, const double* x, int n, double a);
double zdsum(const double* x, int n);
double zdamaxinc(const double* x, int stride, int n);
double zdnrm2(int n, int stride, const double* x);
int zgsqr(int n, int p, const double* x, double* q, double* r);
// The upper triangle of `square` (n x n, by columns) = panel panel' for the n x k panel (by
// columns), through the BLAS on the calling thread. False, `square` untouched, when the BLAS
// cannot have the buffer it works in (an address-space limit leaves no room): the caller then
// adds the panel's rows itself. Under such a limit the calls share the buffers reserved for
// them, waiting for one to come free.
[[nodiscard]] bool blasSyrk(int n, int k, const double* panel, double* square);
// Has the BLAS map the buffers of `callers` calls at once, as far as the room for them goes,
// where nothing else runs (a step's start): under an address-space limit the calls get no
// others.
void reserveBlasBuffers(int callers);
// Whether a mapping of memory can be refused: an address-space or data limit (`ulimit -v`,
// `ulimit -d`), or the system's strict accounting of memory.
bool mappingsBounded();
// For tests: at most `most` buffers are held or reserved, as under a limit that leaves room for
// that many, and the calls past them wait for one; with none, every call returns false.
// Negative: no such bound.
void limitBlasBuffers(int most);
// The buffers the BLAS holds for the calls made so far.
int blasBuffersHeld();

namespace num {
// Every one of the n values finite: one scan at the speed of a plain sum.
bool allFinite(const double* x, int n);
}  // namespace num

// ---------------------------------------------------------------------------------------------
// Random numbers
// ---------------------------------------------------------------------------------------------

struct RngState;
using RngUniform = double (*)(RngState*);
// Table entries: each slot's routine, cast back to its own type (see the slot list).
using RngAnyFn = void (*)();

struct BetaCache {
  double keyA = 0, keyB = 0;
  double v[8] = {};
};
struct BinomialCache {
  double keyP = 0;
  double mean = 0, sd = 0, f0 = 0, r = 0, nr = 0;
  int32_t keyN = 0;
  uint8_t underflow = 0;
};
struct GammaCache {
  double keyShape = 0;
  double b = 0, c = 0, d = 0;
  double f = 0, fm1 = 0, invF = 0, q = 0;
  int32_t k = 0;
};
struct PoissonCache {
  double keyLambda = 0;
  double ceiling = 0, expNeg = 0, expFrac = 0, cdfM = 0, pM = 0;
  int32_t method = 0;
};

// One generator record; zeroed by its owner, then seeded and set up by zrnginit.
struct RngState {
  int32_t seed = 0;      // requested seed; < 1 makes one
  int32_t seedUsed = 0;  // 0 on the hardware source
  int32_t lastMagnitude = 0;
  RngAnyFn draw[20] = {};  // single-draw routines by slot
  RngAnyFn fill[20] = {};  // array-filling routines by slot
  int32_t fillCount = 0;
  double* fillArray = nullptr;
  uint32_t mt[624] = {};
  uint32_t mag01[2] = {};
  int32_t mti = 0;
  BetaCache beta;
  BinomialCache binomial;
  GammaCache gamma;
  PoissonCache poisson;
  uint8_t spareFlag = 0;
  double spare = 0;
  RngUniform uniform = nullptr;
};

// Slots of the draw and fill tables.
namespace rngslot {
enum : int {
  kBernoulli,
  kBeta,
  kBinomial,
  kCauchy,
  kChiSquare,
  kErlang,
  kExponential,
  kF,
  kGamma,
  kGeometric,
  kHypergeometric,
  kLognormal,
  kNegBinomial,
  kNormal,
  kPoisson,
  kTabled,
  kT,
  kTriangle,
  kUniform,
  kWeibull
};
}

[[nodiscard]] int zrnginit(RngState* rng);
double zmtunif(RngState* rng);
double zrdranduni(RngState* rng);
int zrngmethod();
int zrngseed();
int zrdrandok();
uint32_t zrdrand32();
double zlcgunif(uint32_t* state);

// Single draws (slot order); invalid parameters give the missing value. Each has a fill
// routine of the same parameters (name + "f") that writes the record's fill count values to its
// fill array and returns 0, or 1 when there is no array or the count is 0.
double zrngbern(RngState* rng, double p);
double zrngbeta(RngState* rng, double a, double b);
double zrngbinom(RngState* rng, int n, double p);
double zrngcauchy(RngState* rng);
double zrngchisq(RngState* rng, double df);
double zrngerlang(RngState* rng, int k);
double zrngexp(RngState* rng);
double zrngf(RngState* rng, double d1, double d2);
double zrnggamma(RngState* rng, double a);
double zrnggeom(RngState* rng, double p);
double zrnghyper(RngState* rng, int bigN, int bigM, int n);
double zrnglognorm(RngState* rng);
double zrngnegbin(RngState* rng, double p, double r);
double zrngnorm(RngState* rng);
double zrngpois(RngState* rng, double lambda);
double zrngtable(RngState* rng, int n, const double* probabilities);
double zrngt(RngState* rng, double df);
double zrngtri(RngState* rng, double h);
double zrngunif(RngState* rng);
double zrngweib(RngState* rng, double a, double b);

int zrngbernf(RngState* rng, double p);
int zrngbetaf(RngState* rng, double a, double b);
int zrngbinomf(RngState* rng, int n, double p);
int zrngcauchyf(RngState* rng);
int zrngchisqf(RngState* rng, double df);
int zrngerlangf(RngState* rng, int k);
int zrngexpf(RngState* rng);
int zrngff(RngState* rng, double d1, double d2);
int zrnggammaf(RngState* rng, double a);
int zrnggeomf(RngState* rng, double p);
int zrnghyperf(RngState* rng, int bigN, int bigM, int n);
int zrnglognormf(RngState* rng);
int zrngnegbinf(RngState* rng, double p, double r);
int zrngnormf(RngState* rng);
int zrngpoisf(RngState* rng, double lambda);
int zrngtablef(RngState* rng, int n, const double* probabilities);
int zrngtf(RngState* rng, double df);
int zrngtrif(RngState* rng, double h);
int zrnguniff(RngState* rng);
int zrngweibf(RngState* rng, double a, double b);
// The seed of resample work record `index`: the procedure seed plus the index, wrapped into
// 1..2147483646; 0 (make one) when the procedure seed is 0. Callers (the frame's resample
// set-up) pass the procedure seed as zsysrand settled it (mode 1, so SEED=0 has already become
// the clock's seed) and the record's 0-based index, and store the result as the record's
// RngState::seed before zrnginit.
int32_t zrngrecseed(int32_t procedureSeed, int32_t index);

// Settles the procedure seed (mode 1) or records the generator's end state in SYSRANEND
// (mode 2); always 0.
int zsysrand(int* seed, int mode);

}  // namespace vsf

// ---- Balanced trees and Shell sorts ----

namespace vsf {

// Intrusive AVL tree: every node starts with this header; the key lies inside the node at an
// offset the caller names. The tree is a caller-held root pointer.
struct ZTreeNode {
  ZTreeNode* left = nullptr;
  ZTreeNode* right = nullptr;
  int16_t balance = 0;  // -1 left taller, 0, +1 right taller; 17 in a root being walked
};

// Key comparator: negative, 0 or positive as a's key sorts before, with or after b's.
using ZTreeCompare = int (*)(const void* a, const void* b, int n, int off);

// Inserts node: node, the node already holding an equal key (node is then not linked), or
// null after an inconsistent comparison. Without a comparator n > 0 compares n bytes at off,
// n < 0 the doubles at off (special values below every number).
ZTreeNode* ztrebld(ZTreeNode** root, ZTreeNode* node, int n, int off, ZTreeCompare cmp);
ZTreeNode* ztrefind(ZTreeNode** root, const void* keyNode, int n, int off, ZTreeCompare cmp);
// In-order walk, one node per call; null ends the walk. The tree must not change meanwhile.
ZTreeNode* ZTREORD(ZTreeNode* root);
// Ends a walk early.
void ztreend(ZTreeNode* root);
// Comparator of keys of keyBytes / 4 signed 32-bit level indexes at keyOffset, compared in
// order: -1, 0 or 1 (no bytes: equal).
int zidxcmp(const void* a, const void* b, int keyBytes, int keyOffset);

// Threaded AVL tree: a link with bit 0 set is a thread to the in-order neighbour.
struct ThreadTreeNode {
  uintptr_t left = 0;
  uintptr_t right = 0;
  int16_t balance = 0;
};

ThreadTreeNode* zttinsb(ThreadTreeNode** root, ThreadTreeNode* node, int off, int len);
ThreadTreeNode* zttinsi(ThreadTreeNode** root, ThreadTreeNode* node, int off);
ThreadTreeNode* zttfindb(ThreadTreeNode* root, const void* key, int off, int len);
ThreadTreeNode* zttfindi(ThreadTreeNode* root, const int32_t* key, int off);
ThreadTreeNode* zttdeli(ThreadTreeNode** root, const int32_t* key, int off);
ThreadTreeNode* zttfirst(ThreadTreeNode* root);
ThreadTreeNode* zttnext(ThreadTreeNode* node);

// The model-averaging tree of distinct models, keyed by a vector of ints. Links carry a
// thread mark in bit 1 and "this side is taller" in bit 0.
struct IntVectorKey {
  int32_t count = 0;
  const int32_t* values = nullptr;
};
struct IntVectorNode {
  uintptr_t left = 0;
  uintptr_t right = 0;
};
struct IntVectorTree {
  IntVectorNode* root = nullptr;
  int32_t keyOffset = 0;  // where the IntVectorKey lies inside each node
  std::shared_mutex lock;
};

IntVectorNode* ivtInsert(IntVectorTree* tree, IntVectorNode* node);
IntVectorNode* ivtFind(IntVectorTree* tree, const IntVectorKey* key);
IntVectorNode* ivtFindNeighbours(IntVectorTree* tree, const IntVectorKey* key,
                                 IntVectorNode** predecessor, IntVectorNode** successor);
IntVectorNode* ivtDelete(IntVectorTree* tree, const IntVectorKey* key);

// The operations of an IntVectorTree, plain and under its lock (finds shared, changes
// exclusive).
struct TreeOps {
  IntVectorNode* (*insert)(IntVectorTree*, IntVectorNode*);
  IntVectorNode* (*find)(IntVectorTree*, const IntVectorKey*);
  IntVectorNode* (*findNeighbours)(IntVectorTree*, const IntVectorKey*, IntVectorNode**,
                                   IntVectorNode**);
  IntVectorNode* (*remove)(IntVectorTree*, const IntVectorKey*);
  IntVectorNode* (*lockedInsert)(IntVectorTree*, IntVectorNode*);
  IntVectorNode* (*lockedFind)(IntVectorTree*, const IntVectorKey*);
  IntVectorNode* (*lockedFindNeighbours)(IntVectorTree*, const IntVectorKey*, IntVectorNode**,
                                         IntVectorNode**);
  IntVectorNode* (*lockedRemove)(IntVectorTree*, const IntVectorKey*);
};
extern const TreeOps kIntVectorTreeOps;

// Shell sorts with power-of-two gaps; with an index array only the index entries move.
// ascending = 1 sorts up, any other value down; equal entries are never exchanged.
void shellSortDoubles(double* values, uint32_t n, uint32_t* index, int8_t ascending);
void shellSortInts(int32_t* values, uint32_t n, uint32_t* index, int8_t ascending);

}  // namespace vsf
