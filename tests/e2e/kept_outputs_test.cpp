// Output data sets a step leaves alone: a step that fits no model keeps the earlier files of its
// OUTPUT, OUTDESIGN and SCORE data sets and says so; a data set that cannot be written is one
// error; the PERFORMANCE statement chooses the threads its data sets are written with.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <thread>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

// g=1 has y, g=2 none; "allmiss" lacks y in every row.
struct KeepLibrary : DataLibrary {
  KeepLibrary() : DataLibrary({}) {
    std::ofstream(path() / "good.csv") << "g,y,x\n1,1,1\n1,2.1,2\n1,2.9,3\n1,4.2,4\n"
                                       << "2,5,1\n2,3,2\n2,4,3\n";
    std::ofstream(path() / "allmiss.csv") << "g,y,x\n1,,1\n1,,2\n2,,3\n2,,4\n";
    std::ofstream(path() / "half.csv") << "g,y,x\n1,1,1\n1,2.1,2\n1,2.9,3\n2,,4\n2,,5\n";
  }
  void put(const std::string& file, const std::string& text) const {
    std::ofstream(path() / file) << text;
  }
};

const char kFit[] =
    "proc varsifter data=good; model y = x; output out=keep p=ph; score data=good out=sc p=ph;"
    " run;\n";

TEST(KeptOutputs, AStepWithoutAModelKeepsTheEarlierFiles) {
  KeepLibrary lib;
  ASSERT_EQ(runCommand(kFit, lib.dir()).status, 0);
  const std::string keep = lib.text("keep.csv"), sc = lib.text("sc.csv");
  ASSERT_FALSE(std::isnan(lib.column("keep", "ph").at(0)));
  // The same step again, once fitted and once not: the earlier predictions stay.
  const CommandRun r =
      runCommand(std::string(kFit) +
                     "proc varsifter data=allmiss; model y = x; output out=keep p=ph;"
                     " score data=good out=sc p=ph; run;",
                 lib.dir());
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("return code 108"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("NOTE: No model was fitted, so these output data sets are not written "
                          "and an earlier file of each name is left as it was: WORK.KEEP, "
                          "WORK.SC."),
            std::string::npos)
      << r.output;
  EXPECT_EQ(lib.text("keep.csv"), keep);
  EXPECT_EQ(lib.text("sc.csv"), sc);

  // BY groups none of which has a model, NOPRINT, OUTDESIGN without BY: each keeps its file.
  const struct {
    const char* program;
    const char* names;
  } kCases[] = {
      {"proc varsifter data=allmiss; by g; model y = x; output out=keep p=ph;"
       " score data=good out=sc p=ph; run;",
       ": WORK.KEEP, WORK.SC."},
      {"proc varsifter data=allmiss noprint outdesign=d; model y = x; output out=keep;"
       " score data=good out=sc; run;",
       ": WORK.KEEP, WORK.D, WORK.SC."},
      {"proc varsifter data=allmiss outdesign=d; model y = x; score data=good out=sc; run;",
       ": WORK.D, WORK.SC."},
      {"proc varsifter data=allmiss outdesign=d; by g; model y = x; output out=keep; run;",
       ": WORK.KEEP, WORK.D."},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.program);
    lib.put("keep.csv", "earlier keep\n");
    lib.put("sc.csv", "earlier sc\n");
    lib.put("d.csv", "earlier d\n");
    const CommandRun failed = runCommand(c.program, lib.dir());
    EXPECT_EQ(failed.status, 1) << failed.output;
    // An error, of the step or (with BY) of its first group.
    const size_t said = failed.output.find("There are no usable observations");
    ASSERT_NE(said, std::string::npos) << failed.output;
    EXPECT_EQ(failed.output.rfind("ERROR: ", said), failed.output.rfind('\n', said) + 1)
        << failed.output;
    EXPECT_NE(failed.output.find(c.names), std::string::npos) << failed.output;
    EXPECT_EQ(lib.text("keep.csv"), "earlier keep\n");
    EXPECT_EQ(lib.text("sc.csv"), "earlier sc\n");
    EXPECT_EQ(lib.text("d.csv"), "earlier d\n");
  }
}

