// The threaded CSV import. Each batch of text is cut into one piece per thread. A piece
// starts at a record: the first line end after its cut where the count of quotes before it
// is even (RFC 4180 quotes pair up, so the parity tells whether a line end is inside a
// quoted value). Each thread counts the quotes of its cut and finds its first line end at
// either parity; the starts then follow in one sequential step. A bad quote before a cut
// can only misplace later starts, and the piece holding the bad quote reports it first.
#include "host/data/csv_import.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <thread>

#include <fmt/format.h>

#include "frame/strings.h"

namespace vsf::host {

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

// Runs fn(0..count-1) on up to `threads` threads; an exception is carried to the caller.
void parallelFor(int count, int threads, const std::function<void(int)>& fn) {
  int workers = std::min(count, std::max(1, threads));
  if (workers <= 1) {
    for (int k = 0; k < count; ++k) fn(k);
    return;
  }
  std::vector<std::exception_ptr> errors(static_cast<size_t>(workers));
  auto work = [&](int w) {
    try {
      for (int k = w; k < count; k += workers) fn(k);
    } catch (...) {
      errors[static_cast<size_t>(w)] = std::current_exception();
    }
  };
  std::vector<std::thread> team;
  for (int w = 1; w < workers; ++w) team.emplace_back(work, w);
  work(0);
  for (auto& t : team) t.join();
  for (auto& e : errors)
    if (e) std::rethrow_exception(e);
}

// The file's text not yet parsed, from buffer position 0.
class TextSource {
 public:
  ~TextSource() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool open(const std::filesystem::path& p) {
    fd_ = ::open(p.c_str(), O_RDONLY);
    return fd_ >= 0;
  }
  // Reads until `want` bytes are held or the file ends; false on a read error.
  bool fill(size_t want) {
    if (buf_.size() < want) buf_.resize(want);
    while (size_ < want && !eof_) {
      ssize_t r = ::read(fd_, buf_.data() + size_, want - size_);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) return false;
      if (r == 0) eof_ = true;
      size_ += static_cast<size_t>(r);
    }
    return true;
  }
  void consume(size_t n) {
    std::memmove(buf_.data(), buf_.data() + n, size_ - n);
    size_ -= n;
  }
  std::string_view text() const { return std::string_view(buf_.data(), size_); }
  size_t size() const { return size_; }
  bool eof() const { return eof_; }

 private:
  int fd_ = -1;
  std::vector<char> buf_;
  size_t size_ = 0;
  bool eof_ = false;
};

// What the first scan of a cut finds.
struct CutScan {
  uint64_t quotes = 0;
  size_t firstEnd[2] = {kNone, kNone};  // first line end with an even / odd count of quotes
};

CutScan scanCut(std::string_view t, size_t begin, size_t end) {
  CutScan s;
  size_t p = begin;
  int parity = 0;
  for (; p < end && (s.firstEnd[0] == kNone || s.firstEnd[1] == kNone); ++p) {
    if (t[p] == '"') {
      parity ^= 1;
      ++s.quotes;
    } else if (t[p] == '\n' && s.firstEnd[parity] == kNone) {
      s.firstEnd[parity] = p;
    }
  }
  s.quotes += static_cast<uint64_t>(std::count(t.data() + p, t.data() + end, '"'));
  return s;
}

// The end of the last whole record of the text, given the parity of all its quotes; 0 when
// the text holds no whole record.
size_t lastRecordEnd(std::string_view t, int totalParity) {
  int parity = totalParity;
  for (size_t p = t.size(); p-- > 0;) {
    if (t[p] == '"') parity ^= 1;
    else if (t[p] == '\n' && parity == 0) return p + 1;
  }
  return 0;
}

// Cuts [0, end) of the text into pieces that start at records.
std::vector<size_t> pieceStarts(std::string_view t, size_t end, size_t total, int pieces,
                                int threads) {
  std::vector<size_t> cut(static_cast<size_t>(pieces) + 1);
  for (int k = 0; k <= pieces; ++k) cut[static_cast<size_t>(k)] = total * k / pieces;
  std::vector<CutScan> scans(static_cast<size_t>(pieces));
  parallelFor(pieces, threads, [&](int k) {
    scans[static_cast<size_t>(k)] = scanCut(t, cut[static_cast<size_t>(k)],
                                            cut[static_cast<size_t>(k) + 1]);
  });
  std::vector<size_t> start(static_cast<size_t>(pieces) + 1, end);
  start[0] = 0;
  // Backwards, so a cut without a record start takes the next cut's.
  std::vector<int> parityBefore(static_cast<size_t>(pieces), 0);
  for (int k = 1; k < pieces; ++k)
    parityBefore[static_cast<size_t>(k)] =
        (parityBefore[static_cast<size_t>(k) - 1] +
         static_cast<int>(scans[static_cast<size_t>(k) - 1].quotes & 1)) & 1;
  for (int k = pieces - 1; k >= 1; --k) {
    size_t hit = scans[static_cast<size_t>(k)].firstEnd[parityBefore[static_cast<size_t>(k)]];
    size_t s = hit == kNone ? start[static_cast<size_t>(k) + 1] : hit + 1;
    start[static_cast<size_t>(k)] = std::min(s, end);
  }
  return start;
}

