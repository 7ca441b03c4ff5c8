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

#include "host/data/csv_number.h"
#include "host/files.h"
#include "host/whole_file.h"

namespace vsf::host {

namespace {

constexpr size_t kPiece = size_t{1} << 20;
constexpr size_t kFirstLine = size_t{1} << 16;  // enough of the file to see its first line

// One field of a record: its bytes as written (quotes included) and where the next begins.
struct RawField {
  std::string_view raw;
  bool quoted = false;
  bool lastOfRecord = false;
  std::string_view lineEnd;  // "\n", "\r\n" or nothing at the end of the text
  int64_t line = 0;          // where the field starts, from 1
};

class FieldReader {
 public:
  FieldReader(std::string_view text, char separator) : t_(text), sep_(separator) {}
  bool done() const { return p_ >= t_.size(); }

  RawField next() {
    RawField f;
    f.line = line_;
    const size_t begin = p_;
    if (p_ < t_.size() && t_[p_] == '"') {
      f.quoted = true;
      for (++p_; p_ < t_.size(); ++p_) {
        if (t_[p_] != '"') continue;
        if (p_ + 1 < t_.size() && t_[p_ + 1] == '"') {
          ++p_;
          continue;
        }
        ++p_;
        break;
      }
    }
    while (p_ < t_.size() && t_[p_] != sep_ && t_[p_] != '\n') ++p_;
    size_t end = p_;
    if (end > begin && t_[end - 1] == '\r' && (end == t_.size() || t_[end] == '\n')) --end;
    f.raw = t_.substr(begin, end - begin);
    if (f.quoted) line_ += std::count(f.raw.begin(), f.raw.end(), '\n');
    if (p_ < t_.size() && t_[p_] == sep_) {
      ++p_;
      return f;
    }
    f.lastOfRecord = true;
    f.lineEnd = t_.substr(end, (p_ < t_.size() ? p_ + 1 : p_) - end);
    if (p_ < t_.size()) ++p_, ++line_;
    return f;
  }

 private:
  std::string_view t_;
  char sep_;
  size_t p_ = 0;
  int64_t line_ = 1;
};

// A field's value: the text inside its quotes with doubled quotes undone (into `scratch` when
// there are any).
std::string_view valueOf(const RawField& f, std::string* scratch) {
  if (!f.quoted) return f.raw;
  std::string_view v = f.raw.substr(1);
  if (!v.empty() && v.back() == '"') v.remove_suffix(1);
  if (v.find('"') == std::string_view::npos) return v;
  scratch->clear();
  for (size_t i = 0; i < v.size(); ++i) {
    scratch->push_back(v[i]);
    if (v[i] == '"' && i + 1 < v.size() && v[i + 1] == '"') ++i;
  }
  return *scratch;
}

// Whether the value is a number or a missing value written with the decimal comma: at most one
// comma, with digits, and a point only in a missing value (".", ".A"). *missing tells which.
bool commaNumber(std::string_view value, std::string* scratch, bool* missing) {
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
  // A point among digits is not this dialect's; a comma needs digits around it.
  if (commas > 1 || (digits ? points > 0 : commas > 0)) return false;
  *missing = false;
  if (digits > 0 && others == 0) return true;  // [+-]digits[,digits]: most values
  scratch->assign(value);
  std::replace(scratch->begin(), scratch->end(), ',', '.');
  double x;
  if (!parseCell(*scratch, &x)) return false;
  *missing = std::isnan(x);
  return true;
}

// Skips the header record; returns the reader at the first data record.
FieldReader afterHeader(std::string_view text, char separator, size_t* columns) {
  FieldReader r(text, separator);
  *columns = 0;
  while (!r.done()) {
    ++*columns;
    if (r.next().lastOfRecord) break;
  }
  return r;
}

}  // namespace

std::vector<CommaColumn> commaColumns(std::string_view text, char separator) {
  size_t count = 0;
  FieldReader r = afterHeader(text, separator, &count);
  // A first row one value longer than the header leads with R's row names: the columns are
  // the row's.
  size_t rowCount = 0;
  for (FieldReader row = r; !row.done();) {
    ++rowCount;
    if (row.next().lastOfRecord) break;
  }
  if (rowCount == count + 1) count = rowCount;
  std::vector<CommaColumn> columns(count);
  std::string point, scratch;
  for (size_t j = 0; !r.done();) {
    const RawField f = r.next();
    const bool blankLine = j == 0 && f.lastOfRecord && f.raw.empty();
    if (j < count && !blankLine) {
      CommaColumn& c = columns[j];
      const std::string_view value = valueOf(f, &scratch);
      bool missing = false;
      if (commaNumber(value, &point, &missing)) {
        c.numberValues += !missing;
      } else {
        double x;
        const bool pointNumber = parseCell(value, &x) && !std::isnan(x);
        ++(pointNumber ? c.numberValues : c.otherValues);
        if (c.numbers) {
          c.numbers = false;
          c.firstOther = std::string(value);
          c.firstOtherLine = f.line;
          c.firstOtherPoint = pointNumber;
        }
      }
    }
    j = f.lastOfRecord ? 0 : j + 1;
  }
  return columns;
}

bool carriageReturnLines(std::string_view head) {
  return head.find('\r') != std::string_view::npos && head.find('\n') == std::string_view::npos;
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
                      const std::function<bool(std::string_view)>& put) {
  std::string out, scratch;
  FieldReader r(text, dialect.separator);
  bool header = true;
  for (size_t j = 0; !r.done();) {
    const RawField f = r.next();
    const bool numbers = !header && j < dialect.columns.size() && dialect.columns[j].numbers;
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
  if (dialect->decimalComma) dialect->columns = commaColumns(text, dialect->separator);
  std::filesystem::path path;
  const int out = makeNewFile(directory, ownFilePrefix(), ".csv", 0600, &path);
  int reason = out < 0 ? errno : 0;
  if (out >= 0) {
    trackFile(path);
    *copy = path;
    if (!mapped.ok()) reason = errno ? errno : EIO;
    const auto put = [&](std::string_view piece) {
      reason = writeFully(out, piece);
      return reason == 0;
    };
    if (reason == 0 && dialect->separator == ',')
      put(text);
    else if (reason == 0)
      toCommaSeparated(text, *dialect, put);
    if (::close(out) != 0 && reason == 0) reason = errno;
  }
  if (reason == 0) return true;
  *error =
      fmt::format("File \"{}\" cannot be rewritten {} in the UTILPATH directory {} ({}).",
                  source.string(), dialect->separator == ',' ? "with LF line ends" : "with commas",
                  directory.string(), failureReason(reason));
  return false;
}

}  // namespace vsf::host
