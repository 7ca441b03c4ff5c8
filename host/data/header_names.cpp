#include "host/data/header_names.h"

#include <fmt/format.h>

#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "frame/host/values.h"
#include "host/data/data.h"
#include "host/data/table.h"

namespace vsf::host {

namespace {

// Names as the comparison without case sees them: one upper-cased key a name, looked up once
// rather than compared with every other name (which took minutes on a wide file).
class NameKeys {
 public:
  bool contains(std::string_view name) const { return keys_.contains(upperCopy(name)); }
  // False when the name was there already.
  bool add(std::string_view name) { return keys_.insert(upperCopy(name)).second; }
  void reserve(size_t n) { keys_.reserve(n); }

 private:
  std::unordered_set<std::string> keys_;
};

// The first `bytes` bytes of the name, never splitting a UTF-8 character.
std::string cutName(const std::string& name, size_t bytes) {
  if (name.size() <= bytes) return name;
  while (bytes > 0 && (static_cast<unsigned char>(name[bytes]) & 0xC0) == 0x80) --bytes;
  return name.substr(0, bytes);
}

// R writes its row names under an empty first name, or with no name at all: that column is
// named, unlike any other column.
RowNames nameRowNames(std::vector<std::string>* names, int firstRowFields) {
  RowNames kind = RowNames::kNone;
  if (firstRowFields == static_cast<int>(names->size()) + 1) {
    names->insert(names->begin(), std::string());
    kind = RowNames::kShortHeader;
  } else if (names->size() >= 2 && trimRight(names->front()).empty()) {
    kind = RowNames::kEmptyName;
  } else {
    return kind;
  }
  NameKeys taken;
  taken.reserve(names->size());
  for (const std::string& n : *names) taken.add(n);
  std::string name = kRowNamesVariable;
  for (int k = 2; taken.contains(name); ++k) name = fmt::format("{}{}", kRowNamesVariable, k);
  names->front() = name;
  return kind;
}

// The cut of a long name whose plain cut is taken, numbered with the least number that makes
// it free. The numbers of a cut with as many digits are tried upwards from where the last name
// of that cut stopped: those below are taken, and stay taken, so each number is tried once.
std::string numberedCut(const std::string& name, NameKeys* taken,
                        std::unordered_map<std::string, int64_t>* next) {
  for (int64_t digits = 1, first = 2, limit = 10;; ++digits, first = limit, limit *= 10) {
    const std::string base = cutName(name, kNameLimit - static_cast<size_t>(digits));
    const std::string key = static_cast<char>(digits) + upperCopy(base);
    int64_t& k = next->try_emplace(key, first).first->second;
    while (k < limit) {
      std::string cut = base + std::to_string(k++);
      if (taken->add(cut)) return cut;
    }
  }
}

// Names longer than a variable name can be are cut, and numbered where the cut one is taken.
void cutLongNames(HeaderNames* h) {
  NameKeys taken;
  for (const std::string& n : h->names)
    if (n.size() <= kNameLimit) taken.add(n);
  std::unordered_map<std::string, int64_t> next;  // by the digits and the cut, upper case
  h->written.assign(h->names.size(), std::string());
  for (size_t j = 0; j < h->names.size(); ++j) {
    std::string& name = h->names[j];
    if (name.size() <= kNameLimit) continue;
    std::string cut = cutName(name, kNameLimit);
    if (!taken.add(cut)) cut = numberedCut(name, &taken, &next);
    h->written[j] = std::move(name);
    name = std::move(cut);
  }
}

// Blanks around a name are not part of it: the names so written, as written, go to *blanked.
void trimNames(std::vector<std::string>* names, std::vector<std::string>* blanked) {
  for (std::string& n : *names) {
    const size_t first = n.find_first_not_of(" \t");
    const size_t last = n.find_last_not_of(" \t");
    if (first == std::string::npos) {  // blanks alone: no name
      n.clear();
      continue;
    }
    if (first == 0 && last + 1 == n.size()) continue;
    blanked->push_back(n);
    n = n.substr(first, last + 1 - first);
  }
}

// Why variable j has no name: a first line that ends with a comma leaves its last one without.
std::string unnamed(const std::string& where, size_t j, size_t count, int firstRowFields) {
  if (j == 0 || j + 1 != count) return fmt::format("{}: variable {} has no name.", where, j + 1);
  return fmt::format(
      "{}: variable {} has no name: the first line ends with a comma.{} Remove the comma that "
      "ends each line.",
      where, j + 1,
      firstRowFields == static_cast<int>(count) ? " So does the first row: every line may." : "");
}

}  // namespace

bool settleHeaderNames(std::vector<std::string> fields, int firstRowFields,
                       const std::string& where, HeaderNames* out, std::string* error) {
  out->rowNames = nameRowNames(&fields, firstRowFields);
  trimNames(&fields, &out->blanked);
  // Each name by its upper-cased key, as first written: names are compared without case.
  std::unordered_map<std::string, size_t> seen;
  seen.reserve(fields.size());
  for (size_t j = 0; j < fields.size(); ++j) {
    if (fields[j].empty()) {
      *error = unnamed(where, j, fields.size(), firstRowFields);
      return false;
    }
    const auto [at, fresh] = seen.try_emplace(upperCopy(fields[j]), j);
    if (fresh) continue;
    const std::string& before = fields[at->second];
    *error = before == fields[j]
                 ? fmt::format("{}: the variable name {} appears twice.", where, fields[j])
                 : fmt::format(
                       "{}: the variable names {} and {} are one name: names are the "
                       "same in upper and lower case.",
                       where, before, fields[j]);
    return false;
  }
  out->names = std::move(fields);
  cutLongNames(out);
  return true;
}

}  // namespace vsf::host
