// Options that change what they say: each row runs a program without the option and with it,
// and checks the output the option names; an option read and without effect says so in the log.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

// A library of the example data sets and the small ones the rows need.
class OptionLibrary {
 public:
  OptionLibrary() : dir_("vsf_options") {
    for (const auto& e : fs::directory_iterator(VSF_SHARED_DATA))
      fs::copy_file(e.path(), dir_.path() / e.path().filename());
    // y = 3 h1 + h2 over orthogonal +-1 columns; x2 = h3 + 0.002 h2 adds about 4E-7 to R-square.
    write("tie",
          "y,x1,x2\n4,1,1.002\n-2,-1,-0.998\n2,1,-1.002\n-4,-1,0.998\n"
          "4,1,1.002\n-2,-1,-0.998\n2,1,-1.002\n-4,-1,0.998\n");
  }
  std::string path() const { return dir_.path().string(); }

 private:
  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir_.path() / (name + ".csv")) << text;
  }
  ScratchDir dir_;
};

// A column of a table as numbers or texts, row by row ("" for a table that is absent).
std::vector<Json> column(const CommandRun& r, const std::string& table, const std::string& name) {
  std::vector<Json> out;
  for (const Json& t : findAll(r.document, table))
    for (const Json& row : t["rows"]) out.push_back(row.contains(name) ? row[name] : Json());
  return out;
}

// Whether a table's column is shown; false when the table or the column is absent.
bool shown(const CommandRun& r, const std::string& table, const std::string& name) {
  for (const Json& t : findAll(r.document, table))
    for (const Json& c : t["columns"])
      if (c.value("name", "") == name) return c.value("shown", false);
  return false;
}

// A run and the text of the data set "out" it writes ("" when it writes none).
struct Outcome {
  CommandRun run;
  std::string out;  // out.csv of the library, read back
};

struct OptionCase {
  const char* off;      // what stands for "{}" without the option
  const char* on;       // and with it
  const char* program;  // "{}" stands where the option goes
  std::function<void(const Outcome& without, const Outcome& with)> check;
};

std::string withOption(std::string program, const std::string& option) {
  const size_t at = program.find("{}");
  return program.replace(at, 2, option);
}

// The named column differs between the runs.
auto differs(const char* table, const char* name) {
  return [=](const Outcome& off, const Outcome& on) {
    EXPECT_FALSE(column(off.run, table, name).empty()) << table << " " << name;
    EXPECT_NE(column(off.run, table, name), column(on.run, table, name)) << table << " " << name;
  };
}

// The listing shows a parameter as `without` without the option and as `with` with it, while
// the JSON document holds the same texts in both: the alignment is the listing's alone.
auto listed(const char* without, const char* with) {
  return [=](const Outcome& off, const Outcome& on) {
    EXPECT_NE(off.run.output.find(without), std::string::npos) << off.run.output;
    EXPECT_EQ(off.run.output.find(with), std::string::npos) << off.run.output;
    EXPECT_NE(on.run.output.find(with), std::string::npos) << on.run.output;
    EXPECT_EQ(on.run.output.find(without), std::string::npos) << on.run.output;
    EXPECT_EQ(column(off.run, "ParameterEstimates", "Parameter"),
              column(on.run, "ParameterEstimates", "Parameter"));
  };
}

// The table has that many rows over all its instances, without the option and with it.
auto rows(const char* table, size_t without, size_t with) {
  auto count = [=](const Outcome& o) {
    size_t n = 0;
    for (const Json& t : findAll(o.run.document, table)) n += t["rows"].size();
    return n;
  };
  return [=](const Outcome& off, const Outcome& on) {
    EXPECT_EQ(count(off), without) << table;
    EXPECT_EQ(count(on), with) << table;
  };
}

// The table appears with the option only.
auto appears(const char* table) {
  return [=](const Outcome& off, const Outcome& on) {
    EXPECT_TRUE(findAll(off.run.document, table).empty()) << table;
    EXPECT_FALSE(findAll(on.run.document, table).empty()) << table;
  };
}

// Options read and without effect (docs/language.md names them): every table is the same, and
// the log says of each that it has no effect.
auto noEffect(std::vector<std::string> options) {
  return [=](const Outcome& off, const Outcome& on) {
    EXPECT_TRUE(off.run.document["output"] == on.run.document["output"]) << "the tables differ";
    EXPECT_EQ(off.out, on.out);
    for (const std::string& o : options)
      EXPECT_NE(on.run.output.find("NOTE: " + o + " is read but has no effect"), std::string::npos)
          << o << "\n"
          << on.run.output;
  };
}

const char* const kForward =
    "proc varsifter data=diabetes; model y = age sex bmi bp s1-s6 / selection=forward(select=sbc) "
    "{}; output out=out p=yhat; run;";
const char* const kAveraging =
    "proc varsifter data=diabetes seed=3; model y = age sex bmi bp s1-s6 / "
    "selection=forward(select=sbc); modelaverage nsamples=20 {}; output out=out p=yhat; run;";
