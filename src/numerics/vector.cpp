// Dense vector kernels: the update z = y + a x (the in-place case through the BLAS), scaling,
// summation, strided largest magnitude and the overflow-safe Euclidean norm.
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/strings.h"
#include "numerics/faults_internal.h"
#include "numerics/numerics.h"
#include "numerics/vector_internal.h"

extern "C" void daxpy_(const int* n, const double* a, const double* x, const int* incx, double* y,
                       const int* incy);

namespace vsf {

using namespace num;

// A value is finite unless its exponent bits are all ones, and only then does adding one below
// the exponent carry into the sign bit: integer steps the compiler runs in vector lanes, where
// sums of x * 0 wait on each other.
bool num::allFinite(const double* x, int n) {
  constexpr uint64_t kExponent = 0x7FF0000000000000ULL, kCarry = 0x0010000000000000ULL;
  uint64_t any = 0;
  for (int i = 0; i < n; ++i) {
    uint64_t u;
    std::memcpy(&u, x + i, 8);
    any |= (u & kExponent) + kCarry;
  }
  return (any >> 63) == 0;
}

num::NearestRounding::NearestRounding() : mode_(std::fegetround()) {
  if (mode_ != FE_TONEAREST) std::fesetround(FE_TONEAREST);
}
num::NearestRounding::~NearestRounding() {
  if (mode_ != FE_TONEAREST) std::fesetround(mode_);
}

namespace {

// The faults an update y + a x raises, found from its operands: overflow of the product or the
// sum, an invalid operation (infinity minus infinity, zero times infinity).
struct UpdateFaults {
  bool overflow = false, invalid = false;
  double step(double y, double a, double x) {
    double p = a * x;
    if (nonFinite(p)) {
      if (!nonFinite(a) && !nonFinite(x) && !isNan(p)) overflow = true;
      if (isNan(p) && !isNan(a) && !isNan(x)) invalid = true;
    }
    double s = y + p;
    if (nonFinite(s)) {
      if (!nonFinite(y) && !nonFinite(p) && !isNan(s)) overflow = true;
      if (isNan(s) && !isNan(y) && !isNan(p)) invalid = true;
    }
    return s;
  }
  void raise() const {
    if (overflow) raiseFault(fault::kOverflow);
    if (invalid) raiseFault(fault::kInvalid);
  }
};

// Element-wise update that classifies every fault; used whenever an operand is not finite.
void checkedUpdate(double* z, const double* y, const double* x, int n, double a) {
  UpdateFaults f;
  for (int i = 0; i < n; ++i) z[i] = f.step(y[i], a, x[i]);
  f.raise();
}

}  // namespace

void zdaxpy(double* z, const double* y, const double* x, int n, double a) {
  if (n < 1) return;
  if (z != y) {
    if (a == 0) {
      for (int i = 0; i < n; ++i) z[i] = y[i];
      return;
    }
    for (int i = 0; i < n; ++i) z[i] = y[i] + a * x[i];
    if (!allFinite(z, n)) checkedUpdate(z, y, x, n, a);  // recompute to name the fault
    return;
  }
  if (a == 0) return;
  if (n <= 2) {
    double old[2] = {z[0], n == 2 ? z[1] : 0.0};
    for (int i = 0; i < n; ++i) z[i] = old[i] + a * x[i];
    if (!allFinite(z, n)) checkedUpdate(z, old, x, n, a);
    return;
  }
  if (nonFinite(a) || !allFinite(x, n)) {
    checkedUpdate(z, z, x, n, a);
    return;
  }
  // The library may round differently under another mode: run it round-to-nearest and leave
  // the thread's control as it was.
  NearestRounding nearest;
  axpyInPlaceFinite(z, x, n, a);
}

void num::axpyInPlaceFinite(double* z, const double* x, int n, double a) {
  if (!allFinite(z, n)) {
    checkedUpdate(z, z, x, n, a);
    return;
  }
  int one = 1;
  daxpy_(&n, &a, x, &one, z, &one);
  // Finite operands: a non-finite result can only be an overflow.
  if (!allFinite(z, n)) raiseFault(fault::kOverflow);
}

void zdscal(double* out, const double* x, int n, double a) {
  for (int i = 0; i < n; ++i) out[i] = a * x[i];
}

double zdsum(const double* x, int n) {
  double s[4] = {0, 0, 0, 0};
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    s[0] += x[i], s[1] += x[i + 1], s[2] += x[i + 2], s[3] += x[i + 3];
  }
  for (; i < n; ++i) s[0] += x[i];
  return (s[0] + s[1]) + (s[2] + s[3]);
}

double zdamaxinc(const double* x, int stride, int n) {
  if (n < 1) return 0.0;
  double m = std::fabs(x[0]);
  for (int i = 1; i < n; ++i) {
    double v = std::fabs(x[static_cast<long long>(i) * stride]);
    if (v > m) m = v;
  }
  return m;
}

double zdnrm2(int n, int stride, const double* x) {
  if (n < 1) return 0.0;
  double m = stride == 1 ? zdamax(x, n) : zdamaxinc(x, stride, n);
  if (m == 0) return 0.0;
  double g = m > 1 ? std::sqrt(m) : m, sum = 0;
  for (int i = 0; i < n; ++i) {
    double v = x[static_cast<long long>(i) * stride];
    if (g + std::fabs(v) == g) continue;
    double r = v / m;
    if (1 + r != 1) sum += r * r;
  }
  return m * std::sqrt(sum);
}

}  // namespace vsf
