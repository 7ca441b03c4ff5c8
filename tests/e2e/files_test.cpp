// CSV files as R writes them are read as R meant them, and what the command writes R and
// pandas read back with their default arguments, every numeric column numeric.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

const fs::path kData = fs::path(VSF_TEST_DATA) / "e2e";

std::vector<std::string> lines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Data written by write.csv (with and without row names), write.csv2 and write.table (row names
// without a name: the header one field short), holding NA, Inf and -Inf
// (tests/reference/e2e_files.R): the fit is lm()'s on the finite rows, and the output data set
// writes a missing value as an empty field and the infinities as R does.
TEST(RFiles, WrittenByRFitAsInR) {
  const std::string kShortHeader =
      "names one variable fewer than its rows hold values (R's write.table writes row names so): "
      "the first value of each row is read as variable _ROWNAME_ of data set WORK.D.";
  struct Case {
    const char* file;
    std::vector<std::string> notes;
  } cases[] = {
      {"r_rownames", {"The first variable of data set WORK.D has no name", "_ROWNAME_"}},
      {"r_plain", {}},
      {"r_semicolon",
       {"Data set WORK.D is read with \";\" between values and \",\" as the decimal "
        "mark",
        "it is read as _ROWNAME_"}},
      {"r_table_comma", {kShortHeader}},
      {"r_table_tab", {"Data set WORK.D is read with tabs between values", kShortHeader}},
      {"r_table_semicolon", {"\",\" as the decimal mark", kShortHeader}},
  };
  const Csv lm = readCsv("e2e/r_lm.csv");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ScratchDir lib("vsf_rfiles");
    fs::copy_file(kData / (std::string(c.file) + ".csv"), lib.path() / "d.csv");
    const CommandRun r = runCommand(
        "proc varsifter data=d; model mpg = wt hp qsec / selection=none; output out=o p r; run;",
        lib.path().string());
    ASSERT_EQ(r.status, 0) << r.output;
    for (const std::string& note : c.notes)
      EXPECT_NE(r.output.find(note), std::string::npos) << note << "\n" << r.output;
    EXPECT_NE(r.output.find("NOTE: Observations not used because a variable of the model has an "
                            "infinite value: 2."),
              std::string::npos)
        << r.output;
    const Json nobs = theOne(r, "NObs");
    EXPECT_EQ(number(nobs["rows"][1]["N"]), 29);  // 32, less one NA and two infinite values
    const Json parms = theOne(r, "ParameterEstimates");
    ASSERT_EQ(parms["rows"].size(), lm.rows.size());
    for (size_t i = 0; i < lm.rows.size(); ++i) {
      const Json& row = parms["rows"][i];
      EXPECT_EQ(row["Parameter"], lm.text(i, "term"));
      EXPECT_NEAR(number(row["Estimate"]), lm.number(i, "estimate"),
                  1e-9 * std::fabs(lm.number(i, "estimate")));
      EXPECT_NEAR(number(row["StdErr"]), lm.number(i, "stderr"),
                  1e-9 * std::fabs(lm.number(i, "stderr")));
    }
    // Rows 3 (NA hp), 5 (Inf qsec) and 7 (-Inf wt) have no prediction.
    const std::vector<std::string> o = lines(lib.path() / "o.csv");
    ASSERT_EQ(o.size(), 33u);
    const size_t lead = c.file == std::string("r_plain") ? 0 : 1;  // the row-name column
    const std::vector<std::string> row3 = splitCsvLine(o[3]), row5 = splitCsvLine(o[5]),
                                   row7 = splitCsvLine(o[7]), row1 = splitCsvLine(o[1]);
    EXPECT_EQ(row3.at(lead + 2), "") << o[3];
    EXPECT_EQ(row3.at(lead + 5), "") << o[3];
    EXPECT_EQ(row5.at(lead + 3), "Inf") << o[5];
    EXPECT_EQ(row7.at(lead + 1), "-Inf") << o[7];
    EXPECT_NE(row1.at(lead + 5), "") << o[1];
    if (lead) {
      EXPECT_EQ(splitCsvLine(o[0]).at(0), "_ROWNAME_");
      EXPECT_EQ(row1.at(0), "Mazda RX4");
    }
  }
}

bool haveR() { return std::system("command -v Rscript >/dev/null 2>&1") == 0; }
bool havePandas() { return std::system("/usr/bin/python3 -c 'import pandas' 2>/dev/null") == 0; }

