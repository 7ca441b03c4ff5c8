// The CSV tokenizer (RFC 4180: quoted fields may hold commas, line ends and doubled quotes;
// a quote inside an unquoted field is an error) and the conversion of a piece into columns.
#include "host/data/csv_chunk.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "frame/host/values.h"
#include "host/data/csv_number.h"
#include "host/data/csv_plain_record.h"

namespace vsf::host {

namespace {

// A field of the piece: its bytes (inside the quotes when quoted).
struct Span {
  uint32_t begin = 0;
  uint32_t length = 0;
  bool doubled = false;  // holds doubled quotes to undo
};

struct Field {
  size_t begin = 0, end = 0;  // the field's bytes
  bool doubled = false;
  size_t next = 0;  // position after the field's delimiter
  bool lastOfRecord = false;
};

inline bool lineEndAt(std::string_view t, size_t p) {
  return p < t.size() && (t[p] == '\n' || (t[p] == '\r' && p + 1 < t.size() && t[p + 1] == '\n'));
}

// Reads the field at p. Returns false and sets the error's fault when the field is bad.
bool readField(std::string_view t, size_t p, Field* f, int64_t* lines, CsvError* error) {
  const size_t n = t.size();
  if (p < n && t[p] == '"') {
    size_t q = p + 1;
    for (;;) {
      const void* hit = q < n ? std::memchr(t.data() + q, '"', n - q) : nullptr;
      size_t c = hit ? static_cast<size_t>(static_cast<const char*>(hit) - t.data()) : n;
      *lines += std::count(t.data() + q, t.data() + c, '\n');
      if (c == n) {
        error->fault = CsvFault::kOpenQuote;
        return false;
      }
      if (c + 1 < n && t[c + 1] == '"') {
        f->doubled = true;
        q = c + 2;
        continue;
      }
      f->begin = p + 1;
      f->end = c;
      p = c + 1;
      break;
    }
    if (p < n && t[p] != ',' && !lineEndAt(t, p)) {
      error->fault = f->end > f->begin && t[f->end - 1] == '\\' ? CsvFault::kEscapedQuote
                     : t[p] == ' '                              ? CsvFault::kBlankAfterQuote
                                                                : CsvFault::kAfterQuote;
      return false;
    }
  } else {
    f->begin = p;
    while (p < n) {
      char c = t[p];
      if (c == ',' || c == '\n' || c == '"') break;
      ++p;
    }
    if (p < n && t[p] == '"') {
      error->fault = CsvFault::kStrayQuote;
      return false;
    }
    f->end = p;
    if (f->end > f->begin && t[f->end - 1] == '\r' && (p == n || t[p] == '\n')) --f->end;
  }
  if (p >= n) {
    f->lastOfRecord = true;
    f->next = n;
  } else if (t[p] == ',') {
    f->lastOfRecord = false;
    f->next = p + 1;
  } else {  // '\n' or "\r\n"
    f->lastOfRecord = true;
    f->next = p + (t[p] == '\r' ? 2 : 1);
    ++*lines;
  }
  return true;
}

// Skips blank lines; returns the position of the next record.
size_t skipBlankLines(std::string_view t, size_t p, int64_t* lines) {
  while (lineEndAt(t, p)) {
    p += t[p] == '\r' ? 2 : 1;
    ++*lines;
  }
  return p;
}

std::string_view spanText(std::string_view t, const Span& s) { return t.substr(s.begin, s.length); }

void appendText(std::string_view t, const Span& s, std::string* bytes) {
  std::string_view v = spanText(t, s);
  if (!s.doubled) {
    bytes->append(v);
    return;
  }
  for (size_t i = 0; i < v.size(); ++i) {
    bytes->push_back(v[i]);
    if (v[i] == '"') ++i;  // the second quote of a pair
  }
}

// A plain number ([+-]digits[.digits][(e|E)[+-]digits], at most 18 digits) followed by a
// delimiter, read exactly as parseCell reads it; false for anything else, which then takes
// the general path. Most fields of most files end here.
inline bool fastNumber(const char* s, const char* end, double* value, const char** stop) {
  static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  // The sign is taken without a branch: it is a coin toss in most data.
  const char* p = s;
  const bool negative = p < end && *p == '-';
  p += p < end && (*p == '-' || *p == '+');
  uint64_t m = 0;
  int digits = 0, exp10 = 0;
  for (; p < end && static_cast<unsigned>(*p - '0') < 10; ++p, ++digits)
    m = m * 10 + static_cast<unsigned>(*p - '0');
  if (p < end && *p == '.')
    for (++p; p < end && static_cast<unsigned>(*p - '0') < 10; ++p, ++digits, --exp10)
      m = m * 10 + static_cast<unsigned>(*p - '0');
  if (digits == 0 || digits > 18) return false;
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool negExp = false;
    if (p < end && (*p == '+' || *p == '-')) negExp = *p++ == '-';
    int e = 0, n = 0;
    for (; p < end && static_cast<unsigned>(*p - '0') < 10 && n < 4; ++p, ++n)
      e = e * 10 + (*p - '0');
    if (n == 0 || n == 4) return false;
    exp10 += negExp ? -e : e;
  }
  if (p < end && *p != ',' && *p != '\n' && !(*p == '\r' && p + 1 < end && p[1] == '\n'))
    return false;
  if (m > (uint64_t{1} << 53) || exp10 < -22 || exp10 > 22) return false;
  double v = static_cast<double>(m);
  v = exp10 >= 0 ? v * kPow10[exp10] : v / kPow10[-exp10];
  *value = std::bit_cast<double>(std::bit_cast<uint64_t>(v) | (uint64_t{negative} << 63));
  *stop = p;
  return true;
}

// A plain number of at most 15 digits and an exponent of ten within 22 (which fastNumber
// reads) followed by a delimiter: where it stops, or null for anything else (which then takes
// the general path). Only checks: no digit chain to wait on.
inline const char* plainNumberEnd(const char* p, const char* end) {
  p += p < end && (*p == '-' || *p == '+');
  const char* first = p;
  while (p < end && static_cast<unsigned>(*p - '0') < 10) ++p;
  int digits = static_cast<int>(p - first), fraction = 0;
  if (p < end && *p == '.') {
    const char* point = ++p;
    while (p < end && static_cast<unsigned>(*p - '0') < 10) ++p;
    fraction = static_cast<int>(p - point);
    digits += fraction;
  }
  if (digits == 0 || digits > 15) return nullptr;
  int e = 0;
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool negExp = p < end && *p == '-';
    p += p < end && (*p == '+' || *p == '-');
    const char* from = p;
    for (; p < end && static_cast<unsigned>(*p - '0') < 10 && p - from < 3; ++p)
      e = e * 10 + (*p - '0');
    if (p == from || (p < end && static_cast<unsigned>(*p - '0') < 10)) return nullptr;
    e = negExp ? -e : e;
  }
  if (e - fraction < -22 || e - fraction > 22) return nullptr;
  if (p < end && *p != ',' && *p != '\n' && !(*p == '\r' && p + 1 < end && p[1] == '\n'))
    return nullptr;
  return p;
}