const char* const kInterlaced =
    "proc varsifter data=mtcars parmlabelstyle=interlaced outdesign=out; class cyl {}; "
    "model mpg = cyl wt / selection=none; run;";

const std::vector<OptionCase>& cases() {
  static const std::vector<OptionCase> all = {
      // The entry of x2 improves R-square by less than the fuzz: only the default makes it.
      {"", "fuzz=1e-6",
       "proc varsifter data=tie; model y = x1 x2 / selection=stepwise(select=rsquare) {}; run;",
       rows("SelectionSummary", 3, 2)},
      // bmi*s5 enters before bmi and s5 unless the hierarchy holds for continuous variables.
      {"hierarchy=single", "hierarchy=singleclass",
       "proc varsifter data=diabetes; model y = bmi*s5 bmi s5 bp / selection=forward(select=sbc) "
       "{}; run;",
       differs("SelectionSummary", "EffectEntered")},
      {"", "stb", kForward,
       [](const Outcome& off, const Outcome& on) {
         EXPECT_FALSE(shown(off.run, "ParameterEstimates", "StandardizedEst"));
         EXPECT_TRUE(shown(on.run, "ParameterEstimates", "StandardizedEst"));
       }},
      {"", "showpvalues", kForward,
       [](const Outcome& off, const Outcome& on) {
         EXPECT_FALSE(shown(off.run, "ParameterEstimates", "Probt"));
         EXPECT_TRUE(shown(on.run, "ParameterEstimates", "Probt"));
       }},
      {"", "orderselect", kForward, differs("ParameterEstimates", "Parameter")},
      {"", "parmlabelstyle=interlaced",
       "proc varsifter data=mtcars {}; class cyl gear; model mpg = cyl gear wt / selection=none; "
       "run;",
       listed("cyl       4", "cyl 4")},
      {"", "parmlabelstyle=separatecompact",
       "proc varsifter data=mtcars {}; class cyl gear; model mpg = cyl*gear wt / "
       "selection=none; run;",
       listed("cyl*gear  4 3", "cyl*gear 4 3")},
      {"", "(lprefix=2)", kInterlaced, differs("ParameterEstimates", "Parameter")},
      // CPREFIX= names the design columns: cyl4 becomes c4.
      {"", "(cprefix=1)", kInterlaced,
       [](const Outcome& off, const Outcome& on) {
         EXPECT_EQ(off.out.substr(0, off.out.find('\n')), "Intercept,cyl4,cyl6,cyl8,wt,mpg");
         EXPECT_EQ(on.out.substr(0, on.out.find('\n')), "Intercept,c4,c6,c8,wt,mpg");
       }},
      {"", "/ showcoding",
       "proc varsifter data=mtcars; class cyl {}; model mpg = cyl wt / selection=none; run;",
       appears("ClassLevelCoding")},
      {"outdesign=out", "outdesign(names)=out",
       "proc varsifter data=mtcars {}; class cyl; model mpg = cyl wt / selection=none; run;",
       appears("ParameterNames")},
      {"", "keepratio=0.3",
       "proc varsifter data=diabetes; model y = age sex bmi bp s1-s6 / "
       "selection=lasso(screen=sis({}) stop=none); run;",
       differs("SelectionSummary", "EffectEntered")},
      // The global CANDIDATES= is the candidates plot's SHOW= unless the plot has its own:
      // six detailed steps with 10, 9, 8, 7, 6 and 5 candidates, or 3 of each.
      {"", "(candidates=3)",
       "proc varsifter data=diabetes plots{}=candidates; model y = age sex bmi bp s1-s6 / "
       "selection=forward(select=sbc) details=steps; run;",
       rows("PlotCandidates", 45, 18)},
      // FORCE$ keeps SELECTION=NONE from building the whole crossproducts matrix.
      {"", "force",
       "proc varsifter data=diabetes; model y = age bmi bp / selection=none; "
       "performance buildsscp=incremental {}; run;",
       [](const Outcome& off, const Outcome& on) {
         EXPECT_NE(off.run.output.find("BUILDSSCP=INCREMENTAL is ignored"), std::string::npos);
         EXPECT_EQ(on.run.output.find("BUILDSSCP=INCREMENTAL is ignored"), std::string::npos);
         EXPECT_EQ(column(off.run, "ParameterEstimates", "Estimate").size(), 4u);
       }},
      // The averaged model's estimates, which OUTPUT predicts with, and the averaged table.
      {"", "averagemethod=median", kAveraging,
       [](const Outcome& off, const Outcome& on) {
         EXPECT_EQ(column(off.run, "AvgParmEst", "Mean"), column(on.run, "AvgParmEst", "Mean"));
         EXPECT_NE(off.out, on.out);
       }},
      {"", "averagemethod=mean(trimpercent=10)", kAveraging, differs("AvgParmEst", "Mean")},
      {"", "subset(minmodelfreq=2)", kAveraging, differs("AvgParmEst", "Mean")},
      {"", "alpha=0.2", kAveraging, differs("AvgParmEst", "UpperQuantile")},
      {"sampling=urs", "sampling=srs", kAveraging, differs("AvgParmEst", "Mean")},
      // Each sample's count of every observation, one column per sample.
      {"", "samplefreq=sf",
       "proc varsifter data=mtcars seed=3; model mpg = wt hp qsec / selection=forward(select=sbc); "
       "modelaverage nsamples=4; output out=out p=yhat {}; run;",
       [](const Outcome& off, const Outcome& on) {
         EXPECT_EQ(off.out.substr(0, off.out.find('\n')).find(",sf4"), std::string::npos);
         EXPECT_NE(on.out.substr(0, on.out.find('\n')).find(",sf1,sf2,sf3,sf4"), std::string::npos);
       }},
      // The gap between the coefficient plot's right-hand labels moves crowded labels apart.
      {"", "(labelgap=60)",
       "proc varsifter data=diabetes plots=coefficients{}; model y = age sex bmi bp s1-s6 / "
       "selection=forward(select=sbc); run;",
       differs("Coefficients", "RhsLabelYValue")},
      {"", "details", "proc varsifter data=mtcars; model mpg = wt hp; performance {}; run;",
       appears("PerfSettings")},
      // NOTIMING keeps the details without the Timing table.
      {"details notiming", "details",
       "proc varsifter data=mtcars; model mpg = wt hp; performance {}; run;", appears("Timing")},
      // ALLDETAILS adds the displays' own time to the Timing table.
      {"details", "details alldetails",
       "proc varsifter data=mtcars; model mpg = wt hp; performance {}; run;",
       [](const Outcome& off, const Outcome& on) {
         auto displays = [](const Outcome& o) {
           int n = 0;
           for (const Json& v : column(o.run, "Timing", "CodeSection")) n += v == "Display Tables";
           return n;
         };
         EXPECT_EQ(displays(off), 0);
         EXPECT_EQ(displays(on), 1);
       }},
      // Read and without effect.
      {"", "nthreads=4 schedule=2 inmemory=yes shareddrive='.'", kAveraging,
       noEffect({"NTHREADS=", "SCHEDULE=", "INMEMORY=", "SHAREDDRIVE="})},
      {"", "drop=afteradd",
       "proc varsifter data=diabetes; model y = age sex bmi bp s1-s6 / "
       "selection=stepwise(select=sbc {}); run;",
       noEffect({})},
      {"plots=candidates",
       "showinternaltables plots=(candidates(logp) selectogram(normc emphasis=0.5))",
       "proc varsifter data=diabetes {}; model y = age sex bmi bp s1-s6 / "
       "selection=forward(select=sbc) details=steps; run;",
       noEffect({"SHOWINTERNALTABLES", "PLOTS=SELECTOGRAM", "LOGP of PLOTS=CANDIDATES"})},
      {"", "mdegree=1",
       "proc varsifter data=diabetes; effect p = polynomial(bmi bp / degree=2 {}); "
       "model y = p / selection=none; output out=out p=yhat; run;",
       noEffect({"MDEGREE="})},
      {"", "perfstatus", "proc varsifter data=mtcars; model mpg = wt hp; performance {}; run;",
       noEffect({"PERFSTATUS"})},
  };
  return all;
}

