// Texts in a drawing: their widths estimated from the font size, generously, and long ones cut
// in the middle, so that labels that differ at their start or at their end stay apart.
#include <string>
#include <vector>

#include "host/output/plot_internal.h"

namespace vsf::host::output {

namespace {

// The characters of East Asian scripts and the full-width forms take about one em; the others
// about half, taken as 0.6 to be safe.
bool isWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
         (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
}

struct Character {
  size_t at;     // its first byte
  double width;  // in em
};

// The characters of a UTF-8 text; a byte that starts no valid character counts as one.
std::vector<Character> characters(std::string_view s) {
  std::vector<Character> out;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
    char32_t c = n == 1 ? b : b & (0x7F >> n);
    size_t k = 1;
    for (; k < n && i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80; ++k)
      c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    const size_t taken = k == n ? n : 1;
    out.push_back(Character{i, taken > 1 && isWide(c) ? 1.0 : 0.6});
    i += taken;
  }
  return out;
}

}  // namespace

double textWidth(std::string_view s, double size) {
  double em = 0;
  for (const Character& c : characters(s)) em += c.width;
  return em * size;
}

std::string fitted(std::string_view s, double width, double size) {
  // The margins were made from these widths.
  if (textWidth(s, size) <= width + 0.5) return std::string(s);
  const std::vector<Character> chars = characters(s);
  const double budget = width / size - 1;  // in em, the ellipsis taking one
  // Characters from the start and from the end in turn, while they fit.
  size_t head = 0, tail = chars.size();
  double used = 0;
  for (bool front = true; head < tail; front = !front) {
    const double w = chars[front ? head : tail - 1].width;
    if (used + w > budget) break;
    used += w;
    front ? ++head : --tail;
  }
  std::string_view first = s.substr(0, head < chars.size() ? chars[head].at : s.size());
  std::string_view last = s.substr(tail < chars.size() ? chars[tail].at : s.size());
  while (!first.empty() && first.back() == ' ') first.remove_suffix(1);
  while (!last.empty() && last.front() == ' ') last.remove_prefix(1);
  return std::string(first) + "\u2026" + std::string(last);
}

}  // namespace vsf::host::output
