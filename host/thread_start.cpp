#include "host/thread_start.h"

#include <system_error>

#include "host/faults.h"

namespace vsf::host {

bool startThread(std::thread* thread, std::function<void()> work) {
  if (threadStartRefused()) return false;
  try {
    *thread = std::thread(std::move(work));
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

}  // namespace vsf::host
