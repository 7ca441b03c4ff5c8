// What a message shows of its text: valid UTF-8 whatever bytes it carried, and a long word by
// its start and its length.
#include "host/log_text.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <string>

#include "host/session.h"

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

// Texts are checked eight bytes at a time: a byte at fault is found at every place of a word
// and of the tail, and tabs and newlines next to it pass.
TEST(LogText, EveryPlaceOfAWordIsChecked) {
  const unsigned char edges[] = {0x00, 0x09, 0x0A, 0x0D, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xC3, 0xFF};
  auto expected = [](const std::string& in) {
    std::string out;
    for (char ch : in) {
      const auto c = static_cast<unsigned char>(ch);
      if (c == 0)
        out += "\\0";
      else if ((c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n')
        out += ch;
      else
        out += fmt::format("\\x{:02X}", c);
    }
    return out;
  };
  for (size_t length : {1, 7, 8, 9, 15, 16, 17, 24, 31}) {
    for (size_t at = 0; at < length; ++at) {
      for (unsigned char edge : edges) {
        std::string in(length, 'a');
        in[at] = static_cast<char>(edge);
        if (at > 0) in[at - 1] = '\t';  // a tab beside it makes its word be read byte by byte
        SCOPED_TRACE(expected(in));
        EXPECT_EQ(escapedBytes(in), expected(in));
      }
    }
  }
}

// A message's {n} takes its n-th argument, or nothing when there are fewer; any other brace
// stands as it is, and what an argument brings is escaped as the rest.
TEST(LogText, MessageArgumentsTakeTheirPlaces) {
  const MsgArg args[] = {MsgArg("a"), MsgArg(12), MsgArg("b\x01")};
  const struct {
    std::string text, out;
  } cases[] = {
      {"x {1} y {2}", "x a y 12"},
      {"{1}{2}", "a12"},
      {"{4} z", " z"},  // no fourth argument
      {"{3}", "b\\x01"},
      {"{0}", "{0}"},
      {"{x}", "{x}"},
      {"a{-1}", "a{-1}"},
      {"{1 and }", "{1 and }"},
      {"end {", "end {"},
      {"{1", "{1"},
      {"{}", "{}"},
      {"{}x", "{}x"},
      {"{1}}", "a}"},
      {"no braces", "no braces"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(formatMessage(c.text, args, 3), c.out);
  }
}

// Every set's messages are found by number, the first and last of the procedure's and one of a
// set of a single message; numbers between, past the last, below zero and sets unknown are not.
TEST(LogText, MessagesAreFoundByTheirSetAndNumber) {
  const CatalogueEntry* first = findMessage(848, 11);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->level, 'E');
  EXPECT_TRUE(first->text.starts_with("Model averaging cannot search"));
  ASSERT_NE(findMessage(848, 9103), nullptr);
  EXPECT_EQ(findMessage(848, 9103)->level, 'N');
  ASSERT_NE(findMessage(129, 54), nullptr);
  EXPECT_EQ(findMessage(129, 54)->text, "The host would not register a callback of the procedure.");
  EXPECT_EQ(findMessage(848, 10), nullptr);
  EXPECT_EQ(findMessage(848, 9104), nullptr);
  EXPECT_EQ(findMessage(848, -1), nullptr);
  EXPECT_EQ(findMessage(129, 53), nullptr);
  EXPECT_EQ(findMessage(1, 11), nullptr);
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

// The step code's warning comes from the levels a step wrote, which the log knows whether or
// not it keeps the lines (the command keeps them only for the documents).
TEST(LogLines, AStepsWarningIsSeenWhetherOrNotTheLinesAreKept) {
  Session& s = session();
  const int saved = s.stepNumber;
  for (const bool keep : {true, false}) {
    SCOPED_TRACE(keep);
    Log log;
    log.setEcho(false);
    log.keepLines(keep);
    s.stepNumber = 7;
    log.write("NOTE", "a");
    log.write("WARNING", "b");
    EXPECT_TRUE(log.stepWrote(7, "WARNING"));
    s.stepNumber = 8;
    log.write("NOTE", "c");
    EXPECT_EQ(log.lines().size(), keep ? 3u : 0u);
    EXPECT_TRUE(log.stepWrote(8, "NOTE"));
    EXPECT_FALSE(log.stepWrote(8, "WARNING"));
    EXPECT_FALSE(log.stepWrote(7, "WARNING"));  // only the last step's lines are asked about
    EXPECT_FALSE(log.stepWrote(9, "NOTE"));
  }
  s.stepNumber = saved;
}

}  // namespace
}  // namespace vsf::host
