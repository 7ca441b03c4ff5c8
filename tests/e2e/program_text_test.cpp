// The program text as editors save it: a byte-order mark, any line ends, characters of more
// than one byte; and a statement that runs on into the next for want of its ";".
#include <gtest/gtest.h>

#include <fstream>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

// The text with each LF written as `end`.
std::string withLineEnds(const std::string& text, const std::string& end) {
  std::string out;
  for (char c : text) out += c == '\n' ? end : std::string(1, c);
  return out;
}

size_t errorCount(const std::string& output) {
  size_t n = 0;
  for (size_t at = output.find("ERROR"); at != std::string::npos; at = output.find("ERROR", at + 1))
    ++n;
  return n;
}

// A mark at the start and LF, CRLF or CR alone at the ends of lines: the program runs as
// written with LF, and an error names the same line and column, which count characters.
TEST(ProgramText, MarksLineEndsAndCharacters) {
  const std::string runs =
      "%put Start;\nproc varsifter data=mtcars;\n  model mpg = wt hp / selection=forward;\n"
      "run;\n";
  const CommandRun plain = runCommand(runs, VSF_SHARED_DATA);
  ASSERT_EQ(plain.status, 0) << plain.output;
  const std::string kMark = "\xEF\xBB\xBF";
  for (const std::string& text :
       {kMark + runs, withLineEnds(runs, "\r\n"), kMark + withLineEnds(runs, "\r")}) {
    const CommandRun r = runCommand(text, VSF_SHARED_DATA);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, plain.output);
  }
  // Errors found by the parser, by the reader of statements between steps, and by the scan
  // for unclosed strings; "\xC3\xA9" and "\xE2\x82\xAC" are one character each.
  const struct {
    std::string program, error;
  } cases[] = {
      {"proc varsifter data=mtcars;\n  model mpg = wt /* \xC3\xA9\xE2\x82\xAC */ \xC3\xBC;\nrun;\n",
       "Line 2, column 27: \"\xC3\xBC\" is not a valid token."},
      {"%put \xC3\xA9;\n\nbogus;\n",
       "line 3: statement BOGUS is not valid outside a procedure step"},
      {"%put \xE2\x82\xAC;\n%put \xC3\xA9\xC3\xA9 'open;\n",
       "line 2, column 9: the quoted string '"},
  };
  for (const auto& c : cases) {
    for (const std::string end : {"\n", "\r\n", "\r"}) {
      const CommandRun r = runCommand(kMark + withLineEnds(c.program, end), VSF_SHARED_DATA);
      SCOPED_TRACE(c.program + " ended by " + (end == "\n" ? "LF" : end == "\r" ? "CR" : "CRLF"));
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.output.find(c.error), std::string::npos) << r.output;
      EXPECT_EQ(errorCount(r.output), 1u) << r.output;
    }
  }
}

// A ";" left out at the end of a statement is said where it belongs, once: the next statement
// is read as itself and blamed for nothing.
TEST(ProgramText, AMissingSemicolonIsOneError) {
  const struct {
    std::string program, error;
  } cases[] = {
      {"proc varsifter data=mtcars;\n  class cyl\n  model mpg = wt cyl;\nrun;",
       "Line 2, column 12: syntax error: a \";\" was expected after \"cyl\", before \"model\" on "
       "line 3."},
      {"proc varsifter data=mtcars\n  model mpg = wt;\nrun;",
       "Line 1, column 27: syntax error: a \";\" was expected after \"mtcars\", before \"model\" "
       "on line 2."},
      {"proc varsifter data=mtcars;\n  model mpg = wt;\n  output out=o p=ph\n"
       "  score data=mtcars out=s p;\nrun;",
       "Line 3, column 20: syntax error: a \";\" was expected after \"ph\", before \"score\" on "
       "line 4."},
      // Lists that take any name swallow the next statement's first words whole: the name
      // that is no variable is the statement's keyword.
      {"proc varsifter data=mtcars;\n  model mpg = wt cyl\n  freq carb;\nrun;",
       "Line 3, column 3: The variable freq was not found on data set WORK.MTCARS: a \";\" is "
       "missing at the end of the statement before freq."},
      {"proc varsifter data=mtcars;\n  class cyl\n  by am;\n  model mpg = wt;\nrun;",
       "Line 3, column 3: variable by not found on data set WORK.MTCARS: a \";\" is missing at "
       "the end of the statement before by."},
  };
  for (const auto& c : cases) {
    const CommandRun r = runCommand(c.program, VSF_SHARED_DATA);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(c.error), std::string::npos) << r.output;
    EXPECT_EQ(errorCount(r.output), 1u) << r.output;
  }
}

