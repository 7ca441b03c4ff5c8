#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <thread>
#include <vector>

#include "base/host.h"
#include "base/hostcalls.h"
#include "common/test_host.h"
#include "datapass/workqueue.h"
#include "host/extensions.h"
#include "host/progress.h"
#include "numerics/numerics.h"

namespace vsf {
namespace {

TEST(Pools, AllocateReallocateAndDestroyWhole) {
  test::ensureHost();
  const KernelVector& k = kernel();
  host::keepPoolLog(true);
  HostPool* p = k.poolCreate("test pool", kPoolPlain);
  ASSERT_NE(p, nullptr);
  auto* a = static_cast<unsigned char*>(k.poolAlloc(p, 64, kAllocZero));
  for (int i = 0; i < 64; ++i) EXPECT_EQ(a[i], 0);
  a[0] = 7;
  auto* b = static_cast<unsigned char*>(k.poolRealloc(p, a, 4096, 0));
  EXPECT_EQ(b[0], 7);
  EXPECT_EQ(b[4095], 0);  // grown part is zero
  k.poolFree(p, b);
  k.poolFree(p, b);  // a second free of the same block is ignored, not a double free
  for (int i = 0; i < 100; ++i) k.poolAlloc(p, 1000, 0);
  k.poolDestroy(p);  // frees the 100 blocks; leak checkers see nothing
  EXPECT_EQ(host::takePoolLog(), (std::vector<std::string>{"+test pool", "-test pool"}));
  host::keepPoolLog(false);
}

// A block keeps its bytes through every resize, small to small, small to large, large to
// large and back; what a resize adds is zero, also where a shrink dropped bytes before.
TEST(Pools, AResizedBlockKeepsItsBytesAndZeroesWhatItGains) {
  test::ensureHost();
  const KernelVector& k = kernel();
  HostPool* p = k.poolCreate("resized", kPoolPlain);
  auto* b = static_cast<unsigned char*>(k.poolAlloc(p, 8, 0));
  for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(i + 1);
  size_t kept = 8;  // the bytes that still hold what was written
  for (size_t to : {100, 200, 300, 5000, 9000, 250, 16, 4, 40, 3000}) {
    b = static_cast<unsigned char*>(k.poolRealloc(p, b, to, 0));
    ASSERT_NE(b, nullptr);
    kept = std::min(kept, to);
    for (size_t i = 0; i < kept; ++i) EXPECT_EQ(b[i], i + 1) << "resized to " << to;
    for (size_t i = kept; i < to; ++i) ASSERT_EQ(b[i], 0) << "resized to " << to << ", at " << i;
  }
  k.poolFree(p, b);
  k.poolDestroy(p);
}

// Pools leave no trace unless the log is kept: a step that makes millions of them (a search
// over many L2 values) would otherwise hold a line for each.
TEST(Pools, TheLogHoldsNothingUnlessKept) {
  test::ensureHost();
  const KernelVector& k = kernel();
  host::keepPoolLog(false);
  for (int i = 0; i < 1000; ++i) k.poolDestroy(k.poolCreate("unlogged", kPoolPlain));
  EXPECT_TRUE(host::takePoolLog().empty());
  host::keepPoolLog(true);
  k.poolDestroy(k.poolCreate("logged", kPoolPlain));
  EXPECT_EQ(host::takePoolLog(), (std::vector<std::string>{"+logged", "-logged"}));
  host::keepPoolLog(false);
}

TEST(NameValueStore, TypesAndEnvironment) {
  test::ensureHost();
  const KernelVector& k = kernel();
  int64_t cpus = 0;
  EXPECT_EQ(k.nameValueGetInt("host.cpucount", &cpus), 0u);
  EXPECT_EQ(cpus, 4);
  EXPECT_EQ(k.nameValueTest("OSENV.PATH"), 1);  // every environment variable is mirrored
  int64_t v = 0;
  EXPECT_EQ(k.nameValueGetInt("no.such.key", &v), hs::kNvAbsent);
  EXPECT_EQ(k.nameValueSetText("t.key", "abc"), 0u);
  EXPECT_EQ(k.nameValueGetInt("t.key", &v), hs::kNvWrongType);
  EXPECT_EQ(k.nameValueSetInt("t.key", 5), hs::kNvWrongType);  // stays text, caller falls back
}

TEST(Events, WaitReturnsTheSignalledPosition) {
  test::ensureHost();
  const KernelVector& k = kernel();
  HostEvent* e[2] = {k.eventCreate(), k.eventCreate()};
  EXPECT_EQ(k.eventWait(e, 2, 10), 0);  // timeout
  std::thread t([&] { k.eventSet(e[1]); });
  EXPECT_EQ(k.eventWait(e, 2, -1), 2);
  t.join();
  k.eventReset(e[1]);
  EXPECT_EQ(k.eventWait(e, 2, 0), 0);
  k.eventDestroy(e[0]);
  k.eventDestroy(e[1]);
}

// Every thread waiting for an event wakes when it is set, whichever other events it waits for
// and however many threads wait for other events meanwhile; a set event stays set.
TEST(Events, ASetWakesEveryWaiterOfThatEvent) {
  test::ensureHost();
  const KernelVector& k = kernel();
  HostEvent* go = k.eventCreate();
  HostEvent* own[6];
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 6; ++i) {
    own[i] = k.eventCreate();
    // Half wait for their own event first, half for the shared one first.
    waiters.emplace_back([&, i] {
      HostEvent* both[2] = {i % 2 ? own[i] : go, i % 2 ? go : own[i]};
      const int at = k.eventWait(both, 2, -1);
      if (both[at - 1] == go) woken += 1;
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  HostEvent* other = k.eventCreate();
  k.eventSet(other);  // no waiter of its own: wakes no one
  EXPECT_EQ(woken.load(), 0);
  k.eventSet(go);
  for (std::thread& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 6);
  EXPECT_EQ(k.eventWait(&go, 1, 0), 1);
  for (HostEvent* e : own) k.eventDestroy(e);
  k.eventDestroy(go);
  k.eventDestroy(other);
}

struct Counter {
  std::atomic<int> done{0};
  std::atomic<int> maxConcurrent{0};
  std::atomic<int> running{0};
  int together = 1;  // items that wait for each other to run at once
};

// Waits (up to 10 s, for a loaded machine) until `together` items run at once, so that N items
// on N workers are seen together however the threads are scheduled.
void countItem(void*, void* item) {
  auto* c = static_cast<Counter*>(item);
  int now = ++c->running;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((now = c->running.load()) < c->together && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  int seen = c->maxConcurrent.load();
  while (now > seen && !c->maxConcurrent.compare_exchange_weak(seen, now)) {
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  --c->running;
  ++c->done;
}

TEST(WorkQueue, RunsItemsOnAllWorkersAndTheDrainWaits) {
  test::ensureHost();
  for (int workers : {1, 2, 4}) {
    ZPuddle puddle;
    ASSERT_EQ(zpudi(&puddle, workers, 0, &countItem), 0);
    Counter c;
    c.together = workers;
    for (int i = 0; i < workers; ++i) zpudleq(&puddle, &c);
    zpudlwt(&puddle);  // returns only when every item is done
    EXPECT_EQ(c.done.load(), workers);
    EXPECT_EQ(c.maxConcurrent.load(), workers);  // N items really ran on N workers
    // The queue serves a second pass after the reset.
    c.together = 1;
    zpudleq(&puddle, &c);
    zpudlwt(&puddle);
    EXPECT_EQ(c.done.load(), workers + 1);
    zpudlterm(&puddle);
    EXPECT_EQ(puddle.queue, nullptr);
  }
}

void throwingItem(void*, void*) { throw NumericFault(fault::kOverflow); }

TEST(WorkQueue, AWorkerExceptionIsRaisedOnTheCallingThread) {
  test::ensureHost();
  ZPuddle puddle;
  ASSERT_EQ(zpudi(&puddle, 2, 0, &throwingItem), 0);
  int dummy = 0;
  zpudleq(&puddle, &dummy);
  zpudleq(&puddle, &dummy);
  try {
    zpudlwt(&puddle);
    FAIL() << "expected the worker's fault";
  } catch (const NumericFault& f) {
    EXPECT_EQ(f.code(), fault::kOverflow);
  }
  zpudlterm(&puddle);
}

TEST(WorkQueue, RefusedExtensionReportsOne) {
  test::ensureHost();
  host::refuseExtension("hxworkq");
  ZPuddle puddle;
  EXPECT_EQ(zpudi(&puddle, 2, 0, &countItem), 1);
  host::refuseExtension("");
}

// A step keeps one string a text: the same titles and names asked for in every BY group cost
// nothing more, and every string keeps its text to the step's end.
TEST(Strings, OneStringATextForTheStep) {
  test::ensureHost();
  const HostStrFamily& str = *hostv().str;
  HostString* a = str.fromBytes("Parameter Estimates");
  HostString* b = str.fromBytes("Fit Statistics");
  EXPECT_NE(a, b);
  EXPECT_EQ(str.fromBytes(std::string("Parameter ") + "Estimates"), a);
  EXPECT_EQ(str.fromBytes(""), str.fromBytes(""));
  for (int i = 0; i < 1000; ++i) (void)str.fromBytes("text " + std::to_string(i));
  EXPECT_EQ(str.text(a), "Parameter Estimates");
  EXPECT_EQ(str.text(b), "Fit Statistics");
  // A buffer written again in place gives the string of what it holds now, and its text
  // given from elsewhere the same string.
  char buffer[] = "Parameter Estimates";
  EXPECT_EQ(str.fromBytes(buffer), a);
  std::memcpy(buffer, "Fit Statistics\0", 15);
  EXPECT_EQ(str.fromBytes(std::string_view(buffer, 14)), b);
  std::memcpy(buffer, "Fit Statistic!", 14);
  HostString* c = str.fromBytes(std::string_view(buffer, 14));
  EXPECT_NE(c, b);
  EXPECT_EQ(str.text(c), "Fit Statistic!");
  EXPECT_EQ(str.fromBytes(std::string_view(buffer, 13)), str.fromBytes("Fit Statistic"));
}

// A message's text without insertions is made once, when the catalogue is read; asked for with
// arguments, the same message puts them in their places, and a bare text is left as it is.
TEST(Messages, TextsWithAndWithoutInsertions) {
  test::ensureHost();
  const HostProcFamily& proc = *hostv().proc;
  EXPECT_EQ(proc.msgText(848, 500, nullptr, 0), "Number of Observations");
  EXPECT_EQ(proc.msgText(848, 500, nullptr, 0), "Number of Observations");
  const MsgArg args[] = {MsgArg("GEAR"), MsgArg(8)};
  EXPECT_EQ(proc.msgText(172, 14, args, 2),
            "The formatted values of GEAR are longer than 8 characters; they are truncated to 8 "
            "characters.");
  EXPECT_EQ(proc.msgText(172, 14, nullptr, 0),
            "The formatted values of  are longer than  characters; they are truncated to  "
            "characters.");
}

// Steps make the texts of their progress lines only where those are shown.
TEST(Progress, TheStepAsksWhetherProgressLinesAreShown) {
  test::ensureHost();
  const bool shown = host::progressShown();
  host::setProgressShown(true);
  EXPECT_TRUE(zprogressshown());
  host::setProgressShown(false);
  EXPECT_FALSE(zprogressshown());
  host::setProgressShown(shown);
}

// A joined thread is kept for the next routine: a crew started again for every pass of every
// BY group makes its threads once. Each routine still runs whole before its join returns, on
// as many threads at once as are asked for.
TEST(Threads, AJoinedThreadRunsTheNextRoutine) {
  test::ensureHost();
  const KernelVector& k = kernel();
  struct Run {
    std::thread::id on;
    std::atomic<int>* together = nullptr;
    int want = 0;
    bool sawAll = false;
  };
  auto routine = [](void* arg) {
    auto* r = static_cast<Run*>(arg);
    r->on = std::this_thread::get_id();
    if (!r->together) return;
    ++*r->together;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (r->together->load() < r->want && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    r->sawAll = r->together->load() >= r->want;
  };
  Run first, second;
  HostThread* t = k.threadCreate(routine, &first);
  ASSERT_NE(t, nullptr);
  k.threadJoin(t);
  t = k.threadCreate(routine, &second);
  ASSERT_NE(t, nullptr);
  k.threadJoin(t);
  EXPECT_EQ(first.on, second.on);
  EXPECT_NE(first.on, std::this_thread::get_id());

  std::atomic<int> together{0};
  std::vector<Run> runs(6);
  std::vector<HostThread*> threads;
  for (Run& r : runs) {
    r.together = &together;
    r.want = static_cast<int>(runs.size());
    threads.push_back(k.threadCreate(routine, &r));
  }
  for (HostThread* h : threads) k.threadJoin(h);
  for (const Run& r : runs) EXPECT_TRUE(r.sawAll);
}

// hxbtree keeps one node per key in the comparator's order: a node with a key already in the
// tree is handed back the holder, as the level trees of the levelization use it.
TEST(SearchTrees, InsertOrFindKeepsOneNodePerKeyInOrder) {
  test::ensureHost();
  struct Node {
    void* link[2];
    int32_t key[2];
  };
  auto* ext = dynamic_cast<HxBtree*>(kernel().extensionLoad("hxbtree"));
  ASSERT_NE(ext, nullptr);
  SearchTree* tree = ext->createTree(8, offsetof(Node, key), &zidxcmp);
  ASSERT_NE(tree, nullptr);
  Node nodes[] = {{{}, {2, 1}}, {{}, {1, 5}}, {{}, {2, 1}}, {{}, {-1, 9}}, {{}, {1, 5}}};
  const int holder[] = {0, 1, 0, 3, 1};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(tree->insert(&nodes[k]), &nodes[holder[k]]) << k;
  EXPECT_EQ(tree->size(), 3);
  Node probe{{}, {1, 5}};
  EXPECT_EQ(tree->find(&probe), &nodes[1]);
  probe.key[1] = 6;
  EXPECT_EQ(tree->find(&probe), nullptr);
  std::vector<int32_t> order;
  tree->walk(
      [](void* n, void* out) {
        static_cast<std::vector<int32_t>*>(out)->push_back(static_cast<Node*>(n)->key[0]);
        return 0;
      },
      &order);
  EXPECT_EQ(order, (std::vector<int32_t>{-1, 1, 2}));
  EXPECT_EQ(tree->walk([](void*, void*) { return 7; }, nullptr), 7);  // stops at the first
  tree->clear();
  EXPECT_EQ(tree->size(), 0);
  tree->release();
  ext->release();
}

}  // namespace
}  // namespace vsf
