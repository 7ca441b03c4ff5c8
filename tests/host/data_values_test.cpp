// The best format and the reading of numbers from CSV fields.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/strings.h"
#include "common/csv.h"
#include "host/data/best_format.h"
#include "host/data/csv_chunk.h"
#include "host/data/csv_number.h"

namespace vsf::test {
namespace {

using host::formatBest;
using host::parseCell;

// Fixture: tests/reference/host_data_fixtures.py (an independent implementation of the rule).
TEST(BestFormat, MatchesReferenceTable) {
  const Csv t = readCsv("host/best_format.csv");
  for (const auto& row : t.rows)
    EXPECT_EQ(formatBest(std::strtod(row[0].c_str(), nullptr), std::stoi(row[1])), row[2])
        << row[0] << " in width " << row[1];
  EXPECT_GT(t.rows.size(), 90u);
}

TEST(BestFormat, SpecialValues) {
  struct Case {
    double value;
    int width;
    const char* text;
  } cases[] = {
      {missingValue('.'), 12, "."}, {missingValue('A'), 12, "A"},
      {missingValue('_'), 12, "_"}, {-0.0, 12, "0"},
      {HUGE_VAL, 5, "*****"},       {123456.0, 2, "**"},  // not even "1E5" fits
      {123456.0, 3, "1E5"},         {7.0, 1, "7"},
  };
  for (const Case& c : cases) EXPECT_EQ(formatBest(c.value, c.width), c.text) << c.text;
}

// Every finite double reads back from its best text when that text is exact (it fits).
TEST(BestFormat, ExactTextsReadBack) {
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> mant(-10, 10);
  std::uniform_int_distribution<int> ex(-8, 12);
  for (int i = 0; i < 20000; ++i) {
    double x = std::ldexp(mant(gen), ex(gen) * 3);
    x = std::round(x * 1e4) / 1e4;  // mostly short decimals
    std::string s = formatBest(x, 32);
    double back;
    std::string t = s;
    for (char& c : t)
      if (c == 'E') c = 'e';
    std::from_chars(t.data(), t.data() + t.size(), back);
    ASSERT_EQ(back, x) << s;
    ASSERT_LE(s.size(), 32u);
  }
}

TEST(CsvNumber, FieldsTable) {
  struct Case {
    const char* text;
    bool number;
    double value;
    char missing;  // the code when the value is missing
  } cases[] = {
      {"1", true, 1, 0},
      {"-1.5e3", true, -1500, 0},
      {"+2", true, 2, 0},
      {" 3 ", true, 3, 0},
      {".5", true, 0.5, 0},
      {"5.", true, 5, 0},
      {"1E-2", true, 0.01, 0},
      {"0.1", true, 0.1, 0},
      {"123456789012345678901234", true, 1.2345678901234568e23, 0},
      {"1e-400", true, 0, 0},  // underflows to zero
      {"", true, 0, '.'},
      {"  ", true, 0, '.'},
      {".", true, 0, '.'},
      {".A", true, 0, 'A'},
      {".Z", true, 0, 'Z'},
      {"._", true, 0, '_'},
      {".a", false, 0, 0},
      {".AB", false, 0, 0},
      {"1e400", false, 0, 0},
      // Infinities and NaN as R, pandas and spreadsheets write them; NaN is missing.
      {"inf", true, HUGE_VAL, 0},
      {"Inf", true, HUGE_VAL, 0},
      {"-Inf", true, -HUGE_VAL, 0},
      {"+inf", true, HUGE_VAL, 0},
      {" -Infinity ", true, -HUGE_VAL, 0},
      {"INFINITY", true, HUGE_VAL, 0},
      {"nan", true, 0, '.'},
      {"NaN", true, 0, '.'},
      {"-nan", true, 0, '.'},
      {"infinit", false, 0, 0},
      {".inf", false, 0, 0},
      {"1inf", false, 0, 0},
      {"Inf5", false, 0, 0},
      {"nana", false, 0, 0},
      {"--inf", false, 0, 0},
      {"0x10", false, 0, 0},
      {"1.2.3", false, 0, 0},
      {"1e", false, 0, 0},
      {"e1", false, 0, 0},
      {"-", false, 0, 0},
      {"--1", false, 0, 0},
      {"1 000", false, 0, 0},
      {"12a", false, 0, 0},
  };
  for (const Case& c : cases) {
    double v = 0;
    bool ok = parseCell(c.text, &v);
    ASSERT_EQ(ok, c.number) << '"' << c.text << '"';
    if (!ok) continue;
    if (c.missing)
      EXPECT_EQ(missingCode(v), c.missing) << c.text;
    else
      EXPECT_EQ(v, c.value) << c.text;
  }
}

// A double holds the number its text writes when the double written to as many digits gives
// the text's digits (a writer of the double's own digits loses nothing), and the text is not a
// nonzero number read as 0.
TEST(CsvNumber, HeldExactly) {
  const struct {
    const char* text;
    bool held;
  } cases[] = {
      {"9007199254740992", true},
      {"9007199254740993", false},
      {"12345678901234567", false},
      {"123456789012345678", false},
      {"-9007199254740993", false},
      {"0.1", true},
      {"0.30000000000000004", true},
      {"0.30000000000000001", false},
      {"1.0000000000000000000", true},
      {"000123.4500", true},
      {"1e-400", false},
      {"0e-400", true},
      {"0.000", true},
      {"4.9e-324", true},
      {"5e-324", true},
      {"2.2250738585072014e-308", true},
      {" 1e308 ", true},
      {"1e22", true},
      {"1234567890123456789012345678901234567890", false},
      {"32.100000000000001", true},
      {"3.210000000000000142e+01", true},
      {"0.1234567890123456789", false},
      {"NA", true},
      {"Inf", true},
  };
  for (const auto& c : cases) {
    double v = 0;
    ASSERT_TRUE(parseCell(c.text, &v)) << c.text;
    EXPECT_EQ(host::heldExactly(c.text, v), c.held) << c.text;
  }
  // Every double's shortest text is held; one more nonzero digit past it is not.
  std::mt19937_64 gen(5);
  for (int i = 0; i < 20000; ++i) {
    const double x = std::bit_cast<double>((gen() & ~(uint64_t{0x7FF} << 52)) |
                                           (uint64_t{gen() % 2046 + 1} << 52));
    char buf[40];
    const auto end = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific).ptr;
    std::string text(buf, end);
    double v = 0;
    ASSERT_TRUE(parseCell(text, &v)) << text;
    ASSERT_TRUE(host::heldExactly(text, v)) << text;
    const size_t e = text.find('e');
    text.insert(
        e, text.find('.') == std::string::npos ? ".00000000000000000001" : "00000000000000000001");
    ASSERT_TRUE(parseCell(text, &v)) << text;
    ASSERT_FALSE(host::heldExactly(text, v)) << text;
  }
}

// Both readers of a field, the cell's and the piece's (the import's), give strtod's double,
// sign of zero included, on random decimals.
TEST(CsvNumber, AgreesWithStrtod) {
  std::mt19937_64 gen(11);
  std::uniform_int_distribution<int> digits(1, 22), exponent(-330, 310), pick(0, 9);
  std::string column;
  std::vector<double> expectedColumn;
  for (int i = 0; i < 50000; ++i) {
    int sign = pick(gen);
    std::string s = sign < 3 ? "-" : sign < 4 ? "+" : "";
    int n = digits(gen), point = std::uniform_int_distribution<int>(0, n)(gen);
    for (int k = 0; k < n; ++k) {
      if (k == point && k > 0) s += '.';
      s += static_cast<char>('0' + pick(gen));
    }
    if (pick(gen) < 5) s += "e" + std::to_string(exponent(gen));
    double expected = std::strtod(s.c_str(), nullptr);
    double v;
    if (!parseCell(s, &v)) {
      EXPECT_TRUE(std::isinf(expected)) << s;  // only overflow keeps the text
      continue;
    }
    ASSERT_EQ(std::bit_cast<uint64_t>(v), std::bit_cast<uint64_t>(expected)) << s;
    column += s + (i % 2 ? "\n" : "\r\n");
    expectedColumn.push_back(expected);
  }
  host::ParsedPiece piece;
  host::parsePiece(column, 1, {0}, &piece);
  ASSERT_FALSE(piece.error);
  ASSERT_FALSE(piece.columns[0].text);
  ASSERT_EQ(piece.columns[0].numbers.size(), expectedColumn.size());
  for (size_t i = 0; i < expectedColumn.size(); ++i)
    ASSERT_EQ(std::bit_cast<uint64_t>(piece.columns[0].numbers[i]),
              std::bit_cast<uint64_t>(expectedColumn[i]))
        << "row " << i;
}

// The import's check settles every column as the parse that reads the values would: the
// same kind (number or text), the same counts and the same faults, field by field.
TEST(CsvCheck, ChecksAsTheParseReads) {
  const char* fields[] = {
      "1",
      "-0",
      "+1.5",
      "1e5",
      "1E-22",
      "1e-23",
      "1e22",
      "1e23",
      "1.e3",
      ".5",
      "5.",
      "-.5e+2",
      "1e",
      "1e+",
      "e5",
      "1e1234",
      "1e999",
      "0x1p3",
      "-",
      "+",
      "--1",
      "1.2.3",
      "NA",
      ".",
      "",
      ".A",
      "._",
      " 1",
      "1 ",
      "inf",
      "nan",
      "abc",
      "1a",
      "\"2\"",
      "\"a,b\"",
      "12345678901234",
      "123456789012345",
      "1234567890123456",
      "12345678901234567890",
      "0.0000000000000000001",
      "00012",
      "1e-0",
      "1e+000",
      "1e0000",
  };
  for (const char* f : fields) {
    // Alone, then after a number and before one, so that a column turns character mid-piece.
    for (const std::string& text : {std::string(f) + "\n", "7\n" + std::string(f) + "\n8\r\n",
                                    "7,\n" + std::string(f) + ",x\n"}) {
      SCOPED_TRACE("[" + text + "]");
      const int columns = text.find(',') == std::string::npos ? 1 : 2;
      host::ParsedPiece parsed, checked;
      const std::vector<char> none(static_cast<size_t>(columns), 0);
      host::parsePiece(text, columns, none, &parsed);
      host::checkPiece(text, columns, none, &checked);
      ASSERT_EQ(parsed.error.fault, checked.error.fault);
      ASSERT_EQ(parsed.rows, checked.rows);
      EXPECT_EQ(parsed.rowStarts, checked.rowStarts);
      for (int j = 0; j < columns; ++j) {
        const host::ColumnPiece &p = parsed.columns[static_cast<size_t>(j)],
                                &c = checked.columns[static_cast<size_t>(j)];
        EXPECT_EQ(p.text, c.text);
        EXPECT_EQ(p.longest, c.longest);
        EXPECT_EQ(p.numberTexts, c.numberTexts);
        EXPECT_EQ(p.otherTexts, c.otherTexts);
        EXPECT_TRUE(c.numbers.empty());
      }
    }
  }
}

// A parse of some columns keeps exactly what the whole parse keeps of them.
TEST(CsvCheck, ColumnsAskedForAreParsedAlone) {
  const std::string text = "1,\"a,b\",3.5,x\n,\"c\"\"d\",-2,y\n4,e,.,z\n";
  const std::vector<char> texts = {0, 1, 0, 1};
  host::ParsedPiece whole;
  host::parsePiece(text, 4, texts, &whole);
  ASSERT_FALSE(whole.error);
  for (const std::vector<char>& wanted : std::vector<std::vector<char>>{
           {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 1}, {0, 0, 0, 0}, {1, 1, 1, 1}}) {
    host::ParsedPiece some;
    host::parsePiece(text, 4, texts, &some, &wanted);
    ASSERT_FALSE(some.error);
    ASSERT_EQ(some.rows, 3);
    for (size_t j = 0; j < 4; ++j) {
      const host::ColumnPiece &w = whole.columns[j], &c = some.columns[j];
      EXPECT_EQ(c.skipped, !wanted[j]) << j;
      if (!wanted[j]) {
        EXPECT_TRUE(c.numbers.empty() && c.offsets.empty() && c.bytes.empty()) << j;
        continue;
      }
      EXPECT_EQ(c.text, w.text) << j;
      EXPECT_EQ(c.bytes, w.bytes) << j;
      EXPECT_EQ(c.offsets, w.offsets) << j;
      ASSERT_EQ(c.numbers.size(), w.numbers.size()) << j;
      for (size_t i = 0; i < c.numbers.size(); ++i)
        EXPECT_EQ(std::bit_cast<uint64_t>(c.numbers[i]), std::bit_cast<uint64_t>(w.numbers[i]));
    }
  }
}

}  // namespace
}  // namespace vsf::test
