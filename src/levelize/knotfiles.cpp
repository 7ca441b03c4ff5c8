// The scratch files of the percentile knots' variables: the usable observations' values written
// as read, then sorted by value through the host's sort.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/host.h"
#include "base/hostcalls.h"
#include "base/strings.h"
#include "design/design.h"
#include "levelize/levelize_internal.h"

namespace vsf {

namespace {

constexpr int kSortWork = 10000;  // records the host sorts in memory at once

// The host sort's view of one scratch file: records read from the written file, the sorted
// ones written to the other; values compared as doubles.
struct SortFiles {
  HostScratch* in = nullptr;
  HostScratch* out = nullptr;
  int64_t values = 1;  // doubles per record
};

int64_t readRecords(void* context, void* records, int64_t count) {
  auto* f = static_cast<SortFiles*>(context);
  auto* x = static_cast<double*>(records);
  int64_t n = 0;
  for (; n < count; ++n)
    if (hostv().varIO->scratchRead(f->in, x + n * f->values, f->values) != 0) break;
  return n;
}

int writeRecords(void* context, const void* records, int64_t count) {
  auto* f = static_cast<SortFiles*>(context);
  return hostv().varIO->scratchWrite(f->out, static_cast<const double*>(records),
                                     count * f->values);
}

int compareValues(void*, const void* a, const void* b) {
  double x, y;
  std::memcpy(&x, a, 8);
  std::memcpy(&y, b, 8);
  return x < y ? -1 : (x > y ? 1 : 0);
}

// Releases the files and ends the step: a pass that cannot keep its values cannot go on.
[[noreturn]] void scratchFailure(KnotFiles* files) {
  zknotfilesfree(files);
  hostFileMsg(848, 4908);
  hostEndStep(step::kHistory);
}

}  // namespace

void zknotfilesopen(const ZLevCtx* ctx, KnotFiles* files) {
  const HostVarIOFamily& io = *hostv().varIO;
  files->frequencies = ctx->frequency && ctx->frequency->desc && ctx->frequency->desc->number >= 0;
  files->observations = files->frequencyTotal = 0;
  for (int32_t i = 0; i < files->count; ++i) {
    files->written[i] = io.scratchOpen();
    files->sorted[i] = io.scratchOpen();
    if (!files->written[i] || !files->sorted[i]) scratchFailure(files);
  }
}

void zknotfilesadd(KnotFiles* files, const double* values, double frequency) {
  const HostVarIOFamily& io = *hostv().varIO;
  files->observations += 1;
  if (files->frequencies) files->frequencyTotal += frequency;
  for (int32_t i = 0; i < files->count; ++i) {
    const double record[2] = {values[files->vars[i]], frequency};
    if (io.scratchWrite(files->written[i], record, files->frequencies ? 2 : 1) != 0)
      scratchFailure(files);
  }
}

void zknotfilessort(KnotFiles* files) {
  const HostVarIOFamily& io = *hostv().varIO;
  const int64_t values = files->frequencies ? 2 : 1;
  for (int32_t i = 0; i < files->count; ++i) {
    SortFiles sf{files->written[i], files->sorted[i], values};
    HostCallbackRecord request;
    request.request = hcb::kSort;
    request.context = &sf;
    request.recordBytes = static_cast<int32_t>(8 * values);
    request.workRecords = std::min<int64_t>(static_cast<int64_t>(files->observations), kSortWork);
    request.read = &readRecords;
    request.write = &writeRecords;
    request.compare = &compareValues;
    if (io.scratchRewind(files->written[i]) != 0 || zcbreq(&request) != 0) scratchFailure(files);
  }
}

}  // namespace vsf