struct Importer {
  const std::filesystem::path& source;
  const ImportSettings& settings;
  std::string* error;
  std::string where() const { return fmt::format("File \"{}\"", source.string()); }
};

std::string describe(const Importer& im, const CsvError& e, const std::vector<std::string>& names,
                     int64_t line) {
  auto var = [&](int j) {
    return j >= 0 && j < static_cast<int>(names.size()) ? names[static_cast<size_t>(j)] : "?";
  };
  std::string at = fmt::format("{}, line {}", im.where(), line);
  switch (e.fault) {
    case CsvFault::kRagged:
      if (e.fields < static_cast<int>(names.size()))
        return fmt::format("{}: the row has {} values for {} variables; no value for variable {}.",
                           at, e.fields, names.size(), var(e.column));
      return fmt::format("{}: the row has {} values for {} variables; a value past variable {}.",
                         at, e.fields, names.size(), var(e.column));
    case CsvFault::kStrayQuote:
      return fmt::format("{}, variable {}: a quote inside an unquoted value (quote the whole "
                         "value and double its quotes).", at, var(e.column));
    case CsvFault::kAfterQuote:
      return fmt::format("{}, variable {}: text after the closing quote of a quoted value.", at,
                         var(e.column));
    case CsvFault::kOpenQuote:
      return fmt::format("{}, variable {}: a quoted value is not closed before the end of the "
                         "file.", at, var(e.column));
    case CsvFault::kRowTooLong:
      return fmt::format("{}: a row longer than {} MB (is a quote left open?).", at,
                         im.settings.longestRow >> 20);
    default:
      return fmt::format("{}: cannot be read.", im.where());
  }
}

// Reads the header; returns false after setting the error.
bool readHeader(const Importer& im, TextSource* text, std::vector<std::string>* names,
                int64_t* lines) {
  size_t want = std::max<size_t>(im.settings.pieceBytes, 1 << 16);
  for (;;) {
    if (!text->fill(want)) {
      *im.error = fmt::format("{}: cannot be read ({}).", im.where(), std::strerror(errno));
      return false;
    }
    *lines = 0;
    CsvError e;
    size_t end = parseRecord(text->text(), 0, names, lines, &e);
    bool partial = (e.fault == CsvFault::kOpenQuote || end == text->size()) && !text->eof();
    if (partial && want < im.settings.longestRow) {
      want *= 2;
      continue;
    }
    if (partial) e = CsvError{CsvFault::kRowTooLong, 0, -1, 0};
    if (e) {
      *im.error = describe(im, e, *names, e.line + 1);
      return false;
    }
    text->consume(end);
    break;
  }
  if (names->size() == 1 && names->front().empty()) {
    *im.error = fmt::format("{} is empty: its first line must name the variables.", im.where());
    return false;
  }
  for (size_t j = 0; j < names->size(); ++j) {
    if (trimRight((*names)[j]).empty()) {
      *im.error = fmt::format("{}, line 1: variable {} has no name.", im.where(), j + 1);
      return false;
    }
    for (size_t i = 0; i < j; ++i)
      if (equalsNoCase((*names)[i], (*names)[j])) {
        *im.error = fmt::format("{}, line 1: the variable name {} appears twice.", im.where(),
                                (*names)[j]);
        return false;
      }
  }
  return true;
}

enum class Pass { kDone, kFailed, kMixed };

