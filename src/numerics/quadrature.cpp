// Trapezoidal quadrature of a smooth, positive, fast-decaying integrand in a transformed
// variable: sweeps outward from a start point until the terms are negligible, then halves the
// step pass after pass until two estimates agree. An integer log-scale kept by the integrand
// keeps huge or tiny integrands in range.
#include <cmath>

#include "numerics/faults_internal.h"
#include "numerics/numerics.h"

namespace vsf {

using namespace num;

namespace {

constexpr int kFirstSweep = 10000;

// One integration run; the record holds the state the passes share.
class Trapezoid {
 public:
  explicit Trapezoid(TrapezoidRec* r) : r_(r) {}

  int run(double* result);

 private:
  // The point and weight at transformed position s.
  void place(double s, double* point, double* weight) const {
    switch (r_->kind) {
      case 2:
        *point = r_->lower + s, *weight = s;
        break;
      case 3:
        *point = (s * r_->upper + r_->lower) / (s + 1), *weight = s / ((s + 1) * (s + 1));
        break;
      default:
        *point = s, *weight = 1;
    }
  }
  double position(int sign, double offset) const {
    return r_->kind == 1 ? s0_ + sign * offset : s0_ * std::exp(sign * offset);
  }
  bool atLimit(double point) const {
    return (r_->kind != 1 && point == r_->lower) || (r_->kind == 3 && point == r_->upper);
  }
  bool term(double s, double prevTerm, double* out);
  bool rescale(double* prev1, double* prev2);
  bool sweep(int sign, int* count);
  bool pass();
  double comparable(double estimate) const {
    if (!r_->scaling) return estimate;
    return std::log(estimate) * r_->invLogBase + r_->scale;
  }

