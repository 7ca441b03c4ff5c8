// Cross-validation folds of the stored rows: BLOCK folds over resident and paged blocks, the
// SPLIT counter, RANDOM draws and INDEX levels; training rows always get a fold of their own
// range, other roles keep "no fold" (-999) unless BLOCK numbers them by their place.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "common/datapass_support.h"
#include "common/files.h"

namespace vsf::test {
namespace {

std::vector<StoredRow> storedRowsOf(const std::string& step, int32_t* folds = nullptr,
                                    int64_t* pages = nullptr) {
  std::vector<StoredRow> rows;
  StepRun r = runOnData(step, [&](VsfState& v) {
    rows = readStoredRows(v);
    if (folds) *folds = v.group.selection.layout.foldCount;
    if (pages)
      for (int32_t i = 0; i < v.group.utilFiles.count; ++i)
        *pages += v.group.utilFiles.records[i].pageCount;
  });
  EXPECT_EQ(r.code, 0) << r.dump();
  EXPECT_TRUE(r.inspected) << step;
  return rows;
}

TEST(Folds, BlockFoldsOverResidentAndPagedBlocks) {
  const Csv want = readCsv("datapass/block_expected.csv");
  // One resident block per file, the rest on pages; one file and two.
  for (const char* perf : {"nothreads", "threads cpucount=2"}) {
    SCOPED_TRACE(perf);
    int64_t pages = 0;
    std::vector<StoredRow> rows = storedRowsOf(
        std::string("proc varsifter data=block; model y = x / selection=forward(choose=cv) "
                    "cvmethod=block(3); partition role=r(train='T' validate='V'); "
                    "performance util_pagesize$=1 util_buffers$=1 ") +
            perf + "; run;",
        nullptr, &pages);
    EXPECT_GE(pages, 4);
    ASSERT_EQ(rows.size(), want.rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
      ASSERT_TRUE(rows[i].hasFold && rows[i].hasRole);
      EXPECT_EQ(rows[i].fold, static_cast<int32_t>(want.number(i, "fold"))) << i;
      EXPECT_EQ(rows[i].role, static_cast<int32_t>(want.number(i, "role"))) << i;
    }
  }
}

TEST(Folds, TenTrainingRowsInThreeBlocksOfFourThreeAndThree) {
  std::vector<StoredRow> rows = storedRowsOf(
      "proc varsifter data=block10; model y = x / selection=forward(choose=cv) "
      "cvmethod=block(3); partition role=r(train='T' validate='V'); run;");
  std::map<int32_t, int> trainPerFold;
  std::vector<int32_t> validationFolds;
  for (const StoredRow& r : rows) {
    if (r.role == 1) trainPerFold[r.fold] += 1;
    if (r.role == 2) validationFolds.push_back(r.fold);
  }
  EXPECT_EQ(trainPerFold, (std::map<int32_t, int>{{0, 4}, {1, 3}, {2, 3}}));
  // Rows 3, 8 and 12 of the data: the fold current at their place.
  EXPECT_EQ(validationFolds, (std::vector<int32_t>{0, 1, 2}));
}

TEST(Folds, SplitRandomAndIndex) {
  struct Case {
    const char* method;
    std::function<void(const std::vector<StoredRow>&, int32_t folds)> check;
  } cases[] = {
      {"split(3)",
       [](const std::vector<StoredRow>& rows, int32_t) {
         int32_t next = 0;
         for (const StoredRow& r : rows) {
           if (r.role != 1) {
             EXPECT_EQ(r.fold, -999);
             continue;
           }
           EXPECT_EQ(r.fold, next);
           next = (next + 1) % 3;
         }
       }},
      {"random(4)",
       [](const std::vector<StoredRow>& rows, int32_t) {
         std::map<int32_t, int> perFold;
         for (const StoredRow& r : rows) {
           if (r.role != 1) {
             EXPECT_EQ(r.fold, -999);
             continue;
           }
           ASSERT_GE(r.fold, 0);
           ASSERT_LT(r.fold, 4);
           perFold[r.fold] += 1;
         }
         ASSERT_EQ(perFold.size(), 4u);
         for (const auto& [fold, n] : perFold) EXPECT_GT(n, 500) << fold;  // 2700 rows
       }},
      {"index(k)",
       [](const std::vector<StoredRow>& rows, int32_t folds) {
         const Csv data = readCsv("datapass/sscp.csv");
         EXPECT_EQ(folds, 3);
         for (size_t i = 0; i < rows.size(); ++i) {
           const std::string& k = data.rows[i][static_cast<size_t>(data.column("k"))];
           EXPECT_EQ(rows[i].fold, rows[i].role == 1 ? k[0] - 'p' : -999) << i;
         }
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    const std::string step = std::string(
                                 "proc varsifter data=sscp seed=5; model y = x1 / "
                                 "selection=forward(choose=cv) cvmethod=") +
                             c.method + "; partition role=r(train='T' validate='V'); run;";
    int32_t folds = 0;
    std::vector<StoredRow> rows = storedRowsOf(step, &folds);
    ASSERT_EQ(rows.size(), 3000u);
    c.check(rows, folds);
    // The same seed draws the same folds.
    std::vector<StoredRow> again = storedRowsOf(step);
    for (size_t i = 0; i < rows.size(); ++i) ASSERT_EQ(again[i].fold, rows[i].fold) << i;
  }
}

// RANDOM forms no fold that no row was drawn for: the group of three training rows has fewer
// than five folds, and the next group starts again from the statement's five. The group's count
// is its own; the settings keep the set-up's.
TEST(Folds, EachGroupFormsItsOwnFolds) {
  const std::filesystem::path lib = processScratch("folds_by_group");
  std::filesystem::create_directories(lib);
  {
    std::ofstream csv(lib / "twogroups.csv");
    csv << "g,y,x\n";
    for (int i = 0; i < 43; ++i)
      csv << (i < 3 ? 1 : 2) << ',' << (i * 37 % 11) * 0.5 << ',' << (i * 13 % 7) << '\n';
  }
  PassSettings settings;
  settings.library = lib.string();
  std::vector<int32_t> groupFolds, settingsFolds;
  StepRun r = runOnData(
      "proc varsifter data=twogroups seed=7; by g; model y = x / selection=forward(choose=cv) "
      "cvmethod=random(5); run;",
      [&](VsfState& v) {
        groupFolds.push_back(v.group.selection.layout.foldCount);
        settingsFolds.push_back(v.settings.options.folds);
      },
      settings);
  ASSERT_EQ(groupFolds.size(), 2u) << r.dump();
  EXPECT_LE(groupFolds[0], 3);
  EXPECT_EQ(groupFolds[1], 5);
  EXPECT_EQ(settingsFolds, (std::vector<int32_t>{5, 5}));
}

}  // namespace
}  // namespace vsf::test