// One parse of the file into the table. kMixed: a column turned out character after some
// pieces stored it as numbers; `forceText` then marks every character column for a rerun.
Pass parseFile(const Importer& im, Table* table, std::vector<char>* forceText) {
  TextSource text;
  if (!text.open(im.source)) {
    *im.error = fmt::format("{}: cannot be read ({}).", im.where(), std::strerror(errno));
    return Pass::kFailed;
  }
  std::vector<std::string> names;
  int64_t lines = 0;
  if (text.fill(3) && text.text().substr(0, 3) == "\xEF\xBB\xBF") text.consume(3);  // UTF-8 mark
  if (!readHeader(im, &text, &names, &lines)) return Pass::kFailed;
  const int columns = static_cast<int>(names.size());
  if (forceText->empty()) forceText->assign(names.size(), 0);
  table->vars.assign(names.size(), TableVar{});
  for (size_t j = 0; j < names.size(); ++j) table->vars[j].name = names[j];
  std::vector<char> sawText(names.size(), 0), sawNumbers(names.size(), 0);
  std::vector<uint32_t> longest(names.size(), 1);

  const int threads = std::max(1, im.settings.threads);
  const size_t batch = im.settings.pieceBytes * static_cast<size_t>(threads);
  size_t want = batch;
  for (;;) {
    if (!text.fill(want)) {
      *im.error = fmt::format("{}: cannot be read ({}).", im.where(), std::strerror(errno));
      return Pass::kFailed;
    }
    if (text.size() == 0) break;
    std::string_view t = text.text();
    int pieces = static_cast<int>(
        std::clamp<size_t>(t.size() / std::max<size_t>(1, im.settings.smallestPiece), 1,
                           static_cast<size_t>(threads)));
    size_t end = t.size();
    if (!text.eof()) {
      uint64_t quotes = static_cast<uint64_t>(std::count(t.begin(), t.end(), '"'));
      end = lastRecordEnd(t, static_cast<int>(quotes & 1));
      if (end == 0) {  // not one whole record yet
        if (want >= im.settings.longestRow) {
          *im.error = describe(im, CsvError{CsvFault::kRowTooLong, 0, -1, 0}, names, lines + 1);
          return Pass::kFailed;
        }
        want *= 2;
        continue;
      }
    }
    std::vector<size_t> start = pieceStarts(t, end, t.size(), pieces, threads);
    std::vector<ParsedPiece> parsed(static_cast<size_t>(pieces));
    parallelFor(pieces, threads, [&](int k) {
      size_t b = start[static_cast<size_t>(k)], e = start[static_cast<size_t>(k) + 1];
      parsePiece(t.substr(b, e - b), columns, *forceText, &parsed[static_cast<size_t>(k)]);
    });
    for (ParsedPiece& piece : parsed) {
      if (piece.error) {
        *im.error = describe(im, piece.error, names, lines + piece.error.line + 1);
        return Pass::kFailed;
      }
      lines += piece.lines;
      for (size_t j = 0; j < piece.columns.size(); ++j) {
        const ColumnPiece& c = piece.columns[j];
        (c.text ? sawText : sawNumbers)[j] |= piece.rows > 0;
        longest[j] = std::max(longest[j], c.longest);
      }
      if (!table->appendBlock(piece)) {
        *im.error = fmt::format("The copy of {} in the UTILPATH directory cannot be written ({}).",
                                im.source.string(), std::strerror(errno));
        return Pass::kFailed;
      }
      piece = ParsedPiece{};  // give the memory back before the next batch
    }
    text.consume(end);
    want = batch;
    if (text.eof() && text.size() == 0) break;
  }
  bool mixed = false;
  for (size_t j = 0; j < names.size(); ++j) {
    table->vars[j].type = sawText[j] ? 2 : 1;
    table->vars[j].length = sawText[j] ? static_cast<int>(longest[j]) : 8;
    mixed |= sawText[j] && sawNumbers[j];
    (*forceText)[j] = sawText[j];
  }
  return mixed ? Pass::kMixed : Pass::kDone;
}

}  // namespace

std::unique_ptr<Table> importCsv(const std::filesystem::path& source, const ImportSettings& s,
                                 std::string* error) {
  Importer im{source, s, error};
  std::vector<char> forceText;
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto table = std::make_unique<Table>();
    table->source = source;
    if (!table->create(s.utilDirectory)) {
      *error = fmt::format("A copy of {} cannot be made in the UTILPATH directory {} ({}).",
                           source.string(), s.utilDirectory.string(), std::strerror(errno));
      return nullptr;
    }
    Pass pass = parseFile(im, table.get(), &forceText);
    if (pass == Pass::kDone) return table;
    if (pass == Pass::kFailed) return nullptr;
    // Some pieces kept numbers of a column that is character: read again, keeping its texts.
  }
  *error = fmt::format("{}: the column types changed between two reads.", im.where());
  return nullptr;
}

}  // namespace vsf::host