  TrapezoidRec* r_;
  double s0_ = 0;
  double mid_ = 0;     // running sum of one refinement pass
  double centre_ = 0;  // the term at the start point
  double old_ = 0;     // the estimate before the current pass
  int perPass_[2] = {0, 0};
};

// The weighted integrand at s; false on a failure.
bool Trapezoid::term(double s, double prevTerm, double* out) {
  double point, weight;
  place(s, &point, &weight);
  if (!(std::fabs(point) <= kBig)) return false;
  if (atLimit(point)) {
    r_->limitHit = 1, r_->limitPoint = point, r_->limitPrevTerm = prevTerm;
    if (std::fabs(prevTerm) > r_->tol * r_->reference && r_->strict) return false;
    *out = 0;
    return true;
  }
  double f;
  if (r_->integrand(point, r_->context, &f) != 0) return false;
  *out = f * weight;
  return true;
}

// Brings the running values and the previous terms to the integrand's newest scale exponent.
// The term just evaluated already has it: rescaling that one too undervalued every term at
// which the scale rose, an O(h) error that kept the passes from ever agreeing.
bool Trapezoid::rescale(double* prev1, double* prev2) {
  if (!r_->scaling || r_->fScale == r_->scale) return true;
  double e = -static_cast<double>(static_cast<long long>(r_->fScale) - r_->scale) * r_->logBase;
  if (e > kExpOver) return false;
  double factor = e < kExpUnder ? 0.0 : zexp(e);
  r_->sum *= factor, r_->estimate *= factor, mid_ *= factor, centre_ *= factor, old_ *= factor;
  r_->reference *= factor;
  *prev1 *= factor, *prev2 *= factor;
  r_->scale = r_->fScale;
  return true;
}

// First sweep away from the start; count becomes the number of terms used.
bool Trapezoid::sweep(int sign, int* count) {
  double p1 = 0, p2 = 0;  // the two previous magnitudes; they count as kBig until there
  for (int k = 1; k <= kFirstSweep; ++k) {
    double t;
    if (!term(position(sign, k * r_->h), p1, &t)) return false;
    if (!rescale(&p1, &p2)) return false;
    r_->sum += t;
    r_->lastTerm = t;
    if (std::fabs(r_->sum) > kBig) {
      r_->overflow = 1;
      return false;
    }
    bool small = k >= 3 && p1 + p2 + std::fabs(t) <= std::fabs(r_->termThreshold * r_->sum);
    p2 = p1, p1 = std::fabs(t);
    if (small) {
      *count = k;
      return true;
    }
  }
  *count = kFirstSweep;
  return true;
}

// One refinement pass at the midpoints of the current step.
bool Trapezoid::pass() {
  double h = r_->step;
  mid_ = 0;
  old_ = r_->estimate;
  for (int side = 0; side < 2; ++side) {
    int sign = side == 0 ? 1 : -1;
    double prev = 0, unused = 0;
    for (int j = 0; j <= perPass_[side]; ++j) {
      double t;
      if (!term(position(sign, (j + 0.5) * h), prev, &t)) return false;
      if (!rescale(&prev, &unused)) return false;
      mid_ += t;
      prev = t;
      if (std::fabs(mid_) > kBig) {
        r_->overflow = 1;
        return false;
      }
    }
  }
  double width = r_->kind == 3 ? r_->width : 1.0;
  r_->estimate = (mid_ * h * width + r_->estimate) / 2;
  for (int side = 0; side < 2; ++side) {
    perPass_[side] *= 2;
    int& total = side == 0 ? r_->pointsAbove : r_->pointsBelow;
    if (static_cast<long long>(total) + perPass_[side] > r_->maxTotal) return false;
    total += perPass_[side];
  }
  r_->step = h / 2;
  r_->halfStep = r_->step / 2;
  return true;
}

int Trapezoid::run(double* result) {
  TrapezoidRec& r = *r_;
  double c = r.accuracy == 1234567 ? std::pow(r.tol, 0.75) : std::sqrt(r.tol);
  r.termThreshold = r.tol * 0.33333333333333;
  r.pointsAbove = r.pointsBelow = kFirstSweep;
  if (r.maxTotal < 32767) r.maxTotal = 32767;
  if (r.scaling) {
    r.logBase = std::log(r.base);
    r.invLogBase = 1 / r.logBase;
  }
  r.step = r.halfStep = r.h;
  // Terms and sums share the applied scale, so the limit test compares them in scaled units.
  r.reference = 1.0;
  r.sum = r.estimate = 0;
  r.passes = 0;
  if (r.kind == 3) r.width = r.upper - r.lower;

  if (r.kind == 2) {
    s0_ = r.start - r.lower;
    if (!(s0_ > 0)) s0_ = r.h;
  } else if (r.kind == 3) {
    s0_ = 1;
    if (std::fabs(r.start - r.upper) >= 1.053671212772351e-08 * std::fabs(r.upper)) {
      s0_ = (r.start - r.lower) / (r.upper - r.start);
      if (s0_ < 0) s0_ = 1;
    }
  } else {
    s0_ = r.start;
  }

  if (!term(s0_, 0.0, &centre_)) return 1;
  if (r.scaling) r.scale = r.fScale;
  if (!(std::fabs(centre_) >= (1 / r.tol) / kDblMax) || r.overflow) return 1;

  int up, down;
  if (!sweep(1, &up)) return 1;
  r.reference = std::fabs(r.sum);
  if (!sweep(-1, &down)) return 1;
  r.pointsAbove = up, r.pointsBelow = down;
  perPass_[0] = up, perPass_[1] = down;
  double width = r.kind == 3 ? r.width : 1.0;
  r.estimate = (r.sum + centre_) * r.step * width;

  for (;;) {
    if (++r.passes > r.maxPasses) return 1;
    if (!pass()) return 1;
    double iOld = comparable(old_), iNew = comparable(r.estimate);
    double diff = std::fabs(iOld - iNew);
    r.change = iNew == 0 ? kBig : diff / std::fabs(iNew);
    bool done =
        r.mode == 0 ? diff < std::fmax(std::fabs(c * iNew), r.tol) : diff < std::fabs(c * iNew);
    if (!done && r.mode == 1 && r.scaling && r.scaledConvergence && std::fabs(iNew) < r.tol)
      done = true;
    if (done) {
      *result = r.estimate;
      return 0;
    }
  }
}

}  // namespace

int zdistkern(TrapezoidRec* rec, double* result) {
  if (!rec || !rec->integrand || !(rec->tol > 0) || !(rec->h > 0)) return 1;
  Trapezoid t(rec);
  return t.run(result);
}

}  // namespace vsf
