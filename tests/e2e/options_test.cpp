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

struct OptionCase {
  const char* option;   // as the program writes it
  const char* program;  // "{}" stands where the option goes
  std::function<void(const CommandRun& without, const CommandRun& with)> check;
};

std::string withOption(std::string program, const std::string& option) {
  const size_t at = program.find("{}");
  return program.replace(at, 2, option);
}

const std::vector<OptionCase>& cases() {
  static const std::vector<OptionCase> all = {
      {"fuzz=1e-6",
       "proc varsifter data=tie; model y = x1 x2 / selection=stepwise(select=rsquare) {}; run;",
       [](const CommandRun& off, const CommandRun& on) {
         // The entry of x2 improves R-square by less than the fuzz: only the default makes it.
         EXPECT_EQ(column(off, "SelectionSummary", "EffectEntered").size(), 3u);
         EXPECT_EQ(column(on, "SelectionSummary", "EffectEntered").size(), 2u);
       }},
  };
  return all;
}

TEST(Options, EachChangesWhatItSays) {
  OptionLibrary library;
  for (const OptionCase& c : cases()) {
    SCOPED_TRACE(c.option);
    const CommandRun off = runCommand(withOption(c.program, ""), library.path());
    const CommandRun on = runCommand(withOption(c.program, c.option), library.path());
    ASSERT_EQ(off.status, 0) << off.output;
    ASSERT_TRUE(off.document.is_object()) << off.output;
    ASSERT_TRUE(on.document.is_object()) << on.output;
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