// The piece being parsed: numbers go straight to their columns; a column keeps the spans of
// its fields once a field of it is not a number. A check keeps no numbers.
class PieceParser {
 public:
  PieceParser(std::string_view t, int columns, const std::vector<char>& forceText, ParsedPiece* out,
              const std::vector<char>* wanted, bool check)
      : t_(t),
        check_(check),
        columns_(columns),
        isText_(forceText),
        keep_(wanted ? *wanted : std::vector<char>(static_cast<size_t>(columns), 1)),
        spans_(static_cast<size_t>(columns)),
        out_(out) {
    // The piece's vectors keep their room from the last batch: no new pages to fault in.
    out->rows = out->lines = 0;
    out->error = CsvError{};
    out->rowStarts.clear();
    out->columns.resize(static_cast<size_t>(columns));
    keep_.resize(static_cast<size_t>(columns), 0);
    for (size_t j = 0; j < out->columns.size(); ++j) {
      ColumnPiece& c = out->columns[j];
      c.skipped = !keep_[j];
      c.text = false;
      c.numbers.clear();
      c.offsets.clear();
      c.bytes.clear();
      c.longest = 0;
      c.numberTexts = c.otherTexts = 0;
      c.firstOtherLine = -1;
      c.firstOther.clear();
      c.firstInexactLine = -1;
      c.firstInexact.clear();
      c.rewritten = false;
    }
  }

  void run() {
    size_t p = 0;
    const size_t n = t_.size();
    while ((p = skipBlankLines(t_, p, &out_->lines)) < n) {
      out_->rowStarts.push_back(static_cast<uint32_t>(p));
      rowLines_.push_back(out_->lines);
      if (!record(&p)) return;
      ++out_->rows;
    }
    for (int j = 0; j < columns_; ++j)
      if (isText_[static_cast<size_t>(j)] && keep_[static_cast<size_t>(j)]) fillText(j);
  }

