#include "host/faults.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

namespace vsf::host {

namespace {

struct Armed {
  std::mutex mutex;
  Fault fault = Fault::kNone;
  std::string poolName;
  int remaining = 0;  // pools of the name still to be made up to the one struck
  int blocksGiven = 0;
};

Armed& armed() {
  static Armed a;
  return a;
}

// Read at every page read: kept apart from the lock. The reads still to succeed while the
// struck pool lives.
std::atomic<bool> gPageReadsFail{false};
std::atomic<int> gPageReadsLeft{0};

// Thread starts still to succeed; negative: no fault.
std::atomic<int> gThreadStartsLeft{-1};
std::atomic<int> gThreadStartsRefused{0};

// The descriptor whose writes fail, and with what; -1: none.
std::atomic<int> gFailingFd{-1};
std::atomic<int> gWriteError{0};

std::mutex gClashMutex;
std::function<void(const std::filesystem::path&)> gClash;
std::atomic<bool> gClashSet{false};  // read at every new file: kept apart from the lock

}  // namespace

void injectFault(Fault fault, std::string_view poolName, int nth, int blocksGiven) {
  Armed& a = armed();
  std::lock_guard<std::mutex> lock(a.mutex);
  a.fault = fault;
  a.poolName = std::string(poolName);
  a.remaining = nth;
  a.blocksGiven = blocksGiven;
  gPageReadsFail = false;
}

PoolFault poolFault(std::string_view name) {
  Armed& a = armed();
  std::lock_guard<std::mutex> lock(a.mutex);
  if (a.fault == Fault::kNone || a.remaining <= 0 || name != a.poolName) return {};
  if (--a.remaining > 0) return {};
  if (a.fault == Fault::kPageReadFails) {
    gPageReadsLeft = a.blocksGiven;
    gPageReadsFail = true;
  }
  return {a.fault == Fault::kPoolRefused, a.fault == Fault::kMemoryRefused,
          a.fault == Fault::kPageReadFails, a.blocksGiven};
}

void endPageReadFault() { gPageReadsFail = false; }

bool pageReadFails() { return gPageReadsFail && gPageReadsLeft.fetch_sub(1) <= 0; }

void refuseThreadStarts(int allowed) {
  gThreadStartsLeft = allowed < 0 ? -1 : allowed;
  gThreadStartsRefused = 0;
}

bool threadStartRefused() {
  int left = gThreadStartsLeft.load();
  while (left > 0 && !gThreadStartsLeft.compare_exchange_weak(left, left - 1)) {
  }
  if (left == 0) ++gThreadStartsRefused;
  return left == 0;
}

int threadStartsRefused() { return gThreadStartsRefused.load(); }

void failWrites(int fd, int error) {
  gWriteError = error;
  gFailingFd = error != 0 ? fd : -1;
}

int writeFault(int fd) { return fd == gFailingFd.load() ? gWriteError.load() : 0; }

void injectNameClash(std::function<void(const std::filesystem::path&)> plant) {
  std::lock_guard<std::mutex> lock(gClashMutex);
  gClashSet = static_cast<bool>(plant);
  gClash = std::move(plant);
}

void beforeNewFile(const std::filesystem::path& name) {
  if (!gClashSet) return;
  std::function<void(const std::filesystem::path&)> plant;
  {
    std::lock_guard<std::mutex> lock(gClashMutex);
    plant = gClash;
  }
  if (plant) plant(name);
}

}  // namespace vsf::host
