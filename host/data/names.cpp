// Data-set names: `name` and `work.name` are name.csv in the library directory, a quoted
// name is a path. Member names are case-insensitive, so an existing file of the name in
// another case is the data set.
#include <fmt/format.h>

#include <cctype>
#include <system_error>

#include "frame/host/values.h"
#include "host/data/dataset_internal.h"
#include "host/parse/parser.h"
#include "host/session.h"

namespace vsf::host {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// Letters, digits and underscores, not starting with a digit: nothing that leaves the
// library directory.
bool validMember(std::string_view m) {
  if (m.empty() || std::isdigit(static_cast<unsigned char>(m[0]))) return false;
  for (char c : m)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

// The file of the member: an exact match first, then one in another case.
std::filesystem::path memberFile(const std::filesystem::path& library, std::string_view member) {
  std::string file = std::string(member) + ".csv";
  std::filesystem::path exact = library / file;
  std::error_code ec;
  if (std::filesystem::exists(exact, ec)) return exact;
  for (auto it = std::filesystem::directory_iterator(library, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    std::string candidate = it->path().filename().string();
    if (equalsNoCase(candidate, file) && it->is_regular_file(ec)) return it->path();
  }
  return exact;
}

}  // namespace

bool resolveName(std::string_view name, DataSetName* out, std::string* error) {
  std::string_view n = trim(name);
  if (n.size() >= 2 && (n.front() == '\'' || n.front() == '"') && n.back() == n.front()) {
    // Doubled quotes stand for one ('it''s/x.csv'), as everywhere in a program.
    size_t end = 0;
    std::string path;
    if (!parse::quotedText(n, 0, &path, &end) || end != n.size()) path = n.substr(1, n.size() - 2);
    if (path.empty()) {
      *error = "A quoted data-set name must give a path.";
      return false;
    }
    out->path = path;
    out->shown = path;
    out->reopen = std::string(n);
    return true;
  }
  std::string_view member = n;
  size_t dot = n.find('.');
  if (dot != std::string_view::npos) {
    std::string_view library = n.substr(0, dot);
    member = n.substr(dot + 1);
    if (equalsNoCase(member, "csv")) {
      *error = fmt::format(
          "{} is a file name, not a data-set name: DATA={} reads {}.csv in the library "
          "directory (--lib), and a quoted path reads any file (DATA='path/{}').",
          std::string(n), std::string(library), std::string(library), std::string(n));
      return false;
    }
    if (!equalsNoCase(library, "work")) {
      *error = fmt::format(
          "Library {} is not assigned: WORK is the only library (the "
          "library directory).",
          upperCopy(library));
      return false;
    }
  }
  if (!validMember(member)) {
    *error = fmt::format(
        "{} is not a valid data-set name: a name has letters, digits and underscores; a file "
        "elsewhere is named by its path in quotes.",
        std::string(n));
    return false;
  }
  const std::filesystem::path& library = session().options.library;
  out->path = memberFile(library, member);
  std::string stem = out->path.stem().string();
  out->shown = "WORK." + upperCopy(member);
  out->reopen = "WORK." + stem;
  return true;
}

}  // namespace vsf::host
