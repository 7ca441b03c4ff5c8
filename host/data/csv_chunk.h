// One piece of a CSV file parsed into columns: the unit of the threaded import.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vsf::host {

// What went wrong in a CSV file. kBlankAfterQuote and kEscapedQuote are kinds of
// kAfterQuote: a blank follows the closing quote (values separated by blanks), or a backslash
// comes before it (a quote escaped as \").
enum class CsvFault {
  kNone,
  kRagged,
  kStrayQuote,
  kAfterQuote,
  kBlankAfterQuote,
  kEscapedQuote,
  kOpenQuote,
  kRowTooLong,
  kRead
};

struct CsvError {
  CsvFault fault = CsvFault::kNone;
  int64_t line = 0;  // within the piece while parsing, in the file once reported
  int column = -1;   // the variable, from 0; -1 when none
  int fields = 0;    // values found on a ragged row
  explicit operator bool() const { return fault != CsvFault::kNone; }
};

// How a column is read, its entry in the parse's `forceText`: numbers (0), texts (1), or
// numbers that keep their texts too (2: the shortest text of some value's double would not give
// back the number written, and the output data sets write it as the file did).
enum ColumnRead : char { kReadNumbers = 0, kReadTexts = 1, kReadDigits = 2 };

// One column of a piece: numbers when every value of the piece is a number or missing,
// else the texts (and both under kReadDigits).
struct ColumnPiece {
  bool text = false;
  bool skipped = false;  // not asked for: holds nothing
  std::vector<double> numbers;
  std::vector<uint32_t> offsets;  // rows + 1 offsets into bytes, when text
  std::string bytes;
  uint32_t longest = 0;  // longest text, in bytes
  // Of a text column: how many values read as numbers and how many do not, and the first
  // that does not (its line within the piece, from 0), to say why a column is character.
  int64_t numberTexts = 0, otherTexts = 0;
  int64_t firstOtherLine = -1;
  std::string firstOther;
  // Of a number column, when checked: the first value whose digits its double does not hold
  // (its line within the piece, from 0; -1 for none).
  int64_t firstInexactLine = -1;
  std::string firstInexact;
  // A value whose shortest text would not give back the number written (an inexact one, or an
  // integer such as 1000000000000000000 that it would put as 1e+18).
  bool rewritten = false;
};

struct ParsedPiece {
  int64_t rows = 0;
  int64_t lines = 0;                // line ends passed, quoted ones included
  std::vector<uint32_t> rowStarts;  // where each row's text starts in the piece
  std::vector<ColumnPiece> columns;
  CsvError error;
};

// Splits one record of text starting at `pos` into fields (unquoted texts); for the header.
// Returns the position after the record, or npos after setting `error`.
size_t parseRecord(std::string_view text, size_t pos, std::vector<std::string>* fields,
                   int64_t* lines, CsvError* error);

// Parses the records of `text`, which starts at a record and ends after one (or at the end
// of the file). Columns whose `forceText` entry is nonzero keep their texts (ColumnRead);
// with `wanted`, only the columns whose entry is nonzero are kept (the others are checked and
// skipped). A bare NA (unquoted, blanks around it aside) in a text column is a missing value,
// an empty text; a quoted "NA" is the text NA.
// `rows`, when the caller knows how many records the text holds, sizes the columns exactly.
void parsePiece(std::string_view text, int columns, const std::vector<char>& forceText,
                ParsedPiece* out, const std::vector<char>* wanted = nullptr, int64_t rows = 0);
// The same parse as a check: it settles the columns' kinds, texts and counts and finds every
// fault, but keeps no numbers.
void checkPiece(std::string_view text, int columns, const std::vector<char>& forceText,
                ParsedPiece* out);

}  // namespace vsf::host
