// The quick test of records of plain numbers: it takes only what the field-by-field reader takes
// as plain numbers, wherever the 64-byte blocks cut a record.
#include "host/data/csv_plain_record.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <string>
#include <vector>

#include "host/data/csv_chunk.h"
#include "host/data/csv_number.h"

namespace vsf::test {
namespace {

constexpr size_t kNo = std::string_view::npos;

size_t endOf(const std::string& text, int columns) {
  return host::plainRecordEnd(text, 0, columns);
}

TEST(PlainRecord, TakesPlainNumbersAndLeavesTheRest) {
  EXPECT_EQ(endOf("1,-2.5,+.5,5.\n9", 4), 14u);  // after the line end
  EXPECT_EQ(endOf("1,2", 2), 3u);                // the text's end
  EXPECT_EQ(endOf("123456789012345\n", 1), 16u);
  EXPECT_EQ(endOf("-1234567.12345678\n", 1), 18u);  // 15 digits
  for (const char* left :
       {"1234567890123456\n", "1.2.3\n", "1-2\n", "-\n", ".\n", "\n", "1,\n", ",1\n", "1,,2\n",
        "1e5\n", "1\r\n", "\"1\"\n", " 1\n", "NA\n", "1,2\n", "--1\n"}) {
    SCOPED_TRACE(left);
    EXPECT_EQ(endOf(left, 1), kNo);
  }
  EXPECT_EQ(endOf("1,2,3\n", 2), kNo);  // ragged both ways
  EXPECT_EQ(endOf("1,2\n", 3), kNo);
}

// Fields of every width placed so that commas, signs and points fall on every byte of the
// blocks, the record long enough to span several: the check keeps the rows, lines, kinds and
// faults of the parse, which reads field by field.
TEST(PlainRecord, ChecksAsTheParseAcrossBlocks) {
  std::mt19937 rng(11);
  const std::vector<std::string> odd = {
      "1e5", "\"3\"", "", "NA", "1.2.3", "x", "-", "1-2", "1234567890123456", "1\r"};
  const std::string letters = "ab -.+9xZ";
  for (int shift = 0; shift < 70; ++shift) {
    for (int trial = 0; trial < 8; ++trial) {
      const int columns = 3 + static_cast<int>(rng() % 40);
      // Trials 6 and 7 read some columns as texts: anything but quotes goes without the walk.
      std::vector<char> texts(static_cast<size_t>(columns), 0);
      for (char& t : texts) t = trial >= 6 && rng() % 3 == 0;
      std::string text;
      const int rows = 3;
      for (int r = 0; r < rows; ++r) {
        for (int j = 0; j < columns; ++j) {
          std::string f = j == 0 && r == 0 ? std::string(static_cast<size_t>(shift) + 1, '7') : "";
          if (f.size() > 15) f = f.substr(0, 15);
          if (texts[static_cast<size_t>(j)]) {
            f.clear();
            for (int n = static_cast<int>(rng() % 9); n > 0; --n)
              f += letters[rng() % letters.size()];
            if (trial == 7 && rng() % 20 == 0) f = (rng() % 2 ? "\"q,\"\"" : "\"q\"\"") + f + "\"";
          } else if (f.empty()) {
            const int digits = 1 + static_cast<int>(rng() % 16);
            if (rng() % 2) f += rng() % 2 ? "-" : "+";
            for (int d = 0; d < digits; ++d) f += static_cast<char>('0' + rng() % 10);
            if (rng() % 3 == 0) f.insert(f.size() - rng() % (digits + 1), ".");
          }
          if (trial == 5 && rng() % 50 == 0) f = odd[rng() % odd.size()];
          text += f;
          if (j + 1 < columns) text += ',';
        }
        if (trial == 4 && r == 1 && rng() % 2) text += ",4";  // a ragged row
        if (r + 1 < rows || trial % 2) text += trial == 7 && r == 0 ? "\r\n" : "\n";
      }
      SCOPED_TRACE("[" + text + "]");
      host::ParsedPiece parsed, checked;
      host::parsePiece(text, columns, texts, &parsed);
      host::checkPiece(text, columns, texts, &checked);
      ASSERT_EQ(parsed.error.fault, checked.error.fault);
      EXPECT_EQ(parsed.error.line, checked.error.line);
      EXPECT_EQ(parsed.error.column, checked.error.column);
      ASSERT_EQ(parsed.rows, checked.rows);
      EXPECT_EQ(parsed.lines, checked.lines);
      EXPECT_EQ(parsed.rowStarts, checked.rowStarts);
      for (int j = 0; j < columns && !parsed.error; ++j) {
        const host::ColumnPiece &a = parsed.columns[static_cast<size_t>(j)],
                                &b = checked.columns[static_cast<size_t>(j)];
        EXPECT_EQ(a.text, b.text) << j;
        EXPECT_EQ(a.bytes, b.bytes) << j;
        EXPECT_EQ(a.offsets, b.offsets) << j;
        EXPECT_EQ(a.longest, b.longest) << j;
        EXPECT_EQ(a.numberTexts, b.numberTexts) << j;
        EXPECT_EQ(a.otherTexts, b.otherTexts) << j;
      }
    }
  }
}

// A record after a line of nines: fields of every length up to past 15 digits, stray signs,
// points and bytes, empty fields, text columns holding anything, sometimes a field too many
// or one asked for too many, often a record after it.
struct RandomRecord {
  std::string text;
  size_t pos = 0;
  int asked = 0;
  std::vector<char> texts;  // per column asked for
};

RandomRecord randomRecord(std::mt19937& rng, bool withTexts) {
  static const std::vector<std::string> odd = {"",   "-",     "+",     ".",   "-.",  "+.5",
                                               "5.", ".5",    "1.2.3", "1-2", "--1", "1e5",
                                               "x",  "\"1\"", "1\r",   " 1",  "-0"};
  static const std::string letters = "ab -.+9xZ";
  RandomRecord r;
  const int columns = 1 + static_cast<int>(rng() % 30);
  r.texts.assign(static_cast<size_t>(columns), 0);
  for (char& t : r.texts) t = withTexts && rng() % 3 == 0;
  std::string& text = r.text;
  text.assign(rng() % 70, '9');
  text += text.empty() ? "" : "\n";
  r.pos = text.size();
  for (int j = 0; j < columns; ++j) {
    std::string f;
    if (r.texts[static_cast<size_t>(j)]) {
      for (int k = static_cast<int>(rng() % 24); k > 0; --k) f += letters[rng() % letters.size()];
      if (rng() % 40 == 0) f += rng() % 2 ? "\"" : "\r";
    } else if (rng() % 12 == 0) {
      f = odd[rng() % odd.size()];
    } else {
      const int digits = 1 + static_cast<int>(rng() % (rng() % 4 == 0 ? 18 : 8));
      if (rng() % 3 == 0) f += rng() % 2 ? "-" : "+";
      for (int d = 0; d < digits; ++d) f += static_cast<char>('0' + rng() % 10);
      if (rng() % 2) f.insert(f.size() - rng() % (digits + 1), ".");
    }
    text += f;
    if (j + 1 < columns) text += ',';
  }
  if (rng() % 10 == 0) text += ",7";  // one field too many
  if (rng() % 4) text += "\n1,2";
  r.asked = rng() % 20 == 0 ? columns + 1 : columns;
  r.texts.resize(static_cast<size_t>(r.asked), 0);
  return r;
}

// The check on the processor's bit masks takes exactly the records the field-by-field one
// takes, and finds the same field ends: fields of every length up to past 15 digits, stray
// signs, points and bytes, empty fields, text columns holding anything, records cut by the
// text's end, wherever the 64-byte blocks fall.
TEST(PlainRecord, TheWideCheckTakesWhatTheBaselineTakes) {
  if (!host::wideRecordCheck()) GTEST_SKIP() << "the processor lacks AVX-512 or BMI2";
  std::mt19937 rng(29);
  int taken[2] = {0, 0};
  for (int trial = 0; trial < 40000; ++trial) {
    const bool withTexts = trial % 2;
    const RandomRecord r = randomRecord(rng, withTexts);
    const std::string& text = r.text;
    const size_t pos = r.pos;
    const int asked = r.asked;
    std::vector<char> texts = r.texts;
    std::vector<size_t> wideEnds(static_cast<size_t>(asked)), ends(wideEnds.size());
    const size_t wide =
        withTexts ? host::plainRecordEndWide(text, pos, asked, texts.data(), wideEnds.data())
                  : host::plainRecordEndWide(text, pos, asked);
    const size_t baseline =
        withTexts ? host::plainRecordEndBaseline(text, pos, asked, texts.data(), ends.data())
                  : host::plainRecordEndBaseline(text, pos, asked);
    ASSERT_EQ(wide, baseline) << "[" << text << "]";
    if (wide != kNo && withTexts) {
      ASSERT_EQ(wideEnds, ends) << "[" << text << "]";
    }
    taken[withTexts] += wide != kNo;
  }
  EXPECT_GT(taken[0], 3000);  // both answers came often, with and without texts
  EXPECT_GT(taken[1], 3000);
}

// The wide read of a record takes the records the check takes and finds the same field ends;
// it pushes every number exactly as the field-by-field reader makes it, and leaves the
// columns as they were when it does not take the record.
TEST(PlainRecord, TheWideReadGivesTheReadersNumbers) {
  if (!host::wideRecordCheck()) GTEST_SKIP() << "the processor lacks AVX-512 or BMI2";
  std::mt19937 rng(31);
  int taken = 0;
  for (int trial = 0; trial < 40000; ++trial) {
    const RandomRecord r = randomRecord(rng, trial % 2 == 1);
    const size_t n = static_cast<size_t>(r.asked);
    std::vector<std::vector<double>> columns(n, std::vector<double>{0.5});
    std::vector<std::vector<double>*> into(n, nullptr);
    for (size_t j = 0; j < n; ++j)
      if (!r.texts[j]) into[j] = &columns[j];
    std::vector<size_t> wideEnds(n), ends(n);
    const size_t wide =
        host::plainRecordIntoWide(r.text, r.pos, r.asked, into.data(), wideEnds.data());
    ASSERT_EQ(wide,
              host::plainRecordEndBaseline(r.text, r.pos, r.asked, r.texts.data(), ends.data()))
        << "[" << r.text << "]";
    for (size_t j = 0; j < n; ++j)
      ASSERT_EQ(columns[j].size(), wide == kNo || r.texts[j] ? 1u : 2u) << "[" << r.text << "]";
    if (wide == kNo) continue;
    ++taken;
    ASSERT_EQ(wideEnds, ends) << "[" << r.text << "]";
    for (size_t j = 0; j < n; ++j) {
      if (r.texts[j]) continue;
      const size_t begin = j == 0 ? r.pos : ends[j - 1] + 1;
      const std::string field = r.text.substr(begin, ends[j] - begin);
      double want = 0;
      ASSERT_TRUE(host::parseCell(field, &want)) << field;
      EXPECT_EQ(std::bit_cast<uint64_t>(columns[j][1]), std::bit_cast<uint64_t>(want)) << field;
    }
  }
  EXPECT_GT(taken, 4000);
}

}  // namespace
}  // namespace vsf::test
