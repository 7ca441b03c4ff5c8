// The kernel vector of our host: pools, events, threads, the name/value store, system
// queries, the log object and the extension loader.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>
#include <variant>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include <fmt/format.h>

#include "host/extensions.h"
#include "host/faults.h"
#include "host/pointer_table.h"
#include "host/progress.h"
#include "host/session.h"
#include "host/small_blocks.h"
#include "host/thread_start.h"

namespace vsf {

// A named arena: every block is tracked so that destroying the pool frees it whole.
struct HostPool {
  std::string name;
  uint32_t flags = 0;
  std::mutex mutex;
  host::PointerTable<size_t> blocks;
  // A test's faults: its allocations fail once it has given blocksGiven blocks; pages cannot
  // be read while it lives.
  bool memoryRefused = false, pageReadsFail = false;
  std::atomic<int> blocksGiven{0};
};

// A thread waiting for events, woken by a condition of its own.
struct EventWaiter {
  std::condition_variable cv;
};

struct HostEvent {
  bool set = false;
  std::vector<EventWaiter*> waiters;
};

// A thread of the host's: it runs one routine at a time and, once joined, waits for the next.
struct HostThread {
  std::mutex mutex;
  std::condition_variable cv;
  void (*routine)(void*) = nullptr;
  void* arg = nullptr;
  bool running = false;  // a routine was given and has not returned
  bool quit = false;
  std::thread thread;
};

namespace host {
namespace {

// ---- Pools ----
// The log of pools made and dropped, kept only while a test asks for it: a step makes and drops
// pools by the million (a search over many L2 values), which a log nobody reads would hold.
std::mutex gPoolLogMutex;
std::vector<std::string> gPoolLog;
std::atomic<bool> gPoolLogKept{false};  // read without the lock: pools come and go unlogged

void notePool(char what, const std::string& name) {
  if (!gPoolLogKept.load(std::memory_order_relaxed)) return;
  std::lock_guard<std::mutex> lock(gPoolLogMutex);
  gPoolLog.push_back(std::string(1, what) + name);
}

HostPool* poolCreate(std::string_view name, uint32_t flags) {
  const PoolFault fault = poolFault(name);
  if (fault.refused) return nullptr;
  notePool('+', std::string(name));
  auto* p = new HostPool;
  p->name = std::string(name);
  p->flags = flags;
  p->memoryRefused = fault.memoryRefused;
  p->pageReadsFail = fault.pageReadsFail;
  p->blocksGiven = fault.blocksGiven;
  return p;
}

bool refusesMemory(HostPool* pool) {
  return pool->memoryRefused && pool->blocksGiven.fetch_sub(1) <= 0;
}

// A pool's small blocks come from operator new, whose thread keeps freed ones for the next of
// their size (a BY group's pools give tens of them a group); larger ones from the heap, which
// gives fresh memory already zeroed.
constexpr size_t kSmallBlock = host::SmallBlocks::kLargest;

void* newBlock(size_t size) {
  if (size > kSmallBlock) return std::calloc(size, 1);
  void* b = ::operator new(size ? size : 1, std::nothrow);
  if (b) std::memset(b, 0, size);
  return b;
}

// Not inlined: where the heap resizes a large block beside it, the compiler would take the
// other branch's delete for one of a block from realloc.
[[gnu::noinline]] void freeBlock(void* b, size_t size) {
  if (size > kSmallBlock)
    std::free(b);
  else
    ::operator delete(b, size ? size : 1);
}

void* poolAlloc(HostPool* pool, size_t size, uint32_t) {
  if (!pool || refusesMemory(pool)) return nullptr;
  void* b = newBlock(size);
  if (!b) return nullptr;
  std::lock_guard<std::mutex> lock(pool->mutex);
  pool->blocks.add(b, size);
  return b;
}

void poolFree(HostPool* pool, void* block) {
  if (!pool || !block) return;
  size_t size = 0;
  {
    std::lock_guard<std::mutex> lock(pool->mutex);
    if (!pool->blocks.remove(block, &size)) return;
  }
  freeBlock(block, size);
}

// A block that is or becomes small moves to a new block; large ones the heap resizes.
void* resized(void* block, size_t old, size_t size) {
  if (old > kSmallBlock && size > kSmallBlock) {
    void* b = std::realloc(block, size);
    if (b && size > old) std::memset(static_cast<char*>(b) + old, 0, size - old);
    return b;
  }
  void* b = newBlock(size);
  if (!b) return nullptr;
  std::memcpy(b, block, std::min(old, size));
  freeBlock(block, old);
  return b;
}

void* poolRealloc(HostPool* pool, void* block, size_t size, uint32_t flags) {
  if (!block) return poolAlloc(pool, size, flags);
  if (refusesMemory(pool)) return nullptr;
  std::lock_guard<std::mutex> lock(pool->mutex);
  size_t* held = pool->blocks.find(block);
  if (!held) return nullptr;
  void* b = resized(block, *held, size);
  if (!b) return nullptr;
  if (b == block) {
    *held = size;
  } else {
    pool->blocks.remove(block);
    pool->blocks.add(b, size);
  }
  return b;
}

void poolDestroy(HostPool* pool) {
  if (!pool) return;
  notePool('-', pool->name);
  if (pool->pageReadsFail) endPageReadFault();
  pool->blocks.forEach(freeBlock);
  delete pool;
}

// ---- Events: one lock for all, so a wait can watch several events; a set wakes only the
// threads that wait for that event (waking every waiter of the process at each set cost
// the data pass's crew milliseconds a hand-over on a busy machine) ----
std::mutex gEventMutex;

// Null without memory for it: the kernel's calls raise nothing, whatever thread makes them.
HostEvent* eventCreate() { return new (std::nothrow) HostEvent; }

void eventSet(HostEvent* e) {
  std::lock_guard<std::mutex> lock(gEventMutex);
  e->set = true;
  // Under the lock: a waiter's condition lives on its stack until it stops waiting.
  for (EventWaiter* w : e->waiters) w->cv.notify_one();
}

void eventReset(HostEvent* e) {
  std::lock_guard<std::mutex> lock(gEventMutex);
  e->set = false;
}

int eventWait(HostEvent* const* events, int count, int64_t timeoutMs) {
  std::unique_lock<std::mutex> lock(gEventMutex);
  int found = 0;
  auto ready = [&] {
    for (int i = 0; i < count; ++i)
      if (events[i]->set) {
        found = i + 1;
        return true;
      }
    return false;
  };
  if (ready()) return found;
  EventWaiter me;
  int listed = 0;
  auto unlist = [&] {
    for (int i = 0; i < listed; ++i) {
      std::vector<EventWaiter*>& w = events[i]->waiters;
      w.erase(std::find(w.begin(), w.end(), &me));
    }
  };
  try {
    for (; listed < count; ++listed) events[listed]->waiters.push_back(&me);
  } catch (const std::bad_alloc&) {
    unlist();
    return 0;  // no memory to wait in: the wait fails, and its caller says so
  }
  if (timeoutMs < 0)
    me.cv.wait(lock, ready);
  else
    me.cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
  unlist();
  return found;
}

void eventDestroy(HostEvent* e) { delete e; }

// ---- Threads: kept once joined, so that the workers a step starts for every pass of every BY
// group are made once (making a thread cost more than a small group's pass) ----
void threadLoop(HostThread* t) {
  std::unique_lock<std::mutex> lock(t->mutex);
  for (;;) {
    t->cv.wait(lock, [t] { return t->running || t->quit; });
    if (!t->running) return;
    lock.unlock();
    t->routine(t->arg);
    lock.lock();
    t->running = false;
    t->cv.notify_all();
  }
}

void endThread(HostThread* t) {
  {
    std::lock_guard<std::mutex> lock(t->mutex);
    t->quit = true;
  }
  t->cv.notify_all();
  t->thread.join();
  delete t;
}

// The threads waiting for a routine; those past kKeptThreads end when joined.
class IdleThreads {
 public:
  ~IdleThreads() {
    for (HostThread* t : idle_) endThread(t);
  }
  HostThread* take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (idle_.empty()) return nullptr;
    HostThread* t = idle_.back();
    idle_.pop_back();
    return t;
  }
  bool keep(HostThread* t) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (idle_.size() >= kKeptThreads) return false;
    try {
      idle_.push_back(t);
    } catch (const std::bad_alloc&) {
      return false;  // no room to keep it: it ends
    }
    return true;
  }

