// BY groups over CSV data sets, as a user runs them: the number of groups the step walked
// (the _VSFNUMBYS macro variable of the JSON document) and a data set out of BY order.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

namespace {

struct ProgramRun {
  int status = -1;
  std::string output;  // standard output and standard error together
  nlohmann::json document;
};

ProgramRun runProgram(const std::string& program) {
  auto dir = std::filesystem::temp_directory_path();
  auto source = dir / "vsf_by_test.vsf";
  auto json = dir / "vsf_by_test.json";
  std::filesystem::remove(json);
  std::ofstream(source) << program;
  std::string cmd = std::string(VSF_BINARY) + " " + source.string() +
                    " --lib " VSF_TEST_DATA "/e2e --json " + json.string() + " 2>&1";
  ProgramRun r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
  int s = pclose(p);
  r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  std::ifstream in(json);
  if (in) r.document = nlohmann::json::parse(in, nullptr, false);
  return r;
}

std::string macro(const ProgramRun& r, const char* name) {
  if (!r.document.is_object() || !r.document.contains("macros")) return "";
  return r.document["macros"].value(name, "");
}

TEST(ByGroups, EveryGroupOfTheDataSetIsWalked) {
  struct Case {
    const char* program;
    int status;
    const char* groups;  // _VSFNUMBYS, empty when the step did not get there
    const char* logText;
  } cases[] = {
      // Out of order: the error names the observation; the step ends with 1012.
      {"proc varsifter data=by_unsorted; by g; model y = x; run;", 1, "", "observation 4"},
      {"proc varsifter data=by_unsorted; by descending g; model y = x; run;", 1, "",
       "observation 7"},
      {"proc varsifter data=by_sorted; model y = x; run;", 0, "1", "return code 0"},
      {"proc varsifter data=by_sorted; by g; model y = x; run;", 0, "3", "return code 0"},
      {"proc varsifter data=by_unsorted; by g notsorted; model y = x; run;", 0, "3",
       "return code 0"},
      {"proc varsifter data=by_sorted maxmacro=2; by g; model y = x; run;", 0, "3",
       "return code 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    ProgramRun r = runProgram(c.program);
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_EQ(macro(r, "_VSFNUMBYS"), c.groups) << r.output;
    EXPECT_NE(r.output.find(c.logText), std::string::npos) << r.output;
    if (c.status != 0) {
      EXPECT_NE(r.output.find("is not sorted by the BY variables"), std::string::npos) << r.output;
      EXPECT_NE(r.output.find("return code 1012"), std::string::npos) << r.output;
    }
  }
  EXPECT_EQ(macro(runProgram("proc varsifter data=by_sorted maxmacro=2; by g; model y = x; run;"),
                  "_VSFNUMMACROBYS"),
            "2");
}

}  // namespace
