// The crossproducts provider of a BY group: the packed crossproducts of the design columns and
// the responses over the group's observations, and what the post-fit statements derive from
// them (Cholesky factor, swept matrix, estimates, residual and hypothesis crossproducts).
// Matrices are packed lower triangles of order v = p + q, the responses last.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "design/design.h"
#include "effects/effects.h"
#include "numerics/numerics.h"
#include "selection/selection_internal.h"

namespace vsf {

namespace {

constexpr uint32_t kResultFlags = 0x3004;
constexpr uint32_t kCacheFlags = 0x3006;
constexpr double kSizeLimit = 2104533974.06;
constexpr double kRelativePivot = 1.110223024625157e-09;

template <typename T>
T* ownerArray(SscpProvider* p, int64_t n, uint32_t flags = kResultFlags) {
  return static_cast<T*>(kernel().poolAlloc(
      p->owner, sizeof(T) * static_cast<size_t>(std::max<int64_t>(n, 1)), flags | kAllocZero));
}

// A matrix past the size the host allows ends the step.
void sizeGuard(int64_t v) {
  const double d = static_cast<double>(v);
  if (4 * d * (d + 1) > kSizeLimit) {
    const std::string what = "crossproducts matrix of order " + std::to_string(v);
    hostMsg(172, 405, {std::string_view(what)});
    hostEndStep(step::kInternal);
  }
}

int64_t orderOf(const SscpProvider* p) { return static_cast<int64_t>(p->p) + p->q; }

// The responses go after every design position: with a map, one past its largest value.
int32_t designPositions(const SscpProvider* p) {
  const int32_t columns = p->design ? p->design->columnCount : 0;
  if (!p->columnMap) return columns;
  int32_t largest = -1;
  for (int32_t j = 0; j < columns; ++j) largest = std::max(largest, p->columnMap[j]);
  return largest + 1;
}

bool fullRows(const SscpProvider* p) {
  return (p->design && (p->design->flags & dflag::kFullRank)) || p->fullRowsWord != 0;
}

// One observation as a whole design row (mapped when a map is given), the responses behind.
class FullRow {
 public:
  explicit FullRow(SscpProvider* p)
      : p_(p), design_(static_cast<size_t>(p->design->columnCount)), row_(orderOf(p)) {}
  void add(double* A, double w) {
    zxrow(p_->rowContext, p_->rowValues, p_->rowLevels, design_.data());
    std::fill(row_.begin(), row_.end(), 0.0);
    for (size_t j = 0; j < design_.size(); ++j) {
      const int32_t at = p_->columnMap ? p_->columnMap[j] : static_cast<int32_t>(j);
      if (at >= 0) row_[static_cast<size_t>(at)] = design_[j];
    }
    std::copy(p_->responses, p_->responses + p_->q, row_.begin() + p_->p);
    p_->observations += zdspr(row_.data(), static_cast<int>(row_.size()), w, A);
  }

