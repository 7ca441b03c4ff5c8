#include "host/data/header_names.h"

#include <fmt/format.h>

#include <algorithm>

#include "frame/host/values.h"
#include "host/data/data.h"
#include "host/data/table.h"

namespace vsf::host {

namespace {

bool taken(const std::vector<std::string>& names, std::string_view name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& n) { return equalsNoCase(n, name); });
}

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
  std::string name = kRowNamesVariable;
  for (int k = 2; taken(*names, name); ++k) name = fmt::format("{}{}", kRowNamesVariable, k);
  names->front() = name;
  return kind;
}

// Names longer than a variable name can be are cut, and numbered where the cut one is taken.
void cutLongNames(HeaderNames* h) {
  std::vector<std::string> final;
  for (const std::string& n : h->names)
    if (n.size() <= kNameLimit) final.push_back(n);
  h->written.assign(h->names.size(), std::string());
  for (size_t j = 0; j < h->names.size(); ++j) {
    std::string& name = h->names[j];
    if (name.size() <= kNameLimit) continue;
    std::string cut = cutName(name, kNameLimit);
    for (int k = 2; taken(final, cut); ++k) {
      const std::string number = std::to_string(k);
      cut = cutName(name, kNameLimit - number.size()) + number;
    }
    final.push_back(cut);
    h->written[j] = std::move(name);
    name = std::move(cut);
  }
}

}  // namespace

bool settleHeaderNames(std::vector<std::string> fields, int firstRowFields,
                       const std::string& where, HeaderNames* out, std::string* error) {
  out->rowNames = nameRowNames(&fields, firstRowFields);
  for (size_t j = 0; j < fields.size(); ++j) {
    if (trimRight(fields[j]).empty()) {
      *error = fmt::format("{}: variable {} has no name.", where, j + 1);
      return false;
    }
    for (size_t i = 0; i < j; ++i)
      if (equalsNoCase(fields[i], fields[j])) {
        *error = fmt::format("{}: the variable name {} appears twice.", where, fields[j]);
        return false;
      }
  }
  out->names = std::move(fields);
  cutLongNames(out);
  return true;
}

}  // namespace vsf::host