std::string outData(const std::string& library) {
  std::ifstream in(fs::path(library) / "out.csv");
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

Outcome runWith(const OptionCase& c, const char* option, const std::string& library) {
  fs::remove(fs::path(library) / "out.csv");
  Outcome o;
  o.run = runCommand(withOption(c.program, option), library);
  o.out = outData(library);
  return o;
}

TEST(Options, EachChangesWhatItSays) {
  OptionLibrary library;
  for (const OptionCase& c : cases()) {
    SCOPED_TRACE(c.on);
    const Outcome off = runWith(c, c.off, library.path());
    const Outcome on = runWith(c, c.on, library.path());
    ASSERT_EQ(off.run.status, 0) << off.run.output;
    ASSERT_EQ(on.run.status, 0) << on.run.output;
    ASSERT_TRUE(off.run.document.is_object()) << off.run.output;
    ASSERT_TRUE(on.run.document.is_object()) << on.run.output;
    c.check(off, on);
  }
}

// The module that writes scoring code and item stores is not part of the program: CODE ends the
// step with a warning, STORE ends it with an error before the fit, each saying what was not
// written.
TEST(Options, CodeAndStoreSayWhatTheyDidNotWrite) {
  OptionLibrary library;
  struct Case {
    const char* statement;
    int status;
    const char* says;
    const char* ends;
  } cases[] = {
      {"code file='fit.txt';", 0, "WARNING: No scoring code was written", "return code 4"},
      {"store out=fit;", 1, "ERROR: No item store was written", "return code 1012"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement);
    const CommandRun r = runCommand(
        std::string("proc varsifter data=mtcars; model mpg = wt hp; ") + c.statement + " run;",
        library.path());
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find("Failed to load zanmodbr bridge."), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(c.ends), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(fs::path(library.path()) / "fit.txt"));
  }
}

}  // namespace
}  // namespace vsf::test