 private:
  // Reads the record at *p; false after setting the error.
  bool record(size_t* p) {
    if (check_ && plainRecord(p)) return true;
    if (!check_ && wide_ && numbersRecord(p)) return true;
    const int64_t recordLine = out_->lines;
    int field = 0;
    for (;;) {
      size_t j = static_cast<size_t>(field);
      const bool inRecord = field < columns_;
      const bool wanted = inRecord && keep_[j];
      if (wanted && !isText_[j]) {
        double v;
        const char* stop = nullptr;
        if (check_) {
          stop = plainNumberEnd(t_.data() + *p, t_.data() + t_.size());
        } else if (fastNumber(t_.data() + *p, t_.data() + t_.size(), &v, &stop)) {
          out_->columns[j].numbers.push_back(v);
        }
        if (stop) {
          *p = static_cast<size_t>(stop - t_.data());
          ++field;
          if (*p < t_.size() && t_[*p] == ',') {
            ++*p;
            continue;
          }
          if (*p < t_.size()) {
            *p += t_[*p] == '\r' ? 2 : 1;
            ++out_->lines;
          }
          break;
        }
      }
      Field f;
      if (!readField(t_, *p, &f, &out_->lines, &out_->error)) {
        out_->error.line = out_->error.fault == CsvFault::kOpenQuote ? recordLine : out_->lines;
        out_->error.column = inRecord ? field : -1;
        return false;
      }
      if (wanted)
        keep(j, Span{static_cast<uint32_t>(f.begin), static_cast<uint32_t>(f.end - f.begin),
                     f.doubled});
      ++field;
      *p = f.next;
      if (f.lastOfRecord) break;
    }
    if (field != columns_) {
      out_->error =
          CsvError{CsvFault::kRagged, recordLine, field < columns_ ? field : columns_ - 1, field};
      return false;
    }
    return true;
  }

  // Only checking: a record of plain numbers, and of texts without quotes in the text
  // columns, needs no field-by-field walk; the texts' spans are kept. False when the record is
  // not one (it is then read field by field).
  bool plainRecord(size_t* p) {
    listColumns();
    const size_t end = plainColumns_
                           ? plainRecordEnd(t_, *p, columns_)
                           : plainRecordEnd(t_, *p, columns_, isText_.data(), ends_.data());
    if (end == std::string_view::npos) return false;
    takeRecord(p, end);
    return true;
  }

  // Reading: a record of plain numbers (and of texts without quotes in the text columns) is
  // read at once, its fields found together and each number converted on its own. False when
  // the record is not one (it is then read field by field).
  bool numbersRecord(size_t* p) {
    listColumns();
    const size_t end = plainRecordIntoWide(t_, *p, columns_, into_.data(), ends_.data());
    if (end == std::string_view::npos) return false;
    takeRecord(p, end);
    return true;
  }

  // The kept text columns and each column's numbers, listed once the columns' kinds are known.
  void listColumns() {
    if (listed_) return;
    listed_ = true;
    textColumns_.clear();
    into_.assign(static_cast<size_t>(columns_), nullptr);
    ends_.resize(into_.size());
    for (size_t j = 0; j < into_.size(); ++j) {
      if (!keep_[j]) continue;
      if (isText_[j])
        textColumns_.push_back(j);
      else
        into_[j] = &out_->columns[j].numbers;
    }
  }

  // A record found whole, its fields' ends in ends_: its texts' spans are kept (a text field
  // starts after the field before it ends, so only the text columns are visited).
  void takeRecord(size_t* p, size_t end) {
    for (const size_t j : textColumns_) {
      const size_t begin = j == 0 ? *p : ends_[j - 1] + 1;
      keep(j, Span{static_cast<uint32_t>(begin), static_cast<uint32_t>(ends_[j] - begin), false});
    }
    out_->lines += t_[end - 1] == '\n';
    *p = end;
  }

  void keep(size_t j, const Span& s) {
    if (!isText_[j]) {
      double v;
      if (parseCell(spanText(t_, s), &v)) {
        if (!check_)
          out_->columns[j].numbers.push_back(v);
        else
          checkDigits(&out_->columns[j], spanText(t_, s), v);
        return;
      }
      becomeText(j);
    }
    spans_[j].push_back(s);
  }

  // Notes the column's first number whose digits its double does not hold, and whether the
  // shortest text of some value would not give it back. Only the values the plain paths leave
  // come here, long numbers among them (those take at most 15 digits).
  void checkDigits(ColumnPiece* c, std::string_view text, double v) {
    if (c->firstInexactLine >= 0) return;
    if (!heldExactly(text, v)) {
      c->firstInexactLine = rowLines_.back();
      c->firstInexact = std::string(text);
      c->rewritten = true;
    } else if (!c->rewritten) {
      c->rewritten = !shortestGivesBack(text, v);
    }
  }

  // The column has a field that is not a number: collect the spans of its earlier fields.
  void becomeText(size_t j) {
    isText_[j] = 1;
    plainColumns_ = false;
    listed_ = false;
    out_->columns[j].numbers.clear();
    for (size_t r = 0; r + 1 < out_->rowStarts.size(); ++r) {
      size_t p = out_->rowStarts[r];
      int64_t lines = 0;
      CsvError ignored;
      Field f;
      for (size_t k = 0; k <= j; ++k) {
        readField(t_, p, &f, &lines, &ignored);
        p = f.next;
      }
      spans_[j].push_back(
          Span{static_cast<uint32_t>(f.begin), static_cast<uint32_t>(f.end - f.begin), f.doubled});
    }
  }

