// A continuous variable's centre and half-range from the range a level collection observed,
// and the start of a new work area's read.
#include "base/host.h"
#include "frame/host/dataset.h"
#include "levelize/levelize_internal.h"

namespace vsf {

int zlevprep(LevelizeWork* work, ZDesign*) {
  auto* reader = static_cast<HostDataSet*>(work->owner);
  int r = hostv().ds->mode(reader, 'B');
  hostv().ds->start(reader);
  return r == 0 ? 1 : 0;
}

int zcenter(LevelizeWork* work, int var, CenterRange* out) {
  const double lo = work->minimum[var], hi = work->maximum[var];
  if (lo == 1.7976931348623157e308) return 0;  // no value seen: the minimum was never set
  out->center = (hi + lo) * 0.5;
  out->halfRange = (hi - lo) * 0.5;
  return out->halfRange == 0.0 ? 1 : 2;
}

}  // namespace vsf
