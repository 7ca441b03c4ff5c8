// The data-pass memory plan: workers that fit the free memory and each file's buffers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/host.h"
#include "common/test_host.h"
#include "frame/setup_internal.h"
#include "frame/state.h"
#include "selection/selection.h"

namespace vsf {
namespace {

// With method NONE, one effect and no columns a worker needs 2 pages + 44 bytes: with pages
// of 1 MB, 2 MB a worker.
struct Plan {
  std::unique_ptr<VsfState> v = std::make_unique<VsfState>();
  std::vector<UtilFileRecord> files;
  Plan(int fileCount, int workers, int64_t memMb, int buffers = 0) {
    test::ensureHost();
    host::session().options.memSizeMb = memMb;
    v->group.byPool = kernel().poolCreate("VARSIFTER BY POOL", kPoolPlain);
    v->settings.options.method = kMethodNone;
    v->settings.options.utilBuffers = buffers;
    v->group.selection.layout.effectCount = 1;
    v->settings.threads.effectiveThreaded = workers > 1;
    v->settings.threads.effectiveWorkers = v->settings.threads.requestedWorkers = workers;
    v->res.workers = PassWorkers{static_cast<uint8_t>(workers > 1), workers};
    files.resize(fileCount);
    for (auto& f : files) f.pageLength = 1 << 20;
    v->group.utilFiles.records = files.data();
    v->group.utilFiles.count = fileCount;
  }
  ~Plan() {
    kernel().poolDestroy(v->group.byPool);
    host::session().options.memSizeMb = 0;
  }
};

TEST(MemoryPlan, WorkersThatDoNotFitAreDropped) {
  struct Row {
    const char* what;
    int files, workers;
    int64_t memMb;
    int wantWorkers, wantThreaded;
    const char* note;
  } rows[] = {
      {"room for all", 8, 8, 64, 8, 1, nullptr},
      {"room for 5 of 8", 8, 8, 34, 5, 1, "Only 5 of the 8 threads"},
      {"room for less than 2", 2, 2, 5, 1, 0, "not enough memory for more than one thread"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    Plan p(r.files, r.workers, r.memMb);
    test::LogWatch log;
    ASSERT_EQ(planStepHistory(engineOptionsOf(p.v->settings), p.v->group, p.v->res.workers,
                              p.v->stepCode),
              0);
    EXPECT_EQ(p.v->res.workers.count, r.wantWorkers);
    EXPECT_EQ(p.v->res.workers.threaded, r.wantThreaded);
    // The settings keep what the statements and the set-up settled.
    EXPECT_EQ(p.v->settings.threads.effectiveWorkers, r.workers);
    if (r.note) {
      EXPECT_TRUE(log.has("NOTE", r.note));
    }
  }
}

TEST(MemoryPlan, BuffersPerFile) {
  struct Row {
    const char* what;
    int64_t memMb;
    int utilBuffers;
    int64_t want;
  } rows[] = {
      {"the option decides", 64, 3, 3},
      {"no budget still gives one", 3, 0, 1},
      {"the budget over the files and the page", 25, 0, 6},  // 0.6 (25 - 4) / 2 = 6.3 pages
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    Plan p(2, 1, r.memMb, r.utilBuffers);
    ASSERT_EQ(planStepHistory(engineOptionsOf(p.v->settings), p.v->group, p.v->res.workers,
                              p.v->stepCode),
              0);
    for (const UtilFileRecord& f : p.files) {
      EXPECT_EQ(f.residentCapacity, r.want);
      EXPECT_EQ(f.residentCount, 0);
      // The list of resident blocks grows as they come, not at the capacity.
      EXPECT_EQ(f.residentSlots, 0);
    }
  }
}

// A wide group of FORWARD's per-effect store (1,000 rows of 20,000 one-column candidates): a
// worker sums an entering effect's store rows, not the packed crossproducts of every column,
// and the plan grants the workers the memory holds; the whole matrix at once would take GBs a
// worker, and the same memory keeps such a pass on one thread. The store's rows (a model of up
// to 1,000 columns by all 20,001, 160 MB) are counted once, beside what the workers' buffers and
// the stored rows in memory may take.
TEST(MemoryPlan, WideGroupOfTheStoreGetsItsWorkers) {
  struct Row {
    const char* what;
    bool wholeMatrix;
    int64_t memMb;
    int wantWorkers;  // 0: more than one, fewer than 8
  } rows[] = {
      {"room for every worker", false, 1024, 8},
      {"room for some", false, 600, 0},
      {"the store's rows leave room for one", false, 400, 1},
      {"the whole matrix a pass", true, 1024, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    Plan p(8, 8, r.memMb);
    SelectionOptions& o = p.v->settings.options;
    o.method = kMethodForward;
    o.buildFullSscp = r.wholeMatrix ? 1 : 0;
    o.effectStore = r.wholeMatrix ? 0 : 1;
    GroupState& g = p.v->group;
    g.candidateTable.assign(20001, CandidateEntry{});
    for (CandidateEntry& c : g.candidateTable) c.columns = 1;
    g.candidates.table = &g.candidateTable;
    g.candidates.count = 20001;
    for (UtilFileRecord& f : p.files) f.columnCount = 20001;
    test::LogWatch log;
    ASSERT_EQ(planStepHistory(engineOptionsOf(p.v->settings), g, p.v->res.workers, p.v->stepCode),
              0);
    const PassWorkers& w = p.v->res.workers;
    if (r.wantWorkers > 0) {
      EXPECT_EQ(w.count, r.wantWorkers);
    } else {
      EXPECT_GT(w.count, 1);
      EXPECT_LT(w.count, 8);
    }
    EXPECT_EQ(w.threaded, w.count > 1);
    EXPECT_EQ(log.has("NOTE", "not enough memory for more than one thread"), w.count == 1);
    // What the workers' buffers may take stays within the memory given.
    if (w.count > 1) {
      EXPECT_LE(w.bufferBytes, r.memMb * 1048576.0);
    }
    if (!r.wholeMatrix) {
      double counted = w.bufferBytes + 8.0 * 1000 * 20001;
      for (const UtilFileRecord& f : p.files)
        counted += static_cast<double>(f.residentCapacity) * f.pageLength;
      EXPECT_LE(counted, r.memMb * 1048576.0);
    }
  }
}

}  // namespace
}  // namespace vsf
