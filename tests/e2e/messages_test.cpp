// Messages that name their cause: where a comment or string opens that swallows the program,
// the file and the system's reason of a failed scratch or page file, what is wrong with the
// data set or the variable, each said once.
#include <gtest/gtest.h>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

// A comment or string left open would swallow the statements after it: nothing runs, and the
// error names where it opens.
TEST(Messages, AnUnclosedCommentOrStringRunsNothing) {
  const std::string kUnclosed = " opened here is never closed; no step of the program runs.";
  expectRuns(VSF_SHARED_DATA,
             {{"proc varsifter data=mtcars;\n  model mpg = cyl wt / selection=forward;\n"
               "  /* left open\n  score out=s p=pred;\nrun;\n"
               "proc varsifter data=mtcars;\n  model mpg = wt;\nrun;",
               1,
               {".vsf: line 3, column 3: the comment \"/*\"" + kUnclosed},
               {"NOTE: Step", "Parameter Estimates"}},
              {"/* never closed\nproc varsifter data=mtcars; model mpg = wt; run;",
               1,
               {".vsf: line 1, column 1: the comment \"/*\"" + kUnclosed},
               {"NOTE: Step"}},
              {"proc varsifter data=mtcars;\n  model mpg = wt;\n  score out='s p=pred;\nrun;\n"
               "proc varsifter data=mtcars;\n  model mpg = wt;\nrun;",
               1,
               {".vsf: line 3, column 13: the quoted string '" + kUnclosed},
               {"NOTE: Step", "p=pred;\nrun;"}},
              {"%put \"open;\nproc varsifter data=mtcars; model mpg = wt; run;",
               1,
               {".vsf: line 1, column 6: the quoted string \"" + kUnclosed}},
              // Quotes in comments and comment marks in strings open nothing.
              {"/* it's */ * don't;\nproc varsifter data=mtcars; model mpg = wt; run;\n"
               "%put '/* not a comment';",
               0,
               {"/* not a comment", "Parameter Estimates"},
               {"ERROR"}}});
}

}  // namespace
}  // namespace vsf::test
