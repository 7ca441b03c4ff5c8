// The fields of a file of another separator, as written (quotes included), for the passes
// that judge and rewrite such a file before it is read as CSV.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace vsf::host {

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
inline std::string_view valueOf(const RawField& f, std::string* scratch) {
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

// Skips the header record; returns the reader at the first data record and the header's
// count of fields.
inline FieldReader afterHeader(std::string_view text, char separator, size_t* columns) {
  FieldReader r(text, separator);
  *columns = 0;
  while (!r.done()) {
    ++*columns;
    if (r.next().lastOfRecord) break;
  }
  return r;
}

}  // namespace vsf::host
