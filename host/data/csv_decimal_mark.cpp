#include "host/data/csv_decimal_mark.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "host/data/csv_fields.h"
#include "host/data/csv_number.h"
#include "host/data/table.h"

namespace vsf::host {

namespace {

// What a value is, as far as the decimal mark goes. kNone: a number without a mark (an
// integer, 1e5, Inf); kMissing: a missing value ("", ".", NA, .A).
enum class Mark { kNone, kMissing, kComma, kPoint, kOther };

// Inlined: the pass over a large file calls it for every value.
[[gnu::always_inline]] inline Mark markOf(std::string_view value, std::string* scratch) {
  size_t commas = 0, points = 0, digits = 0, others = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c >= '0' && c <= '9')
      ++digits;
    else if (c == ',')
      ++commas;
    else if (c == '.')
      ++points;
    else if (i > 0 || (c != '-' && c != '+'))
      ++others;
  }
  // [+-]digits[,digits]: most values, told by their characters alone.
  if (points == 0 && digits > 0 && others == 0 && commas <= 1)
    return commas ? Mark::kComma : Mark::kNone;
  double x;
  if (commas == 0) {
    if (!parseCell(value, &x)) return Mark::kOther;
    if (std::isnan(x)) return Mark::kMissing;
    return points > 0 ? Mark::kPoint : Mark::kNone;
  }
  // A comma needs digits around it, and no point beside it (1.234,5 is no number).
  if (commas > 1 || points > 0 || digits == 0) return Mark::kOther;
  scratch->assign(value);
  std::replace(scratch->begin(), scratch->end(), ',', '.');
  return parseCell(*scratch, &x) && !std::isnan(x) ? Mark::kComma : Mark::kOther;
}

// A quoted value is no witness: the writers that quote a number also quote every text
// (write.csv2, write.table), and "1.5" is then a text, as their readers read it.
inline void noteMark(Mark m, const RawField& f, std::string_view value, size_t column,
                     DecimalMarks* marks) {
  if ((m != Mark::kComma && m != Mark::kPoint) || f.quoted) return;
  MarkedNumber& first = m == Mark::kComma ? marks->comma : marks->point;
  if (first.line == 0) first = MarkedNumber{std::string(value), f.line, column};
}

// The rows' count of values: the header's, or one more when the first row leads with R's
// row names.
size_t rowWidth(FieldReader r, size_t header) {
  size_t row = 0;
  while (!r.done()) {
    ++row;
    if (r.next().lastOfRecord) break;
  }
  return row == header + 1 ? row : header;
}

// Calls `take(column, field, value)` for every value of the rows of `text` within the rows'
// count of values; blank lines are passed over.
template <typename Take>
void forEachValue(std::string_view text, char separator, Take take) {
  size_t count = 0;
  FieldReader r = afterHeader(text, separator, &count);
  count = rowWidth(r, count);
  std::string scratch;
  for (size_t j = 0; !r.done();) {
    const RawField f = r.next();
    const bool blankLine = j == 0 && f.lastOfRecord && f.raw.empty();
    if (j < count && !blankLine) take(j, f, valueOf(f, &scratch));
    j = f.lastOfRecord ? 0 : j + 1;
  }
}

// The name a column of the rows is read under, for an error: the header's name without its
// blanks, or the row names' column.
std::string columnName(std::string_view text, char separator, size_t column) {
  size_t count = 0;
  const FieldReader rows = afterHeader(text, separator, &count);
  const size_t shift = rowWidth(rows, count) - count;  // 1 when the header lacks the row names'
  if (column < shift) return kRowNamesVariable;
  FieldReader r(text, separator);
  std::string scratch;
  for (size_t j = 0; !r.done(); ++j) {
    const RawField f = r.next();
    if (j + shift == column) {
      const std::string_view name = trimBlanks(valueOf(f, &scratch));
      if (name.empty()) return column == 0 ? kRowNamesVariable : "?";
      return std::string(name);
    }
    if (f.lastOfRecord) break;
  }
  return "?";
}

}  // namespace

DecimalMarks sampleMarks(std::string_view text, char separator, bool whole) {
  if (!whole) text = text.substr(0, text.rfind('\n') + 1);
  DecimalMarks marks;
  std::string scratch;
  forEachValue(text, separator, [&](size_t j, const RawField& f, std::string_view value) {
    noteMark(markOf(value, &scratch), f, value, j, &marks);
  });
  return marks;
}

std::vector<CommaColumn> commaColumns(std::string_view text, char separator, DecimalMarks* marks) {
  size_t count = 0;
  const FieldReader rows = afterHeader(text, separator, &count);
  std::vector<CommaColumn> columns(rowWidth(rows, count));
  std::string scratch;
  forEachValue(text, separator, [&](size_t j, const RawField& f, std::string_view value) {
    const Mark m = markOf(value, &scratch);
    noteMark(m, f, value, j, marks);
    CommaColumn& c = columns[j];
    if (m == Mark::kMissing) return;
    ++(m == Mark::kOther ? c.otherValues : c.numberValues);
    if (m == Mark::kNone || m == Mark::kComma || !c.numbers) return;
    c.numbers = false;
    c.firstOther = std::string(value);
    c.firstOtherLine = f.line;
  });
  return columns;
}

bool commaDecimal(std::string_view value) {
  std::string scratch;
  return markOf(value, &scratch) == Mark::kComma;
}

std::string mixedMarks(const std::string& file, std::string_view text, char separator,
                       const DecimalMarks& marks) {
  const bool pointLater = std::pair(marks.point.line, marks.point.column) >
                          std::pair(marks.comma.line, marks.comma.column);
  const MarkedNumber& later = pointLater ? marks.point : marks.comma;
  const MarkedNumber& earlier = pointLater ? marks.comma : marks.point;
  const char* laterMark = pointLater ? "point" : "comma";
  const char* earlierMark = pointLater ? "comma" : "point";
  return fmt::format(
      "File \"{}\", line {}, variable {}: the number \"{}\" is written with a decimal {}, but "
      "\"{}\" on line {} (variable {}) with a decimal {}: the numbers of a file are read with "
      "one decimal mark. Write every number with the same mark.",
      file, later.line, columnName(text, separator, later.column), later.value, laterMark,
      earlier.value, earlier.line, columnName(text, separator, earlier.column), earlierMark);
}

}  // namespace vsf::host
