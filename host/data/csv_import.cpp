// The threaded CSV import. Each batch of text is cut into one piece per thread; each thread
// reads its cut and counts its quotes. A piece starts at a record: just after the first line
// end past its cut with an even count of quotes before it (RFC 4180 quotes pair up, so the
// parity tells whether a line end is inside a quoted value). A bad quote before a cut can
// only misplace later starts, and the piece holding the bad quote reports it first. Each
// thread then parses its piece, which settles the columns' types and checks every record;
// the calling thread notes where every block's first record starts, so that readers can
// parse any block again. The parse of one batch and the read of the next share one step of
// the threads.
#include "host/data/csv_import.h"

#include <emmintrin.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "frame/host/values.h"
#include "host/data/csv_dialect.h"
#include "host/data/header_names.h"
#include "host/data/parallel.h"
#include "host/files.h"
#include "host/progress.h"

namespace vsf::host {

namespace {

// Reads `n` bytes at `at`: 0, the errno of a failed read, or -1 when the file ends first
// (it shrank while being read).
int readAt(int fd, char* data, size_t n, uint64_t at) {
  while (n > 0) {
    ssize_t r = ::pread(fd, data, n, static_cast<off_t>(at));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return errno;
    if (r == 0) return -1;
    data += r;
    n -= static_cast<size_t>(r);
    at += static_cast<uint64_t>(r);
  }
  return 0;
}

// The quotes in `n` bytes, 16 at a time: each compare adds its matches to byte counters, which
// are summed before any can pass 255. (Counting into a 64-bit total byte by byte widens every
// compare and was a fifth of the check's time.) *nul is set when a byte is NUL, which no text
// holds.
uint64_t countQuotes(const char* p, size_t n, bool* nul) {
  const __m128i quote = _mm_set1_epi8('"');
  __m128i nuls = _mm_setzero_si128();
  uint64_t total = 0;
  size_t i = 0;
  while (n - i >= 16) {
    const size_t stop = i + std::min<size_t>((n - i) / 16, 255) * 16;
    __m128i counts = _mm_setzero_si128();
    for (; i < stop; i += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(bytes, quote));
      nuls = _mm_or_si128(nuls, _mm_cmpeq_epi8(bytes, _mm_setzero_si128()));
    }
    const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
    total += static_cast<uint64_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<uint64_t>(_mm_extract_epi16(sums, 4));
  }
  bool any = _mm_movemask_epi8(nuls) != 0;
  for (; i < n; ++i) {
    total += p[i] == '"';
    any |= p[i] == '\0';
  }
  *nul |= any;
  return total;
}

class FileHandle {
 public:
  explicit FileHandle(const std::filesystem::path& p)
      : fd(::open(p.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~FileHandle() {
    if (fd >= 0) ::close(fd);
  }
  const int fd;
};

// The first record start at or after `from`: just after the first line end with an even
// count of quotes before it, given the parity of the quotes before `from`; `end` when none.
size_t recordStart(std::string_view t, size_t from, size_t end, int parity) {
  for (size_t p = from; p < end; ++p) {
    if (t[p] == '"')
      parity ^= 1;
    else if (t[p] == '\n' && parity == 0)
      return p + 1;
  }
  return end;
}

// The end of the last whole record of the text, given the parity of all its quotes; 0 when
// the text holds no whole record.
size_t lastRecordEnd(std::string_view t, int totalParity) {
  int parity = totalParity;
  for (size_t p = t.size(); p-- > 0;) {
    if (t[p] == '"')
      parity ^= 1;
    else if (t[p] == '\n' && parity == 0)
      return p + 1;
  }
  return 0;
}

struct Importer {
  const std::filesystem::path& source;
  const std::filesystem::path& text;  // the file read: the source, or its comma-separated copy
  const ImportSettings& settings;
  std::string* error;
  std::string where() const { return fmt::format("File \"{}\"", source.string()); }
};

// The fault of a read that `readAt` gave.
std::string readFault(const Importer& im, int e) {
  return fmt::format("{}: cannot be read ({}).", im.where(),
                     e > 0 ? std::strerror(e) : "it became shorter while read");
}

std::string describe(const Importer& im, const CsvError& e, const std::vector<std::string>& names,
                     int64_t line) {
  auto var = [&](int j) {
    return j >= 0 && j < static_cast<int>(names.size()) ? names[static_cast<size_t>(j)] : "?";
  };
  auto count = [](size_t n, const char* one) {
    return fmt::format("{} {}{}", n, one, n == 1 ? "" : "s");
  };
  std::string at = fmt::format("{}, line {}", im.where(), line);
  switch (e.fault) {
    case CsvFault::kRagged:
      return fmt::format(
          "{}: the row has {} for {}; {} variable {}.", at,
          count(static_cast<size_t>(e.fields), "value"), count(names.size(), "variable"),
          e.fields < static_cast<int>(names.size()) ? "no value for" : "a value past",
          var(e.column));
    case CsvFault::kStrayQuote:
      return fmt::format(
          "{}, variable {}: a quote inside an unquoted value (quote the whole "
          "value and double its quotes).",
          at, var(e.column));
    case CsvFault::kBlankAfterQuote:
    case CsvFault::kAfterQuote:
      return fmt::format("{}, variable {}: text after the closing quote of a quoted value.", at,
                         var(e.column));
    case CsvFault::kEscapedQuote:
      return fmt::format(
          "{}, variable {}: a quote inside a quoted value is escaped with a backslash (\\\"), as "
          "R's write.table writes it by default; in a CSV file it is doubled (\"\"). Write the "
          "file with write.table(qmethod = \"double\"), or with write.csv().",
          at, var(e.column));
    case CsvFault::kOpenQuote:
      return fmt::format(
          "{}, variable {}: a quoted value is not closed before the end of the "
          "file.",
          at, var(e.column));
    case CsvFault::kRowTooLong:
      return fmt::format("{}: a row longer than {} MB (is a quote left open?).", at,
                         im.settings.longestRow >> 20);
    default:
      return fmt::format("{}: cannot be read.", im.where());
  }
}

// A first line of quoted names with blanks between them, as R's write.table writes by default.
std::string blankSeparated(const Importer& im, std::string_view text) {
  std::string_view start = text.substr(0, text.find('\n'));
  if (start.ends_with('\r')) start.remove_suffix(1);
  constexpr size_t kShown = 40;
  return fmt::format(
      "{}, line 1: blanks separate the values ({}{}), as R's write.table writes a file by "
      "default; a CSV file separates its values with commas. Write the file with write.csv(), "
      "or with write.table(sep = \",\").",
      im.where(), start.substr(0, kShown), start.size() > kShown ? " ..." : "");
}

// Reads the header and settles its names; sets `dataStart` to the first byte after it. The
// first row is parsed too, for its count of values: one more than the header's means R's row
// names. False after the error.
bool readHeader(const Importer& im, int fd, uint64_t fileSize, HeaderNames* header, int64_t* lines,
                uint64_t* dataStart) {
  size_t want = 1 << 16;
  std::vector<char> buf;
  std::vector<std::string> names, firstRow;
  int firstRowFields = -1;
  for (;;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(want, fileSize));
    buf.resize(n);
    if (const int e = readAt(fd, buf.data(), n, 0)) {
      *im.error = readFault(im, e);
      return false;
    }
    std::string_view text(buf.data(), n);
    size_t mark = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;  // UTF-8 byte order mark
    *lines = 0;
    firstRow.clear();
    CsvError e;
    size_t end = parseRecord(text, mark, &names, lines, &e);
    const bool headerCut = (e.fault == CsvFault::kOpenQuote || end == n) && n < fileSize;
    CsvError rowError;  // the row's own faults are the body's to report
    bool rowCut = false;
    if (!e && end < n) {
      int64_t rowLines = *lines;
      const size_t rowEnd = parseRecord(text, end, &firstRow, &rowLines, &rowError);
      rowCut = (rowError.fault == CsvFault::kOpenQuote || rowEnd == n) && n < fileSize;
    }
    if ((headerCut || rowCut) && want < im.settings.longestRow) {
      want *= 2;
      continue;
    }
    if (headerCut) e = CsvError{CsvFault::kRowTooLong, 0, -1, 0};
    if (e.fault == CsvFault::kBlankAfterQuote) {
      *im.error = blankSeparated(im, text.substr(mark));
      return false;
    }
    if (e) {
      *im.error = describe(im, e, names, e.line + 1);
      return false;
    }
    const bool blankRest = firstRow.size() == 1 && firstRow.front().empty();
    if (end < n && !rowError && !rowCut && !blankRest)
      firstRowFields = static_cast<int>(firstRow.size());
    *dataStart = end;
    break;
  }
  if (names.size() == 1 && names.front().empty()) {
    *im.error = fmt::format("{} is empty: its first line must name the variables.", im.where());
    return false;
  }
  return settleHeaderNames(std::move(names), firstRowFields, im.where() + ", line 1", header,
                           im.error);
}

enum class Pass { kDone, kFailed, kMixed };

constexpr size_t kPiecesPerThread = 4;

// What the pieces of all batches so far say about the columns.
struct ColumnStats {
  std::vector<char> sawText, sawNumbers;
  std::vector<uint32_t> longest;
  std::vector<int64_t> numberTexts, otherTexts;
  std::vector<int64_t> firstOtherLine;  // in the file, 0 for none yet
  std::vector<std::string> firstOther;
  // The first number whose digits its double does not hold: its line (0 for none) and text.
  std::vector<int64_t> firstInexactLine;
  std::vector<std::string> firstInexact;
  std::vector<char> rewritten;  // a value the shortest text of its double would not give back
};

// A batch of text in its own buffer: the text carried from the batch before (a record cut at
// its end) at the front, then the bytes read, cut into pieces the threads read as they come
// free. Two batches take turns, so that one is read while the other is parsed.
struct Batch {
  // Left unset when made: every byte is read or copied in before it is looked at, and the
  // pages are first touched by the threads that read into them.
  std::unique_ptr<char[]> buf;
  size_t room = 0;
  size_t carry = 0;
  size_t size = 0;        // the carried text and the bytes read
  uint64_t textBase = 0;  // where buf's first byte lies in the file
  std::vector<size_t> cut;
  std::vector<uint64_t> quotes;
  std::vector<int> readError;  // per piece: 0, the errno of a failed read, -1 for a short file
  std::vector<char> nul;       // per piece: it holds a NUL byte
  std::vector<int> parityBefore;
  size_t end = 0;  // the end of its last whole record, once read
  std::vector<size_t> begin;
  std::vector<ParsedPiece> parsed;
  std::string_view text() const { return {buf.get(), size}; }
};

// Lays out the next batch: `carry` bytes of text first, then `n` bytes from the file at
// `readPos`, cut into a few pieces a thread (fewer where the columns' states would pass the
// settings' bound).
void planBatch(const ImportSettings& s, int threads, size_t columns, std::string_view carry,
               uint64_t readPos, size_t n, Batch* b) {
  b->carry = carry.size();
  b->size = carry.size() + n;
  b->textBase = readPos - carry.size();
  if (b->room < b->size) {
    b->buf = std::make_unique_for_overwrite<char[]>(b->size);
    b->room = b->size;
  }
  if (!carry.empty()) std::memcpy(b->buf.get(), carry.data(), carry.size());
  const size_t most =
      std::clamp<size_t>(s.pieceStates / std::max<size_t>(1, columns * sizeof(ColumnPiece)), 1,
                         static_cast<size_t>(threads) * kPiecesPerThread);
  const int pieces =
      static_cast<int>(std::clamp<size_t>(n / std::max<size_t>(1, s.smallestPiece), 1, most));
  b->cut.resize(static_cast<size_t>(pieces) + 1);
  for (int k = 0; k <= pieces; ++k) b->cut[static_cast<size_t>(k)] = b->carry + n * k / pieces;
  b->cut[0] = 0;
  b->quotes.assign(static_cast<size_t>(pieces), 0);
  b->readError.assign(static_cast<size_t>(pieces), 0);
  b->nul.assign(static_cast<size_t>(pieces), 0);
}

// Reads piece `k` of the batch and counts its quotes, a slice at a time while the slice is
// still in the cache; the carried text is counted as it stands.
void readPiece(const ImportSettings& s, int fd, Batch* b, size_t k) {
  size_t from = std::max(b->cut[k], b->carry);
  const size_t to = b->cut[k + 1];
  char* data = b->buf.get();
  bool nul = false;
  uint64_t n = countQuotes(data + b->cut[k], from - b->cut[k], &nul);
  while (from < to) {
    const size_t slice = std::min(to - from, std::max<size_t>(1, s.countSlice));
    b->readError[k] = readAt(fd, data + from, slice, b->textBase + from);
    if (b->readError[k] != 0) return;
    n += countQuotes(data + from, slice, &nul);
    from += slice;
  }
  b->quotes[k] = n;
  b->nul[k] = nul;
}

// A NUL byte in the batch's text: where it is (the batch's text starts on the line after the
// `lines` counted so far). False when there is none.
bool nulByte(const Importer& im, const Batch& b, int64_t lines) {
  if (std::none_of(b.nul.begin(), b.nul.end(), [](char c) { return c != 0; })) return false;
  const std::string_view text = b.text();
  const size_t at = text.find('\0');
  const int64_t line = lines + 1 + std::count(text.begin(), text.begin() + at, '\n');
  *im.error = fmt::format(
      "{}, line {}: a NUL byte (\\0) in a value. A CSV file holds text, which has none: is the "
      "file binary, or saved as UTF-16 (as \"Unicode text\")? Save it as UTF-8 text.",
      im.where(), line);
  return true;
}

// After its pieces are read: where each piece's cut lies in the quotes, and where the last
// whole record ends (all of the text at the end of the file). False after the error.
bool settleRead(const Importer& im, bool eof, Batch* b) {
  for (int e : b->readError) {
    if (e == 0) continue;
    *im.error = readFault(im, e);
    return false;
  }
  const size_t pieces = b->quotes.size();
  b->parityBefore.assign(pieces + 1, 0);
  for (size_t k = 0; k < pieces; ++k)
    b->parityBefore[k + 1] = (b->parityBefore[k] + static_cast<int>(b->quotes[k] & 1)) & 1;
  b->end = eof ? b->size : lastRecordEnd(b->text(), b->parityBefore.back());
  b->begin.resize(pieces);
  b->parsed.resize(pieces);
  return true;
}

// Checks piece `k` of a batch read: from the first record start past its cut to the first
// past the next cut.
void checkBatchPiece(int columns, const std::vector<char>& forceText, Batch* b, size_t k) {
  const std::string_view text = b->text().substr(0, b->end);
  const size_t pieces = b->parsed.size();
  const size_t from = k == 0 ? 0 : recordStart(text, b->cut[k], b->end, b->parityBefore[k]);
  const size_t to =
      k + 1 == pieces ? b->end : recordStart(text, b->cut[k + 1], b->end, b->parityBefore[k + 1]);
  b->begin[k] = from;
  checkPiece(text.substr(from, to > from ? to - from : 0), columns, forceText, &b->parsed[k]);
}

// Notes the blocks that start in the piece (each `blockRows` records, counted from the first).
void noteBlocks(Table* table, const ParsedPiece& piece, uint64_t pieceStart) {
  const int64_t n = table->blockRows();
  for (int64_t r = (n - table->obs % n) % n; r < piece.rows; r += n)
    table->addBlock(pieceStart + piece.rowStarts[static_cast<size_t>(r)]);
}

// Takes what the pieces of a checked batch found, in the order of the file: the rows, blocks,
// lines and what they say of the columns. False after setting the error.
bool settleBatch(const Importer& im, Table* table, const Batch& b,
                 const std::vector<std::string>& names, ColumnStats* stats, int64_t* lines) {
  if (table->blockRows() == 0) {
    // Blocks of about the settings' text, from the first batch's records.
    int64_t rows = 0;
    for (const ParsedPiece& piece : b.parsed) rows += piece.rows;
    const uint64_t perRow =
        std::max<uint64_t>(1, b.end / static_cast<uint64_t>(std::max<int64_t>(rows, 1)));
    const int64_t blockRows =
        std::clamp<int64_t>(static_cast<int64_t>(im.settings.blockBytes / perRow), 1, 1 << 20);
    if (rows > 0) table->setBlockRows(blockRows);
  }
  for (size_t k = 0; k < b.parsed.size(); ++k) {
    const ParsedPiece& piece = b.parsed[k];
    if (piece.error) {
      *im.error = describe(im, piece.error, names, *lines + piece.error.line + 1);
      return false;
    }
    if (piece.rows > 0) noteBlocks(table, piece, b.textBase + b.begin[k]);
    const int64_t lineBefore = *lines;
    *lines += piece.lines;
    table->obs += piece.rows;
    for (size_t j = 0; j < piece.columns.size() && piece.rows > 0; ++j) {
      const ColumnPiece& c = piece.columns[j];
      (c.text ? stats->sawText : stats->sawNumbers)[j] = 1;
      stats->longest[j] = std::max(stats->longest[j], c.longest);
      stats->numberTexts[j] += c.numberTexts;
      stats->otherTexts[j] += c.otherTexts;
      if (stats->firstOtherLine[j] == 0 && c.firstOtherLine >= 0) {
        stats->firstOtherLine[j] = lineBefore + c.firstOtherLine + 1;
        stats->firstOther[j] = c.firstOther;
      }
      stats->rewritten[j] |= c.rewritten;
      if (stats->firstInexactLine[j] == 0 && c.firstInexactLine >= 0) {
        stats->firstInexactLine[j] = lineBefore + c.firstInexactLine + 1;
        stats->firstInexact[j] = c.firstInexact;
      }
    }
  }
  return true;
}

// Settles the table's columns from what every batch said; true when a column turned out
// character after some pieces stored it as numbers.
bool settleColumns(const ColumnStats& stats, Table* table, std::vector<char>* forceText) {
  bool mixed = false;
  for (size_t j = 0; j < table->vars.size(); ++j) {
    table->vars[j].type = stats.sawText[j] ? 2 : 1;
    table->vars[j].length = stats.sawText[j] ? static_cast<int>(stats.longest[j]) : 8;
    mixed |= stats.sawText[j] && stats.sawNumbers[j];
    (*forceText)[j] = stats.sawText[j];
    // Mostly numbers: a stray value made the column character.
    if (stats.sawText[j] && !stats.sawNumbers[j] && stats.numberTexts[j] > stats.otherTexts[j]) {
      table->vars[j].strayLine = stats.firstOtherLine[j];
      table->vars[j].strayText = stats.firstOther[j];
    }
  }
  return mixed;
}

// Number columns with a value whose shortest text would not give back the number written keep
// their texts beside their numbers (kReadDigits), so that output data sets write those values
// as the file did.
void keepDigits(const ColumnStats& stats, Table* table, std::vector<char>* forceText) {
  for (size_t j = 0; j < table->vars.size(); ++j) {
    if (stats.sawText[j] || !stats.rewritten[j]) continue;
    (*forceText)[j] = kReadDigits;
    table->vars[j].asWritten = true;
    table->vars[j].inexactLine = stats.firstInexactLine[j];
    table->vars[j].inexactText = stats.firstInexact[j];
  }
}

// One parse of the file into the table. kMixed: a column turned out character after some
// pieces stored it as numbers; `forceText` then marks every character column for a rerun.
// Each batch's check runs on the threads together with the read of the next batch: a step
// of both at once leaves the threads less to wait for than a step of each.
Pass parseFile(const Importer& im, const FileHandle& file, uint64_t fileSize, Table* table,
               std::vector<char>* forceText) {
  HeaderNames header;
  int64_t lines = 0;
  uint64_t readPos = 0;
  if (!readHeader(im, file.fd, fileSize, &header, &lines, &readPos)) return Pass::kFailed;
  const std::vector<std::string>& names = header.names;
  const size_t columns = names.size();
  table->rowNames = header.rowNames;
  table->blankedNames = header.blanked;
  forceText->resize(columns, 0);
  table->vars.assign(columns, TableVar{});
  table->byName.reserve(columns);
  for (size_t j = 0; j < columns; ++j) {
    table->vars[j].name = names[j];
    table->vars[j].writtenName = header.written[j];
    table->byName.emplace(upperCopy(names[j]), static_cast<int>(j));
  }
  ColumnStats stats{std::vector<char>(columns, 0),     std::vector<char>(columns, 0),
                    std::vector<uint32_t>(columns, 1), std::vector<int64_t>(columns, 0),
                    std::vector<int64_t>(columns, 0),  std::vector<int64_t>(columns, 0),
                    std::vector<std::string>(columns), std::vector<int64_t>(columns, 0),
                    std::vector<std::string>(columns), std::vector<char>(columns, 0)};

  const int threads = std::max(1, im.settings.threads);
  const size_t batchBytes = im.settings.pieceBytes * static_cast<size_t>(threads);
  Batch one, two;
  Batch* cur = &one;
  Batch* next = &two;
  auto plan = [&](std::string_view carry, Batch* b) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(batchBytes, fileSize - readPos));
    planBatch(im.settings, threads, columns, carry, readPos, n, b);
    readPos += n;
  };
  plan({}, cur);
  parallelFor(static_cast<int>(cur->quotes.size()), threads,
              [&](int k) { readPiece(im.settings, file.fd, cur, static_cast<size_t>(k)); });
  for (;;) {
    if (!settleRead(im, readPos >= fileSize, cur) || nulByte(im, *cur, lines)) return Pass::kFailed;
    if (cur->size == 0) break;
    if (cur->end == 0 && cur->size > im.settings.longestRow) {
      *im.error = describe(im, CsvError{CsvFault::kRowTooLong, 0, -1, 0}, names, lines + 1);
      return Pass::kFailed;
    }
    // Without one whole record yet (end 0) nothing is checked and all of the text is carried
    // into the next batch.
    const int checks = cur->end > 0 ? static_cast<int>(cur->parsed.size()) : 0;
    plan(cur->text().substr(cur->end), next);
    parallelFor(checks + static_cast<int>(next->quotes.size()), threads, [&](int k) {
      if (k < checks)
        checkBatchPiece(static_cast<int>(columns), *forceText, cur, static_cast<size_t>(k));
      else
        readPiece(im.settings, file.fd, next, static_cast<size_t>(k - checks));
    });
    if (checks > 0 && !settleBatch(im, table, *cur, names, &stats, &lines)) return Pass::kFailed;
    if (progressShown())
      showProgress(fmt::format(
          "Reading {}: {}% of {:.1f} MB", im.source.filename().string(),
          100 * (readPos - (next->size - next->carry)) / std::max<uint64_t>(fileSize, 1),
          static_cast<double>(fileSize) / 1e6));
    std::swap(cur, next);
  }
  const bool mixed = settleColumns(stats, table, forceText);
  if (!mixed) keepDigits(stats, table, forceText);
  if (table->obs > 0) {
    table->addBlock(fileSize);  // the end of the last block
  }
  return mixed ? Pass::kMixed : Pass::kDone;
}

