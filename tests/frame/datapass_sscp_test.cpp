// Metamorphic tests of the stored rows: the weighted crossproducts that kernSscp accumulates
// over them are those of the reference (tests/data/datapass/sscp_xtwx.csv, numpy) whatever the
// worker count, the page size, the pages kept in memory and the number of utility files; with
// the same files and pages a threaded pass equals the sequential one bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/datapass_support.h"

namespace vsf::test {
namespace {

struct Layout {
  const char* perf;   // PERFORMANCE options
  int64_t memSizeMb;  // 1: the memory plan keeps one worker
  int files;          // utility files made
  bool threaded;      // passes run on the work queue
};

struct Outcome {
  std::vector<std::vector<double>> a;
  int files = 0, workers = 0;
  int64_t pages = 0;
  bool threaded = false;
};

Outcome crossproducts(const Layout& l) {
  Outcome o;
  PassSettings settings;
  settings.memSizeMb = l.memSizeMb;
  StepRun r = runOnData(
      std::string("proc varsifter data=sscp; class k c; model y = x1 x2 x3 x4 k c; weight w; "
                  "freq f; partition role=r(train='T' validate='V'); performance ") +
          l.perf + "; run;",
      [&](VsfState& v) {
        o.a = crossproductsByKernel(v);
        o.files = v.group.utilFiles.count;
        o.workers = v.res.workers.count;
        o.threaded = v.res.workers.threaded && o.workers == o.files && o.files > 1;
        for (int32_t i = 0; i < v.group.utilFiles.count; ++i)
          o.pages += v.group.utilFiles.records[i].pageCount;
      },
      settings);
  EXPECT_LT(r.code, 100) << r.dump();
  EXPECT_TRUE(r.inspected);
  return o;
}

TEST(StoredRowCrossproducts, SameUnderEveryLayoutOfTheFiles) {
  const Csv want = readCsv("datapass/sscp_xtwx.csv");
  const Layout layouts[] = {
      {"nothreads", 0, 1, false},
      {"threads cpucount=2", 0, 2, true},
      {"threads cpucount=4", 0, 4, true},
      // Under MEMSIZE=1 one worker fits, with one file, its rows paged.
      {"threads cpucount=4 util_buffers$=1", 1, 1, false},
      {"threads cpucount=2 util_pagesize$=1 util_buffers$=1", 0, 2, true},
      {"nothreads util_pagesize$=4 util_buffers$=2", 0, 1, false},
      {"threads cpucount=4 util_pagesize$=64", 0, 4, true},
      {"threads cpucount=2 allsparse$", 0, 2, true},  // every effect stored sparse
      {"nothreads alldense$", 0, 1, false},
  };
  std::vector<Outcome> outcomes;
  for (const Layout& l : layouts) {
    SCOPED_TRACE(std::string(l.perf) + " memsize " + std::to_string(l.memSizeMb));
    Outcome o = crossproducts(l);
    EXPECT_EQ(o.files, l.files);
    EXPECT_EQ(o.threaded, l.threaded);
    if (std::string(l.perf).find("util_buffers$") != std::string::npos || l.memSizeMb > 0)
      EXPECT_GT(o.pages, 0);  // paged
    else
      EXPECT_EQ(o.pages, 0);  // resident
    ASSERT_EQ(o.a.size(), want.header.size());
    for (size_t i = 0; i < o.a.size(); ++i)
      for (size_t j = 0; j < o.a.size(); ++j) {
        const double w = want.number(i, want.header[j]);
        EXPECT_NEAR(o.a[i][j], w, 1e-10 * (1 + std::fabs(w)))
            << want.header[i] << " x " << want.header[j];
      }
    outcomes.push_back(std::move(o));
  }
  // Threaded over resident blocks and sequential over pages of the same four files: the same
  // sums in the same order.
  EXPECT_EQ(outcomes[2].a, outcomes[3].a);
}

}  // namespace
}  // namespace vsf::test
