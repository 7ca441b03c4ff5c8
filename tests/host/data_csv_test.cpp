// Reading CSV files: types, missing values, quoting, bad input, names and the step's copy.
#include <algorithm>
#include <bit>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <tuple>

#include "host/data_test_util.h"

namespace vsf::test {
namespace {

struct VarShape {
  const char* name;
  int type;
  int length;
};

std::vector<VarShape> shapes(const HostDsFamily& f, HostDataSet* d) {
  int32_t n = 0;
  f.attr(d, dsattr::kVarCount, &n);
  std::vector<VarShape> out;
  static std::vector<std::string> names;  // keeps the names alive for the comparison
  names.clear();
  names.reserve(static_cast<size_t>(n));
  for (int j = 0; j < n; ++j) {
    VarDescriptor v;
    EXPECT_EQ(f.varByNumber(d, j, &v), 0);
    names.push_back(v.name);
    out.push_back({names.back().c_str(), v.type, v.length});
  }
  return out;
}

TEST_F(DataTest, InfersTypesAndLengths) {
  write("t.csv",
        "Int,Real,Mixed,AllMissing,QuotedNum,Words,Inf,Padded\n"
        "1,1.5,7,.,\"3\",a,inf, 4 \n"
        "2,-2e3,x12345,,\"4\",bb,1, 5\n"
        "3,.,8,.A,\"5\",ccc,2,6 \n");
  HostDataSet* d = open("t");
  auto got = shapes(ds(), d);
  const VarShape want[] = {{"Int", kVarNumeric, 8},       {"Real", kVarNumeric, 8},
                           {"Mixed", kVarCharacter, 6},   {"AllMissing", kVarNumeric, 8},
                           {"QuotedNum", kVarNumeric, 8}, {"Words", kVarCharacter, 3},
                           {"Inf", kVarNumeric, 8},       {"Padded", kVarNumeric, 8}};
  ASSERT_EQ(got.size(), std::size(want));
  for (size_t j = 0; j < got.size(); ++j) {
    EXPECT_STREQ(got[j].name, want[j].name);
    EXPECT_EQ(got[j].type, want[j].type) << want[j].name;
    EXPECT_EQ(got[j].length, want[j].length) << want[j].name;
  }
  int64_t obs = 0;
  ds().attr(d, dsattr::kObsCount, &obs);
  EXPECT_EQ(obs, 3);
  // Character values stand as written; numbers are numbers.
  auto r = rows(d);
  EXPECT_EQ(r[1][2], "x12345");
  EXPECT_EQ(r[0][2], "7");
  EXPECT_EQ(r[1][1], "-2000");
  EXPECT_EQ(r[2][7], "6");
}

TEST_F(DataTest, MissingValues) {
  write("m.csv", "x,c\n.,a\n,b\n.A,c\n.Z,d\n._,e\n 1 ,f\n");
  HostDataSet* d = open("m");
  const char want[] = {'.', '.', 'A', 'Z', '_', 0};
  ds().mode(d, 'F');
  ds().start(d);
  for (char code : want) {
    ASSERT_EQ(ds().readNext(d), 1);
    double x = ds().getNum(d, 0);
    if (code) {
      EXPECT_EQ(bitsOf(x), missingBits(code)) << code;
    } else {
      EXPECT_EQ(x, 1.0);
    }
  }
  EXPECT_EQ(ds().readNext(d), 0);
}

// Fixture: tests/reference/host_data_fixtures.py (Python's csv module reads the same file).
TEST_F(DataTest, QuotedFieldsAsPythonReadsThem) {
  std::ifstream src(std::string(VSF_TEST_DATA) + "/host/quoted.csv", std::ios::binary);
  std::stringstream text;
  text << src.rdbuf();
  write("quoted.csv", text.str());
  std::ifstream js(std::string(VSF_TEST_DATA) + "/host/quoted_expected.json");
  nlohmann::json expected = nlohmann::json::parse(js);
  for (size_t pieces : {size_t{1} << 20, size_t{7}}) {
    HostDataSet* d = pieces > 1000 ? open("quoted") : openInPieces(text.str(), pieces);
    VarDescriptor v;
    for (size_t j = 0; j < expected["header"].size(); ++j) {
      ds().varByNumber(d, static_cast<int>(j), &v);
      EXPECT_EQ(v.name, expected["header"][j].get<std::string>());
    }
    auto got = rows(d);
    ASSERT_EQ(got.size(), expected["rows"].size());
    for (size_t i = 0; i < got.size(); ++i)
      for (size_t j = 0; j < got[i].size(); ++j)
        EXPECT_EQ(got[i][j], expected["rows"][i][j].get<std::string>()) << i << "," << j;
    ds().varByNumber(d, 1, &v);
    EXPECT_EQ(v.length, 18);  // "line one\r\nline two"
  }
}

TEST_F(DataTest, BadInputNamesFileLineAndVariable) {
  struct Case {
    const char* text;
    std::vector<const char*> says;
  } cases[] = {
      {"a,b,c\n1,2,3\n4,5\n", {"line 3", "no value for variable c", "bad.csv"}},
      {"a,b,c\n1,2,3\n\n4,5,6,7\n", {"line 4", "past variable c"}},
      {"a,b\n1,2\n3,x\"y\n", {"line 3", "variable b", "quote inside"}},
      {"a,b\n\"1\"2,3\n", {"line 2", "variable a", "after the closing quote"}},
      {"a,b\n1,2\n3,\"open\n4,5\n", {"line 3", "variable b", "not closed"}},
      {"a,b\n\"x\ny\",1\n2,3,4\n", {"line 4"}},  // the quoted line end counts
      {"a,A\n1,2\n", {"line 1", "a and A are one name", "same in upper and lower case"}},
      {"a,a\n1,2\n", {"line 1", "appears twice"}},
      {"abcdefghijklmnopqrstuvwxyz0123456789,ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\n1,2\n",
       {"line 1", "are one name"}},
      {"a,,c\n1,2,3\n", {"line 1", "variable 2 has no name"}},
      {"", {"is empty"}},
  };
  for (const Case& c : cases) {
    write("bad.csv", c.text);
    std::string error = stepEndError([&] { ds().open("bad", kDsInput, nullptr); });
    for (const char* s : c.says) EXPECT_NE(error.find(s), std::string::npos) << error;
    host::closeStepDataSets();
  }
  // A file that is not there: the host issues the error and ends the step.
  std::string error = stepEndError([&] { ds().open("nothere", kDsInput, nullptr); });
  EXPECT_NE(error.find("WORK.NOTHERE"), std::string::npos) << error;
}

// A record longer than a batch of text is carried into the batches that follow until it
// ends; one longer than the longest row allowed (an open quote, mostly) is refused on the line
// it starts on.
TEST_F(DataTest, ARecordLongerThanABatch) {
  host::ImportSettings s;
  s.utilDirectory = util;
  s.threads = 3;
  s.pieceBytes = 16;
  s.smallestPiece = 1;
  s.longestRow = 1024;
  const std::string longText(600, 'x');
  struct Case {
    std::string text;
    int64_t rows;  // 0: refused
  } cases[] = {
      {"a,b\n1,2\n\"" + longText + "\",3\n4,5\n", 3},
      {"a,b\n1,2\n3,\"" + longText + "\n" + longText + "\n4,5\n", 0},
  };
  for (const Case& c : cases) {
    const fs::path p = lib / "long.csv";
    std::ofstream(p, std::ios::binary) << c.text;
    std::string error;
    std::unique_ptr<host::Table> t = host::importCsv(p, s, &error);
    if (c.rows > 0) {
      ASSERT_TRUE(t) << error;
      EXPECT_EQ(t->obs, c.rows);
      EXPECT_EQ(t->vars[0].length, 600);
    } else {
      EXPECT_FALSE(t);
      EXPECT_NE(error.find("long.csv\", line 3: a row longer than"), std::string::npos) << error;
    }
  }
}

// The parse in pieces on several threads gives what one piece on one thread gives, however
// the pieces fall: inside quoted values, on line ends, and in columns that turn character.
TEST_F(DataTest, PiecesDoNotChangeTheData) {
  std::mt19937 gen(3);
  std::ostringstream csv;
  csv << "id,code,note,x\r\n";
  for (int i = 0; i < 400; ++i) {
    csv << i << ',' << (i == 350 ? "A17" : std::to_string(i % 7)) << ',';
    switch (i % 5) {
      case 0:
        csv << "\"two\nlines, \"\"quoted\"\"\"";
        break;
      case 1:
        csv << "plain";
        break;
      case 2:
        csv << "\"\"";
        break;
      case 3:
        csv << "\"a,b\r\nc\"";
        break;
      default:
        csv << "x";
        break;
    }
    csv << ',' << (i % 9 == 0 ? "." : std::to_string(gen() % 1000 / 8.0))
        << (i % 2 ? "\n" : "\r\n");
  }
  auto whole = rows(openInPieces(csv.str(), size_t{1} << 20, 1));
  ASSERT_EQ(whole.size(), 400u);
  EXPECT_EQ(whole[350][1], "A17");
  EXPECT_EQ(whole[7][1], "0");  // kept as written once the column is character
  // Blocks of one record and more, read again from the text and parsed ahead; pieces read
  // and their quotes counted in slices that cut quoted values.
  const std::tuple<size_t, size_t, size_t> cuts[] = {
      {5, 1, 1 << 18},      {17, 150, 1 << 18}, {64, 1 << 20, 1 << 18}, {300, 1, 1 << 18},
      {1000, 150, 1 << 18}, {1000, 150, 7},     {4096, 1 << 20, 1}};
  for (const auto& [piece, block, slice] : cuts) {
    HostDataSet* d = openInPieces(csv.str(), piece, 4, block, slice);
    EXPECT_EQ(rows(d), whole) << piece << " " << block << " " << slice;
    VarDescriptor v;
    ds().varByNumber(d, 1, &v);
    EXPECT_EQ(v.type, kVarCharacter);
    EXPECT_EQ(v.length, 3);
  }
}

// A wide file's batches are cut into fewer pieces, down to one, where the pieces' states per
// column would pass their bound; the rows stay those of one piece on one thread.
TEST_F(DataTest, AWideFileIsCutIntoFewerPieces) {
  std::ostringstream csv;
  for (int j = 0; j < 200; ++j) csv << (j ? "," : "") << "v" << j;
  csv << "\n";
  for (int i = 0; i < 60; ++i)
    for (int j = 0; j < 200; ++j)
      csv << (j % 50 == 7 ? "\"a,\nb\"" : std::to_string(i * j % 97)) << (j < 199 ? "," : "\n");
  const auto whole = rows(openInPieces(csv.str(), size_t{1} << 20, 1));
  ASSERT_EQ(whole.size(), 60u);
  for (size_t states : {size_t{0}, 3 * 200 * sizeof(host::ColumnPiece), size_t{32} << 20})
    EXPECT_EQ(rows(openInPieces(csv.str(), 700, 4, 1 << 20, 1 << 18, states)), whole) << states;
}

// The columns of the current observation's block give what getNum gives, bit for bit, over
// blocks of one row and more; a character column has none, and no observation none at all.
TEST_F(DataTest, CurrentNumbersAreTheBlocksColumns) {
  std::ostringstream csv;
  csv << "x,name,y\n";
  for (int i = 0; i < 60; ++i)
    csv << (i % 7 == 0 ? "." : std::to_string(i * 0.25 - 3)) << ",n" << i << ','
        << (i % 11 == 0 ? "-0" : std::to_string(1e300 / (i + 1))) << '\n';
  for (size_t block : {size_t{1}, size_t{40}, size_t{1} << 20}) {
    HostDataSet* d = openInPieces(csv.str(), 64, 3, block);
    uint32_t row = 99;
    EXPECT_EQ(ds().currentNumbers(d, &row), nullptr);
    ds().mode(d, 'F');
    ds().start(d);
    int n = 0;
    while (ds().readNext(d) == 1) {
      const double* const* columns = ds().currentNumbers(d, &row);
      ASSERT_NE(columns, nullptr);
      EXPECT_EQ(columns[1], nullptr) << "a character column";
      for (int j : {0, 2})
        EXPECT_EQ(std::bit_cast<uint64_t>(columns[j][row]),
                  std::bit_cast<uint64_t>(ds().getNum(d, j)))
            << "observation " << n << ", variable " << j << ", blocks of " << block << " bytes";
      ++n;
    }
    EXPECT_EQ(n, 60);
    EXPECT_EQ(ds().currentNumbers(d, &row), nullptr) << "past the end";
  }
}

// The step reads a data set's text again after the import: a file changed in place since
// then ends the step with an error naming it, and never gives other values; a file replaced
// under its name leaves the step reading what it imported.
TEST_F(DataTest, AFileChangedWhileReadEndsTheStep) {
  const std::string text = "a,b\n1,x\n2,y\n3,z\n";
  for (const char* how : {"rewritten", "appended", "replaced"}) {
    SCOPED_TRACE(how);
    write("c.csv", text);
    HostDataSet* d = open("c");
    if (std::string(how) == "replaced") {
      fs::remove(lib / "c.csv");
      write("c.csv", "a,b\n9,q\n");
      EXPECT_EQ(rows(d),
                (std::vector<std::vector<std::string>>{{"1", "x"}, {"2", "y"}, {"3", "z"}}));
      continue;
    }
    std::ofstream(lib / "c.csv", std::string(how) == "appended" ? std::ios::binary | std::ios::app
                                                                : std::ios::binary)
        << "a,b\n7,x\n8,y\n9,z\n";
    auto said = [] {
      const auto& lines = host::session().log.lines();
      return std::count_if(lines.begin(), lines.end(), [](const host::LogLine& l) {
        return l.text.find("changed while the step read it") != std::string::npos;
      });
    };
    const auto before = said();
    const std::string error = stepEndError([&] { rows(d); });
    EXPECT_NE(error.find("changed while the step read it"), std::string::npos) << error;
    EXPECT_NE(error.find("WORK.C"), std::string::npos) << error;
    // Another reader of the step (a pass's other worker) ends it as well, and the step says
    // it once; the next step says it again.
    EXPECT_TRUE(endsStep([&] { rows(d); }, 1012));
    EXPECT_EQ(said(), before + 1);
    host::closeStepDataSets();
  }
}

TEST_F(DataTest, NamesAndLastName) {
  write("Diab.csv", "a\n1\n");
  fs::create_directories(lib / "sub");
  std::ofstream(lib / "sub" / "p.csv") << "b\n2\n";
  struct Case {
    std::string name;
    std::string shown;
    std::string last;
  } cases[] = {
      {"diab", "WORK.DIAB", "WORK.Diab"},
      {"work.DIAB", "WORK.DIAB", "WORK.Diab"},
      {"'" + (lib / "sub" / "p.csv").string() + "'", (lib / "sub" / "p.csv").string(),
       "'" + (lib / "sub" / "p.csv").string() + "'"},
  };
  for (const Case& c : cases) {
    HostDataSet* d = open(c.name);
    std::string shown;
    ds().attr(d, dsattr::kName, &shown);
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(ds().lastName(), c.last);
    EXPECT_NE(ds().open(ds().lastName(), kDsInput, nullptr), nullptr);
  }
  for (const char* bad : {"other.diab", "../diab", "a/b", "''"}) {
    uint32_t status = 0;
    EXPECT_EQ(ds().open(bad, kDsInput, &status), nullptr) << bad;
    EXPECT_NE(status, 0u);
  }
}

// One import per file and step; the copy is invisible in UTILPATH and gone after the step;
// a file rewritten during the step is read again.
TEST_F(DataTest, StepCopyIsSharedAndLeavesNothing) {
  write("s.csv", "a\n1\n2\n");
  host::DataSetName name;
  std::string error;
  ASSERT_TRUE(host::resolveName("s", &name, &error));
  auto first = host::stepTable(name, &error);
  EXPECT_EQ(host::stepTable(name, &error), first);
  EXPECT_TRUE(filesIn(util).empty());
  write("s.csv", "a\n1\n2\n3\n");
  auto again = host::stepTable(name, &error);
  ASSERT_NE(again, first);
  EXPECT_EQ(again->obs, 3);
  std::weak_ptr<const host::Table> gone = again;
  first.reset();
  again.reset();
  host::closeStepDataSets();
  EXPECT_TRUE(gone.expired());
}

TEST_F(DataTest, BlankLinesAndByteOrderMark) {
  write("b.csv", "\xEF\xBB\xBFname,v\n\nx,1\r\n\r\ny,2");
  HostDataSet* d = open("b");
  VarDescriptor v;
  ds().varByNumber(d, 0, &v);
  EXPECT_EQ(v.name, "name");
  auto r = rows(d);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[1][0], "y");
  EXPECT_EQ(r[1][1], "2");
}

// Files as R and spreadsheets write them: row names under an empty name, ';' with the decimal
// comma, tabs, infinities. Each is read as its writer meant, with a note saying how.
TEST_F(DataTest, FilesAsRAndSpreadsheetsWriteThem) {
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> names;
    std::vector<int> types;  // 1 numeric, 2 character
    std::vector<std::vector<std::string>> rows;
    std::string note;  // in the log, or empty for none
  } cases[] = {
      {"write.csv with row names",
       "\"\",\"mpg\",\"cyl\"\n\"Mazda RX4\",21,6\n\"Datsun 710\",22.8,4\n",
       {"_ROWNAME_", "mpg", "cyl"},
       {2, 1, 1},
       {{"Mazda RX4", "21", "6"}, {"Datsun 710", "22.8", "4"}},
       "it is read as _ROWNAME_"},
      {"a row-name column beside a variable of that name",
       ",_ROWNAME_\n1,2\n",
       {"_ROWNAME_2", "_ROWNAME_"},
       {1, 1},
       {{"1", "2"}},
       "it is read as _ROWNAME_2"},
      {"write.csv2",
       "\"\";\"x\";\"name\";\"when\"\n\"1\";2,5;\"a,b\";1:30\n\"2\";-0,25;c;NA\n",
       {"_ROWNAME_", "x", "name", "when"},
       {1, 1, 2, 2},
       {{"1", "2.5", "a,b", "1:30"}, {"2", "-0.25", "c", ""}},
       "read with \";\" between values and \",\" as the decimal mark"},
      {"a text among numbers with decimal commas",
       "x;y\n1,5;2,5\n2;1:5\n3;3\n",
       {"x", "y"},
       {1, 2},
       {{"1.5", "2,5"}, {"2", "1:5"}, {"3", "3"}},
       "the first is \"1:5\" on line 3 of " + (lib / "r.csv").string() + ". A missing"},
      {"decimal points between \";\"",
       "id;y\n1;2\n2;-0.25\n3;\"a,b\"\n",
       {"id", "y"},
       {1, 2},
       {{"1", "2"}, {"2", "-0.25"}, {"3", "a,b"}},
       "\".\" as the decimal mark: the first line of " + (lib / "r.csv").string() +
           " has \";\" and no \",\", and its numbers are written with a decimal point "
           "(\"-0.25\" on line 3)."},
      {"a text among decimal commas keeps its column's texts",
       "x;y\n1,5;abc\n2;3,5\n;\n",
       {"x", "y"},
       {1, 2},
       {{"1.5", "abc"}, {"2", "3,5"}, {".", ""}},
       ""},
      {"CRLF and a quoted line end",
       "x;t\r\n1,5;\"l1\r\nl2;\"\r\n",
       {"x", "t"},
       {1, 2},
       {{"1.5", "l1\r\nl2;"}},
       ""},
      {"tabs",
       "a\tb\n1.5\tx,y\n2\t\"z\"\n",
       {"a", "b"},
       {1, 2},
       {{"1.5", "x,y"}, {"2", "z"}},
       "read with tabs between values"},
      {"a comma on the first line keeps commas",
       "a;b,c\n1;2,3\n",
       {"a;b", "c"},
       {2, 1},
       {{"1;2", "3"}},
       ""},
      {"quoted semicolons are names", "\"a;b\",c\n1,2\n", {"a;b", "c"}, {1, 1}, {{"1", "2"}}, ""},
      {"write.table with tabs: the header one field short",
       "\"mpg\"\t\"cyl\"\n\"Mazda RX4\"\t21\t6\n\"Datsun 710\"\t22.8\t4\n",
       {"_ROWNAME_", "mpg", "cyl"},
       {2, 1, 1},
       {{"Mazda RX4", "21", "6"}, {"Datsun 710", "22.8", "4"}},
       "names one variable fewer than its rows hold values (R's write.table"},
      {"write.table with \";\": the decimal commas stay in their columns",
       "\"name\";\"x\"\n\"1\";\"a,b\";2,5\n\"2\";c;-0,25\n",
       {"_ROWNAME_", "name", "x"},
       {1, 2, 1},
       {{"1", "a,b", "2.5"}, {"2", "c", "-0.25"}},
       "read as variable _ROWNAME_ of data set WORK.R"},
      {"write.table beside a variable named _ROWNAME_",
       "_ROWNAME_,b\nr1,1,2\n",
       {"_ROWNAME_2", "_ROWNAME_", "b"},
       {2, 1, 1},
       {{"r1", "1", "2"}},
       "read as variable _ROWNAME_2"},
      {"write.table whose first row ends past the first read of the file",
       "\"a\",\"b\"\n\"" + std::string(70000, 'r') + "\",1,2\n",
       {"_ROWNAME_", "a", "b"},
       {2, 1, 1},
       {{std::string(70000, 'r'), "1", "2"}},
       "read as variable _ROWNAME_"},
      {"a header without rows has no row names", "a,b\n", {"a", "b"}, {1, 1}, {}, ""},
      {"long names cut to 32 bytes, numbered where the cut is taken",
       "abcdefghijklmnopqrstuvwxyz0123456789,abcdefghijklmnopqrstuvwxyz012345XYZ,"
       "abcdefghijklmnopqrstuvwxyz012345\n1,2,3\n",
       {"abcdefghijklmnopqrstuvwxyz012342", "abcdefghijklmnopqrstuvwxyz012343",
        "abcdefghijklmnopqrstuvwxyz012345"},
       {1, 1, 1},
       {{"1", "2", "3"}},
       "The name abcdefghijklmnopqrstuvwxyz0123456789 on the first line of " +
           (lib / "r.csv").string() +
           " is longer than 32 characters, the most a variable name can have; the variable is "
           "read as abcdefghijklmnopqrstuvwxyz012342 in data set WORK.R."},
      {"a long name is not cut inside a character",
       std::string(31, 'a') + "\xC3\xA9"
                              "b\n1\n",
       {std::string(31, 'a')},
       {1},
       {{"1"}},
       "is read as " + std::string(31, 'a') + " in"},
      {"infinities keep a column numeric",
       "x,y\n1,Inf\n2,-Inf\n3,NaN\n4,inf\n",
       {"x", "y"},
       {1, 1},
       {{"1", "inf"}, {"2", "-inf"}, {"3", "."}, {"4", "inf"}},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const size_t logged = host::session().log.lines().size();
    write("r.csv", c.text);
    HostDataSet* d = open("r");
    ASSERT_NE(d, nullptr);
    std::vector<std::string> names;
    std::vector<int> types;
    for (const VarShape& v : shapes(ds(), d)) {
      names.push_back(v.name);
      types.push_back(v.type);
    }
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(types, c.types);
    EXPECT_EQ(rows(d), c.rows);
    std::string notes;
    const auto& lines = host::session().log.lines();
    for (size_t i = logged; i < lines.size(); ++i) notes += lines[i].text + "\n";
    if (!c.note.empty()) {
      EXPECT_NE(notes.find(c.note), std::string::npos) << notes;
    }
    host::closeStepDataSets();
  }
  // Errors name the file and line as written, not those of the rewritten text.
  write("bad.csv", "x;y\n1,5;2\n\"a\n\";3\n4\n");
  std::string error = stepEndError([&] { ds().open("bad", kDsInput, nullptr); });
  EXPECT_NE(error.find("line 5"), std::string::npos) << error;
  EXPECT_NE(error.find((lib / "bad.csv").string()), std::string::npos) << error;
  // A decimal point where the numbers before it have the decimal comma.
  write("mixed.csv", "x;y\n1,5;2,5\n2;1.5\n");
  error = stepEndError([&] { ds().open("mixed", kDsInput, nullptr); });
  EXPECT_NE(error.find("line 3, variable y: the number \"1.5\" is written with a decimal point, "
                       "but \"1,5\" on line 2 (variable x) with a decimal comma"),
            std::string::npos)
      << error;
  EXPECT_TRUE(filesIn(util).empty());
}

// A column that a few texts made character says which cell to mend when it is used as a number.
TEST_F(DataTest, StrayTextNamesItsCell) {
  write("s.csv", "y,x\n1,2\n2,abc\n3,4\n4,5\n");
  open("s");
  const std::string hint = host::strayCellHint("X");
  EXPECT_NE(hint.find("the value \"abc\" on line 3 of " + (lib / "s.csv").string()),
            std::string::npos)
      << hint;
  EXPECT_NE(hint.find("correct that cell"), std::string::npos) << hint;
  EXPECT_EQ(host::strayCellHint("y"), "");
  EXPECT_EQ(host::strayCellHint("nothere"), "");
}

}  // namespace
}  // namespace vsf::test

