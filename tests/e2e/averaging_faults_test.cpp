// A sample of model averaging whose run fails hard (its model pool not made, memory refused, a
// page of the stored rows unreadable) ends the step with the error and its code: nothing is
// averaged, shown or written. The program runs in this process, as the command runs it, so that
// the host can play the fault at the chosen sample.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "common/test_host.h"
#include "e2e/command_support.h"
#include "host/faults.h"
#include "host/output/output.h"
#include "host/program.h"

namespace vsf::test {
namespace {

struct FaultyRun {
  int code = 0;
  Json document;
  std::vector<host::LogLine> log;
};

// Each sample's run starts with a model pool of its own: the n-th is sample n's.
FaultyRun runWithFault(const std::string& program, const DataLibrary& library, host::Fault fault,
                       int sample, int blocksGiven = 0) {
  ensureHost();
  const std::filesystem::path saved = host::session().options.library;
  host::session().options.library = library.dir();
  host::output::reset();
  host::output::setListingStream(nullptr);
  LogWatch log;
  host::injectFault(fault, "model pool", sample, blocksGiven);
  const host::ProgramResult r = host::runProgram(program, "faults.vsf");
  host::injectFault(host::Fault::kNone, "", 0);
  host::output::finish();
  FaultyRun run{r.worstCode, Json::parse(host::output::jsonText()), log.lines()};
  host::output::setListingStream(&std::cout);
  host::session().options.library = saved;
  return run;
}

bool logged(const FaultyRun& r, const std::string& level, const std::string& text) {
  for (const host::LogLine& l : r.log)
    if (l.level == level && l.text.find(text) != std::string::npos) return true;
  return false;
}

std::string program(const std::string& modelAverage, const std::string& performance = "") {
  return "proc varsifter data=diabetes seed=5 outdesign=design;\n"
         "  model y = age sex bmi bp s1-s6 / selection=lasso;\n"
         "  modelaverage " +
         modelAverage +
         ";\n"
         "  output out=fitted p=yhat;\n"
         "  score data=diabetes out=scored p=yhat;\n" +
         performance + "run;\n";
}

std::string forward(const std::string& modelAverage, const std::string& performance) {
  std::string text = program(modelAverage, performance);
  text.replace(text.find("lasso"), 5, "forward");
  return text;
}

TEST(AveragingFaults, AHardFailureOfASampleEndsTheStep) {
  const std::string pages = "  performance util_pagesize$=1 util_buffers$=1;\n";
  std::string cvex = program("nsamples=3");
  cvex.replace(cvex.find("lasso"), 5, "lasso(choose=cvex) cvmethod=random(4)");
  const struct {
    const char* name;
    host::Fault fault;
    int sample;
    std::string program;
    const char* error;
    bool firstPassShown = false;  // the fault struck the refit pass, after the first's tables
  } kCases[] = {
      {"memory refused at the third sample", host::Fault::kMemoryRefused, 3, program("nsamples=6"),
       "There is not enough memory to continue."},
      {"no model pool for the first sample", host::Fault::kPoolRefused, 1, program("nsamples=6"),
       "A memory pool could not be created."},
      {"no model pool for the last sample", host::Fault::kPoolRefused, 6, program("nsamples=6"),
       "A memory pool could not be created."},
      {"a page unreadable at the second sample", host::Fault::kPageReadFails, 2,
       program("nsamples=6", pages), "There is not enough memory to continue."},
      {"memory refused in the second record's samples", host::Fault::kMemoryRefused, 5,
       program("nsamples=6 nthreads$=2"), "There is not enough memory to continue."},
      // A sample of external cross validation draws (pool 1), then runs its folds.
      {"memory refused in a fold of a sample", host::Fault::kMemoryRefused, 3, cvex,
       "There is not enough memory to continue."},
      // The first pass's three samples, then the refit pass's second.
      {"memory refused in the refit pass", host::Fault::kMemoryRefused, 5,
       program("nsamples=3 refit(nsamples=3)"), "There is not enough memory to continue.", true},
      // Not "No sample of model averaging could be fitted" (108): the sample did not fail by
      // its data.
      {"the only sample refused memory", host::Fault::kMemoryRefused, 1, program("nsamples=1"),
       "There is not enough memory to continue."},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    DataLibrary library({"diabetes"});
    host::keepPoolLog(true);
    // The same program without the fault averages its samples and writes every output.
    const FaultyRun sound = runWithFault(c.program, library, host::Fault::kNone, 0);
    EXPECT_LE(sound.code, 4);
    EXPECT_EQ(findAll(sound.document, "AvgParmEst").size(), 1u);
    for (const char* file : {"fitted.csv", "scored.csv", "design.csv"}) {
      EXPECT_TRUE(std::filesystem::exists(library.path() / file)) << file;
      std::filesystem::remove(library.path() / file);
    }
    const FaultyRun r = runWithFault(c.program, library, c.fault, c.sample);
    EXPECT_EQ(r.code, 1016);
    EXPECT_TRUE(logged(r, "ERROR", c.error));
    // No sample is left out with a warning, and nothing is averaged.
    EXPECT_FALSE(logged(r, "WARNING", "left out"));
    EXPECT_FALSE(logged(r, "WARNING", "could not be fitted"));
    for (const char* table : {"EffectSelectPct", "ModelSelectFreq", "AvgParmEst"})
      EXPECT_EQ(findAll(r.document, table).size(), c.firstPassShown ? 1u : 0u) << table;
    EXPECT_TRUE(findAll(r.document, "RefitAvgParmEst").empty());
    for (const char* file : {"fitted.csv", "scored.csv", "design.csv"})
      EXPECT_FALSE(std::filesystem::exists(library.path() / file)) << file;
    // Every pool the step made is gone with it.
    int open = 0;
    for (const std::string& e : host::takePoolLog()) open += e[0] == '+' ? 1 : -1;
    EXPECT_EQ(open, 0);
  }
}

// Each allocation of the second sample's model pool refused in turn, and each page read of the
// stored rows while it lives failed in turn, wherever it falls (the pool, the crossproducts,
// the path's steps): every one ends the step, none leaves the sample out as if its data had
// failed it.
TEST(AveragingFaults, AFailureAnywhereInASampleEndsTheStep) {
  const std::string pages = "  performance util_pagesize$=1 util_buffers$=1;\n";
  const struct {
    const char* name;
    host::Fault fault;
    std::string program;
  } kCases[] = {
      {"memory", host::Fault::kMemoryRefused, program("nsamples=3")},
      {"page reads", host::Fault::kPageReadFails, program("nsamples=3", pages)},
      // The crossproducts built effect by effect: the selection's own steps read the pages.
      {"page reads of the steps", host::Fault::kPageReadFails,
       forward("nsamples=3",
               "  performance util_pagesize$=1 util_buffers$=1 buildsscp=incremental;\n")},
  };
  for (const auto& c : kCases) {
    DataLibrary library({"diabetes"});
    int given = 0;
    for (; given < 5000; ++given) {
      const FaultyRun r = runWithFault(c.program, library, c.fault, 2, given);
      if (r.code <= 4) break;  // the sample needed fewer than this: it ran whole
      SCOPED_TRACE(std::string(c.name) + " failing after " + std::to_string(given));
      EXPECT_GE(r.code, 1016);
      EXPECT_FALSE(logged(r, "WARNING", "left out"));
      EXPECT_FALSE(logged(r, "WARNING", "could not be fitted"));
      EXPECT_TRUE(findAll(r.document, "AvgParmEst").empty());
      for (const char* file : {"fitted.csv", "scored.csv", "design.csv"})
        EXPECT_FALSE(std::filesystem::exists(library.path() / file)) << file;
    }
    EXPECT_GT(given, 3) << c.name;  // the sample takes several, and each failed once
    EXPECT_LT(given, 5000) << c.name;
  }
}

}  // namespace
}  // namespace vsf::test
