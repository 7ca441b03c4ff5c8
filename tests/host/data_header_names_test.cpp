// The names of a CSV file's first line: duplicates found without case, long names cut and
// numbered, on headers as wide as a data set may be.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/data/header_names.h"

namespace vsf::test {
namespace {

using host::HeaderNames;

std::string settle(std::vector<std::string> fields, HeaderNames* out, int firstRowFields = -1) {
  std::string error;
  if (!host::settleHeaderNames(std::move(fields), firstRowFields, "F, line 1", out, &error))
    return error;
  return "";
}

TEST(HeaderNames, DuplicatesAreFoundWithoutCase) {
  struct Case {
    std::vector<std::string> names;
    std::string error;  // empty: settled
  } cases[] = {
      {{"a", "b", "B"},
       "F, line 1: the variable names b and B are one name: names are the same in upper and "
       "lower case."},
      {{"x", "y", "z", "Y", "X"},
       "F, line 1: the variable names y and Y are one name: names are the same in upper and "
       "lower case."},
      {{"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89"},
       "F, line 1: the variable names \xC3\xA9t\xC3\xA9 and \xC3\x89T\xC3\x89 are one name: "
       "names are the same in upper and lower case."},
      // Dotless i upper-cases to I: the names differ in length and still match.
      {{"\xC4\xB1"
        "d",
        "ID"},
       "F, line 1: the variable names \xC4\xB1"
       "d and ID are one name: names are the same in "
       "upper and lower case."},
      {{"a", " ", "a"}, "F, line 1: variable 2 has no name."},
      {{"a", "b", "a"}, "F, line 1: the variable name a appears twice."},
      {{"a", " b", "b "}, "F, line 1: the variable name b appears twice."},
      {{"a", "b", "ab"}, ""},
  };
  for (const Case& c : cases) {
    HeaderNames h;
    EXPECT_EQ(settle(c.names, &h), c.error) << c.names.back();
  }
}

// Blanks around a name are not part of it, and the names so written are kept for the note; a
// first line that ends with a comma leaves its last variable without a name, and says so.
TEST(HeaderNames, BlanksAroundNamesAndALastComma) {
  HeaderNames h;
  EXPECT_EQ(settle({" y", "x1 ", "\tg\t", "z"}, &h), "");
  EXPECT_EQ(h.names, (std::vector<std::string>{"y", "x1", "g", "z"}));
  EXPECT_EQ(h.blanked, (std::vector<std::string>{" y", "x1 ", "\tg\t"}));
  EXPECT_EQ(settle({"y", "x", ""}, &h, 3),
            "F, line 1: variable 3 has no name: the first line ends with a comma. So does the "
            "first row: every line may. Remove the comma that ends each line.");
  EXPECT_EQ(settle({"y", "x", ""}, &h, 2),
            "F, line 1: variable 3 has no name: the first line ends with a comma. Remove the "
            "comma that ends each line.");
}

// Every name of a wide header is compared without case; the last repeats the first.
TEST(HeaderNames, AWideHeaderIsSettledWhole) {
  const int n = 100000;
  std::vector<std::string> names;
  for (int j = 0; j < n; ++j) names.push_back("v" + std::to_string(j));
  HeaderNames h;
  EXPECT_EQ(settle(names, &h), "");
  EXPECT_EQ(h.names.size(), static_cast<size_t>(n));
  names.push_back("V0");
  EXPECT_EQ(settle(names, &h),
            "F, line 1: the variable names v0 and V0 are one name: names are the same in upper "
            "and lower case.");
}

// Long names that share their first 32 bytes take the least free numbers in turn, past the
// names the file holds already (of any case), with fewer bytes of the name as the number grows.
TEST(HeaderNames, LongNamesTakeTheLeastFreeNumber) {
  const std::string p32(32, 'p'), p31(31, 'p'), p30(30, 'p'), p29(29, 'p'), p28(28, 'p');
  std::vector<std::string> names = {p31 + "3", p30 + "12"};
  const int n = 5000;
  for (int j = 0; j < n; ++j) names.push_back(p32 + "_" + std::to_string(j));
  HeaderNames h;
  ASSERT_EQ(settle(names, &h), "");
  ASSERT_EQ(h.names.size(), names.size());
  struct Spot {
    size_t at;
    std::string name;
  } spots[] = {
      {0, p31 + "3"},       {2, p32},           {3, p31 + "2"},
      {4, p31 + "4"},  // 3 is the file's
      {9, p31 + "9"},       {10, p30 + "10"},   {11, p30 + "11"},
      {12, p30 + "13"},     {97, p30 + "98"},   {98, p30 + "99"},
      {99, p29 + "100"},    {998, p29 + "999"}, {999, p28 + "1000"},
      {5001, p28 + "5002"},
  };
  for (const Spot& s : spots) EXPECT_EQ(h.names[s.at], s.name) << s.at;
  EXPECT_EQ(h.written[2], p32 + "_0");
  EXPECT_EQ(h.written.back(), p32 + "_" + std::to_string(n - 1));
  EXPECT_EQ(h.written[0], "");
}

// A cut is numbered past the file's short names, and past the cut names before it, whatever
// their case; a name of a cut that is free keeps it.
TEST(HeaderNames, CutNamesMeetEveryNameWithoutCase) {
  const std::string a32(32, 'a'), A31(31, 'A'), b32(32, 'b');
  HeaderNames h;
  ASSERT_EQ(settle({a32 + "1", A31 + "2", a32 + "2", b32 + "x", std::string(32, 'A') + "3"}, &h),
            "");
  EXPECT_EQ(h.names, (std::vector<std::string>{a32, A31 + "2", std::string(31, 'a') + "3", b32,
                                               std::string(31, 'A') + "4"}));
}

TEST(HeaderNames, RowNamesTakeAFreeName) {
  std::vector<std::string> names = {""};
  for (int k = 0; k < 1000; ++k)
    names.push_back(k == 0 ? "_rowname_" : "_ROWNAME_" + std::to_string(k + 1));
  HeaderNames h;
  ASSERT_EQ(settle(names, &h), "");
  EXPECT_EQ(h.rowNames, host::RowNames::kEmptyName);
  EXPECT_EQ(h.names.front(), "_ROWNAME_1001");
}

}  // namespace
}  // namespace vsf::test