// For each file, one line of 1 (numeric) and 0 per column, as the command printed them.
std::vector<std::string> verdicts(const std::string& command) {
  const CommandRun r = runShell(command);
  EXPECT_EQ(r.status, 0) << r.output;
  std::vector<std::string> out;
  std::istringstream in(r.output);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Which columns of a file we wrote are numeric: every value a number or missing in any of the
// ways this program reads one (so that a "." would show as a column R reads as text).
std::string numericColumns(const Csv& csv) {
  std::string out;
  for (size_t j = 0; j < csv.header.size(); ++j) {
    bool numeric = true;
    for (const auto& row : csv.rows) {
      const std::string& cell = row.at(j);
      char* end = nullptr;
      std::strtod(cell.c_str(), &end);
      const bool missing = cell.empty() || (cell[0] == '.' && cell.size() <= 2);
      numeric &= missing || (end && *end == '\0');
    }
    out += (j ? " " : "") + std::string(numeric ? "1" : "0");
  }
  return out;
}

// OUTPUT (model averaging's statistics too), OUTDESIGN and SCORE data sets of data with missing
// and infinite values: read.csv() and pandas.read_csv() with their defaults read every numeric
// column as numeric. Runs where R or pandas is installed.
TEST(RFiles, OutputsReadAsNumbersByRAndPandas) {
  const bool r = haveR(), pandas = havePandas();
  if (!r && !pandas) GTEST_SKIP() << "neither R nor pandas is installed";
  ScratchDir lib("vsf_rfiles");
  fs::copy_file(kData / "r_plain.csv", lib.path() / "d.csv");
  const CommandRun run = runCommand(
      "proc varsifter data=d outdesign=od seed=7; class am;\n"
      "  model mpg = wt hp qsec am / selection=forward(select=sbc);\n"
      "  modelaverage nsamples=20;\n"
      "  output out=o p r median stddev lower upper samplefreq samplepred;\n"
      "  score data=d out=sc p median lower upper;\nrun;",
      lib.path().string());
  ASSERT_EQ(run.status, 0) << run.output;
  std::vector<std::string> files, want;
  for (const char* name : {"o", "od", "sc"}) {
    const fs::path f = lib.path() / (std::string(name) + ".csv");
    ASSERT_TRUE(fs::exists(f)) << f;
    files.push_back(f.string());
    const Csv csv = readCsv(f.string());
    const std::string columns = numericColumns(csv);
    EXPECT_NE(columns.find('1'), std::string::npos) << name;
    want.push_back(columns);
  }
  std::string args;
  for (const std::string& f : files) args += " " + shellQuoted(f);
  if (r) {
    EXPECT_EQ(verdicts("Rscript -e 'for (f in commandArgs(TRUE)) cat(paste(as.integer(sapply("
                       "read.csv(f), is.numeric)), collapse = \" \"), \"\\n\", sep = \"\")'" +
                       args),
              want);
  }
  if (pandas) {
    EXPECT_EQ(verdicts("/usr/bin/python3 -c 'import sys, pandas as pd\n"
                       "for f in sys.argv[1:]:\n"
                       "    print(\" \".join(str(int(pd.api.types.is_numeric_dtype(t))) for t in "
                       "pd.read_csv(f).dtypes))'" +
                       args),
              want);
  }
}

// A header name longer than a variable name can be is read cut to 32 characters, with a note;
// the program names the variable by that name, and a longer name in the program, whether it
// names a variable or makes one, is an error quoting it as written and saying why.
TEST(CsvFiles, LongHeaderNamesAreCutAndSaidSo) {
  const std::string longName = "a_very_long_variable_name_that_exceeds_thirty_two_chars";
  const std::string cut = longName.substr(0, 32);
  ScratchDir lib("vsf_longnames");
  std::ofstream(lib.path() / "nm.csv")
      << "y,x," << longName << "\n1,2,4\n2,3,5\n3,5,4\n4,4,3\n5,7,6\n";
  auto step = [](const std::string& body) { return "proc varsifter data=nm; " + body + " run;"; };
  const std::string why =
      "a variable name has at most 32 characters: the column so named on the "
      "first line of " +
      (lib.path() / "nm.csv").string() + " is read as " + cut + ".";
  const std::string notFound =
      "The variable " + longName + " was not found on data set WORK.NM: " + why;
  const std::string tooLong = " is longer than 32 characters, the most a variable name can have.";
  expectRuns(
      lib.path().string(),
      {
          {step("model y = " + longName + ";"), 1, {"ERROR: Line 1, column 35: " + notFound}},
          {step("model y = '" + longName + "'n;"), 1, {notFound}},
          {step("class " + longName + "; model y = x;"),
           1,
           {"ERROR: Line 1, column 31: variable " + longName +
            " not found on data set WORK.NM: " + why}},
          {step("model y = x; output out=o p=" + longName + "_p;"),
           1,
           {"the name " + longName + "_p" + tooLong}},
          {step("effect " + longName + " = poly(x / degree=2); model y = x;"),
           1,
           {"the name " + longName + tooLong}},
          {step("model y = " + cut + " / selection=none; output out=o p;"),
           0,
           {"NOTE: The name " + longName + " on the first line of",
            "is read as " + cut + " in data set WORK.NM."}},
      });
  const std::vector<std::string> o = lines(lib.path() / "o.csv");
  ASSERT_FALSE(o.empty()) << "the last run wrote no o.csv";
  EXPECT_EQ(o.front(), "y,x," + cut + ",p_y");
}

}  // namespace
}  // namespace vsf::test
