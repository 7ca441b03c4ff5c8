// A BY group's workers: the step's, as many as its values keep busy, never more.
#include <gtest/gtest.h>

#include "datapass/pass.h"

namespace vsf {
namespace {

TEST(GroupWorkers, AsManyAsTheGroupsValuesPayFor) {
  struct Row {
    const char* what;
    PassWorkers step;
    int64_t rows, columns;
    PassWorkers want;
  } rows[] = {
      {"a small group runs on the calling thread", {1, 8}, 100, 11, {0, 1}},
      {"no rows", {1, 8}, 0, 11, {0, 1}},
      {"no columns count as one", {1, 8}, 65536, 0, {0, 1}},
      {"just short of two workers' share", {1, 8}, 131071, 1, {0, 1}},
      {"two workers' share", {1, 8}, 13108, 10, {1, 2}},
      {"wide rows pay sooner", {1, 8}, 1000, 400, {1, 6}},
      {"a large group takes every worker", {1, 8}, 1000000, 11, {1, 8}},
      {"never more than the step's", {1, 3}, 1000000, 11, {1, 3}},
      {"rows not known: the step's", {1, 8}, -1, 11, {1, 8}},
      {"no threads stay none", {0, 1}, 1000000, 11, {0, 1}},
      {"rows past 32 bits", {1, 4}, int64_t{1} << 40, 1 << 20, {1, 4}},
  };
  for (const Row& r : rows) {
    const PassWorkers w = groupWorkers(r.step, r.rows, r.columns);
    EXPECT_EQ(w.count, r.want.count) << r.what;
    EXPECT_EQ(w.threaded, r.want.threaded) << r.what;
  }
}

}  // namespace
}  // namespace vsf
