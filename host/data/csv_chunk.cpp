// The CSV tokenizer (RFC 4180: quoted fields may hold commas, line ends and doubled quotes;
// a quote inside an unquoted field is an error) and the conversion of a piece into columns.
#include "host/data/csv_chunk.h"

#include <algorithm>
#include <cstring>

#include "host/data/csv_number.h"

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
  size_t next = 0;            // position after the field's delimiter
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
      error->fault = CsvFault::kAfterQuote;
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

void tokenize(std::string_view t, int columns, std::vector<Span>* spans, ParsedPiece* out) {
  size_t p = 0;
  const size_t n = t.size();
  spans->clear();
  spans->reserve(n / 4 + static_cast<size_t>(columns));
  while ((p = skipBlankLines(t, p, &out->lines)) < n) {
    int64_t recordLine = out->lines;
    int field = 0;
    for (;;) {
      Field f;
      if (!readField(t, p, &f, &out->lines, &out->error)) {
        out->error.line = out->error.fault == CsvFault::kOpenQuote ? recordLine : out->lines;
        out->error.column = field < columns ? field : -1;
        return;
      }
      if (field < columns)
        spans->push_back(Span{static_cast<uint32_t>(f.begin),
                              static_cast<uint32_t>(f.end - f.begin), f.doubled});
      ++field;
      p = f.next;
      if (f.lastOfRecord) break;
    }
    if (field != columns) {
      out->error = CsvError{CsvFault::kRagged, recordLine, field < columns ? field : columns - 1,
                            field};
      return;
    }
    ++out->rows;
  }
}

std::string_view spanText(std::string_view t, const Span& s) {
  return t.substr(s.begin, s.length);
}

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

void fillText(std::string_view t, const std::vector<Span>& spans, int columns, int j,
              int64_t rows, ColumnPiece* c) {
  c->text = true;
  c->numbers.clear();
  c->numbers.shrink_to_fit();
  c->offsets.resize(static_cast<size_t>(rows) + 1);
  c->offsets[0] = 0;
  for (int64_t i = 0; i < rows; ++i) {
    appendText(t, spans[static_cast<size_t>(i * columns + j)], &c->bytes);
    uint32_t end = static_cast<uint32_t>(c->bytes.size());
    c->longest = std::max(c->longest, end - c->offsets[static_cast<size_t>(i)]);
    c->offsets[static_cast<size_t>(i) + 1] = end;
  }
}

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
    appendText(text, Span{static_cast<uint32_t>(f.begin), static_cast<uint32_t>(f.end - f.begin),
                          f.doubled},
               &v);
    fields->push_back(std::move(v));
    pos = f.next;
    if (f.lastOfRecord) return pos;
  }
}

void parsePiece(std::string_view t, int columns, const std::vector<char>& forceText,
                ParsedPiece* out) {
  std::vector<Span> spans;
  tokenize(t, columns, &spans, out);
  if (out->error) return;
  const int64_t rows = out->rows;
  out->columns.assign(static_cast<size_t>(columns), ColumnPiece{});
  std::vector<char> isText(forceText);
  for (auto& c : out->columns) c.numbers.resize(static_cast<size_t>(rows));
  // Row by row, so the spans are read in the order they were written.
  for (int64_t i = 0; i < rows; ++i) {
    const Span* row = &spans[static_cast<size_t>(i * columns)];
    for (int j = 0; j < columns; ++j) {
      if (isText[static_cast<size_t>(j)]) continue;
      double v;
      if (parseCell(spanText(t, row[j]), &v))
        out->columns[static_cast<size_t>(j)].numbers[static_cast<size_t>(i)] = v;
      else
        isText[static_cast<size_t>(j)] = 1;
    }
  }
  for (int j = 0; j < columns; ++j)
    if (isText[static_cast<size_t>(j)])
      fillText(t, spans, columns, j, rows, &out->columns[static_cast<size_t>(j)]);
}

}  // namespace vsf::host
