// The level combinations are found on the calling thread; zcenter is the threaded
// levelization's small helper that the single-thread pass needs as well.
#include "base/host.h"
#include "frame/host/dataset.h"
#include "levelize/levelize_internal.h"

namespace vsf {

int levelizeSequentialThreaded(HostDataSet*, LevelizeWork*, ZDesign*) { return 0; }
void zlevthrfree(ZLevCtx*) {}
void levelizeThreadedLookup(LevelizeWork*, ZDesign*, int) {}

int zlevprep(LevelizeWork* work, ZDesign*) {
  auto* reader = static_cast<HostDataSet*>(work->owner);
  int r = hostv().ds->mode(reader, 'B');
  hostv().ds->start(reader);
  return r == 0 ? 1 : 0;
}

int zcenter(LevelizeWork* work, int var, CenterRange* out) {
  const double lo = work->minimum[var], hi = work->maximum[var];
  if (lo == 1.7976931348623157e308) return 0;
  out->center = (hi + lo) * 0.5;
  out->halfRange = (hi - lo) * 0.5;
  return out->halfRange == 0.0 ? 1 : 2;
}

}  // namespace vsf
