#include "base/strings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace vsf {
namespace {

TEST(ByteStrings, PaddedCompareAndSearch) {
  EXPECT_EQ(zpadcmp("ab", 2, "ab  ", 4), 0);
  EXPECT_EQ(zpadcmp("ab", 2, "abc", 3), -3);
  EXPECT_EQ(zpadcmp("b", 1, "a", 1), 1);
  EXPECT_EQ(zcolcmp("ab", 2, "abc", 3), -3);
  EXPECT_EQ(ztrimlen("ab  ", 4), 2);
  EXPECT_EQ(ztrimlen("    ", 4), 0);
  EXPECT_EQ(zallchr(' ', "", 0), 1);
  EXPECT_EQ(zallchr(' ', "  x", 3), 0);
  EXPECT_EQ(zfindchr("abc", 3, 'c'), 2);
  EXPECT_EQ(zfindchr(nullptr, 3, 'c'), -1);
  EXPECT_EQ(zfindstr("hello", 5, "ll", 0), 2);
  EXPECT_EQ(zfindstr("hello", 5, "", 0), 0);
  EXPECT_EQ(zfindstr("", 0, "x", 1), -1);
  EXPECT_EQ(zverify("aab", 3, "a", 1), 2);
  EXPECT_EQ(zverify("aaa", 3, "a", 1), -1);
  EXPECT_EQ(zverify("abc", 3, "", 0), 0);
}

TEST(ByteStrings, JustifyMovesTextInsideItsField) {
  struct Case {
    const char* in;
    char mode;
    const char* out;
    int length, start;
  } cases[] = {
      {"  ab      ", 'C', "    ab    ", 2, 4}, {"  ab      ", 'L', "ab        ", 2, 0},
      {"  ab      ", 'r', "        ab", 2, 8}, {"  ab      ", 'x', "  ab      ", 2, 2},
      {"          ", 'C', "          ", 0, 0},
  };
  for (const Case& c : cases) {
    char buf[11];
    std::memcpy(buf, c.in, 11);
    int n = -1, s = -1;
    zjustify(buf, 10, c.mode, &n, &s);
    EXPECT_EQ(std::string(buf, 10), c.out) << c.mode;
    EXPECT_EQ(n, c.length);
    EXPECT_EQ(s, c.start);
  }
}

TEST(ByteStrings, CopyPadAndIntegerText) {
  char f[8];
  EXPECT_EQ(zcopypad("abc", 3, f, 5), 3);
  EXPECT_EQ(std::string(f, 5), "abc  ");
  EXPECT_EQ(zcopypad("abcdef", 6, f, ~4), 4);
  EXPECT_STREQ(f, "abcd");
  EXPECT_EQ(zcopypad(nullptr, 3, f, 3), 0);
  EXPECT_EQ(std::string(f, 3), "   ");

  char one[1];
  EXPECT_EQ(zitoa(-5, one, 1), 0x8000200Du);
  EXPECT_EQ(one[0], '*');
  char three[3];
  EXPECT_EQ(zitoa(123, three, 3), 0u);
  EXPECT_EQ(std::string(three, 3), "123");
  char five[5];
  EXPECT_EQ(zitoa(-42, five, 5), 0u);
  EXPECT_EQ(std::string(five, 5), "  -42");
}

TEST(HostNames, UpperCaseAndCaselessEquality) {
  EXPECT_EQ(upperCopy("syn sem"), "SYN SEM");
  EXPECT_EQ(upperCopy("\xC3\xA9t\xC3\xA9"), "\xC3\x89T\xC3\x89");  // été -> ÉTÉ
  EXPECT_TRUE(equalsNoCase("Model", "MODEL"));
  EXPECT_FALSE(equalsNoCase("a@", "a`"));  // '@' and '`' differ by 0x20 but are not letters
  EXPECT_FALSE(equalsNoCase("abc", "abd"));
}

TEST(MissingValues, BitsCodesAndTests) {
  EXPECT_EQ(bitsOf(missingValue('.')), 0xFFFFD10000000000ULL);
  EXPECT_EQ(missingCode(missingValue('A')), 'A');
  EXPECT_EQ(missingCode(1.0), 0);
  EXPECT_TRUE(znotfinite(missingValue('.')));
  EXPECT_TRUE(znotfinite(HUGE_VAL));
  EXPECT_FALSE(znotfinite(1e308));
  double v[3] = {1, 2, missingValue('Z')};
  EXPECT_EQ(zhasmiss(v, 3), 1);
  EXPECT_EQ(zhasmiss(v, 2), 0);
  EXPECT_EQ(zhasmiss(v, 0), 0);
  EXPECT_EQ(zanymiss(v, 3), 1);
  double inf[1] = {HUGE_VAL};
  EXPECT_EQ(zanymiss(inf, 1), 0);  // only the host's patterns count as missing here
}

TEST(MissingValues, KeyOrderIsStrictWeak) {
  // Ascending: '-', '.', 'A', 'Z', '_', '>', then numbers.
  double keys[] = {missingValue('-'),
                   missingValue('.'),
                   missingValue('A'),
                   missingValue('Z'),
                   missingValue('_'),
                   missingValue('>'),
                   -1e300,
                   0.0,
                   2.5};
  const int n = sizeof keys / sizeof keys[0];
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      int expect = i < j ? -1 : (i > j ? 1 : 0);
      EXPECT_EQ(zkeycmp(&keys[i], &keys[j], -1, 0), expect) << i << " " << j;
    }
  int32_t a = 3, b = 7;
  EXPECT_EQ(zkeycmp(&a, &b, 0, 0), -1);
  EXPECT_EQ(zkeycmp("abc", "abd", 2, 0), 0);
  EXPECT_EQ(zkeycmp("abc", "abd", 3, 0), -1);
}

