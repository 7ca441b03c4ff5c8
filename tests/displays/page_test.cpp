// Every display table of a fit on one page: the HTML page and the listing show each of them
// with its title. The page is left in the temporary directory as vsf_displays_page.html for
// tests/displays/render_html.sh to draw with a browser.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/host.h"
#include "displays/display_support.h"
#include "displays/displays_internal.h"
#include "frame/state.h"
#include "host/output/output.h"

namespace vsf::test {
namespace {

TEST(Page, HtmlAndListingShowEveryTable) {
  DisplayFit fit("mtcars", GroupSettings{});
  fit.runPath();
  VsfState& v = fit.vsf();
  v.settings.response.name = "mpg";
  v.settings.options.method = kMethodForward;
  v.settings.options.stop = kCritSbc;
  v.settings.options.stats[kStatsAll] = 1;
  for (int c = 0; c < kStatsCount; ++c) v.settings.options.stats[c] = 1;
  v.settings.threads.threadsOn = v.settings.threads.effectiveThreaded = 1;
  v.settings.threads.requestedWorkers = 4, v.settings.threads.hostCpuCount = 8;
  SelectionState& s = fit.sel();
  s.totals.obsRead = 32, s.totals.rowsStored = 32;
  s.fit.sigma2Full = 186.05929721548 / 28;  // the full model's error variance
  s.run.stop.reason = 4, s.run.stop.entryEffect = 3, s.run.stop.entryValue = 71.2;
  UtilFileRecord file;
  file.pageLength = 65536, file.pageCount = 3;
  v.group.utilFiles.records = &file;
  v.group.utilFiles.count = 1;

  ASSERT_EQ(printModelInfo(settledView(v)), 0);
  ASSERT_EQ(printPerfSettings(settledView(v)), 0);
  ASSERT_EQ(printUtilInfo(settledView(v)), 0);
  ASSERT_EQ(printFitResults(settledView(v), &v.group.selection), 0);
  v.res.timers.stepStart = hostClock();
  ASSERT_EQ(printTiming(settledView(v), &v.res.timers), 0);
  v.group.utilFiles.records = nullptr;
  v.group.utilFiles.count = 0;

  const std::string page =
      (std::filesystem::temp_directory_path() / "vsf_displays_page.html").string();
  std::string error;
  ASSERT_TRUE(host::output::writeHtmlFile(page, &error)) << error;
  std::ifstream in(page);
  const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string listing = fit.out.listing();
  for (const char* title :
       {"Model Information", "Performance Settings", "Utility Files", "Number of Observations",
        "Forward Selection Summary", "Stop Reason", "Stop Details", "Selected Effects",
        "Analysis of Variance", "Fit Statistics", "Parameter Estimates", "Timing Breakdown"}) {
    EXPECT_NE(html.find(title), std::string::npos) << title;
    EXPECT_NE(listing.find(title), std::string::npos) << title;
  }
  std::ofstream(std::filesystem::temp_directory_path() / "vsf_displays_page.lst") << listing;
}

}  // namespace
}  // namespace vsf::test