 private:
  SscpProvider* p_;
  std::vector<double> design_, row_;
};

// One value per effect at its first column plus its level offset (mapped when a map is
// given; a dropped column adds nothing).
void addEffectRow(SscpProvider* p, double* A, double w) {
  const ZDesign* d = p->design;
  std::vector<int32_t> cols(static_cast<size_t>(d->effectCount));
  for (int32_t e = 0; e < d->effectCount; ++e) {
    const int32_t c = d->effects[e].startColumn + d->results[e].combination;
    cols[e] = p->columnMap ? p->columnMap[c] : c;
  }
  for (int32_t e = 0; e < d->effectCount; ++e) {
    if (cols[e] < 0) continue;
    const double wu = w * d->results[e].product;
    for (int32_t f = 0; f <= e; ++f)
      if (cols[f] >= 0) A[pkAny(cols[e], cols[f])] += wu * d->results[f].product;
  }
  for (int32_t k = 0; k < p->q; ++k) {
    const double wy = w * p->responses[k];
    const int64_t r = p->p + k;
    for (int32_t e = 0; e < d->effectCount; ++e)
      if (cols[e] >= 0) A[pk(r, cols[e])] += wy * d->results[e].product;
    for (int32_t j = 0; j <= k; ++j) A[pk(r, p->p + j)] += wy * p->responses[j];
  }
  p->observations += 1;
}

double* accumulate(SscpProvider* p) {
  p->p = designPositions(p);
  const int64_t v = orderOf(p);
  if (v == 0) return nullptr;
  sizeGuard(v);
  double* A = ownerArray<double>(p, tri(v));
  if (!A) return nullptr;
  std::unique_ptr<FullRow> full;
  if (fullRows(p)) full = std::make_unique<FullRow>(p);
  double w = 1.0;
  p->observations = 0;
  if (p->start) p->start(p);
  while (p->next && p->next(p)) {
    if (p->weight && !p->weight(p, &w)) continue;
    if (p->weightFloor >= w) w = 0;
    if (p->response && !p->response(p, p->responses)) continue;
    if (full)
      full->add(A, w);
    else
      addEffectRow(p, A, w);
  }
  return A;
}

SscpCacheItem* cached(SscpProvider* p, int32_t code) {
  for (SscpCacheItem* c = p->cache; c; c = c->next)
    if (c->code == code) return c;
  return nullptr;
}

SscpCacheItem* remember(SscpProvider* p, int32_t code, void* item) {
  auto* c = ownerArray<SscpCacheItem>(p, 1, kCacheFlags);
  if (!c) return nullptr;
  c->code = code;
  c->item = item;
  c->next = p->cache;
  p->cache = c;
  return c;
}

// Sweeps the design pivots with a tolerance each, the pivots left unswept cleared out.
double* sweptMatrix(SscpProvider* p) {
  double* A = static_cast<double*>(sscpItem(p, 0, 0));
  if (!A) return nullptr;
  const int64_t v = orderOf(p);
  double* S;
  if (p->flags & 1) {
    SscpCacheItem* c = cached(p, 0);
    c->code = 1;  // the accumulated matrix is swept in place; item 0 accumulates again
    S = A;
  } else {
    if (!(S = ownerArray<double>(p, tri(v)))) return nullptr;
    copyDoubles(S, A, tri(v));
    if (!remember(p, 1, S)) return nullptr;
  }
  auto* record = ownerArray<SscpSweepRecord>(p, 1, kCacheFlags);
  if (!record) return nullptr;
  record->design = p->design;
  record->stride = std::max<int32_t>(p->design ? p->design->columnCount : 0, 1);
  record->columns = ownerArray<double>(p, v * std::max<int64_t>(v, record->stride));
  record->marks = ownerArray<int32_t>(p, v);
  record->tolerance = 1e-8;
  if (!record->columns || !record->marks || !remember(p, 12, record)) return nullptr;
  // Tolerances from the accumulated diagonal, taken before any sweep (S may be A itself).
  std::vector<double> tol(static_cast<size_t>(p->p));
  for (int32_t j = 0; j < p->p; ++j) {
    tol[j] = std::min(1e-4, kRelativePivot * S[pk(j, j)]);
    if (p->flags & 2) tol[j] = std::max(tol[j], p->toleranceFloor);
  }
  std::vector<char> flags(static_cast<size_t>(v), '0');
  std::vector<double> work(static_cast<size_t>(v));
  for (int32_t j = 0; j < p->p; ++j)
    if (sscpSweepColumn(S, j, static_cast<int32_t>(v), flags.data(), work.data(), tol[j],
                        record->columns, record->stride))
      record->marks[j] = 1;
  return S;
}

double* cholesky(SscpProvider* p) {
  double* A = static_cast<double*>(sscpItem(p, 0, 0));
  if (!A) return nullptr;
  const int64_t v = orderOf(p);
  sizeGuard(v);
  double* L = ownerArray<double>(p, tri(v));
  if (!L) return nullptr;
  copyDoubles(L, A, tri(v));
  for (int32_t i = 0; i < v; ++i) zcholrow(i, L, kRelativePivot * A[pk(i, i)]);
  return L;
}

double* estimatesBlock(SscpProvider* p) {
  const double* S = static_cast<double*>(sscpItem(p, 1, 0));
  if (!S) return nullptr;
  double* B = ownerArray<double>(p, static_cast<int64_t>(p->q) * p->p);
  if (!B) return nullptr;
  for (int32_t k = 0; k < p->q; ++k)
    for (int32_t j = 0; j < p->p; ++j) B[static_cast<int64_t>(k) * p->p + j] = S[pk(p->p + k, j)];
  return B;
}

double* responseBlock(SscpProvider* p, const double* M) {
  if (!M) return nullptr;
  double* T = ownerArray<double>(p, tri(p->q));
  if (!T) return nullptr;
  for (int32_t i = 0; i < p->q; ++i)
    for (int32_t j = 0; j <= i; ++j) T[pk(i, j)] = M[pk(p->p + i, p->p + j)];
  return T;
}

double* errorTriangle(SscpProvider* p) {
  return responseBlock(p, static_cast<double*>(sscpItem(p, 1, 0)));
}
double* responseTriangle(SscpProvider* p) {
  return responseBlock(p, static_cast<double*>(sscpItem(p, 0, 0)));
}

bool hasLetter(const char* letters, char c) {
  for (const char* l = letters; l && *l; ++l)
    if (*l == c) return true;
  return false;
}

SscpHypothesisResult* hypothesis(SscpProvider* p, const SscpHypothesisRequest* req,
                                 int32_t response, const char* letters) {
  auto* out = ownerArray<SscpHypothesisResult>(p, 1);
  const double* G = static_cast<double*>(sscpItem(p, 1, 0));
  if (!out || !G) return out;
  const int32_t m = req->m, r = response < 0 ? p->q : 1;
  std::vector<double> work(static_cast<size_t>(std::max<int32_t>(std::max(p->p, m), 1)));
  std::vector<double> Q(static_cast<size_t>(tri(m)));
  zquadform(G, p->p, req->L, m, Q.data(), work.data(), 0);
  if (hasLetter(letters, 'e') || hasLetter(letters, 'v')) out->estimateCount = r * m;
  if (hasLetter(letters, 'v')) {
    if (!(out->variance = ownerArray<double>(p, tri(static_cast<int64_t>(r) * m)))) return out;
    copyDoubles(out->variance, Q.data(), tri(m));
  }
  // Q swept: a dependent combination leaves its row and column zero.
  std::vector<char> flags(static_cast<size_t>(std::max(m, 1)), '0');
  for (int32_t i = 0; i < m; ++i) {
    const double t = std::min(1e-4, kRelativePivot * Q[pk(i, i)]);
    zsweep(Q.data(), i, m, flags.data(), work.data(), t);
    if (flags[i] == '1') continue;
    for (int32_t j = 0; j < m; ++j) Q[pkAny(i, j)] = 0;
  }
  std::vector<double> E(static_cast<size_t>(r) * m);
  for (int32_t j = 0; j < r; ++j) {
    const double* b = static_cast<double*>(sscpItem(p, 2, response < 0 ? j : response));
    for (int32_t i = 0; i < m && b; ++i)
      E[static_cast<size_t>(j) * m + i] = zddot(req->L + static_cast<int64_t>(i) * p->p, b, p->p);
  }
  if (hasLetter(letters, 'd'))
    out->rank = static_cast<int32_t>(std::count(flags.begin(), flags.begin() + m, '1'));
  if (hasLetter(letters, 's')) {
    if (!(out->crossproducts = ownerArray<double>(p, tri(r)))) return out;
    zquadform(Q.data(), m, E.data(), r, out->crossproducts, work.data(), 0);
  }
  if (hasLetter(letters, 'e')) {
    out->estimateCount = m;
    if (!(out->estimates = ownerArray<double>(p, static_cast<int64_t>(r) * m))) return out;
    copyDoubles(out->estimates, E.data(), static_cast<int64_t>(r) * m);
  }
  return out;
}

}  // namespace

int zsscpset(SscpProvider* p) {
  SscpEntries& e = p->entries;
  e.context = p;
  e.accumulate = accumulate;
  e.cholesky = cholesky;
  e.estimatesBlock = estimatesBlock;
  e.errorTriangle = errorTriangle;
  e.responseTriangle = responseTriangle;
  e.hypothesis = hypothesis;
  return 0;
}

void* sscpItem(SscpProvider* p, int32_t code, int32_t index) {
  if (SscpCacheItem* c = cached(p, code)) {
    if (code != 2) return c->item;
    return static_cast<double*>(c->item) + static_cast<int64_t>(std::max(index, 0)) * p->p;
  }
  switch (code) {
    case 0: {
      double* A = p->entries.accumulate ? p->entries.accumulate(p) : accumulate(p);
      if (A && !remember(p, 0, A)) return nullptr;
      return A;
    }
    case 1:
      return sweptMatrix(p);
    case 2: {
      double* B = p->entries.estimatesBlock ? p->entries.estimatesBlock(p) : estimatesBlock(p);
      if (!B || !remember(p, 2, B)) return nullptr;
      return B + static_cast<int64_t>(std::max(index, 0)) * p->p;
    }
    default:
      return nullptr;
  }
}

}  // namespace vsf
