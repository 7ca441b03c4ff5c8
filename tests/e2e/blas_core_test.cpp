#include "host/blas_core.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

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

// Whether or not this processor makes the command start again, a program read from standard
// input is still read, and the fit is the one the generic kernels give.
TEST(BlasCore, TheRestartedCommandReadsItsProgramAndFitsAsTheGenericKernels) {
  ScratchDir dir("blas_core");
  const auto program = dir.path() / "p.vsf";
  std::ofstream(program) << "proc varsifter data=diabetes; model y = age sex bmi bp s1-s6 / "
                            "selection=stepwise(select=sbc); run;\n";
  const std::string tail =
      std::string(VSF_BINARY) + " - --lib " VSF_SHARED_DATA " < " + program.string() + " 2>&1";
  const CommandRun own = runShell("env -u OPENBLAS_CORETYPE " + tail);
  const CommandRun generic = runShell("env OPENBLAS_CORETYPE=Prescott " + tail);
  ASSERT_EQ(own.status, 0) << own.output;
  ASSERT_EQ(generic.status, 0) << generic.output;
  EXPECT_NE(own.output.find("Selected Model"), std::string::npos) << own.output;
  EXPECT_EQ(own.output, generic.output);
}

}  // namespace
}  // namespace vsf::test