namespace vsf::test {
namespace {

// Blocks kept for later passes are the blocks a pass parses, given again without a parse while
// held, once more when handed over, and never past the budget; the rows read are the same.
TEST_F(DataTest, KeptBlocksServeLaterPasses) {
  std::ostringstream csv;
  csv << "id,g,x\n";
  for (int i = 0; i < 200; ++i) csv << i << ',' << (i % 3 ? "a" : "bb") << ',' << i * 0.25 << '\n';
  HostDataSet* d = openInPieces(csv.str(), 64, 3, 100);  // blocks of a few records
  ASSERT_NE(d, nullptr);
  const host::Table& t = *host::asInput(d)->table;
  ASSERT_GT(t.blocks(), 10);
  const auto whole = rows(d);
  std::string error;
  t.keepParsed(kParsedHold, int64_t{1} << 30);
  EXPECT_EQ(rows(d), whole);
  const int64_t kept = t.keptBytes();
  EXPECT_GT(kept, 0);
  const auto first = t.block(3, &error);
  EXPECT_EQ(rows(d), whole);
  EXPECT_EQ(t.keptBytes(), kept);  // read again from what was kept, nothing added
  EXPECT_EQ(t.block(3, &error), first);
  // Holding again, as each BY group does, starts from nothing and keeps the same blocks again.
  for (int group = 0; group < 2; ++group) {
    t.keepParsed(kParsedHold, int64_t{1} << 30);
    EXPECT_EQ(t.keptBytes(), 0);
    EXPECT_EQ(rows(d), whole);
    EXPECT_EQ(t.keptBytes(), kept);
  }
  t.keepParsed(kParsedHandOver, 0);
  EXPECT_EQ(rows(d), whole);
  EXPECT_EQ(t.keptBytes(), 0);  // each block given once more, then let go
  // A budget of a few blocks keeps no more than it allows.
  t.keepParsed(kParsedDrop, 0);
  const int64_t perBlock = kept / t.blocks();
  t.keepParsed(kParsedHold, 3 * perBlock);
  EXPECT_EQ(rows(d), whole);
  EXPECT_GT(t.keptBytes(), 0);
  EXPECT_LE(t.keptBytes(), 3 * perBlock);
  t.keepParsed(kParsedDrop, 0);
  EXPECT_EQ(t.keptBytes(), 0);
  EXPECT_EQ(rows(d), whole);
  // A kept block of a file changed in place ends the step, as a parse of it would.
  t.keepParsed(kParsedHold, int64_t{1} << 30);
  EXPECT_EQ(rows(d), whole);
  t.keepParsed(kParsedHandOver, 0);
  std::ofstream(t.source, std::ios::binary | std::ios::app) << "7,x,1\n";
  const std::string ended = stepEndError([&] { rows(d); });
  EXPECT_NE(ended.find("changed while the step read it"), std::string::npos) << ended;
  host::closeStepDataSets();
}

// A hold with room for a few blocks keeps the first of the file, in whatever order its readers
// (a pass's workers, or one reader and its helpers) are given them.
TEST_F(DataTest, ATightHoldKeepsTheSameBlocksInAnyOrder) {
  std::ostringstream csv;
  csv << "id,x\n";
  for (int i = 0; i < 120; ++i) csv << i << ',' << i * 0.5 << '\n';
  HostDataSet* d = openInPieces(csv.str(), 64, 3, 100);
  ASSERT_NE(d, nullptr);
  const host::Table& t = *host::asInput(d)->table;
  ASSERT_GT(t.blocks(), 6);
  std::string error;
  auto holdAndGive = [&](int64_t budget, bool backwards) {
    t.keepParsed(kParsedHold, budget);
    for (int64_t i = 0; i < t.blocks(); ++i)
      EXPECT_NE(t.block(backwards ? t.blocks() - 1 - i : i, &error), nullptr) << error;
    return t.keptBytes();
  };
  const int64_t one = holdAndGive(int64_t{1} << 30, false) / t.blocks();
  // Two and a half blocks' room: the first two, never the last ones given.
  const int64_t forwards = holdAndGive(one * 5 / 2, false);
  EXPECT_GT(forwards, one);
  EXPECT_LE(forwards, one * 5 / 2);
  EXPECT_EQ(holdAndGive(one * 5 / 2, true), forwards);
  t.keepParsed(kParsedHandOver, 0);
  for (int64_t k : {int64_t{1}, int64_t{0}}) EXPECT_NE(t.block(k, &error), nullptr) << error;
  EXPECT_EQ(t.keptBytes(), 0);
  host::closeStepDataSets();
}

}  // namespace
}  // namespace vsf::test
