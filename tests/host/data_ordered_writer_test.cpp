// Output blocks formatted on workers: written in their order, never more of them alive than the
// bound however slow the file is, and the same bytes on any number of threads.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>

#include "common/files.h"
#include "host/data/ordered_writer.h"
#include "host/data_test_util.h"

namespace vsf::test {
namespace {

// What a writer's blocks did: values alive (a block's values live in its format function), blocks
// handed over and written, and the most of each seen at once.
struct Watch {
  std::atomic<int> values{0}, handed{0}, written{0}, mostValues{0}, mostInFlight{0};
  std::mutex mutex;
  std::condition_variable moved;

  static void raise(std::atomic<int>* most, int seen) {
    for (int m = most->load(); seen > m && !most->compare_exchange_weak(m, seen);) {
    }
  }
  void look() {
    raise(&mostValues, values.load());
    raise(&mostInFlight, handed.load() - written.load());
  }
};

// A block's values: counted while alive.
struct Values {
  explicit Values(Watch* w, int k) : watch(w), number(k) { ++watch->values; }
  ~Values() { --watch->values; }
  Watch* watch;
  int number;
};

host::OrderedWriter::Format block(Watch* w, int k) {
  auto values = std::make_shared<Values>(w, k);
  return [values](std::string* text) { *text += std::to_string(values->number) + "\n"; };
}

std::string numbers(int from, int to) {
  std::string s;
  for (int k = from; k < to; ++k) s += std::to_string(k) + "\n";
  return s;
}

// The file waits on its first block until the caller has handed over as many blocks as may be
// alive, so the caller is always ahead; the bound must hold it back.
TEST(OrderedWriter, ACallerAheadOfTheFileWaitsAtTheBound) {
  const struct {
    int threads, alive;
  } cases[] = {{1, 1}, {2, 1}, {2, 2}, {3, 2}, {4, 4}, {8, 3}, {8, 8}};
  for (const auto& c : cases) {
    Watch w;
    std::string file;
    {
      host::OrderedWriter writer(c.threads, c.alive, [&](std::string_view text) {
        w.look();
        if (file.empty() && c.threads >= 2) {
          std::unique_lock lock(w.mutex);
          w.moved.wait(lock, [&] { return w.handed.load() >= std::min(c.alive, 200); });
          // Seen here too: the caller may look only once this block is written.
          w.look();
        }
        file += text;
        ++w.written;
        return 0;
      });
      for (int k = 0; k < 200; ++k) {
        ASSERT_TRUE(writer.submit(block(&w, k)));
        {
          std::lock_guard lock(w.mutex);
          ++w.handed;
        }
        w.moved.notify_all();
        w.look();
      }
      EXPECT_EQ(writer.finish(), 0);
    }
    const std::string where =
        std::to_string(c.threads) + " threads, " + std::to_string(c.alive) + " alive";
    EXPECT_EQ(file, numbers(0, 200)) << where;
    EXPECT_LE(w.mostValues.load(), c.alive + 1) << where;  // and the one being handed over
    EXPECT_LE(w.mostInFlight.load(), c.alive) << where;
    if (c.threads >= 2) {
      EXPECT_EQ(w.mostInFlight.load(), c.alive) << where;
    }
    EXPECT_EQ(w.values.load(), 0) << where;
  }
}

// A failed write stops the writes after it: the caller learns of it at a later block or at the
// end, and every block's values are let go.
TEST(OrderedWriter, AFailedWriteStopsTheBlocksAfterIt) {
  for (int threads : {1, 2, 8}) {
    Watch w;
    std::string file;
    int refused = -1;
    int result = 0;
    {
      host::OrderedWriter writer(threads, 3, [&](std::string_view text) {
        if (text == "5\n") return ENOSPC;
        file += text;
        return 0;
      });
      for (int k = 0; k < 50 && refused < 0; ++k)
        if (!writer.submit(block(&w, k))) refused = k;
      result = writer.finish();
    }
    EXPECT_EQ(result, ENOSPC) << threads << " threads";
    EXPECT_EQ(file, numbers(0, 5)) << threads << " threads";
    EXPECT_GE(refused, 5) << threads << " threads";
    EXPECT_LE(refused, 5 + 3) << threads << " threads";
    EXPECT_EQ(w.values.load(), 0) << threads << " threads";
  }
}

// A writer let go with blocks still to write drops them; the write under way ends first.
TEST(OrderedWriter, DroppingLetsTheBlocksGo) {
  Watch w;
  std::string file;
  bool release = false;
  {
    host::OrderedWriter writer(4, 4, [&](std::string_view text) {
      std::unique_lock lock(w.mutex);
      w.moved.wait(lock, [&] { return release; });
      file += text;
      return 0;
    });
    for (int k = 0; k < 4; ++k) ASSERT_TRUE(writer.submit(block(&w, k)));
    {
      std::lock_guard lock(w.mutex);
      release = true;
    }
    w.moved.notify_all();
  }
  EXPECT_EQ(file, numbers(0, static_cast<int>(std::count(file.begin(), file.end(), '\n'))));
  EXPECT_EQ(w.values.load(), 0);
}

// Blocks sized by their bytes: within the budget at any width while a row fits, the threads
// cut only where not a row fits; 2,048 rows for narrow rows; one row at the least.
TEST(OrderedWriter, BlocksHoldTheirValuesAndTextWithinTheBudget) {
  const int64_t kMb = 1 << 20;
  // The values of the block being gathered and of each block alive, and a text a thread.
  auto bytes = [](const host::BlockPlan& p, int64_t values, int64_t text) {
    return p.threads >= 2 ? ((1 + p.alive) * values + p.threads * text) * p.rows
                          : (values + text) * p.rows;
  };
  for (int64_t budget : {int64_t{0}, kMb / 4, 4 * kMb, 1024 * kMb}) {
    for (int64_t columns : {1, 103, 2001, 50000, 10000000}) {
      for (int threads : {0, 2, 9, 65}) {
        const int64_t values = columns * 8, text = columns * 25 + 1;
        const host::BlockPlan p = host::planBlocks(budget, values, text, threads, 2048, 0);
        const std::string where = std::to_string(budget) + " bytes, " + std::to_string(columns) +
                                  " columns, " + std::to_string(threads) + " threads";
        EXPECT_TRUE(p.rows >= 1 && p.rows <= 2048) << where;
        EXPECT_EQ(p.alive, std::max(p.threads, 1)) << where;
        EXPECT_TRUE(p.threads == threads || p.threads == 0 || p.threads >= 2) << where;
        // Past the budget only with one row on the caller's thread: nothing smaller fits.
        if (bytes(p, values, text) > budget) {
          EXPECT_EQ(p.rows, 1) << where;
          EXPECT_EQ(p.threads, 0) << where;
        }
        if (p.threads < threads) {
          const int more = std::max(p.threads + 1, 2);
          EXPECT_GT(bytes({more, more, 1}, values, text), budget) << where;
        }
        if (budget == 1024 * kMb && columns <= 103) {
          EXPECT_EQ(p.rows, 2048) << where;
        }
      }
    }
  }
  // Stacks of 2 MB counted (an address-space limit): 9 threads would take 18 MB of 12.
  const host::BlockPlan p = host::planBlocks(12 * kMb, 800, 2500, 9, 2048, 2 * kMb);
  EXPECT_EQ(p.threads, 5);
  EXPECT_LE(bytes(p, 800, 2500) + p.threads * 2 * kMb, 12 * kMb);
}

// The same bytes whatever the threads and however little memory: blocks of many sizes, texts
// that need quotes, missing values.
TEST_F(DataTest, OutputBytesDoNotDependOnTheThreads) {
  host::SystemOptions& o = host::session().options;
  const host::SystemOptions saved = o;
  const struct {
    bool threads;
    int cpus;
    int64_t memory;
  } cases[] = {{false, 8, 0}, {true, 1, 0}, {true, 2, 0}, {true, 8, 0}, {true, 8, 1}};
  std::string first;
  for (const auto& c : cases) {
    o.threads = c.threads;
    o.cpuCount = c.cpus;
    o.memSizeMb = c.memory;
    const std::string name = "many" + std::to_string(&c - cases);
    HostDataSet* out = ds().outCreate("work." + name, 2, nullptr);
    ASSERT_NE(out, nullptr);
    OutVarDefinition xDef{kVarNumeric, 8, "x", ""}, tDef{kVarCharacter, 8, "t", ""};
    void *x = nullptr, *t = nullptr;
    ASSERT_EQ(ds().outVarAdd(out, &xDef, &x), 0);
    ASSERT_EQ(ds().outVarAdd(out, &tDef, &t), 0);
    ASSERT_EQ(ds().outReady(out), 0);
    for (int i = 0; i < 20000; ++i) {
      const double v = i % 97 == 0 ? missingValue('.') : i / 7.0;
      std::memcpy(x, &v, 8);
      const std::string text = i % 5 == 0 ? "a,b" : std::to_string(i);
      std::memset(t, ' ', 8);
      std::memcpy(t, text.data(), text.size());
      ASSERT_EQ(ds().append(out), 0);
    }
    ASSERT_EQ(ds().outClose(out, true), 0);
    const std::string bytes = fileText(lib / (name + ".csv"));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 20001);
    if (first.empty()) {
      first = bytes;
      EXPECT_EQ(bytes.substr(0, 21), "x,t\n,\"a,b\"\n0.14285714");
    } else {
      EXPECT_TRUE(bytes == first) << "threads " << c.threads << ", cpus " << c.cpus << ", memory "
                                  << c.memory;
    }
  }
  o = saved;
}

// Rows wider than the memory allows 2,048 of (300 numbers and a text of 25,000 characters) go
// in blocks of a few rows, or one, with the same bytes as on the caller's thread: a text of
// quotes only doubles in the block's text.
TEST_F(DataTest, WideRowsGoInBlocksOfFewRows) {
  host::SystemOptions& o = host::session().options;
  const host::SystemOptions saved = o;
  const struct {
    bool threads;
    int64_t memory;
    int64_t most;  // rows a block
  } cases[] = {{false, 0, 2048}, {true, 1, 1}, {true, 16, 14}, {false, 1, 3}};
  constexpr int kLength = 25000;
  std::string first;
  for (const auto& c : cases) {
    o.threads = c.threads;
    o.cpuCount = 8;
    o.memSizeMb = c.memory;
    const std::string name = "wide" + std::to_string(&c - cases);
    HostDataSet* out = ds().outCreate("work." + name, 2, nullptr);
    ASSERT_NE(out, nullptr);
    std::vector<void*> slots(301);
    for (size_t j = 0; j < slots.size(); ++j) {
      const bool text = j == 150;
      OutVarDefinition def{text ? kVarCharacter : kVarNumeric, text ? kLength : 8,
                           "v" + std::to_string(j), ""};
      ASSERT_EQ(ds().outVarAdd(out, &def, &slots[j]), 0);
    }
    ASSERT_EQ(ds().outReady(out), 0);
    const host::BlockPlan plan = host::asOutput(out)->plan;
    EXPECT_GE(plan.rows, 1) << name;
    EXPECT_LE(plan.rows, c.most) << name;
    for (int i = 0; i < 25; ++i) {
      for (size_t j = 0; j < slots.size(); ++j) {
        const double v = (i * 301.0 + static_cast<double>(j)) / 7.0;
        if (j != 150) std::memcpy(slots[j], &v, 8);
      }
      const std::string text = i % 3 == 0 ? std::string(kLength, '"') : std::to_string(i) + ",";
      std::memset(slots[150], ' ', kLength);
      std::memcpy(slots[150], text.data(), text.size());
      ASSERT_EQ(ds().append(out), 0);
    }
    ASSERT_EQ(ds().outClose(out, true), 0);
    const std::string bytes = fileText(lib / (name + ".csv"));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 26) << name;
    if (first.empty())
      first = bytes;
    else
      EXPECT_TRUE(bytes == first) << name;
  }
  EXPECT_NE(first.find("\"" + std::string(2 * kLength, '"') + "\""), std::string::npos);
  o = saved;
}

// A device that fills at the first block ends the step naming why, whichever thread wrote it,
// and leaves the device as it was.
TEST_F(DataTest, AFullDeviceEndsTheStepOnAnyThreads) {
  host::SystemOptions& o = host::session().options;
  const host::SystemOptions saved = o;
  const fs::path full = fullDevice(lib);
  for (int cpus : {0, 2, 8}) {
    o.threads = cpus > 0;
    o.cpuCount = std::max(cpus, 1);
    HostDataSet* out = ds().outCreate("'" + full.string() + "'", 1, nullptr);
    ASSERT_NE(out, nullptr);
    OutVarDefinition def{kVarNumeric, 8, "a", ""};
    void* slot = nullptr;
    ASSERT_EQ(ds().outVarAdd(out, &def, &slot), 0);
    ASSERT_EQ(ds().outReady(out), 0);
    const std::string error = stepEndError([&] {
      for (int i = 0; i < 100000; ++i) ds().append(out);
      ds().outClose(out, true);
    });
    EXPECT_NE(error.find("(No space left on device)"), std::string::npos) << cpus << ": " << error;
    host::closeStepDataSets();
    EXPECT_EQ(fileKind(full), 'c');
  }
  o = saved;
}

}  // namespace
}  // namespace vsf::test
