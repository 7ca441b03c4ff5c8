// A path run that holds a fold out (or a resample) centres and scales the stored rows and puts
// them back as the data pass stored them, bit for bit, in memory and on pages, on one worker
// and on several: the next run of the group fits the same rows.
#include <gtest/gtest.h>

#include <cstring>

#include "common/datapass_support.h"
#include "common/group_support.h"
#include "penalized/optimizer_internal.h"
#include "penalized/path_internal.h"

namespace vsf {
namespace {

// One fold's run as the fit driver makes it: the first of its series, holding a fold out.
int foldRun(SelectionState* s) {
  static const PathMethods methods = {standardizeRows, runLarPath, restoreRows, runOptimizerMethod};
  s->pathMethods = &methods;
  s->runFlags = plainRunFlags(*s->pathOptions);
  s->runFlags.firstFit = 1, s->runFlags.foldFit = 1;
  if (int rc = buildModelPool(s); rc != 0) return rc;
  return runSelection(s);
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void expectSameRows(const std::vector<test::StoredRow>& a, const std::vector<test::StoredRow>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    ASSERT_TRUE(sameBits(a[i].y, b[i].y)) << "row " << i;
    ASSERT_EQ(a[i].x.size(), b[i].x.size());
    for (size_t c = 0; c < a[i].x.size(); ++c)
      ASSERT_TRUE(sameBits(a[i].x[c], b[i].x[c])) << "row " << i << " column " << c;
  }
}

TEST(PathRows, StandardizedRowsGoBackBitForBit) {
  const test::CaseData data = test::readCase("boston", "methods");
  struct Storage {
    const char* name;
    int files, workers;
    int64_t resident;
  } storages[] = {{"in memory", 1, 1, 1 << 30},
                  {"on pages, two workers", 2, 2, 0},
                  {"one block in memory per file, three workers", 3, 3, 1}};
  for (MethodCode method : {kMethodLasso, kMethodLarLs, kMethodElasticNet})
    for (const Storage& st : storages) {
      SCOPED_TRACE(std::string(st.name) + ", method " + std::to_string(codeIndex(method)));
      test::GroupSettings g;
      g.files = st.files, g.workers = st.workers, g.resident = st.resident, g.pageSizeKb = 1;
      g.method = method;
      test::Group group(data, g);
      SelectionOptions& o = group.options();
      o.select = kCritNone, o.stop = kCritNone;
      o.l2Search = kL2SearchNone, group.s().path.l2 = 0.25;
      group.settleOptionRecords();
      const std::vector<test::StoredRow> stored = test::readStoredRows(group.vsf());
      std::vector<double> estimates[2];
      for (std::vector<double>& e : estimates) {
        resetSelectionState(&group.s());
        ASSERT_EQ(foldRun(&group.s()), 0);
        ASSERT_EQ(group.s().run.status, 0);
        ASSERT_GT(group.s().steps.stepCount, 10);
        expectSameRows(test::readStoredRows(group.vsf()), stored);
        e.assign(group.s().sweep.estimates,
                 group.s().sweep.estimates + group.s().layout.paramCount);
        freeSelectionState(&group.s());
      }
      EXPECT_EQ(estimates[0], estimates[1]);
    }
}

}  // namespace
}  // namespace vsf
