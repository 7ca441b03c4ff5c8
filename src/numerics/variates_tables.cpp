// The fill routines of the twenty distributions and the two routine tables of a record.
#include "numerics/rng_internal.h"
#include "numerics/variates_internal.h"

namespace vsf {

using namespace num;

int zrngbernf(RngState* g, double p) {
  return fillWith(g, [&] { return zrngbern(g, p); });
}
int zrngbetaf(RngState* g, double a, double b) {
  return fillWith(g, [&] { return zrngbeta(g, a, b); });
}
int zrngbinomf(RngState* g, int n, double p) {
  return fillWith(g, [&] { return zrngbinom(g, n, p); });
}
int zrngcauchyf(RngState* g) {
  return fillWith(g, [&] { return zrngcauchy(g); });
}
int zrngchisqf(RngState* g, double df) {
  return fillWith(g, [&] { return zrngchisq(g, df); });
}
int zrngerlangf(RngState* g, int k) {
  return fillWith(g, [&] { return zrngerlang(g, k); });
}
int zrngexpf(RngState* g) {
  return fillWith(g, [&] { return zrngexp(g); });
}
int zrngff(RngState* g, double d1, double d2) {
  return fillWith(g, [&] { return zrngf(g, d1, d2); });
}
int zrnggammaf(RngState* g, double a) {
  return fillWith(g, [&] { return zrnggamma(g, a); });
}
int zrnggeomf(RngState* g, double p) {
  return fillWith(g, [&] { return zrnggeom(g, p); });
}
int zrnghyperf(RngState* g, int bigN, int bigM, int n) {
  return fillWith(g, [&] { return zrnghyper(g, bigN, bigM, n); });
}
int zrnglognormf(RngState* g) {
  return fillWith(g, [&] { return zrnglognorm(g); });
}
int zrngnegbinf(RngState* g, double p, double r) {
  return fillWith(g, [&] { return zrngnegbin(g, p, r); });
}
int zrngnormf(RngState* g) {
  return fillWith(g, [&] { return zrngnorm(g); });
}
int zrngpoisf(RngState* g, double lambda) {
  return fillWith(g, [&] { return zrngpois(g, lambda); });
}
int zrngtablef(RngState* g, int n, const double* probabilities) {
  return fillWith(g, [&] { return zrngtable(g, n, probabilities); });
}
int zrngtf(RngState* g, double df) {
  return fillWith(g, [&] { return zrngt(g, df); });
}
int zrngtrif(RngState* g, double h) {
  return fillWith(g, [&] { return zrngtri(g, h); });
}
int zrnguniff(RngState* g) {
  return fillWith(g, [&] { return g->uniform(g); });
}
int zrngweibf(RngState* g, double a, double b) {
  return fillWith(g, [&] { return zrngweib(g, a, b); });
}

namespace {
template <typename F>
RngAnyFn any(F f) {
  return reinterpret_cast<RngAnyFn>(f);
}
}  // namespace

void rngFillTables(RngState* g) {
  const RngAnyFn draws[20] = {any(zrngbern),   any(zrngbeta),   any(zrngbinom),  any(zrngcauchy),
                              any(zrngchisq),  any(zrngerlang), any(zrngexp),    any(zrngf),
                              any(zrnggamma),  any(zrnggeom),   any(zrnghyper),  any(zrnglognorm),
                              any(zrngnegbin), any(zrngnorm),   any(zrngpois),   any(zrngtable),
                              any(zrngt),      any(zrngtri),    any(g->uniform), any(zrngweib)};
  const RngAnyFn fills[20] = {
      any(zrngbernf),   any(zrngbetaf),    any(zrngbinomf),  any(zrngcauchyf), any(zrngchisqf),
      any(zrngerlangf), any(zrngexpf),     any(zrngff),      any(zrnggammaf),  any(zrnggeomf),
      any(zrnghyperf),  any(zrnglognormf), any(zrngnegbinf), any(zrngnormf),   any(zrngpoisf),
      any(zrngtablef),  any(zrngtf),       any(zrngtrif),    any(zrnguniff),   any(zrngweibf)};
  for (int i = 0; i < 20; ++i) g->draw[i] = draws[i], g->fill[i] = fills[i];
}

}  // namespace vsf
