#include "host/data/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

#include "host/session.h"
#include "host/thread_start.h"

namespace vsf::host {

void parallelFor(int count, int threads, const std::function<void(int)>& fn) {
  int workers = std::min(count, std::max(1, threads));
  if (workers <= 1) {
    for (int k = 0; k < count; ++k) fn(k);
    return;
  }
  std::vector<std::exception_ptr> errors(static_cast<size_t>(workers));
  std::atomic<int> next{0};
  auto work = [&](int w) {
    try {
      for (int k = next++; k < count; k = next++) fn(k);
    } catch (...) {
      errors[static_cast<size_t>(w)] = std::current_exception();
    }
  };
  // The calling thread takes what the others do not: threads the system will not start are
  // done without.
  std::vector<std::thread> team;
  team.reserve(static_cast<size_t>(workers - 1));
  for (int w = 1; w < workers; ++w) {
    std::thread t;
    if (!startThread(&t, [&work, w] { work(w); })) break;
    team.push_back(std::move(t));
  }
  work(0);
  for (auto& t : team) t.join();
  for (auto& e : errors)
    if (e) std::rethrow_exception(e);
}

int dataThreads(int64_t bytes, int64_t smallest) {
  const int64_t pieces = bytes / std::max<int64_t>(smallest, 1) + 1;
  return static_cast<int>(std::clamp<int64_t>(pieces, 1, hostThreads()));
}

}  // namespace vsf::host
