// Work of the data-set services spread over threads of their own.
#pragma once

#include <cstdint>
#include <functional>

namespace vsf::host {

// Runs fn(0..count-1) on up to `threads` threads, each taking the next item not yet taken, so
// that a thread the machine runs less often takes fewer; the first exception (by thread) is
// raised on the caller once every thread has stopped.
void parallelFor(int count, int threads, const std::function<void(int)>& fn);

// Threads for `bytes` of data set work: at most those the step and the host options allow
// (`hostThreads`), and no more than the work has pieces of `smallest` bytes.
int dataThreads(int64_t bytes, int64_t smallest);

}  // namespace vsf::host
