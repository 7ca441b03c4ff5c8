// BLOCK folds over the training rows in data order, and the observation tags' role and fold.
#include "datapass/obstags.h"

#include <gtest/gtest.h>

#include <vector>

namespace vsf {
namespace {

TEST(BlockFolds, ConsecutiveTrainingRowsTheFirstFoldsOneLarger) {
  struct Case {
    int64_t training;
    int32_t folds;
    std::vector<bool> rows;  // training or not, in data order
    std::vector<int32_t> want;
  } cases[] = {
      {10, 3, std::vector<bool>(10, true), {0, 0, 0, 0, 1, 1, 1, 2, 2, 2}},
      {6, 3, std::vector<bool>(6, true), {0, 0, 1, 1, 2, 2}},
      // Other rows carry the fold current at their place and count for none.
      {4, 2, {true, false, true, true, false, true}, {0, 0, 0, 1, 1, 1}},
      // Fewer rows than folds: no fold number passes the last fold.
      {2, 3, {true, true}, {0, 1}},
  };
  for (const Case& c : cases) {
    BlockFolds f(c.training, c.folds);
    std::vector<int32_t> got;
    for (bool t : c.rows) got.push_back(f.next(t));
    EXPECT_EQ(got, c.want) << c.training << " rows, " << c.folds << " folds";
  }
}

TEST(ObsTags, RoleAndFoldRoundTrip) {
  for (int32_t role : {0, 1, 2, 4})
    for (int32_t fold : {-1, 0, 1, 99}) {
      const int32_t tag = obsTag(role, fold);
      EXPECT_EQ(obsTagRole(tag), role);
      EXPECT_EQ(obsTagFold(tag), fold);
    }
}

}  // namespace
}  // namespace vsf