// A column of a decimal-comma file that a few values made character names the first of them.
void strayCommaValues(Table* table) {
  const std::vector<CommaColumn>& columns = table->dialect.columns;
  for (size_t j = 0; j < columns.size() && j < table->vars.size(); ++j) {
    const CommaColumn& c = columns[j];
    TableVar& v = table->vars[j];
    const bool stray = v.type == 2 && !c.numbers && c.numberValues > c.otherValues;
    v.strayLine = stray ? c.firstOtherLine : 0;
    v.strayText = stray ? c.firstOther : "";
  }
}

// Imports the text of `im` into a new table, reading it twice when a column turns character.
// Columns marked in `forceText` are read as texts from the start. The table keeps the file
// open to read its blocks again.
std::unique_ptr<Table> importText(const Importer& im, std::vector<char> forceText) {
  FileHandle file(im.text);
  struct stat info;
  if (file.fd < 0 || ::fstat(file.fd, &info) != 0) {
    *im.error = fmt::format("{}: cannot be read ({}).", im.where(), std::strerror(errno));
    return nullptr;
  }
  const int threads = std::max(1, im.settings.threads);
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto table = std::make_unique<Table>();
    table->source = im.source;
    Pass pass = parseFile(im, file, static_cast<uint64_t>(info.st_size), table.get(), &forceText);
    if (pass == Pass::kDone) {
      const int fd = ::fcntl(file.fd, F_DUPFD_CLOEXEC, 0);
      if (fd < 0) {
        *im.error = fmt::format("{}: cannot be read ({}).", im.where(), std::strerror(errno));
        return nullptr;
      }
      const int64_t modified =
          static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
      // The blocks the workers read at once, and those just read, stay parsed.
      table->useFile(fd, info.st_size, modified, forceText, 2 * threads + 4);
      return table;
    }
    if (pass == Pass::kFailed) return nullptr;
    // Some pieces kept numbers of a column that is character: read again, keeping its texts.
  }
  *im.error = fmt::format("{}: the column types changed between two reads.", im.where());
  return nullptr;
}

}  // namespace

std::unique_ptr<Table> importCsv(const std::filesystem::path& source, const ImportSettings& s,
                                 std::string* error) {
  CsvDialect dialect;
  std::filesystem::path copy;
  if (!readDialect(source, s.utilDirectory, &dialect, &copy, error)) return nullptr;
  // Under the decimal comma the rewrite judged the columns: those it left as written are texts.
  std::vector<char> texts;
  for (const CommaColumn& c : dialect.columns) texts.push_back(!c.numbers);
  std::unique_ptr<Table> table =
      importText(Importer{source, copy.empty() ? source : copy, s, error}, texts);
  if (!copy.empty()) removeTrackedFile(copy);
  if (!table) return nullptr;
  table->dialect = dialect;
  if (dialect.decimalComma) strayCommaValues(table.get());
  return table;
}

}  // namespace vsf::host