// How often the text stands in the output.
size_t countOf(const std::string& output, const std::string& text) {
  size_t n = 0;
  for (size_t at = output.find(text); at != std::string::npos; at = output.find(text, at + 1)) ++n;
  return n;
}

// A ";" left out after RUN, QUIT, OPTIONS, %LET or %PUT is said where it belongs, once, and
// what follows is read as the statement it is: the next step runs.
TEST(ProgramText, AMissingSemicolonBetweenStepsLosesNothing) {
  const std::string step = "proc varsifter data=mtcars;\n  model mpg = wt / selection=none;\n";
  const struct {
    std::string program, error;
    size_t steps, errors;
  } cases[] = {
      {step + "run\n" + step + "run;",
       "line 3, column 4: syntax error: a \";\" was expected after \"run\", before \"proc\" on "
       "line 4.",
       2, 1},
      {step + "quit /* done */ proc varsifter data=mtcars; model mpg = hp; run;",
       "line 3, column 5: syntax error: a \";\" was expected after \"quit\", before \"proc\" on "
       "line 3.",
       2, 1},
      {"options nothreads\n" + step + "run;",
       "line 1, column 18: syntax error: a \";\" was expected after \"nothreads\", before "
       "\"proc\" on line 2.",
       1, 1},
      {"options cpucount=2 debug='a run' %let b = 2;\n" + step + "run;",
       "line 1, column 33: syntax error: a \";\" was expected after \"run'\", before \"%let\" on "
       "line 1.",
       1, 1},
      {"%let a = wt\n" + step + "run;",
       "line 1, column 12: syntax error: a \";\" was expected after \"wt\", before \"proc\" on "
       "line 2.",
       1, 1},
      {"%put the run\n  is next, proc_sort after\n%put done;\n" + step + "run;",
       "line 2, column 27: syntax error: a \";\" was expected after \"after\", before \"%put\" on "
       "line 3.",
       1, 1},
      // What follows RUN is the statement it is, here one of a step.
      {step + "run\nmodel mpg = hp;",
       "line 3, column 4: syntax error: a \";\" was expected after \"run\", before \"model\" on "
       "line 4.",
       1, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    const CommandRun r = runCommand(c.program, VSF_SHARED_DATA);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(c.error), std::string::npos) << r.output;
    EXPECT_EQ(errorCount(r.output), c.errors) << r.output;
    EXPECT_EQ(countOf(r.output, "step ended with return code 0."), c.steps) << r.output;
  }
  // The %LET took its value, and the %PUT its text, up to where the ";" belongs.
  const CommandRun let = runCommand("%let a = wt\n%put &a.!;\n", VSF_SHARED_DATA);
  EXPECT_NE(let.output.find("\nwt!\n"), std::string::npos) << let.output;
}