// A group that has a model writes every group's rows, those of the others without predictions.
TEST(KeptOutputs, AGroupWithAModelWritesEveryGroup) {
  KeepLibrary lib;
  const CommandRun r = runCommand(
      "proc varsifter data=half outdesign=d; by g; model y = x / selection=none;"
      " output out=keep p=ph; score data=good out=sc p=ph; run;",
      lib.dir());
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_EQ(r.output.find("are not written"), std::string::npos) << r.output;
  const std::vector<double> keep = lib.column("keep", "ph");
  ASSERT_EQ(keep.size(), 5u);
  EXPECT_FALSE(std::isnan(keep[0]));
  EXPECT_TRUE(std::isnan(keep[3]) && std::isnan(keep[4]));
  const std::vector<double> sc = lib.column("sc", "ph");
  ASSERT_EQ(sc.size(), 7u);
  EXPECT_FALSE(std::isnan(sc[0]));
  EXPECT_TRUE(std::isnan(sc[4]));
  EXPECT_EQ(lib.column("d", "y").size(), 5u);
}

// A data set that cannot be written is said once, by its cause.
TEST(KeptOutputs, AnOutputThatCannotBeOpenedIsOneError) {
  KeepLibrary lib;
  const struct {
    const char* program;
    const char* says;
  } kCases[] = {
      {"proc varsifter data=good; model y = x; output out=good p; run;",
       "ERROR: Data set WORK.GOOD is read by this step"},
      {"proc varsifter data=good; model y = x; output out=o p; score data=good out=o; run;",
       "ERROR: Data set WORK.O is already an output of this step"},
      {"proc varsifter data=good; model y = x; output out='no/such/dir/o.csv' p; run;",
       "ERROR: Data set no/such/dir/o.csv cannot be written"},
      {"proc varsifter outdesign=good data=good; model y = x; run;",
       "ERROR: Data set WORK.GOOD is written by this step"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.program);
    const CommandRun r = runCommand(c.program, lib.dir());
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    size_t errors = 0;
    for (size_t at = r.output.find("ERROR"); at != std::string::npos;
         at = r.output.find("ERROR", at + 1))
      ++errors;
    EXPECT_EQ(errors, 1u) << r.output;
  }
}

// PERFORMANCE NOTHREADS or CPUCOUNT=1 formats the rows on the step's thread, as --nothreads
// does; the statement's THREADS is the step's choice under --nothreads too.
TEST(KeptOutputs, ThePerformanceStatementChoosesTheWritersThreads) {
  KeepLibrary lib;
  const std::string one = "Data set WORK.KEEP is formatted on the step's thread.";
  const std::string several = "Data set WORK.KEEP is formatted on ";
  const bool machineHasMore = std::thread::hardware_concurrency() > 1;
  const struct {
    const char* performance;
    const char* options;
    bool onStepThread;
  } kCases[] = {
      {"performance nothreads;", "", true},
      {"performance cpucount=1;", "", true},
      {"", "--nothreads", true},
      {"", "--cpucount 2", false},
      {"performance threads cpucount=2;", "--nothreads", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.performance) + " " + c.options);
    const CommandRun r =
        runCommand(std::string("proc varsifter data=good; model y = x; output out=keep p;"
                               " score data=good out=sc; ") +
                       c.performance + " run;",
                   lib.dir(), std::string("--debug writer ") + c.options);
    EXPECT_EQ(r.status, 0) << r.output;
    if (c.onStepThread || machineHasMore) {
      EXPECT_EQ(r.output.find(one) != std::string::npos, c.onStepThread) << r.output;
    }
    if (c.onStepThread) {
      EXPECT_NE(r.output.find("Data set WORK.SC is formatted on the step's thread."),
                std::string::npos)
          << r.output;
    } else {
      EXPECT_NE(r.output.find(several), std::string::npos) << r.output;
    }
  }
  // Without DEBUG nothing is said.
  const CommandRun quiet =
      runCommand("proc varsifter data=good; model y = x; output out=keep p; run;", lib.dir());
  EXPECT_EQ(quiet.output.find(several), std::string::npos) << quiet.output;
}

}  // namespace
}  // namespace vsf::test
