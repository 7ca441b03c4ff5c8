// The spread of model averaging's sample values on data with a large offset (mtcars with
// mpg + 1e6): OUTPUT STDDEV= against numpy.std(ddof=1) of the SAMPLEPRED columns
// (tests/reference/averaging_spread.py), exactly 0 when every sample is the whole data, and the
// averaged estimates' StdDev free of the offset.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <fstream>
#include <string>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

constexpr const char* kModel =
    "model mpg = disp hp drat wt qsec am / selection=forward(select=sbc);";

// mtcars with mpg + offset, as data set `name` of the library.
void writeShifted(const DataLibrary& lib, const std::string& name, double offset) {
  const Csv t = readCsv(lib.dir() + "/mtcars.csv");
  std::ofstream out(lib.path() / (name + ".csv"));
  for (size_t j = 0; j < t.header.size(); ++j) out << (j ? "," : "") << t.header[j];
  out << "\n";
  const int c = t.column("mpg");
  char buf[32];
  for (const auto& row : t.rows) {
    for (size_t j = 0; j < row.size(); ++j) {
      std::string cell = row[j];
      if (static_cast<int>(j) == c)
        cell.assign(buf, std::to_chars(buf, buf + sizeof buf, std::stod(cell) + offset).ptr);
      out << (j ? "," : "") << (j == 0 ? "\"" + cell + "\"" : cell);
    }
    out << "\n";
  }
}

std::string step(const std::string& data, const std::string& averaging,
                 const std::string& output = "") {
  return "proc varsifter data=" + data + " seed=5;\n  " + kModel + "\n  " + averaging + "\n" +
         output + "run;\n";
}

TEST(AveragingSpread, OutputStdDevIsNumpysOfTheSamplePredictions) {
  DataLibrary lib({"mtcars"});
  writeShifted(lib, "mtbig", 1e6);
  const Csv ref = readCsv("averaging/spread_reference.csv");
  const struct {
    const char* name;
    const char* averaging;
  } kPrograms[] = {{"same", "modelaverage nsamples=30 sampling=srs(percent=100);"},
                   {"urs", "modelaverage nsamples=40 sampling=urs;"}};
  for (const auto& p : kPrograms) {
    const CommandRun r = runCommand(
        step("mtbig", p.averaging, "  output out=o stddev=sd samplepred=sp;\n"), lib.dir());
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<double> sd = lib.column("o", "sd");
    size_t checked = 0;
    for (size_t i = 0; i < ref.rows.size(); ++i) {
      if (ref.text(i, "program") != p.name) continue;
      const size_t obs = static_cast<size_t>(ref.number(i, "obs")) - 1;
      ASSERT_LT(obs, sd.size()) << p.name;
      const double want = ref.number(i, "sd");
      // numpy's own mean of identical values is off by an ulp: its spread is noise there.
      EXPECT_NEAR(sd[obs], want, 1e-9 * std::max(1.0, want)) << p.name << " obs " << obs + 1;
      if (std::string(p.name) == "same") {
        EXPECT_EQ(sd[obs], 0.0) << "obs " << obs + 1;
      }
      ++checked;
    }
    EXPECT_EQ(checked, sd.size()) << p.name;
  }
}

// The same samples on mpg and on mpg + 1e6: every StdDev of AvgParmEst agrees (a one-pass
// variance lost six digits of the intercept's to the offset); identical samples spread 0.
TEST(AveragingSpread, AveragedEstimatesSpreadIsFreeOfAnOffset) {
  DataLibrary lib({"mtcars"});
  writeShifted(lib, "mtbig", 1e6);
  const std::string urs = "modelaverage nsamples=40 sampling=urs;";
  const CommandRun r =
      runCommand(step("mtcars", urs) + step("mtbig", urs) +
                     step("mtbig", "modelaverage nsamples=8 sampling=srs(percent=100);"),
                 lib.dir());
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<Json> tables = findAll(r.document, "AvgParmEst");
  ASSERT_EQ(tables.size(), 3u);
  const Json& plain = tables[0]["rows"];
  const Json& shifted = tables[1]["rows"];
  ASSERT_EQ(plain.size(), shifted.size());
  for (size_t j = 0; j < plain.size(); ++j) {
    const double want = number(plain[j]["StdDev"]);
    EXPECT_NEAR(number(shifted[j]["StdDev"]), want, 1e-7 * want) << plain[j]["Parameter"];
  }
  ASSERT_FALSE(tables[2]["rows"].empty());
  for (const Json& row : tables[2]["rows"])
    EXPECT_EQ(number(row["StdDev"]), 0.0) << row["Parameter"];
}

}  // namespace
}  // namespace vsf::test
