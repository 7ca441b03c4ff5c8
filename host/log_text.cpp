#include "host/log_text.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace vsf::host {

namespace {

constexpr size_t kShownStart = 64;  // characters of a long word shown
constexpr size_t kMarks = 4;        // quotes and stops around a long word kept ("\"." and the like)

bool continues(unsigned char c) { return (c & 0xC0) == 0x80; }

// The bytes of the UTF-8 character at i, 0 when none begins there (a stray or cut sequence,
// an overlong form, a surrogate, a code point past U+10FFFF).
size_t characterAt(std::string_view s, size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  auto at = [&](size_t k) { return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0; };
  if (c < 0x80) return 1;
  size_t n = 0;
  unsigned char low = 0x80, high = 0xBF;  // the bounds of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at(1) < low || at(1) > high) return 0;
  for (size_t k = 2; k < n; ++k)
    if (!continues(at(k))) return 0;
  return n;
}

bool blank(char c) { return c == ' ' || c == '\n' || c == '\t'; }

size_t characters(std::string_view s) {
  size_t n = 0;
  for (char c : s) n += !continues(static_cast<unsigned char>(c));
  return n;
}

// The bytes of the first `count` characters.
size_t bytesOf(std::string_view s, size_t count) {
  size_t i = 0;
  for (size_t k = 0; k < count && i < s.size(); ++k)
    for (++i; i < s.size() && continues(static_cast<unsigned char>(s[i]));) ++i;
  return i;
}

void appendWord(std::string& out, std::string_view word) {
  if (characters(word) <= kLongestWord) {
    out += word;
    return;
  }
  constexpr std::string_view kOpening = "\"'([", kClosing = "\"')].,;:!?";
  size_t close = word.size();
  while (close > 0 && word.size() - close < kMarks &&
         kClosing.find(word[close - 1]) != kClosing.npos)
    --close;
  size_t open = 0;
  while (open < close && open < kMarks && kOpening.find(word[open]) != kOpening.npos) ++open;
  const std::string_view inner = word.substr(open, close - open);
  out += word.substr(0, open);
  out += inner.substr(0, bytesOf(inner, kShownStart));
  out += fmt::format("... ({} characters)", characters(inner));
  out += word.substr(close);
}

bool plainByte(unsigned char c) { return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n'; }

// Whether every byte is printable ASCII, a tab or a newline: eight bytes at a time (every name,
// label and value the output shows passes here), a byte at a time only in a word that holds a
// byte below the blank.
bool plainText(std::string_view text) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, text.data() + i, 8);
    if ((w | (w + kOnes)) & kHigh) return false;  // a byte of 0x7F or more
    if ((w - 0x20 * kOnes) & ~w & kHigh)          // a byte below the blank, maybe a tab
      for (size_t k = i; k < i + 8; ++k)
        if (!plainByte(static_cast<unsigned char>(text[k]))) return false;
  }
  for (; i < text.size(); ++i)
    if (!plainByte(static_cast<unsigned char>(text[i]))) return false;
  return true;
}

}  // namespace

std::string escapedBytes(std::string_view text) {
  // Printable ASCII, tabs and newlines stand as they are: the most texts, at the cost of a scan.
  if (plainText(text)) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t n = characterAt(text, i);
    if (c == 0) {
      out += "\\0";
    } else if (n == 0 || (c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) {
      out += fmt::format("\\x{:02X}", c);
    } else {
      out.append(text.substr(i, n));
      i += n;
      continue;
    }
    ++i;
  }
  return out;
}

std::string shortenedWords(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t end = i;
    while (end < text.size() && !blank(text[end])) ++end;
    appendWord(out, text.substr(i, end - i));
    while (end < text.size() && blank(text[end])) out += text[end++];
    i = end;
  }
  return out;
}

std::string logText(std::string_view text) { return shortenedWords(escapedBytes(text)); }

}  // namespace vsf::host
