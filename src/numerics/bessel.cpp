// Modified Bessel function of the first kind I_nu(x), worked in logarithms: the power series,
// Debye's uniform expansion, backward recurrence from higher orders, and the large-argument
// expansion.
#include <cmath>

#include "numerics/faults_internal.h"
#include "numerics/numerics.h"

namespace vsf {

using namespace num;

namespace {

// Debye polynomials u_1 .. u_11: the k + 1 nonzero coefficients of u_k by rising power
// (p^k, p^(k+2), ..., p^(3k)), from u_(k+1) = p^2 (1 - p^2) u_k' / 2 + (1/8) int (1 - 5t^2) u_k.
constexpr double kDebye[77] = {0.125,
                               -0.20833333333333334,
                               0.0703125,
                               -0.4010416666666667,
                               0.3342013888888889,
                               0.0732421875,
                               -0.8912109375,
                               1.8464626736111112,
                               -1.0258125964506173,
                               0.112152099609375,
                               -2.3640869140625,
                               8.78912353515625,
                               -11.207002616222994,
                               4.669584423426247,
                               0.22710800170898438,
                               -7.368794359479632,
                               42.53499874538846,
                               -91.81824154324002,
                               84.63621767460073,
                               -28.212072558200244,
                               0.5725014209747314,
                               -26.491430486951554,
                               218.1905117442116,
                               -699.5796273761325,
                               1059.9904525279999,
                               -765.2524681411817,
                               212.57013003921713,
                               1.7277275025844574,
                               -108.09091978839466,
                               1200.9029132163525,
                               -5305.646978613403,
                               11655.393336864534,
                               -13586.550006434138,
                               8061.722181737309,
                               -1919.457662318407,
                               6.074042001273483,
                               -493.915304773088,
                               7109.514302489364,
                               -41192.65496889755,
                               122200.46498301746,
                               -203400.17728041555,
                               192547.00123253153,
                               -96980.59838863752,
                               20204.29133096615,
                               24.380529699556064,
                               -2499.8304818112097,
                               45218.76898136273,
                               -331645.1724845636,
                               1268365.2733216248,
                               -2813563.226586534,
                               3763271.297656404,
                               -2998015.9185381066,
                               1311763.6146629772,
                               -242919.18790055133,
                               110.01714026924674,
                               -13886.08975371704,
                               308186.4046126624,
                               -2785618.1280864547,
                               13288767.166421818,
                               -37567176.66076335,
                               66344512.27472903,
                               -74105148.21153265,
                               50952602.49266464,
                               -19706819.118432228,
                               3284469.853072038,
                               551.3358961220206,
                               -84005.43360302408,
                               2243768.1779224495,
                               -24474062.72573873,
                               142062907.7975331,
                               -495889784.2750303,
                               1106842816.8230145,
                               -1621080552.1083372,
                               1553596899.57058,
                               -939462359.6815784,
                               325573074.18576574,
                               -49329253.66450996};

double powerSeries(BesselIRec* r, double mu) {
  double half = r->half, l;
  if (mu < 15) {
    l = mu * std::log(half) - zlgamma(mu + 1);
  } else {
    l = (std::log(half / (mu + 1)) + 1) * (mu + 0.5) - kLnSqrt2Pi - 0.5 * (std::log(half) - 1) -
        zstirlerr(mu + 1);
  }
  double t = 1, s = 0;
  int added = 0;
  do {
    ++added;
    t = t * r->halfSq / (added * (mu + added));
    s += t;
  } while (added < 100 && std::fabs(t) > 1.110223024625157e-17 * (std::fabs(l) + s));
  if (added >= 99) r->status = 1;
  return l + zlog1p(s);
}

double debye(double x, double mu) {
  double z = x / mu, s = std::sqrt(1 + z * z), p = 1 / s, p2 = p * p;
  double sum = 0, muPow = 1;
  int at = 0;
  for (int k = 1; k <= 11; ++k) {
    double pk = std::pow(p, k), poly = 0, pw = 1;
    for (int j = 0; j <= k; ++j, pw *= p2) poly += kDebye[at + j] * pw;
    at += k + 1;
    muPow *= mu;
    sum += pk * poly / muPow;
  }
  return mu * (s + std::log(z / (1 + s))) + std::log(1 + sum) -
         0.5 * std::log(2 * 3.141592653589793 * s * mu);
}

// ln I_nu from ln I_(mu+1) and ln I_mu by I_(k-1) = (2k/x) I_k + I_(k+1).
double recurDown(BesselIRec* r, double mu, double logHi, double logLo) {
  r->logHi = logHi, r->logLo = logLo;
  double scale = logHi > logLo ? logHi : logLo;
  double hi = std::exp(logHi - scale), lo = std::exp(logLo - scale);
  for (double k = mu; k > r->nu + 0.5; k -= 1) {
    double next = (2 * k / r->x) * lo + hi;
    hi = lo, lo = next;
    if (lo > kBig) {
      int e;
      zfrexp(lo, &e);
      lo = zldexp(lo, -e), hi = zldexp(hi, -e);
      scale += e * kLn2;
    }
  }
  return std::log(lo) + scale;
}

double largeArgument(BesselIRec* r) {
  double m = 4 * r->nu * r->nu, x = r->x;
  double t = -(m - 1) / (8 * x), sum = 1 + t;
  int k = 1;
  for (; k < 50 && std::fabs(t) > 1e-12 * std::fabs(sum); ++k) {
    double odd = 2 * k + 1;
    t = t * (-(m - odd * odd) / (8 * x)) / (k + 1);
    sum += t;
  }
  if (k >= 50) r->status = 1;
  r->scaled = 1;
  return std::log(sum) - kLnSqrt2Pi - 0.5 * std::log(x);
}

}  // namespace

int zbesseli(BesselIRec* r) {
  r->status = 0;
  r->scaled = 0;
  double x = r->x, nu = r->nu;
  if (!(nu >= 0 && x >= 0)) {
    r->result = -kDblMax;
    r->status = 1;
    return 1;
  }
  double logI;
  if (x == 0) {
    logI = nu == 0 ? 0.0 : kLogZero;
  } else {
    r->half = x / 2;
    r->halfSq = r->half * r->half;
    r->twoOverX = 2 / x;
    r->intPart = static_cast<int32_t>(std::floor(nu));
    r->frac = nu - r->intPart;
    double f = r->frac;
    bool moderate = x < 17 || nu >= 1.348 * std::sqrt(x);
    if (x < 2 || r->halfSq < nu + 1) {
      r->order = nu;
      logI = powerSeries(r, nu);
    } else if (nu <= 35 && moderate) {
      if (x > 12) {
        r->offset = 35;
        r->order = f + 35;
        logI = recurDown(r, f + 35, debye(x, f + 36), debye(x, f + 35));
      } else {
        double m = std::ceil(r->halfSq + 1);
        r->offset = static_cast<int32_t>(m);
        r->order = f + m;
        double hi = powerSeries(r, f + m + 1), lo = powerSeries(r, f + m);
        logI = recurDown(r, f + m, hi, lo);
      }
    } else if (moderate) {
      r->order = nu;
      logI = debye(x, nu);
    } else {
      logI = largeArgument(r);
    }
  }
  if (r->kind == 2) {
    r->result = r->scaled ? logI + x : logI;
    return r->status;
  }
  double l = r->kind == 1 ? (r->scaled ? logI : logI - x) : (r->scaled ? logI + x : logI);
  if (l < kExpOver) {
    r->result = std::exp(l);
  } else {
    r->result = l;
    r->status = 1;
  }
  return r->status;
}

}  // namespace vsf
