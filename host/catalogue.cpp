// The message catalogue, compiled in from messages.txt.
#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "host/log_text.h"
#include "host/session.h"

namespace vsf::host {

extern const char kMessageCatalogue[];  // generated from messages.txt

namespace {

// A message's set and number as one key: a BY step looks up tens of messages a group, which a
// tree ordered by the pair made a walk of a dozen nodes apart in memory.
uint64_t keyOf(int set, int number) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(set)) << 32) | static_cast<uint32_t>(number);
}

std::unordered_map<uint64_t, CatalogueEntry> load() {
  std::unordered_map<uint64_t, CatalogueEntry> m;
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
    if (tail.size() < 2) continue;
    m[keyOf(set, number)] = CatalogueEntry{tail[0], std::string(tail.substr(2)), std::string()};
  }
  for (auto& [key, entry] : m) entry.plain = formatMessage(entry.text, nullptr, 0);
  return m;
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
  static const std::unordered_map<uint64_t, CatalogueEntry> catalogue = load();
  auto it = catalogue.find(keyOf(set, number));
  return it == catalogue.end() ? nullptr : &it->second;
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