// A word of any length costs no more than its reading, and a message quotes its start and
// its length.
TEST(ProgramText, ALongWordIsQuotedByItsStartAndLength) {
  const std::string word(200000, 'q');
  const struct {
    std::string program, error;
  } cases[] = {
      {"proc varsifter data=mtcars " + word + ";\n  model mpg = wt;\nrun;",
       "syntax error: \"" + std::string(64, 'q') + "... (200000 characters)\" was not expected"},
      {"proc varsifter data=mtcars;\n  model mpg = wt " + word + ";\nrun;",
       std::string(64, 'q') + "... (200000 characters) was not found on data set WORK.MTCARS"},
      {"proc " + word + ";\nrun;",
       "procedure " + std::string(64, 'Q') + "... (200000 characters) not found"},
  };
  for (const auto& c : cases) {
    const CommandRun r = runCommand(c.program, VSF_SHARED_DATA);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(c.error), std::string::npos) << r.output.substr(0, 4000);
    EXPECT_LT(r.output.size(), 4000u) << r.output.substr(0, 4000);
  }
}

// Whether the text is valid UTF-8 throughout.
bool validUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80                 ? 1
                     : c >= 0xC2 && c <= 0xDF ? 2
                     : c >= 0xE0 && c <= 0xEF ? 3
                     : c >= 0xF0 && c <= 0xF4 ? 4
                                              : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// Bytes that are no UTF-8, and a NUL, are shown escaped in every message: the log, the HTML
// page and the JSON document stay valid UTF-8.
TEST(ProgramText, BytesThatAreNoCharacterAreShownEscaped) {
  using namespace std::string_literals;
  const struct {
    std::string program, error;
  } cases[] = {
      {"proc varsifter data=mtcars;\n  model mpg = wt;\n  output out=o p=y\xE9h;\nrun;",
       "Line 3, column 19: \"\\xE9\" is not a valid token."},
      {"proc varsifter data=mtcars;\n  model mpg = wt;\n  output out=o p=y\0h;\nrun;"s,
       "Line 3, column 19: \"\\0\" is not a valid token."},
      {"%put caf\xE9 \xC3\xA9 \xF4\x90\x80\x80;\nbogus;\n",
       "caf\\xE9 \xC3\xA9 \\xF4\\x90\\x80\\x80"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    const CommandRun r = runCommand(c.program, VSF_SHARED_DATA);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(c.error), std::string::npos) << r.output;
    EXPECT_TRUE(validUtf8(r.output)) << r.output;
    EXPECT_TRUE(validUtf8(r.html));
    ASSERT_FALSE(r.document.is_discarded());
    bool logged = false;
    for (const Json& line : r.document["log"])
      logged |= line["text"].get<std::string>().find(c.error) != std::string::npos;
    EXPECT_TRUE(logged);
    EXPECT_EQ(r.output.find('\0'), std::string::npos);
  }
  // The values of a data set written in another encoding reach the listing and the documents
  // escaped; the output data set keeps them as they were.
  DataLibrary lib({});
  std::ofstream(lib.path() / "latin.csv") << "y,x,c\n1,2,caf\xE9\n2,3,ab\n3,5,caf\xE9\n4,4,ab\n";
  const CommandRun data = runCommand(
      "proc varsifter data=latin; class c; model y = x c / selection=none; output out=o p; run;",
      lib.dir());
  EXPECT_EQ(data.status, 0) << data.output;
  EXPECT_NE(data.output.find("caf\\xE9"), std::string::npos) << data.output;
  EXPECT_TRUE(validUtf8(data.output));
  EXPECT_TRUE(validUtf8(data.html));
  EXPECT_NE(data.document.dump().find("caf\\\\xE9"), std::string::npos);
  EXPECT_NE(lib.text("o.csv").find(",caf\xE9,"), std::string::npos) << lib.text("o.csv");
  // The command's own errors too.
  const CommandRun missing = runArgs(shellQuoted("no dir/\xE9.vsf"));
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(
      missing.output.rfind(
          "ERROR: cannot read the program file no dir/\\xE9.vsf (No such file or directory)\n", 0),
      0u)
      << missing.output;
}

}  // namespace
}  // namespace vsf::test
