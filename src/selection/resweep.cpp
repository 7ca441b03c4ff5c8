// The resweep of a crossproducts matrix after an entry: every flag reset, S copied from A and
// columns 1 .. order-1 swept in order with the pivot rule. It depends on A alone, and a sweep
// changes a row only through that row and the pivot's, so rows before the new ones come out
// as the last resweep left them. When A grew by new rows below the A of the last resweep,
// only the new rows pass through the old sweeps, replayed from their kept pivots and work
// rows with the same operations (the result is the same bit for bit), and then their own
// columns are swept: order^2 work instead of order^3.
#include <algorithm>
#include <cstring>

#include "numerics/numerics.h"
#include "selection/engine_internal.h"

namespace vsf {

namespace {

bool reserve(SelectionState* s, ResweepMemo* m, int32_t n) {
  if (!poolGrow(s, &m->sscp, tri(n)) || !poolGrow(s, &m->swept, tri(n)) ||
      !poolGrow(s, &m->flags, n) || !poolGrow(s, &m->inverse, n))
    return false;
  if (n <= m->capacity) return true;
  const int32_t c = std::max(n, m->capacity + m->capacity / 4 + 16);  // a quarter more
  double* work = poolArray<double>(s, int64_t{c} * c);
  if (!work) return false;
  for (int32_t k = 0; k < m->order; ++k)
    copyDoubles(work + int64_t{k} * c, m->work + int64_t{k} * m->capacity, m->order);
  if (m->work) kernel().poolFree(s->modelPool, m->work);
  m->work = work;
  m->capacity = c;
  return true;
}

// The last resweep's A is the start of this A.
bool grownFrom(const ResweepMemo& m, const double* A, int32_t n) {
  return m.order > 0 && m.order <= n &&
         std::memcmp(A, m.sscp, sizeof(double) * static_cast<size_t>(tri(m.order))) == 0;
}

double* workRow(ResweepMemo* m, int32_t k) { return m->work + int64_t{k} * m->capacity; }

// Column k's work row as the sweep about to run reads it.
void recordWork(ResweepMemo* m, const double* S, const char* flags, int32_t k, int32_t n) {
  double* w = workRow(m, k);
  const bool sk = flags[k] == '1';
  for (int32_t j = 0; j < k; ++j) w[j] = S[pk(k, j)];
  w[k] = 0;
  for (int32_t j = k + 1; j < n; ++j) {
    const double v = S[pk(j, k)];
    w[j] = (flags[j] == '1') == sk ? v : -v;
  }
}

// Rows o .. n-1 (flags '0') through the kept sweeps of columns 1 .. o-1, as zsweep does them.
void replayNewRows(ResweepMemo* m, double* S, int32_t o, int32_t n) {
  for (int32_t k = 1; k < o; ++k) {
    const double inv = m->inverse[k];
    if (inv == 0) continue;
    double* w = workRow(m, k);
    for (int32_t i = o; i < n; ++i) w[i] = S[pk(i, k)];
    for (int32_t i = o; i < n; ++i) {
      const double c = w[i] * inv;
      if (c == 0) continue;
      double* row = S + tri(i);
      for (int32_t j = 0; j < k; ++j) row[j] -= c * w[j];
      for (int32_t j = k + 1; j <= i; ++j) row[j] -= c * w[j];
    }
    for (int32_t i = o; i < n; ++i) S[pk(i, k)] *= inv;
  }
}

}  // namespace

int32_t resweepMatrix(SelectionState* s, ResweepMemo* m, const double* A, double* S, char* flags) {
  const int32_t n = s->sweep.sscpOrder;
  const bool grown = grownFrom(*m, A, n);
  const bool keep = reserve(s, m, n);
  int32_t o = 1;
  if (grown && keep) {
    o = m->order;
    copyDoubles(S, m->swept, tri(o));
    std::copy(m->flags, m->flags + o, flags);
    copyDoubles(S + tri(o), A + tri(o), tri(n) - tri(o));
    std::fill(flags + o, flags + n, '0');
    replayNewRows(m, S, o, n);
  } else {
    copyDoubles(S, A, tri(n));
    std::fill(flags, flags + n, '0');
  }
  for (int32_t k = o; k < n; ++k) {
    if (keep) recordWork(m, S, flags, k, n);
    const double d = S[pk(k, k)];
    const bool in = sweepWithRule(s, S, A, flags, k);
    if (keep) m->inverse[k] = in ? 1 / d : 0;
  }
  m->order = 0;
  if (keep) {
    copyDoubles(m->sscp, A, tri(n));
    copyDoubles(m->swept, S, tri(n));
    std::copy(flags, flags + n, m->flags);
    m->order = n;
  }
  return static_cast<int32_t>(std::count(flags + 1, flags + n, '1'));
}

}  // namespace vsf
