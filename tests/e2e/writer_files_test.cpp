// Files as R's and Python's writers write them, byte for byte: ';' with decimal points or
// commas, lines ended by CR alone, numpy's "# " header, pandas' blanks around a name. Each is
// read as the writer's own reader reads it (the fit is R's lm(y ~ x1) on the same six rows), or
// refused with an error that says why and how to write the file.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

// lm(y ~ x1) on the rows every file below writes.
constexpr double kIntercept = 10.519506382241037, kSlope = 0.8123531850219975;

struct WrittenFile {
  const char* writer;
  std::string text;
  const char* response;           // as the program names it
  std::vector<std::string> said;  // in the log
};

// Rows enough that those after them are past the values that show the decimal mark at once.
constexpr int kPastSample = 50000;

std::string repeated(const std::string& row, int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += row;
  return text;
}

// The six rows written with ';' and `mark` as the decimal mark, `lead` rows first whose response is
// missing.
std::string semicolonRows(char mark, int lead) {
  std::string text = "id;y;x1\n" + repeated("0;NA;0\n", lead);
  const char* rows[] = {"1;10.2458642254637;-0.45637",
                        "2;8.5;1.25",
                        "3;12.75;0.5",
                        "4;9.125;-1.5",
                        "5;11.0625;0.75",
                        "6;13.5;2"};
  for (std::string row : rows) {
    for (char& c : row) c = c == '.' ? mark : c;
    text += row + "\n";
  }
  return text;
}

// The fit of the response on x1 to the file as d.csv; its log says what the file wants said.
CommandRun fitOn(const WrittenFile& f) {
  ScratchDir lib("vsf_writers");
  std::ofstream(lib.path() / "d.csv", std::ios::binary) << f.text;
  const CommandRun r = runCommand(
      std::string("proc varsifter data=d; model ") + f.response + " = x1 / selection=none; run;",
      lib.path().string());
  for (const std::string& text : f.said)
    EXPECT_NE(r.output.find(text), std::string::npos) << text << "\n" << r.output;
  return r;
}

TEST(WriterFiles, ReadAsTheirWritersReadThem) {
  const WrittenFile files[] = {
      {"data.table::fwrite(sep = \";\")",
       "id;y;x1;g\n1;10.2458642254637;-0.45637;a\n2;8.5;1.25;b\n3;12.75;0.5;a\n4;9.125;-1.5;b\n"
       "5;11.0625;0.75;a\n6;13.5;2;b\n",
       "y",
       {"read with \";\" between values and \".\" as the decimal mark",
        "written with a decimal point (\"10.2458642254637\" on line 2)"}},
      {"write.table(sep = \";\"), a text that reads as a number with a comma",
       "\"id\";\"y\";\"x1\";\"g\"\n\"1\";1;10.2458642254637;-0.45637;\"2,5\"\n"
       "\"2\";2;8.5;1.25;\"b\"\n\"3\";3;12.75;0.5;\"a\"\n\"4\";4;9.125;-1.5;\"b\"\n"
       "\"5\";5;11.0625;0.75;\"a\"\n\"6\";6;13.5;2;\"b\"\n",
       "y",
       {"\".\" as the decimal mark", "read as variable _ROWNAME_"}},
      {"pandas to_csv(sep = \";\")",
       ";id;y;x1;g\n0;1;10.2458642254637;-0.45637;a\n1;2;8.5;1.25;b\n2;3;12.75;0.5;a\n"
       "3;4;9.125;-1.5;b\n4;5;11.0625;0.75;a\n5;6;13.5;2.0;b\n",
       "y",
       {"\".\" as the decimal mark", "it is read as _ROWNAME_"}},
      {"write.csv2, a text that reads as a number with a point",
       "\"\";\"id\";\"y\";\"x1\";\"g\"\n\"1\";1;10,2458642254637;-0,45637;\"1.5\"\n"
       "\"2\";2;8,5;1,25;\"b\"\n\"3\";3;12,75;0,5;\"a\"\n\"4\";4;9,125;-1,5;\"b\"\n"
       "\"5\";5;11,0625;0,75;\"a\"\n\"6\";6;13,5;2;\"b\"\n",
       "y",
       {"\",\" as the decimal mark"}},
      {"integers, then decimal points past the first values",
       semicolonRows('.', kPastSample),
       "y",
       {"\".\" as the decimal mark", "(\"10.2458642254637\" on line 50002)"}},
      {"write.csv(eol = \"\\r\") of a text with a line break",
       "\"\",\"id\",\"y\",\"x1\",\"g\",\"note\"\r\"1\",1,10.2458642254637,-0.45637,\"a\",\"one\"\r"
       "\"2\",2,8.5,1.25,\"b\",\"two\nlines\"\r\"3\",3,12.75,0.5,\"a\",\"x\"\r"
       "\"4\",4,9.125,-1.5,\"b\",\"y\"\r\"5\",5,11.0625,0.75,\"a\",\"z\"\r"
       "\"6\",6,13.5,2,\"b\",\"w\"\r",
       "y",
       {}},
      {"numpy.savetxt, its first name as a literal",
       "# y,x1\n1.024586422546370024e+01,-4.563699999999999979e-01\n"
       "8.500000000000000000e+00,1.250000000000000000e+00\n"
       "1.275000000000000000e+01,5.000000000000000000e-01\n"
       "9.125000000000000000e+00,-1.500000000000000000e+00\n"
       "1.106250000000000000e+01,7.500000000000000000e-01\n"
       "1.350000000000000000e+01,2.000000000000000000e+00\n",
       "'# y'n",
       {}},
  };
  for (const WrittenFile& f : files) {
    SCOPED_TRACE(f.writer);
    const CommandRun r = fitOn(f);
    ASSERT_EQ(r.status, 0) << r.output;
    const Json rows = theOne(r, "ParameterEstimates")["rows"];
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NEAR(number(rows[0]["Estimate"]), kIntercept, 1e-12);
    EXPECT_NEAR(number(rows[1]["Estimate"]), kSlope, 1e-12);
  }
}

