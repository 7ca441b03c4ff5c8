// The output data sets give back what was read: a carried number whose shortest text would not
// be the file's number is written as the file writes it, a missing text is a bare NA and a text
// that reads as missing is quoted, so that a step on an output uses the rows and levels the
// step that wrote it used; and a carried variable keeps the name the file gives it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

std::string fileText(const ScratchDir& lib, const std::string& name) {
  std::ifstream in(lib.path() / name);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

double used(const CommandRun& r) { return number(theOne(r, "NObs")["rows"][1]["N"]); }

std::vector<std::string> levels(const CommandRun& r) {
  std::vector<std::string> out;
  const Json table = theOne(r, "ClassLevelInfo");  // held: the rows are its own
  for (const Json& row : table["rows"]) out.push_back(row["Values"]);
  return out;
}

TEST(WrittenValues, OutputsGiveBackWhatWasRead) {
  ScratchDir lib("vsf_written");
  // Ids the model does not use; the first ends in zeros a double does not hold.
  const std::vector<std::string> ids = {"18446744073709551600",
                                        "36028797018963970",
                                        "1000000000000000000",
                                        "100000000000000000000",
                                        "1000000",
                                        "7",
                                        "8",
                                        "9"};
  // As write.csv writes texts: quoted, a missing one a bare NA.
  const std::vector<std::string> g = {"\"NA\"", "NA", "\"p\"", "\"NA\"",
                                      "\"p\"",  "NA", "\"q\"", "\"q\""};
  const std::vector<std::string> h = {"\"a\"", "\"NaN\"", "\".\"", "\"   \"",
                                      "\"b\"", "\"a\"",   "\"b\"", "\"-nan\""};
  {
    std::ofstream f(lib.path() / "d.csv");
    f << "y,x,id,big,g,h\n";
    const int x[] = {2, 1, 4, 3, 6, 5, 8, 9};
    for (size_t i = 0; i < ids.size(); ++i)
      f << i + 1 << ',' << x[i] << ',' << ids[i] << ','
        << (i % 2 ? "1e20" : "100000000000000000000") << ',' << g[i] << ',' << h[i] << '\n';
  }
  const std::string step = "class g h; model y = x g h / selection=none;";
  const CommandRun first = runCommand("proc varsifter data=d outdesign(addinputvars)=des; " + step +
                                          " output out=o p=yhat; score data=d out=s p; run;",
                                      lib.path().string());
  ASSERT_EQ(first.status, 0) << first.output;
  EXPECT_EQ(first.output.find("does not hold"), std::string::npos) << first.output;
  EXPECT_EQ(used(first), 5);
  for (const char* out : {"o.csv", "s.csv", "des.csv"}) {
    SCOPED_TRACE(out);
    const std::string text = fileText(lib, out);
    const Csv o = readCsv((lib.path() / out).string());
    ASSERT_EQ(o.rows.size(), ids.size());
    for (size_t i = 0; i < ids.size(); ++i) {
      EXPECT_EQ(o.text(i, "id"), ids[i]);
      // An exact number: the integer as the file wrote it, the other in the shortest text.
      EXPECT_EQ(o.text(i, "big"), i % 2 ? "1e+20" : "100000000000000000000");
    }
    for (const char* quoted : {",\"NA\",a", ",NA,\"NaN\"", ",p,\".\"", ",\"NA\",NA", ",q,\"-nan\""})
      EXPECT_NE(text.find(quoted), std::string::npos) << quoted << "\n" << text;
    // The rows and levels read, read again from the output.
    const CommandRun again =
        runCommand("proc varsifter data=" + std::string(out).substr(0, std::string(out).find('.')) +
                       "; " + step + " run;",
                   lib.path().string());
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(used(again), used(first));
    EXPECT_EQ(levels(again), levels(first));
  }
  // Used as numbers, the column's first value a double does not hold is named.
  const CommandRun uses = runCommand(
      "proc varsifter data=d; model y = x id big / selection=none; run;", lib.path().string());
  EXPECT_NE(
      uses.output.find("NOTE: Variable id of data set WORK.D has values that a number does "
                       "not hold exactly: the first, 18446744073709551600 on line 2 of " +
                       (lib.path() / "d.csv").string() + ", is used as 18446744073709551616."),
      std::string::npos)
      << uses.output;
  EXPECT_EQ(uses.output.find("Variable big"), std::string::npos) << uses.output;
}

// A carried variable is named as the file's first line spells it, and a statistic's default
// name after it, however the program spells it: the bytes of the header, threads or none.
TEST(WrittenValues, OutputNamesAreTheFilesSpelling) {
  ScratchDir lib("vsf_written");
  std::ofstream(lib.path() / "d.csv") << "y,x1,g\n1,1,a\n2,,b\n3,3,\n4,4,a\n5,5,b\n6,7,a\n";
  for (const char* options : {"", "--nothreads"}) {
    const CommandRun r =
        runCommand("proc varsifter data=d; model Y = X1 / selection=none; output out=mo p r; run;",
                   lib.path().string(), options);
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string text = fileText(lib, "mo.csv");
    EXPECT_EQ(text.substr(0, text.find('\n')), "y,x1,g,p_y,r_y") << options;
  }
}

}  // namespace
}  // namespace vsf::test
