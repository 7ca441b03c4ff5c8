// The message catalogue, compiled in from messages.txt.
#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/log_text.h"
#include "host/session.h"

namespace vsf::host {

extern const char kMessageCatalogue[];  // generated from messages.txt

namespace {

// The messages of each set by number, a place for every number up to its set's highest: a BY
// step looks up tens of messages a group, and a hash table's buckets lay them apart in memory.
struct Catalogue {
  std::vector<CatalogueEntry> entries;
  std::vector<std::pair<int, std::vector<const CatalogueEntry*>>> sets;
};

Catalogue load() {
  struct Read {
    int set, number;
    CatalogueEntry entry;
  };
  std::vector<Read> read;
  std::string_view all(kMessageCatalogue);
  while (!all.empty()) {
    size_t eol = all.find('\n');
    std::string_view line = all.substr(0, eol);
    all = eol == std::string_view::npos ? std::string_view() : all.substr(eol + 1);
    if (line.empty() || line[0] == '#') continue;
    int set = 0, number = 0;
    auto r1 = std::from_chars(line.data(), line.data() + line.size(), set);
    std::string_view rest(r1.ptr + 1, static_cast<size_t>(line.data() + line.size() - r1.ptr - 1));
    auto r2 = std::from_chars(rest.data(), rest.data() + rest.size(), number);
    std::string_view tail(r2.ptr + 1, static_cast<size_t>(rest.data() + rest.size() - r2.ptr - 1));
    if (tail.size() < 2 || number < 0) continue;
    read.push_back(Read{set, number, CatalogueEntry{tail[0], std::string(tail.substr(2)), ""}});
  }
  // A number given twice keeps its last text.
  std::stable_sort(read.begin(), read.end(), [](const Read& a, const Read& b) {
    return a.set != b.set ? a.set < b.set : a.number < b.number;
  });
  Catalogue c;
  c.entries.reserve(read.size());
  for (Read& r : read) {
    r.entry.plain = formatMessage(r.entry.text, nullptr, 0);
    c.entries.push_back(std::move(r.entry));
  }
  for (size_t i = 0; i < read.size(); ++i) {
    if (c.sets.empty() || c.sets.back().first != read[i].set) c.sets.push_back({read[i].set, {}});
    auto& numbers = c.sets.back().second;
    numbers.resize(std::max(numbers.size(), static_cast<size_t>(read[i].number) + 1), nullptr);
    numbers[static_cast<size_t>(read[i].number)] = &c.entries[i];
  }
  // The largest set (the procedure's own) is looked at first.
  std::stable_sort(c.sets.begin(), c.sets.end(),
                   [](const auto& a, const auto& b) { return a.second.size() > b.second.size(); });
  return c;
}

std::string argText(const MsgArg& a) {
  switch (a.kind) {
    case MsgArg::Kind::kText:
      return std::string(a.s);
    case MsgArg::Kind::kInt:
      return std::to_string(a.i);
    default:
      return fmt::format("{}", a.d);
  }
}

}  // namespace

const CatalogueEntry* findMessage(int set, int number) {
  static const Catalogue catalogue = load();
  for (const auto& [s, numbers] : catalogue.sets)
    if (s == set)
      return number >= 0 && static_cast<size_t>(number) < numbers.size()
                 ? numbers[static_cast<size_t>(number)]
                 : nullptr;
  return nullptr;
}

std::string formatMessage(std::string_view text, const MsgArg* args, int count) {
  std::string out;
  out.reserve(text.size() + 16);
  size_t i = 0;
  while (i < text.size()) {
    // The text up to the next brace goes as it is.
    const size_t open = std::min(text.find('{', i), text.size());
    out.append(text, i, open - i);
    i = open;
    if (i == text.size()) break;
    if (i + 2 < text.size()) {
      const size_t close = text.find('}', i);
      int n = 0;
      if (close != std::string_view::npos) {
        auto r = std::from_chars(text.data() + i + 1, text.data() + close, n);
        if (r.ptr == text.data() + close && n >= 1) {
          if (n <= count) out += argText(args[n - 1]);
          i = close + 1;
          continue;
        }
      }
    }
    out += '{';
    ++i;
  }
  return escapedBytes(out);  // a name from the program or the data may hold any bytes
}

}  // namespace vsf::host
