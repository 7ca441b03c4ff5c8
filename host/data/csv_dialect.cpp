#include "host/data/csv_dialect.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "host/data/csv_fields.h"
#include "host/files.h"
#include "host/whole_file.h"

namespace vsf::host {

namespace {

constexpr size_t kPiece = size_t{1} << 20;
constexpr size_t kFirstLine = size_t{1} << 16;   // enough of the file to see its first line
constexpr size_t kMarkSample = size_t{1} << 18;  // the start whose numbers show the decimal mark

}  // namespace

bool carriageReturnLines(std::string_view head) {
  // A line break inside a quoted value is part of the value, not a line end.
  bool quoted = false, carriageReturn = false;
  for (const char c : head) {
    if (c == '"')
      quoted = !quoted;
    else if (quoted)
      continue;
    else if (c == '\n')
      return false;
    else
      carriageReturn |= c == '\r';
  }
  return carriageReturn;
}

std::string withLineFeeds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out.push_back(text[i]);
      continue;
    }
    out.push_back('\n');
    i += i + 1 < text.size() && text[i + 1] == '\n';
  }
  return out;
}

CsvDialect sniffDialect(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  size_t commas = 0, semicolons = 0, tabs = 0;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\n') break;
    commas += c == ',';
    semicolons += c == ';';
    tabs += c == '\t';
  }
  CsvDialect d;
  if (commas > 0 || semicolons + tabs == 0) return d;
  d.separator = semicolons >= tabs ? ';' : '\t';
  d.decimalComma = d.separator == ';';
  return d;
}

bool toCommaSeparated(std::string_view text, const CsvDialect& dialect,
                      const std::function<bool(std::string_view)>& put, MarkedNumber* comma) {
  std::string out, scratch;
  FieldReader r(text, dialect.separator);
  const bool pointMark = dialect.separator == ';' && !dialect.decimalComma && comma;
  bool header = true;
  for (size_t j = 0; !r.done();) {
    const RawField f = r.next();
    const bool numbers = !header && j < dialect.columns.size() && dialect.columns[j].numbers;
    // Only unquoted values holding a comma can be numbers written with the other mark.
    if (pointMark && !header && !f.quoted && f.raw.find(',') != std::string_view::npos &&
        commaDecimal(f.raw)) {
      *comma = MarkedNumber{std::string(f.raw), f.line, j};
      return false;
    }
    if (numbers) {
      // Every value of the column is a number with the decimal comma (or missing).
      const std::string_view value = valueOf(f, &scratch);
      const size_t at = out.size();
      out += value;
      std::replace(out.begin() + static_cast<std::ptrdiff_t>(at), out.end(), ',', '.');
    } else if (!f.quoted && f.raw.find(',') != std::string_view::npos &&
               f.raw.find('"') == std::string_view::npos) {
      out.append("\"").append(f.raw).append("\"");
    } else {
      out += f.raw;
    }
    if (f.lastOfRecord) {
      out += f.lineEnd;
      header = false;
      j = 0;
    } else {
      out += ',';
      ++j;
    }
    if (out.size() >= kPiece) {
      if (!put(out)) return false;
      out.clear();
    }
  }
  return out.empty() || put(out);
}

namespace {

// Under ';': the decimal mark the numbers are written with, from the first of them, or from all
// when those show none. False, with the error, when the numbers are written with both.
bool settleDecimalMark(std::string_view text, const std::filesystem::path& source,
                       CsvDialect* dialect, std::string* error) {
  DecimalMarks& marks = dialect->marks;
  marks = sampleMarks(text.substr(0, kMarkSample), ';', text.size() <= kMarkSample);
  if (!marks.mixed() && marks.point.line == 0) {
    marks = DecimalMarks();
    dialect->columns = commaColumns(text, ';', &marks);
  }
  if (marks.mixed()) {
    *error = mixedMarks(source.string(), text, ';', marks);
    return false;
  }
  dialect->decimalComma = marks.point.line == 0;
  if (!dialect->decimalComma) dialect->columns.clear();
  return true;
}

// The file's bytes, mapped for reading; gone with the object.
class Mapped {
 public:
  explicit Mapped(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return;
    size_ = static_cast<size_t>(st.st_size);
    if (size_ == 0) return;
    void* p = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
    if (p != MAP_FAILED) data_ = static_cast<const char*>(p);
  }
  ~Mapped() {
    if (data_) ::munmap(const_cast<char*>(data_), size_);
  }
  bool ok() const { return data_ || size_ == 0; }
  std::string_view text() const { return {data_ ? data_ : "", data_ ? size_ : 0}; }

 private:
  const char* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace

bool readDialect(const std::filesystem::path& source, const std::filesystem::path& directory,
                 CsvDialect* dialect, std::filesystem::path* copy, std::string* error) {
  *dialect = CsvDialect();
  copy->clear();
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return true;
  std::string head(kFirstLine, '\0');
  const ssize_t n = ::pread(in, head.data(), head.size(), 0);
  head.resize(n > 0 ? static_cast<size_t>(n) : 0);
  const bool carriageReturns = carriageReturnLines(head);
  *dialect = sniffDialect(carriageReturns ? withLineFeeds(head) : head);
  dialect->carriageReturns = carriageReturns;
  if (dialect->separator == ',' && !carriageReturns) {
    ::close(in);
    return true;
  }
  const Mapped mapped(in);
  ::close(in);
  // Lines ended by CR alone are ended by LF first: the rest reads LF and CRLF only.
  const std::string lineFeeds = carriageReturns ? withLineFeeds(mapped.text()) : std::string();
  const std::string_view text = carriageReturns ? std::string_view(lineFeeds) : mapped.text();
  if (dialect->decimalComma && !settleDecimalMark(text, source, dialect, error)) return false;
  std::filesystem::path path;
  const int out = makeNewFile(directory, ownFilePrefix(), ".csv", 0600, &path);
  int reason = out < 0 ? errno : 0;
  MarkedNumber comma;
  if (out >= 0) {
    *copy = path;  // tracked as it was made
    if (!mapped.ok()) reason = errno ? errno : EIO;
    const auto put = [&](std::string_view piece) {
      reason = writeFully(out, piece);
      return reason == 0;
    };
    if (reason == 0 && dialect->separator == ',')
      put(text);
    else if (reason == 0)
      toCommaSeparated(text, *dialect, put, &comma);
    if (::close(out) != 0 && reason == 0) reason = errno;
  }
  if (reason == 0 && comma.line == 0) return true;
  if (comma.line > 0) {
    // A number with the decimal comma after the first ones had points.
    dialect->marks.comma = comma;
    *error = mixedMarks(source.string(), text, ';', dialect->marks);
  } else {
    *error = fmt::format("File \"{}\" cannot be rewritten {} in the UTILPATH directory {} ({}).",
                         source.string(),
                         dialect->separator == ',' ? "with LF line ends" : "with commas",
                         directory.string(), failureReason(reason));
  }
  if (!copy->empty()) {
    removeTrackedFile(*copy);
    copy->clear();
  }
  return false;
}

}  // namespace vsf::host
