#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "base/strings.h"
#include "host/output/formats.h"

namespace vsf::host::output {
namespace {

NumberFormat best(int w) { return NumberFormat{FormatKind::kBest, w, 0}; }
NumberFormat fixed(int w, int d) { return NumberFormat{FormatKind::kFixed, w, d}; }
NumberFormat pvalue(int w, int d) { return NumberFormat{FormatKind::kPValue, w, d}; }

TEST(OutputFormats, BestFitKeepsTheMostDigitsThatFit) {
  struct Case {
    double x;
    int width;
    const char* text;
  } cases[] = {
      {0.0, 12, "0"},
      {-0.0, 12, "0"},
      {1, 12, "1"},
      {-3, 4, "-3"},
      {123456789012.0, 12, "123456789012"},
      {1234567890123.0, 12, "1.2345679E12"},  // integer too wide: exponent form
      {999999999999999.0, 16, "999999999999999"},
      {-999999999999999.0, 16, "-999999999999999"},
      {1e15, 16, "1000000000000000"},  // past the whole numbers read as integers
      {0.1 + 0.2, 12, "0.3"},          // rounding noise is not shown
      {2.0 / 3, 12, "0.6666666667"},
      {2.0 / 3, 6, "0.6667"},
      {-2.0 / 3, 6, "-0.667"},
      {0.000012345, 12, "0.000012345"},  // fixed keeps enough digits
      {1e-10, 12, "1E-10"},              // fixed would keep one digit
      {0.00012345, 6, "1.2E-4"},
      {0.001, 5, "0.001"},  // exponent form no better: fixed
      {123456.789, 8, "123456.8"},
      {-1234.56, 6, "-1235"},
      {9999999.7, 7, "1E7"},  // rounding adds a digit
      {1e300, 8, "1E300"},
      {123456789, 2, "**"},  // nothing fits
      {1.5, 0, "1.5"},       // width 0: the default 12
  };
  for (const Case& c : cases)
    EXPECT_EQ(formatNumber(c.x, best(c.width)), c.text) << c.x << " BEST" << c.width;
}

TEST(OutputFormats, FixedAndPValueFormats) {
  struct Case {
    double x;
    NumberFormat f;
    const char* text;
  } cases[] = {
      {3.14159, fixed(8, 2), "3.14"},    {7, fixed(3, 1), "7.0"},
      {-0.001, fixed(5, 2), "0.00"},   // no sign on an all-zero text
      {1e12, fixed(6, 2), "1E12"},     // too wide: best fit in the width
      {12.345, fixed(0, 2), "12.35"},  // natural width
      {0.00001, pvalue(6, 4), "<.0001"}, {0.0, pvalue(6, 4), "<.0001"},
      {0.0123, pvalue(6, 4), "0.0123"},  {1.0, pvalue(6, 4), "1.0000"},
      {0.5, pvalue(0, 3), "0.500"},      {0.0004, pvalue(0, 3), "<.001"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(formatNumber(c.x, c.f), c.text) << c.x << " " << formatName(c.f);
}

// Fixed texts are the exact decimal value rounded to the digits asked, as the C library's
// printf gives it: across magnitudes, at halfway cases, and at many decimals of a huge value.
TEST(OutputFormats, FixedTextsAreTheExactlyRoundedValue) {
  std::mt19937_64 draw(20261209);
  std::uniform_real_distribution<double> exponent(-12, 18), mantissa(-1, 1);
  auto printed = [](double x, int d) {
    std::string s(std::snprintf(nullptr, 0, "%.*f", d, x), ' ');
    std::snprintf(s.data(), s.size() + 1, "%.*f", d, x);
    return s;
  };
  auto check = [&](double x, int d) {
    std::string want = printed(x, d);
    if (want[0] == '-' && want.find_first_not_of("-0.") == std::string::npos) want.erase(0, 1);
    EXPECT_EQ(formatNumber(x, fixed(0, d)), want) << x << " to " << d << " decimals";
  };
  for (int k = 0; k < 20000; ++k)
    check(mantissa(draw) * std::pow(10.0, exponent(draw)), static_cast<int>(draw() % 17));
  for (double x : {0.125, 2.5, -0.5, 1.0005, 0.045, 1e22, 5e-324}) {
    for (int d : {0, 1, 2, 3, 30}) check(x, d);
  }
  // Halves of the last place shown and their neighbours, where the rounding is decided by bits
  // past the product's precision, and products either side of 2^43.
  for (int k = 0; k < 20000; ++k) {
    const int d = static_cast<int>(draw() % 12);
    const double half = (static_cast<double>(draw() % 100000000) + 0.5) / std::pow(10.0, d);
    check(half, d);
    check(std::nextafter(half, 0.0), d);
    check(-std::nextafter(half, 1e300), d);
  }
  for (int d = 0; d < 16; ++d) {
    const double edge = std::ldexp(1.0, 43) / std::pow(10.0, d);
    for (double x : {std::nextafter(edge, 0.0), edge, std::nextafter(edge, 1e300)}) check(x, d);
  }
  check(1.7976931348623157e308, 99);
  check(-1e300, 60);
}

TEST(OutputFormats, MissingAndInfiniteValuesHaveTheirOwnTexts) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double x;
    const char* text;
  } cases[] = {
      {missingValue('.'), "."},
      {missingValue('A'), ".A"},
      {missingValue('_'), "._"},
      {missingValue('I'), "Infty"},
      {missingValue('M'), "-Infty"},
      {missingValue('-'), ""},
      {inf, "Infty"},
      {-inf, "-Infty"},
      {std::numeric_limits<double>::quiet_NaN(), "."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formatNumber(c.x, best(8)), c.text);
    EXPECT_EQ(formatNumber(c.x, fixed(8, 2)), c.text);
    EXPECT_EQ(formatNumber(c.x, pvalue(6, 4)), c.text);
  }
  EXPECT_FALSE(missingText(1.0).has_value());
}

TEST(OutputFormats, FormatNamesReadBack) {
  struct Case {
    const char* in;
    const char* name;  // null: not a format
  } cases[] = {
      {"BEST12.", "BEST12."},
      {"best8.", "BEST8."},
      {"BEST.", "BEST."},
      {"8.2", "8.2"},
      {"F8.2", "8.2"},
      {"2.0", "2.0"},
      {"PVALUE6.4", "PVALUE6.4"},
      {"pvalue.3", "PVALUE.3"},
      {"D6.", "BEST6."},
      {"", nullptr},
      {"XYZ", nullptr},
      {"8", nullptr},
      {"BEST8.x", nullptr},
      {"12.3.4", nullptr},
      {"BEST", nullptr},
  };
  for (const Case& c : cases) {
    auto f = parseFormat(c.in);
    if (!c.name) {
      EXPECT_FALSE(f.has_value()) << c.in;
    } else {
      ASSERT_TRUE(f.has_value()) << c.in;
      EXPECT_EQ(formatName(*f), c.name);
    }
  }
}

}  // namespace
}  // namespace vsf::host::output
