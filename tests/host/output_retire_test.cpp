// Each BY group's items leave memory when the next group starts, what the JSON document and the
// HTML page need of them written to spill files: the objects held after a step do not grow with
// its groups, and the listing and the documents are those of a run that held every item.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "host/output_driver.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct StepOutputs {
  std::string listing, html;
  json output;
  size_t held = 0;
};

// The document's items without their step numbers, which count the steps the test process ran.
json withoutSteps(json j) {
  if (j.is_object()) j.erase("step");
  if (j.is_structured())
    for (auto& member : j) member = withoutSteps(member);
  return j;
}

StepOutputs runGroups(const fs::path& library, int groups, bool spill) {
  {
    std::ofstream out(library / "tiny.csv");
    out << "g,y,x1,x2\n";
    for (int g = 0; g < groups; ++g)
      for (int r = 0; r < 4; ++r)
        out << g << ',' << (g * 7 + r * r * 3) % 11 << ',' << (r * 5 + g) % 7 << ','
            << (r * 3 + g * g) % 5 << '\n';
  }
  OutputDriver o;
  host::output::keepRequestLog(false);  // as the command runs
  if (spill) host::output::spillDocuments(true, true);
  const fs::path saved = host::session().options.library;
  host::session().options.library = library;
  EXPECT_LT(host::runStep("proc varsifter data=tiny seed=1; by g;"
                          " model y = x1 x2 / selection=forward(select=sbc); run;",
                          1),
            100);
  host::session().options.library = saved;
  StepOutputs r;
  r.held = host::output::heldObjects();
  host::output::finish();
  r.listing = o.listing();
  r.output = withoutSteps(json::parse(host::output::jsonText())["output"]);
  r.html = host::output::htmlText();
  host::output::reset();
  return r;
}

TEST(OutputRetire, MemoryDoesNotGrowWithTheGroups) {
  const fs::path library = fs::temp_directory_path() / ("vsf_retire_" + std::to_string(getpid()));
  fs::create_directories(library);
  const StepOutputs few = runGroups(library, 4, true);
  const StepOutputs many = runGroups(library, 40, true);
  const StepOutputs whole = runGroups(library, 40, false);
  EXPECT_EQ(many.held, few.held);
  EXPECT_GT(whole.held, 5 * many.held);  // every item kept
  EXPECT_EQ(many.listing, whole.listing);
  EXPECT_EQ(many.output.size(), whole.output.size());
  EXPECT_TRUE(many.output == whole.output);
  EXPECT_TRUE(many.html == whole.html);
  EXPECT_NE(many.html.find("g=39"), std::string::npos);

  // Spill files that take no more than a few groups' texts (a full UTILPATH): the later items
  // stay in memory, and the documents are whole.
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 16 * 1024;
  void (*was)(int) = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const StepOutputs cut = runGroups(library, 40, true);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, was);
  EXPECT_GT(cut.held, many.held);
  EXPECT_LT(cut.held, whole.held);
  EXPECT_EQ(cut.listing, whole.listing);
  EXPECT_TRUE(cut.output == whole.output);
  EXPECT_TRUE(cut.html == whole.html);
  fs::remove_all(library);
}

}  // namespace
}  // namespace vsf::test
