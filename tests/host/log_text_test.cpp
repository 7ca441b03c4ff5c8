// What a message shows of its text: valid UTF-8 whatever bytes it carried, and a long word by
// its start and its length.
#include "host/log_text.h"

#include <gtest/gtest.h>

#include <string>

namespace vsf::host {
namespace {

using namespace std::string_literals;

TEST(LogText, BytesThatAreNoCharacterAreEscaped) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"p=y\xE9h", "p=y\\xE9h"},
      {"y\0h"s, "y\\0h"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"\xC0\x80", "\\xC0\\x80"},                    // an overlong NUL
      {"\xE0\x80\xAF", "\\xE0\\x80\\xAF"},           // an overlong "/"
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},           // a surrogate
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},  // past U+10FFFF
      {"ab\xE2\x82", "ab\\xE2\\x82"},                // cut at the end
      {"\xE2\x82x", "\\xE2\\x82x"},                  // cut before a letter
      {"\x80\xBF", "\\x80\\xBF"},                    // continuations alone
      {"tab\tline\nbell\a\rdel\x7F", "tab\tline\nbell\\x07\\x0Ddel\\x7F"},
      {"a\\b", "a\\b"},
      {"plain ~ text\tand a line\n", "plain ~ text\tand a line\n"},
      {"\x7F", "\\x7F"},  // the one byte above the printable ones
      {" \x1F", " \\x1F"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    EXPECT_EQ(escapedBytes(c.in), c.out);
    EXPECT_EQ(escapedBytes(escapedBytes(c.in)), c.out);  // once escaped, nothing more to do
  }
}

TEST(LogText, ALongWordShowsItsStartAndItsLength) {
  const std::string word(100000, 'w'), start(64, 'w');
  const std::string euros = [] {
    std::string e;
    for (int i = 0; i < 300; ++i) e += "\xE2\x82\xAC";
    return e;
  }();
  std::string eurosStart;
  for (int i = 0; i < 64; ++i) eurosStart += "\xE2\x82\xAC";
  const struct {
    std::string in, out;
  } cases[] = {
      {"syntax error: \"" + word + "\" was not expected.",
       "syntax error: \"" + start + "... (100000 characters)\" was not expected."},
      {"variable " + word + " not found",
       "variable " + start + "... (100000 characters) not found"},
      {"(" + euros + ").", "(" + eurosStart + "... (300 characters))."},
      {std::string(kLongestWord, 'k') + " kept", std::string(kLongestWord, 'k') + " kept"},
      {"a  b\n\tc", "a  b\n\tc"},
  };
  for (const auto& c : cases) EXPECT_EQ(shortenedWords(c.in), c.out);
  EXPECT_EQ(
      logText("\"" + std::string(300, '\xE9') + "\""), "\"" + [] {
        std::string s;
        for (int i = 0; i < 16; ++i) s += "\\xE9";
        return s;
      }() + "... (1200 characters)\"");
}

}  // namespace
}  // namespace vsf::host
