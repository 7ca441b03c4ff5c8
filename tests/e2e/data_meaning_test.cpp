// Files read as R and spreadsheets mean them: a bare NA in a text column is missing, blanks
// around a CLASS value make no level of their own, lines ended by CR alone are lines, and the
// digits of a carried column reach the output data sets whole. The references are R's lm() on
// the file as data.table::fread reads it.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

// The values of a column of the class-level table, or of the parameter table, in order.
std::vector<std::string> cells(const Json& table, const std::string& column) {
  std::vector<std::string> out;
  for (const Json& row : table["rows"])
    if (row.contains(column) && row[column].is_string()) out.push_back(row[column]);
  return out;
}

double errorSumOfSquares(const CommandRun& r) {
  const Json anova = theOne(r, "ANOVA");
  for (const Json& row : anova["rows"])
    if (row["Source"] == "Error") return number(row["SS"]);
  return NAN;
}

double used(const CommandRun& r) { return number(theOne(r, "NObs")["rows"][1]["N"]); }

struct Case {
  const char* what;
  const char* file;  // the text of d.csv
  const char* program;
  double used;                      // observations used, as lm() uses them
  double errorSS;                   // lm()'s residual sum of squares
  std::vector<std::string> levels;  // the Class Level table's values, per CLASS variable
};

