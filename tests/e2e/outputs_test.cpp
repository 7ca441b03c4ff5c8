// What this build does not write or fit, as a user meets it: the output data sets are named in
// a note and leave no empty file behind; the elastic net's L2 search, external cross
// validation, group LASSO and model averaging end the step with an error before anything is
// fitted.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

TEST(NotInThisBuild, OutputDataSetsAreNamedAndLeaveNoFile) {
  const fs::path library = fs::temp_directory_path() / "vsf_e2e_outputs";
  fs::remove_all(library);
  fs::create_directories(library);
  fs::copy_file(fs::path(VSF_SHARED_DATA) / "mtcars.csv", library / "mtcars.csv");
  const CommandRun r = runCommand(
      "proc varsifter data=mtcars outdesign=design; model mpg = wt hp / selection=forward;"
      " output out=pred p=yhat; score data=mtcars out=scored; run;",
      library.string());
  EXPECT_EQ(r.status, 0) << r.output;
  for (const char* what : {"OUTPUT data set", "OUTDESIGN data set", "SCORE output"})
    EXPECT_NE(r.output.find(std::string("NOTE: The ") + what +
                            " is not written by this version of VARSIFTER."),
              std::string::npos)
        << what << "\n"
        << r.output;
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(library)) files.push_back(e.path().filename());
  EXPECT_EQ(files, std::vector<std::string>{"mtcars.csv"});
  EXPECT_EQ(findAll(r.document, "ParameterEstimates").size(), 1u);  // the fit is shown
  fs::remove_all(library);
}

TEST(NotInThisBuild, SearchesOptimizerFitsAndModelAveragingEndTheStep) {
  struct Case {
    const char* statements;
    const char* error;
  } cases[] = {
      {"model mpg = wt hp qsec / selection=elasticnet;",
       "Searching for the elastic net's L2 parameter is not available"},
      {"model mpg = wt hp qsec / selection=lasso(choose=cvex);",
       "Choosing the penalty by external cross validation"},
      {"model mpg = wt hp qsec / selection=grouplasso;", "The Group LASSO selection"},
      {"model mpg = wt hp qsec / selection=forward; modelaverage nsamples=5;",
       "Model averaging is not available"},
  };
  for (const Case& c : cases) {
    const CommandRun r = runCommand(
        std::string("proc varsifter data=mtcars; ") + c.statements + " run;", VSF_SHARED_DATA);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(std::string("ERROR: ") + c.error), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("return code 1012"), std::string::npos) << r.output;
    EXPECT_TRUE(findAll(r.document, "ParameterEstimates").empty()) << c.statements;
  }
}

}  // namespace
}  // namespace vsf::test
