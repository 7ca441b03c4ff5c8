#include "host/spelling.h"

#include <algorithm>
#include <cctype>

namespace vsf::host {

namespace {

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

// Optimal string alignment distance: insertions, deletions, substitutions and swaps of two
// adjacent letters.
size_t editDistance(std::string_view a, std::string_view b) {
  const size_t n = a.size(), m = b.size();
  std::vector<std::vector<size_t>> d(n + 1, std::vector<size_t>(m + 1));
  for (size_t i = 0; i <= n; ++i) d[i][0] = i;
  for (size_t j = 0; j <= m; ++j) d[0][j] = j;
  for (size_t i = 1; i <= n; ++i)
    for (size_t j = 1; j <= m; ++j) {
      const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[n][m];
}

}  // namespace

std::string nearestWord(std::string_view word, const std::vector<std::string>& candidates) {
  const std::string w = upper(word);
  const size_t allowed = w.size() <= 4 ? 1 : w.size() <= 8 ? 2 : 3;
  size_t best = allowed + 1;
  std::string found;
  bool tie = false;
  for (const std::string& c : candidates) {
    // The distance is at least the difference of the lengths: a word far longer or shorter
    // than every candidate costs no table.
    const size_t gap = c.size() > w.size() ? c.size() - w.size() : w.size() - c.size();
    if (gap > allowed) continue;
    const std::string u = upper(c);
    if (u == w) continue;
    const size_t d = editDistance(w, u);
    if (d < best) {
      best = d, found = c, tie = false;
    } else if (d == best && upper(found) != u) {
      tie = true;
    }
  }
  return best <= allowed && !tie ? found : std::string();
}

}  // namespace vsf::host