// Files the reader does not take, and names that name no variable: the error says why, where,
// and how the writer writes the file so that it is read.
TEST(WriterFiles, RefusedWithHowToWriteThem) {
  const WrittenFile files[] = {
      {"a decimal point after decimal commas",
       "id;y;x1\n1;10,5;1\n2;8,5;1.25\n3;12;2\n",
       "y",
       {"d.csv\", line 3, variable x1: the number \"1.25\" is written with a decimal point, but "
        "\"10,5\" on line 2 (variable y) with a decimal comma"}},
      {"a decimal comma past the first values, which have points",
       semicolonRows('.', 0) + repeated("7;1.5;3\n", kPastSample) + "8;2,5;1\n",
       "y",
       {"line 50008, variable y: the number \"2,5\" is written with a decimal comma, but "
        "\"10.2458642254637\" on line 2 (variable y) with a decimal point"}},
      {"a decimal point past the first values, which have commas",
       semicolonRows(',', kPastSample) + "9;1.5;2\n",
       "y",
       {"line 50008, variable y: the number \"1.5\" is written with a decimal point"}},
      {"write.table's defaults: blanks between values",
       "\"id\" \"y\" \"x1\" \"g\"\n\"1\" 1 10.2458642254637 -0.45637 \"a\"\n"
       "\"2\" 2 8.5 1.25 \"b\"\n",
       "y",
       {"line 1: blanks separate the values (\"id\" \"y\" \"x1\" \"g\")",
        "write.csv(), or with write.table(sep = \",\")"}},
      {"write.table(sep = \"\\t\"): a quote escaped with a backslash",
       "\"id\"\t\"y\"\t\"x1\"\t\"note\"\n\"1\"\t1\t10.2458642254637\t-0.45637\t\"one\"\n"
       "\"2\"\t2\t8.5\t1.25\t\"say \\\"hi\\\"\"\n",
       "y",
       {"line 3, variable note: a quote inside a quoted value is escaped with a backslash (\\\")",
        "write.table(qmethod = \"double\")"}},
      {"numpy.savetxt's header, its first name asked bare",
       "# y,x1\n1.0e+01,-4.5e-01\n8.5e+00,1.25e+00\n",
       "y",
       {"variable y not found on data set WORK.D: the first line of",
        "names the variable \"# y\", as numpy.savetxt writes its header after \"# \": write it "
        "'# y'n, or write the file with savetxt(comments = \"\")"}},
      {"pandas' name with blanks, read without them",
       "id,y,x1, g \n1,10.2458642254637,-0.45637,a\n2,8.5,1.25,b\n",
       "' g 'n",
       {"are read without the blanks around them: the name is now g"}},
  };
  for (const WrittenFile& f : files) {
    SCOPED_TRACE(f.writer);
    EXPECT_NE(fitOn(f).status, 0);
  }
}

}  // namespace
}  // namespace vsf::test
