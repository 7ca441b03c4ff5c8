#include "host/blas_core.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

TEST(BlasCore, OnlyTheGenericFallbackIsOverruled) {
  const host::CpuAbilities wide{true, true}, avx2{false, true}, old{false, false};
  struct Case {
    const char* chosen;
    host::CpuAbilities cpu;
    const char* better;
  } cases[] = {
      {"Prescott", wide, "SkylakeX"}, {"Prescott", avx2, "Haswell"}, {"Prescott", old, ""},
      {"Haswell", wide, ""},          {"SkylakeX", wide, ""},        {"", wide, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(host::betterBlasCore(c.chosen, c.cpu), c.better) << c.chosen;
}

// A restart names what the user left to the library and the library got wrong or spent: the
// core only for the generic fallback, one thread only in place of the library's own several.
TEST(BlasCore, ARestartNamesTheCoreAndOneThreadOnlyWhereTheUserLeftThemOpen) {
  using Set = std::vector<std::pair<std::string, std::string>>;
  const host::CpuAbilities wide{true, true};
  auto restart = [&](const char* chosen, int threads, bool coreNamed, bool countNamed) {
    return host::blasRestart(host::BlasStart{chosen, threads, coreNamed, countNamed}, wide);
  };
  const Set both{{"OPENBLAS_CORETYPE", "SkylakeX"}, {"OPENBLAS_NUM_THREADS", "1"}};
  EXPECT_EQ(restart("Prescott", 8, false, false), both);
  EXPECT_EQ(restart("SkylakeX", 8, false, false), (Set{{"OPENBLAS_NUM_THREADS", "1"}}));
  EXPECT_EQ(restart("Prescott", 1, false, false), (Set{{"OPENBLAS_CORETYPE", "SkylakeX"}}));
  // What the user set stands, and so does what the restart itself set.
  EXPECT_EQ(restart("Prescott", 8, true, true), Set{});
  EXPECT_EQ(restart("Prescott", 4, false, true), (Set{{"OPENBLAS_CORETYPE", "SkylakeX"}}));
  EXPECT_EQ(restart("SkylakeX", 1, true, true), Set{});
}

// Whether or not this processor makes the command start again, a program read from standard
// input is still read, and the fit is the one the generic kernels give.
TEST(BlasCore, TheRestartedCommandReadsItsProgramAndFitsAsTheGenericKernels) {
  ScratchDir dir("blas_core");
  const auto program = dir.path() / "p.vsf";
  std::ofstream(program) << "proc varsifter data=diabetes; model y = age sex bmi bp s1-s6 / "
                            "selection=stepwise(select=sbc); run;\n";
  const std::string tail = shellQuoted(VSF_BINARY) + " - --lib " + shellQuoted(VSF_SHARED_DATA) +
                           " < " + shellQuoted(program.string()) + " 2>&1";
  const CommandRun own = runShell("env -u OPENBLAS_CORETYPE -u OPENBLAS_NUM_THREADS " + tail);
  const CommandRun generic = runShell("env OPENBLAS_CORETYPE=Prescott " + tail);
  ASSERT_EQ(own.status, 0) << own.output;
  ASSERT_EQ(generic.status, 0) << generic.output;
  EXPECT_NE(own.output.find("Selected Model"), std::string::npos) << own.output;
  EXPECT_EQ(own.output, generic.output);
}

}  // namespace
}  // namespace vsf::test
