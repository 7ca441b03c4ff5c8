// Variable lists over a data set.
#include "host/data_test_util.h"

namespace vsf::test {
namespace {

TEST_F(DataTest, VariableLists) {
  HostDataSet* d = openInPieces("x1,x2,x3,c1,x4,y,zA,Zb,n01,n02,n03\n1,2,3,a,4,b,5,6,7,8,9\n", 100);
  struct Case {
    int form;
    const char* first;
    const char* second;
    std::vector<int> numbers;  // empty with an error
    const char* error;
  } cases[] = {
      {2, "x1", "x4", {0, 1, 2, 4}, nullptr},
      {2, "X2", "x3", {1, 2}, nullptr},
      {2, "n01", "n03", {8, 9, 10}, nullptr},
      {2, "x3", "x1", {}, "reversed"},
      {2, "x1", "x5", {}, "x5"},
      {2, "x1", "y", {}, "not a numbered range"},
      {3, "x2", "y", {1, 2, 3, 4, 5}, nullptr},
      {3, "y", "x2", {}, "reversed"},
      {3, "x2", "nope", {}, "nope"},
      {4, "x1", "y", {0, 1, 2, 4}, nullptr},
      {5, "x1", "y", {3, 5}, nullptr},
      {6, "z:", "", {6, 7}, nullptr},
      {6, "N0", "", {8, 9, 10}, nullptr},
      {6, "q:", "", {}, "begins with q"},
      {7, "", "", {0, 1, 2, 4, 6, 7, 8, 9, 10}, nullptr},
      {8, "", "", {3, 5}, nullptr},
      {9, "", "", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, nullptr},
      {1, "x1", "", {}, "form 1"},
  };
  for (const Case& c : cases) {
    std::vector<int> got{-9};
    int rc = ds().expandList(d, c.first, c.second, c.form, &got);
    std::string label = std::to_string(c.form) + " " + c.first + " " + c.second;
    if (c.error) {
      EXPECT_NE(rc, 0) << label;
      EXPECT_NE(lastError().find(c.error), std::string::npos) << label << ": " << lastError();
    } else {
      EXPECT_EQ(rc, 0) << label << ": " << lastError();
      EXPECT_EQ(got, c.numbers) << label;
    }
  }
}

// A numbered range over a wide file's names finds each name without case, and a name past them
// none; a name with blanks after it is the name.
TEST_F(DataTest, AWideFileNamesItsVariablesAtOnce) {
  const int n = 50000;
  std::string csv;
  for (int j = 1; j <= n; ++j) csv += (j > 1 ? ",v" : "v") + std::to_string(j);
  csv += "\n";
  for (int j = 1; j <= n; ++j) csv += j > 1 ? ",1" : "1";
  HostDataSet* d = openInPieces(csv + "\n", 1 << 20);
  std::vector<int> got;
  ASSERT_EQ(ds().expandList(d, "V2", "v" + std::to_string(n), 2, &got), 0) << lastError();
  ASSERT_EQ(got.size(), static_cast<size_t>(n - 1));
  EXPECT_EQ(got.front(), 1);
  EXPECT_EQ(got.back(), n - 1);
  int number = -1;
  EXPECT_EQ(ds().findVar(d, "V777  ", &number), 0);
  EXPECT_EQ(number, 776);
  EXPECT_NE(ds().expandList(d, "v1", "v" + std::to_string(n + 1), 2, &got), 0);
  EXPECT_NE(lastError().find("v" + std::to_string(n + 1)), std::string::npos) << lastError();
}

}  // namespace
}  // namespace vsf::test
