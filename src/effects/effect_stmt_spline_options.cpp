// The options of a SPLINE effect completed: the basis, the knot method and bounds that go
// together, and the listed knots sorted and thinned. Every repair is a warning of set 174.
#include <initializer_list>
#include <string_view>

#include "base/codes.h"
#include "base/host.h"
#include "effects/effect_stmt_internal.h"
#include "effects/effinfo_internal.h"
#include "effects/efflib_internal.h"
#include "frame/host/values.h"
#include "numerics/numerics.h"

namespace vsf {

namespace {

using namespace knotmethod;

void warn(ZDesign* d, int number, std::initializer_list<MsgArg> args = {}) {
  hostMsg(174, number, args);
  raiseBuildCode(d, step::kWarning);
}

void dropBounds(SplineOptions* o) {
  o->knotMinGiven = o->knotMaxGiven = 0;
  o->knotMin = o->knotMax = missingValue('.');
}

// Sorts the listed values and keeps at most degree + 1 copies of each; 1 when some were
// dropped.
bool sortAndThin(SplineOptions* o) {
  int32_t n = o->knotCount;
  double* v = o->listedKnots;
  if (!v || n <= 1) return false;
  shellSortDoubles(v, n, nullptr, 1);
  int32_t kept = 0, run = 0;
  bool dropped = false;
  for (int32_t i = 0; i < n; ++i) {
    run = (kept > 0 && v[kept - 1] == v[i]) ? run + 1 : 1;
    if (run > o->degree + 1) {
      dropped = true;
      continue;
    }
    v[kept++] = v[i];
  }
  o->knotCount = kept;
  return dropped;
}

}  // namespace

// zsplopts: the options block of one SPLINE effect of nvars variables. The expansion filled
// the options as given; here the defaults and repairs are applied. Returns 0.
int zsplopts(ZDesign* d, SplineOptions* o, int nvars, const StatementRecord* statement) {
  const std::string_view effect = statement       ? effectStatementName(statement)
                                  : o->effectName ? std::string_view(o->effectName)
                                                  : std::string_view();
  // BASIS= not given (0): the B-spline basis, or TPF for a natural cubic spline.
  if (o->naturalCubic) {
    if (o->basis == 1) warn(d, 88, {effect});
    o->basis = 2;
  } else if (o->basis == 0) {
    o->basis = 1;
  }
  if (!o->knotMinGiven) o->knotMin = missingValue('.');
  if (!o->knotMaxGiven) o->knotMax = missingValue('.');
  if (o->knotMinGiven && o->knotMaxGiven && o->knotMin > o->knotMax) {
    hostMsg(174, 97, {effect, o->knotMin, o->knotMax});
    raiseBuildCode(d, step::kInternal);
    return 1;
  }
  if (o->basis != 1) {
    if (o->knotMethod == kMultiscale) {
      warn(d, 26);
      o->knotMethod = kEqual;
    }
    if (o->knotMinGiven || o->knotMaxGiven) {
      warn(d, 27);
      dropBounds(o);
    }
    if (o->dataBoundary) {
      warn(d, 28);
      o->dataBoundary = 0;
    }
    if (o->knotMethod == kListWithBoundary) {
      warn(d, 60);
      o->knotMethod = kList;
    }
  } else if (o->knotMinGiven || o->knotMaxGiven) {
    if (o->dataBoundary) {
      warn(d, 29);
      dropBounds(o);
    } else if (o->knotMethod == kListWithBoundary) {
      warn(d, 68);
      dropBounds(o);
    }
  }
  if (o->naturalCubic && o->degree != 3) {
    warn(d, 87, {effect});
    o->degree = 3;
  }
  o->delegated = o->basis == 1;
  if (o->knotMethod == kMultiscale) o->separate = 1;
  if (o->knotMethod != kEqual && o->knotMethod != kPercentiles && o->knotMethod != kMultiscale &&
      sortAndThin(o))
    warn(d, 62, {effect, o->degree + 1});
  o->varCount = o->separate ? 1 : nvars;
  return 0;
}

}  // namespace vsf