 private:
  static constexpr size_t kKeptThreads = 256;
  std::mutex mutex_;
  std::vector<HostThread*> idle_;
};

IdleThreads& idleThreads() {
  static IdleThreads idle;
  return idle;
}

HostThread* threadCreate(void (*routine)(void*), void* arg) {
  HostThread* t = idleThreads().take();
  // A test's fault strikes a kept thread as a new one: the caller asked for a thread.
  if (t && threadStartRefused()) {
    if (!idleThreads().keep(t)) endThread(t);
    return nullptr;
  }
  if (!t) {
    t = new (std::nothrow) HostThread;
    if (!t) return nullptr;
    if (!startThread(&t->thread, [t] { threadLoop(t); })) {
      delete t;
      return nullptr;
    }
  }
  {
    std::lock_guard<std::mutex> lock(t->mutex);
    t->routine = routine;
    t->arg = arg;
    t->running = true;
  }
  t->cv.notify_all();
  return t;
}

void threadJoin(HostThread* t) {
  if (!t) return;
  {
    std::unique_lock<std::mutex> lock(t->mutex);
    t->cv.wait(lock, [t] { return !t->running; });
  }
  if (!idleThreads().keep(t)) endThread(t);
}

// ---- Name/value store ----
std::mutex gNvMutex;
std::unordered_map<std::string, std::variant<int64_t, std::string>> gNv;

int nameValueTest(std::string_view name) {
  std::lock_guard<std::mutex> lock(gNvMutex);
  return gNv.count(std::string(name)) ? 1 : 0;
}

uint32_t nameValueGetInt(std::string_view name, int64_t* value) {
  std::lock_guard<std::mutex> lock(gNvMutex);
  auto it = gNv.find(std::string(name));
  if (it == gNv.end()) return hs::kNvAbsent;
  if (!std::holds_alternative<int64_t>(it->second)) return hs::kNvWrongType;
  *value = std::get<int64_t>(it->second);
  return 0;
}

uint32_t nameValueGetText(std::string_view name, std::string* value) {
  std::lock_guard<std::mutex> lock(gNvMutex);
  auto it = gNv.find(std::string(name));
  if (it == gNv.end()) return hs::kNvAbsent;
  if (std::holds_alternative<int64_t>(it->second))
    *value = std::to_string(std::get<int64_t>(it->second));
  else
    *value = std::get<std::string>(it->second);
  return 0;
}

uint32_t nameValueSetInt(std::string_view name, int64_t value) {
  std::lock_guard<std::mutex> lock(gNvMutex);
  auto& slot = gNv[std::string(name)];
  // A key created from the environment stays text, as the procedure expects.
  if (std::holds_alternative<std::string>(slot) && !std::get<std::string>(slot).empty())
    return hs::kNvWrongType;
  slot = value;
  return 0;
}

uint32_t nameValueSetText(std::string_view name, std::string_view value) {
  std::lock_guard<std::mutex> lock(gNvMutex);
  gNv[std::string(name)] = std::string(value);
  return 0;
}

// ---- System queries ----
int systemQuery(int code, void* record, uint32_t flags) {
  if (code == kQueryInfo && flags == kQueryTiming) {
    using namespace std::chrono;
    static const auto origin = steady_clock::now();
    auto* t = static_cast<TimingRecord*>(record);
    t->now = duration<double>(steady_clock::now() - origin).count();
    t->base = 0.0;
    return 0;
  }
  if (code == kQueryInfo && flags == kQueryCpu) {
    auto* c = static_cast<CpuInfoRecord*>(record);
    *c = CpuInfoRecord();
    c->logicalCpus = static_cast<int>(std::thread::hardware_concurrency());
    if (c->logicalCpus < 1) c->logicalCpus = 1;
#if defined(__x86_64__) || defined(__i386__)
    unsigned a, b, cx, d;
    if (__get_cpuid(0, &a, &b, &cx, &d)) {
      std::memcpy(c->vendor, &b, 4);
      std::memcpy(c->vendor + 4, &d, 4);
      std::memcpy(c->vendor + 8, &cx, 4);
    }
    if (__get_cpuid(1, &a, &b, &cx, &d)) c->hasRdrand = (cx >> 30) & 1;
    if (__get_cpuid_count(7, 0, &a, &b, &cx, &d)) c->hasAvx2 = (b >> 5) & 1;
#endif
    return 0;
  }
  if (code == kQueryThreadExit) {
    *static_cast<int32_t*>(record) = 0;
    return 0;
  }
  if (code == kQueryProgress) {
    *static_cast<int32_t*>(record) = progressShown() ? 1 : 0;
    return 0;
  }
  return static_cast<int>(hs::kNoOperation);
}

// ---- Log object ----
std::string_view levelName(int level) {
  switch (level) {
    case loglevel::kError:
      return "ERROR";
    case 3:
      return "WARNING";
    case loglevel::kNote:
      return "NOTE";
    default:
      return "";
  }
}

int logLine(int level, std::string_view text) {
  if (level == loglevel::kProgress) {
    showProgress(text);
    return 0;
  }
  session().log.write(levelName(level), text);
  return 0;
}

int logFormat(char* out, size_t size, std::string_view format, const MsgArg* args, int count) {
  const std::string text = formatMessage(format, args, count);
  if (out && size > 0) {
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
  }
  return static_cast<int>(text.size());
}

// The texts of the statuses the procedure reports through the log object, each ending in a
// period before which the status goes; null for one we have no text for.
const char* statusText(uint32_t status) {
  switch (status) {
    case 0x8C7FE80Au:
      return "The random number seed {1} is a multiple of 8192: the generator's state is made "
             "by the 2002 initialization.";
    case 0x8C7FE814u:
      return "The random number method asked for is not available; MT2002 is used.";
    case 0x8C7FE815u:
      return "The processor has no hardware random number generator; MT2002 is used.";
    case 0x8C7FE816u:
      return "The random numbers come from the processor's hardware generator.";
    case 0x8C7FE81Eu:
      return "The random number seed {1} was made from the clock.";
    case 0x8C7FE865u:
      return "The value '{1}' of {2} is not recognized; the default is used.";
    case 0x8C7FE866u:
      return "The limit of the messages counted by {1} is reached; no more of them are shown.";
    default:
      return nullptr;
  }
}

int logStatus(int level, uint32_t status, const MsgArg* args, int count) {
  if (const char* text = statusText(status)) {
    std::string line = formatMessage(text, args, count);
    line.insert(line.size() - 1, fmt::format(" (status 0x{:08X})", status));
    session().log.write(levelName(level), line);
    return 0;
  }
  std::string line = fmt::format("status 0x{:08X}", status);
  for (int i = 0; i < count; ++i) {
    const MsgArg& a = args[i];
    if (a.kind == MsgArg::Kind::kText)
      line += fmt::format(" '{}'", a.s);
    else if (a.kind == MsgArg::Kind::kInt)
      line += fmt::format(" {}", a.i);
    else
      line += fmt::format(" {}", a.d);
  }
  session().log.write(levelName(level), line);
  return 0;
}

}  // namespace