TEST(Numbers, SmallKernels) {
  EXPECT_EQ(fuzzToZero(1e-14, 1.1e-13), 0.0);
  EXPECT_EQ(fuzzToZero(-2e-13, 1.1e-13), -2e-13);
  EXPECT_EQ(bitsOf(fuzzToZero(missingValue('.'), 1)), bitsOf(missingValue('.')));
  EXPECT_EQ(packedElementCount(3), 6);
  EXPECT_EQ(packedElementCount(20000), 200010000);  // 1.6 GB still fits
  EXPECT_EQ(packedElementCount(30000), -1);
  EXPECT_EQ(zimax(3, -4), 3);
  EXPECT_EQ(zimin(3, -4), -4);
  double x[13], y[13];
  double expect = 0;
  for (int i = 0; i < 13; ++i) {
    x[i] = i + 1;
    y[i] = 0.5 * i;
    expect += x[i] * y[i];
  }
  EXPECT_DOUBLE_EQ(zddot(x, y, 13), expect);
  double z[4] = {1, -7, 3, 6};
  EXPECT_EQ(zdamax(z, 4), 7.0);
  EXPECT_EQ(zdamax(z, 0), 0.0);
}

TEST(Numbers, PowerWithStatus) {
  struct Case {
    double x, y, expect;
    int status;
  } cases[] = {
      {-2, 3, -8, 0},
      {2, -2, 0.25, 0},
      {3, 0, 1, 0},
      {5, 1, 5, 0},
      {0, 2, 0, 0},
      {-1, 3, -1, 0},
      {-1, 4, 1, 0},
      {1, 1e300, 1, 0},
      {2, 1e155, NAN, 1},
      {0.5, 1e155, 0, 0},
      {10, 400, NAN, 1},
      {10, -400, 0, 0},
      {2, 0.5, std::sqrt(2.0), 0},
  };
  for (const Case& c : cases) {
    int status = -1;
    double r = zpowchk(c.x, c.y, &status);
    EXPECT_EQ(status, c.status) << c.x << "^" << c.y;
    if (std::isnan(c.expect))
      EXPECT_EQ(bitsOf(r), bitsOf(missingValue('.')));
    else
      EXPECT_DOUBLE_EQ(r, c.expect) << c.x << "^" << c.y;
  }
  int status = 0;
  EXPECT_EQ(bitsOf(zpowchk(0, 0, &status)), bitsOf(missingValue('.')));
  EXPECT_EQ(status, 3);
  EXPECT_EQ(bitsOf(zpowchk(-8, 1.0 / 3, &status)), bitsOf(missingValue('.')));
  EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace vsf