  void fillText(int j) {
    ColumnPiece& c = out_->columns[static_cast<size_t>(j)];
    const std::vector<Span>& spans = spans_[static_cast<size_t>(j)];
    const bool digits = isText_[static_cast<size_t>(j)] == kReadDigits;
    c.text = !digits;
    c.numbers.clear();
    c.offsets.resize(spans.size() + 1);
    c.offsets[0] = 0;
    for (size_t i = 0; i < spans.size(); ++i) {
      if (!bareMissing(spans[i])) appendText(t_, spans[i], &c.bytes);
      uint32_t end = static_cast<uint32_t>(c.bytes.size());
      c.longest = std::max(c.longest, end - c.offsets[i]);
      c.offsets[i + 1] = end;
      const std::string_view text = std::string_view(c.bytes).substr(c.offsets[i]);
      if (!digits) {
        countText(&c, text, i);
      } else if (!check_) {
        double v;
        c.numbers.push_back(parseCell(text, &v) ? v : missingValue('.'));
      }
    }
  }

  // A bare NA, as R's write.csv writes a missing text (it quotes the texts themselves): blanks
  // around it aside, unquoted. It is an empty text, the missing value of a text column.
  bool bareMissing(const Span& s) const {
    // Most texts are passed over on their length or first byte.
    if (s.length < 2 || s.length > 8 || (t_[s.begin] != 'N' && t_[s.begin] != ' ')) return false;
    if (s.begin > 0 && t_[s.begin - 1] == '"') return false;  // quoted: the text NA
    std::string_view v = spanText(t_, s);
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    return v == "NA";
  }

  // Tells numbers from other texts in a text column; missing values count as neither.
  void countText(ColumnPiece* c, std::string_view text, size_t row) {
    double v;
    if (parseCell(text, &v)) {
      c->numberTexts += !std::isnan(v);  // missing values are NaNs
      return;
    }
    if (c->otherTexts++ == 0) {
      c->firstOtherLine = rowLines_[row];
      c->firstOther = std::string(text);
    }
  }

  std::string_view t_;
  bool check_;
  int columns_;
  std::vector<char> isText_;
  bool plainColumns_ = std::none_of(isText_.begin(), isText_.end(), [](char c) { return c != 0; });
  std::vector<char> keep_;
  std::vector<std::vector<Span>> spans_;
  // Listed once the columns' kinds are known (listColumns): the kept text columns, and per
  // column its numbers (null for a text column or one not kept).
  bool listed_ = false;
  std::vector<size_t> textColumns_;
  std::vector<std::vector<double>*> into_;
  std::vector<size_t> ends_;  // where each field of a record ends
  const bool wide_ = wideRecordCheck();
  std::vector<int64_t> rowLines_;  // the line each row starts on
  ParsedPiece* out_;
};

}  // namespace

size_t parseRecord(std::string_view text, size_t pos, std::vector<std::string>* fields,
                   int64_t* lines, CsvError* error) {
  fields->clear();
  pos = skipBlankLines(text, pos, lines);
  for (;;) {
    Field f;
    int64_t before = *lines;
    if (!readField(text, pos, &f, lines, error)) {
      error->line = error->fault == CsvFault::kOpenQuote ? before : *lines;
      error->column = static_cast<int>(fields->size());
      return std::string_view::npos;
    }
    std::string v;
    appendText(
        text,
        Span{static_cast<uint32_t>(f.begin), static_cast<uint32_t>(f.end - f.begin), f.doubled},
        &v);
    fields->push_back(std::move(v));
    pos = f.next;
    if (f.lastOfRecord) return pos;
  }
}

void parsePiece(std::string_view t, int columns, const std::vector<char>& forceText,
                ParsedPiece* out, const std::vector<char>* wanted, int64_t rows) {
  PieceParser parser(t, columns, forceText, out, wanted, false);
  if (rows > 0) {
    // Room for the rows at once: no column grows past them (a block kept for later passes
    // holds what its rows need and no more).
    const size_t n = static_cast<size_t>(rows);
    out->rowStarts.reserve(n);
    for (size_t j = 0; j < out->columns.size(); ++j)
      if (!out->columns[j].skipped && (j >= forceText.size() || !forceText[j]))
        out->columns[j].numbers.reserve(n);
  }
  parser.run();
}

void checkPiece(std::string_view t, int columns, const std::vector<char>& forceText,
                ParsedPiece* out) {
  PieceParser(t, columns, forceText, out, nullptr, true).run();
}

}  // namespace vsf::host
