#include "host/thread_start.h"

#include <pthread.h>

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

size_t threadStackBytes() {
  size_t bytes = size_t{8} << 20;  // glibc's default where it does not say
  pthread_attr_t attr;
  if (pthread_getattr_default_np(&attr) != 0) return bytes;
  size_t set = 0;
  if (pthread_attr_getstacksize(&attr, &set) == 0 && set > 0) bytes = set;
  pthread_attr_destroy(&attr);
  return bytes;
}

}  // namespace vsf::host
