// The noncentral chi-square tail by quadrature of the density, behind zchisqnc.
#pragma once

namespace vsf {

struct ChiSqDistRec;

// ln of the tail over (0, x) (lower) or (x, inf) of the record's noncentral chi-square
// (df >= 2, nc > 0, the mean in rec->mean); false when the quadrature fails.
bool chisqQuadratureTail(ChiSqDistRec* rec, bool lower, double* logTail);

}  // namespace vsf