void keepPoolLog(bool keep) {
  std::lock_guard<std::mutex> lock(gPoolLogMutex);
  gPoolLogKept = keep;
  gPoolLog.clear();
}

std::vector<std::string> takePoolLog() {
  std::lock_guard<std::mutex> lock(gPoolLogMutex);
  std::vector<std::string> out;
  out.swap(gPoolLog);
  return out;
}

// The session's character encoding as the name/value store publishes it: UTF-8.
constexpr int64_t kSessionEncodingUtf8 = 20;

void initNameValueStore(int cpuCount) {
  std::lock_guard<std::mutex> lock(gNvMutex);
  gNv["host.cpucount"] = static_cast<int64_t>(cpuCount);
  gNv["HXNLS.QPW_SESSION_CEI"] = static_cast<int64_t>(kSessionEncodingUtf8);
  for (char** e = ::environ; e && *e; ++e) {
    std::string_view kv(*e);
    size_t eq = kv.find('=');
    if (eq == std::string_view::npos) continue;
    gNv["OSENV." + std::string(kv.substr(0, eq))] = std::string(kv.substr(eq + 1));
  }
}

const KernelVector kKernel = {
    poolCreate,       poolAlloc,       poolFree,         poolRealloc,   poolDestroy,
    loadExtension,    eventCreate,     eventSet,         eventReset,    eventWait,
    eventDestroy,     threadCreate,    threadJoin,       nameValueTest, nameValueGetInt,
    nameValueGetText, nameValueSetInt, nameValueSetText, systemQuery,   logLine,
    logStatus,        logFormat,
};

}  // namespace host
}  // namespace vsf