TEST(DataMeaning, ValuesReadAsTheFileMeansThem) {
  const Case cases[] = {
      // write.csv writes a missing text as a bare NA and quotes the texts: R, pandas and fread
      // leave out rows 1, 2, 6 and 7.
      {"missing-value words in text columns",
       "\"y\",\"x1\",\"g\",\"f\"\n2.9,3,NA,\"u\"\n4.2,4,\"a\",NA\n3.1,5,\"b\",\"v\"\n"
       "5.5,6,\"a\",\"u\"\n6.1,7,\"b\",\"v\"\n7.3,8,NA,\"u\"\n7.9,9,\"a\", NA \n"
       "9.2,10,\"b\",\"v\"\n9.8,11,\"a\",\"u\"\n11.1,12,\"b\",\"v\"\n",
       "class g f; model y = x1 g f / selection=none;",
       6,
       0.965512048192772,
       {"a b", "u v"}},
      // fread strips the blanks around a value (strip.white); the formatted value of a level
      // is compared left-justified.
      {"blanks around values",
       "y,x,g\n1,2,north\n2.5,3, south\n3,1,south \n4.2,5,south\n5,4,north\n6.1,7, south\n"
       "7,6,\"south\"\n8.4,9,north\n9,8,  south\n",
       "class g; model y = x g / selection=none;",
       9,
       8.94933333333333,
       {"north south"}},
      {"lines ended by CR alone",
       "y,x,g\r1,2,a\r2,3,b\r3,1,a\r4,5,b\r5,4,a\r6,7,b\r7,6,a\r8,9,b\r",
       "class g; model y = x g / selection=none;",
       8,
       4.74820143884891,
       {"a b"}},
      {"lines ended by CR alone, a quoted value over two of them, no last line end",
       "y,x,g,note\r1,2,a,\"one\rtwo\"\r2,3,b,\r3,1,a,\r4,5,b,\"x,\r\"\r5,4,a,\r6,7,b,\r7,6,a,\r"
       "8,9,b,\"\"",
       "class g; model y = x g / selection=none;",
       8,
       4.74820143884891,
       {"a b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir lib("vsf_meaning");
    std::ofstream(lib.path() / "d.csv", std::ios::binary) << c.file;
    const CommandRun r = runCommand(std::string("proc varsifter data=d; ") + c.program + " run;",
                                    lib.path().string());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(used(r), c.used);
    EXPECT_NEAR(errorSumOfSquares(r), c.errorSS, 1e-9 * c.errorSS);
    EXPECT_EQ(cells(theOne(r, "ClassLevelInfo"), "Values"), c.levels);
    // No level or parameter reads NA or starts with a blank.
    const Json parms = theOne(r, "ParameterEstimates");
    for (const std::string& level : cells(parms, "g")) {
      EXPECT_NE(level, "NA");
      EXPECT_NE(level.front(), ' ') << level;
    }
  }
}

// A quoted "NA" is the text NA, as write.csv means it (and fread reads it); a bare one is
// missing, in a text column as in a number column.
TEST(DataMeaning, QuotedNaIsAText) {
  ScratchDir lib("vsf_meaning");
  std::ofstream(lib.path() / "d.csv") << "\"y\",\"x\",\"h\"\n1,2,\"NA\"\n2,1,NA\n3,4,\"p\"\n"
                                         "4,3,\"NA\"\n5,6,\"p\"\n6,5,NA\n7,8,\"p\"\n";
  const CommandRun r = runCommand(
      "proc varsifter data=d; class h; model y = x h / selection=none; run;", lib.path().string());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(used(r), 5);
  EXPECT_EQ(cells(theOne(r, "ClassLevelInfo"), "Values"), std::vector<std::string>{"NA p"});
}

// An id past 2^53 that no statement uses goes to OUTPUT and SCORE OUT= as the file wrote it
// (pandas reads it as int64, fread as integer64); so do digits past a double's and a number
// too small for one. Where a statement uses such a column as numbers, a note names it, its
// first such value and the number used.
TEST(DataMeaning, CarriedColumnsKeepTheirDigits) {
  const std::vector<std::string> ids = {
      "9007199254740993", "12345678901234567", "123456789012345678", "4", "-5", "6"};
  const std::vector<std::string> fine = {"0.1234567890123456789", "1e-400", "2.5", "", "3", "7"};
  ScratchDir lib("vsf_meaning");
  {
    std::ofstream f(lib.path() / "d.csv");
    f << "id,y,x,fine\n";
    const double y[] = {1, 2, 3, 4, 5, 7}, x[] = {2, 3, 1, 5, 4, 6};
    for (size_t i = 0; i < ids.size(); ++i)
      f << ids[i] << ',' << y[i] << ',' << x[i] << ',' << fine[i] << '\n';
  }
  CommandRun r = runCommand(
      "proc varsifter data=d; model y = x / selection=none; output out=o p; "
      "score data=d out=s p; run;",
      lib.path().string());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output.find("does not hold"), std::string::npos) << r.output;
  for (const char* out : {"o.csv", "s.csv"}) {
    SCOPED_TRACE(out);
    const Csv o = readCsv((lib.path() / out).string());
    ASSERT_EQ(o.rows.size(), ids.size());
    for (size_t i = 0; i < ids.size(); ++i) {
      EXPECT_EQ(o.text(i, "id"), ids[i]);
      EXPECT_EQ(o.text(i, "fine"), fine[i]);
    }
    EXPECT_EQ(o.text(1, "y"), "2");
  }
  r = runCommand("proc varsifter data=d; model y = x id fine / selection=none; run;",
                 lib.path().string());
  EXPECT_NE(r.output.find("NOTE: Variable id of data set WORK.D has values that a number does "
                          "not hold exactly: the first, 9007199254740993 on line 2 of " +
                          (lib.path() / "d.csv").string() + ", is used as 9007199254740992."),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("NOTE: Variable fine of data set WORK.D has values that a number does "
                          "not hold exactly: the first, 0.1234567890123456789 on line 2"),
            std::string::npos)
      << r.output;
}

// NaN in any case and sign, and values of blanks alone, are missing numbers: the column stays
// numeric and those rows are left out.
TEST(DataMeaning, MissingNumbersInEveryForm) {
  ScratchDir lib("vsf_meaning");
  std::ofstream(lib.path() / "d.csv")
      << "y,x\n1,2\n2,nAn\n3,-NAN\n4,+nan\n5, \n6,\". \"\n7, NA\n8,3\n9,5\n10,4\n";
  const CommandRun r =
      runCommand("proc varsifter data=d; model y = x / selection=none; run;", lib.path().string());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(used(r), 4);
}

// What is wrong with a file or a program, said so: each run names the fault and how to mend it.
TEST(DataMeaning, MessagesSayWhatIsWrong) {
  ScratchDir lib("vsf_meaning");
  auto write = [&](const char* name, const std::string& text) {
    std::ofstream(lib.path() / name, std::ios::binary) << text;
  };
  write("d.csv", "y,x,g\n1,2,a\n2,3,b\n3,1,a\n4,5,b\n5,4,a\n6,7,b\n");
  write("hdr.csv", "y,x,g\n");
  write("blank.csv", "y, x1 ,g\n1,2,a\n2,3,b\n3,1,a\n4,5,b\n");
  write("cased.csv", "y,x1,X1\n1,2,3\n");
  write("trailing.csv", "y,x,\n1,2,\n2,3,\n");
  write("short.csv", "y,x,g\n1,2,a\n2\n");
  write("nul.csv", std::string("y,x,g\n1,2,a\n2,3,b\0c\n", 21));
  const std::string file = lib.path().string() + "/";
  expectRuns(
      lib.path().string(),
      {
          {"proc varsifter data=hdr; class g; model y = x g; run;",
           1,
           {"ERROR: The data set WORK.HDR has no observations: its file holds only its first line"},
           {"nothing to analyze"}},
          {"proc varsifter data=d; model y = x / selection=forward(select=sl slentry=0.05; run;",
           1,
           {"\";\" was not expected; the \")\" that closes the options of FORWARD is missing. "
            "FORWARD takes"}},
          {"proc varsifter data=blank; model y = x1 / selection=none; run;",
           0,
           {"NOTE: The first line of " + file +
            "blank.csv writes blanks around the names \" x1 \": the names of data set "
            "WORK.BLANK are read without them."}},
          {"proc varsifter data=cased; model y = x1; run;",
           1,
           {"line 1: the variable names x1 and X1 are one name: names are the same in upper "
            "and lower case."}},
          {"proc varsifter data=d; model y = x größe; run;",
           1,
           {"is written as a name literal, 'größe'n"}},
          {"proc varsifter data=trailing; model y = x; run;",
           1,
           {"line 1: variable 3 has no name: the first line ends with a comma. So does the first "
            "row: every line may. Remove the comma that ends each line."}},
          {"proc varsifter data=short; model y = x; run;",
           1,
           {"line 3: the row has 1 value for 3 variables; no value for variable x."}},
          {"proc varsifter data=nul; model y = x; run;",
           1,
           {"line 3: a NUL byte (\\0) in a value."}},
      });
  const std::string none = (lib.path() / "none").string();
  const CommandRun r = runCommand("proc varsifter data=d; model y = x; run;", none);
  EXPECT_NE(r.output.find("(no file \"" + none + "/d.csv\"): the library directory " + none +
                          " (--lib) does not exist."),
            std::string::npos)
      << r.output;
}

// A value over two lines shows its line break escaped, as the other control bytes are, and a
// byte that is not UTF-8 goes to OUTPUT as it is (as fread keeps it; pandas.read_csv stops on
// it unless told encoding="latin-1").
TEST(DataMeaning, ValuesWithLineBreaksAndOtherBytes) {
  ScratchDir lib("vsf_meaning");
  std::ofstream(lib.path() / "d.csv", std::ios::binary)
      << "y,x,g\n1,2,\"a\nb\"\n2,3,caf\xE9\n3,1,\"a\nb\"\n4,5,caf\xE9\n5,4,\"a\nb\"\n";
  const CommandRun r = runCommand(
      "proc varsifter data=d; class g; model y = x g / selection=none; output out=o p; run;",
      lib.path().string());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(cells(theOne(r, "ClassLevelInfo"), "Values"),
            std::vector<std::string>{"a\\x0Ab caf\\xE9"});
  std::ifstream in(lib.path() / "o.csv", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("\n2,3,caf\xE9,"), std::string::npos) << text;
  EXPECT_NE(text.find("\n1,2,\"a\nb\","), std::string::npos) << text;
}

// The program file: a data set given in its place, and one that cannot be read, say why.
TEST(DataMeaning, ProgramFilesSayWhy) {
  ScratchDir lib("vsf_meaning");
  const fs::path data = lib.path() / "mtcars.csv";
  std::ofstream(data) << "\"\",\"mpg\",\"cyl\"\n\"Mazda RX4\",21,6\n";
  CommandRun r = runArgs(shellQuoted(data.string()) + " --lib " + shellQuoted(lib.path().string()));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("ERROR: " + data.string() +
                          " looks like a data set, not a program: its first line names "
                          "variables. A program names its data set with DATA=: DATA=mtcars reads "
                          "mtcars.csv in the --lib directory"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(r.output.find("outside a procedure step"), std::string::npos) << r.output;
  r = runArgs(shellQuoted((lib.path() / "none.vsf").string()));
  EXPECT_NE(r.output.find("cannot read the program file " + (lib.path() / "none.vsf").string() +
                          " (No such file or directory)"),
            std::string::npos)
      << r.output;
}

}  // namespace
}  // namespace vsf::test
