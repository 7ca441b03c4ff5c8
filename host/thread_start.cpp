#include "host/thread_start.h"

#include <new>
#include <system_error>

#include "host/faults.h"

namespace vsf::host {

bool startThread(std::thread* thread, std::function<void()> work) {
  if (threadStartRefused()) return false;
  try {
    *thread = std::thread(std::move(work));
  } catch (const std::system_error&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;  // no memory for the thread's record
  }
  return true;
}

}  // namespace vsf::host
