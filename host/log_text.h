// What the log and the documents show of a message's text: valid UTF-8 whatever bytes the
// program or the data held, and a long word by its start and its length.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vsf::host {

// Words longer than this many characters are shown by their start and their length.
inline constexpr size_t kLongestWord = 256;

// The text with each byte that is no part of a UTF-8 character, and each control character
// but tab and line feed, written as an escape: \0 for NUL, \xE9 for the byte E9.
std::string escapedBytes(std::string_view text);

// The text with each word (a run without blanks) of more than kLongestWord characters shown
// by its first characters and its length, what closes it (a quote, a stop) kept.
std::string shortenedWords(std::string_view text);

// Both: how a line of the log shows a text.
std::string logText(std::string_view text);

}  // namespace vsf::host
