// How many workers a BY group's passes take: as many as its rows pay for and its memory holds.
#include <algorithm>
#include <cmath>

#include "datapass/pass.h"

namespace vsf {

namespace {

// Values (rows times columns) a worker must have to pay for itself. A worker of a group costs
// a reader of the data set of its own, a utility file and the hand-over of every run of rows
// and of every pass (tens of microseconds each, more on a loaded machine); a value costs tens
// of nanoseconds to read, check and store: a worker's share is a millisecond or more of work.
// Below it a group runs faster on the calling thread alone, and 10,000 BY groups of 100 rows
// took eight times as long on eight workers as on one.
constexpr int64_t kValuesPerWorker = int64_t{1} << 16;

}  // namespace

PassWorkers groupWorkers(const PassWorkers& step, int64_t rows, int64_t columns) {
  PassWorkers w = step;
  if (!w.threaded || w.count <= 1 || rows < 0) return w;  // unknown rows: the step's workers
  const int64_t width = std::max<int64_t>(columns, 1);
  const int64_t paid =
      rows / kValuesPerWorker >= w.count ? w.count : rows * width / kValuesPerWorker;
  if (paid < w.count) w.count = static_cast<int32_t>(std::max<int64_t>(paid, 1));
  if (w.count < 2) w.threaded = 0;
  return w;
}

int32_t workersMemoryAllows(int32_t requested, double budget, double perWorker) {
  if (requested <= 1 || !(perWorker > 0)) return std::max(requested, 1);
  const double fit = std::floor(budget / perWorker);
  if (!(fit >= 2)) return 1;
  return fit < requested ? static_cast<int32_t>(fit) : requested;
}

}  // namespace vsf
