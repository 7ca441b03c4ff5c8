// The command starts itself again for its BLAS kernels on a processor the library does not
// know by name. What it found of its standard streams when the user started it holds through
// that new start: a closed listing, log or input is an error with the status it has where the
// command starts once.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "common/files.h"
#include "e2e/command_support.h"
#include "e2e/process_support.h"
#include "host/blas_core.h"

namespace vsf::test {
namespace {

TEST(BlasRestart, StreamsClosedAtTheStartStayClosedThroughIt) {
  const std::string better = host::betterBlasCore("Prescott", host::cpuAbilities());
  if (better.empty())
    GTEST_SKIP() << "a processor without AVX2: the command never starts again for its kernels";
  ScratchDir dir("vsf_restart");
  const auto program = dir.path() / "p.vsf", document = dir.path() / "o.json",
             starts = dir.path() / "starts";
  std::ofstream(program)
      << "proc varsifter data=mtcars; model mpg = wt hp / selection=none; run;\n";
  const struct {
    int closed;
    const char* file;  // the program, "-" for standard input
    const char* error;
    bool inDocument;  // a run that reads no program writes no document
  } kCases[] = {
      {1, "p.vsf", "The listing cannot be written to standard output (Bad file descriptor)", true},
      {2, "p.vsf", "The log cannot be written to standard error (Bad file descriptor)", true},
      {0, "-", "cannot read the program from standard input (Bad file descriptor)", false},
  };
  for (const auto& c : kCases) {
    for (const bool restarted : {false, true}) {
      SCOPED_TRACE(std::to_string(c.closed) + (restarted ? " closed, restarted" : " closed"));
      std::filesystem::remove(document);
      std::filesystem::remove(starts);
      Start start{{c.file, "--lib", VSF_SHARED_DATA, "--json", document.string()}};
      start.directory = dir.path().string();
      start.closed = {c.closed};
      start.unset = {"OPENBLAS_CORETYPE"};
      if (restarted) {
        const char* asan = std::getenv("ASAN_OPTIONS");
        start.environment = {
            {"LD_PRELOAD", carriedPath(VSF_GENERIC_BLAS_CORE)},
            {"VSF_STARTS_RECORD", starts.string()},
            // Preloaded ahead of the sanitizer's runtime in its builds.
            {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}};
      }
      const Ended r = runStarted(start);
      EXPECT_EQ(r.status, 2) << r.log;
      if (c.closed != 2) {
        EXPECT_NE(r.log.find(std::string("ERROR: ") + c.error), std::string::npos) << r.log;
      }
      if (c.inDocument) {
        EXPECT_NE(fileText(document).find(c.error), std::string::npos);
      }
      // The new start named the better kernels.
      const std::string record = fileText(starts);
      if (restarted) {
        EXPECT_NE(record.find("start " + better + "\n"), std::string::npos) << record;
      }
    }
  }
}

}  // namespace
}  // namespace vsf::test
