// Design-matrix services that have no work to do until the design subsystem exists.
#include <cstring>

#include "design/design.h"

namespace vsf {

int nameDesignColumns(VsfState*, HostPool*) { return 0; }
void zcolnames(ZLevCtx*) {}
void zncols(ZLevCtx*) {}
int zsplopts(ZDesign*, SplineOptions*, int, const StatementRecord*) { return 0; }
void zdsgnnames(ZLevCtx*) {}
void zeffncols(ZDesign*, HostPool*, ZEffect*, int32_t*) {}
void zeffparmnames(ZDesign*, HostPool*, int, int) {}
void zlvlname(ZLevCtx*, ZDesignVar*) {}

// Small enough to serve as it is until the design subsystem's table helpers exist.
int zleadeq(const void* table, int count, const void* key, int width) {
  const char* t = static_cast<const char*>(table);
  for (int i = 0; i < count; ++i)
    if (std::memcmp(t + static_cast<size_t>(i) * static_cast<size_t>(width), key,
                    static_cast<size_t>(width)) == 0)
      return i;
  return count;
}

}  // namespace vsf
