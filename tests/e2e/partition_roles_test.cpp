// PARTITION ROLEVAR= through the command: a value the statement does not name (a blank one
// among them, unless a role is given as blanks) trains when TRAIN= is not given, else tests
// when neither TEST= nor TESTDATA= is given, else has no role; a note counts the rows given a
// role that way, and the counts and ASEs are those of the roles the rule gives.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "common/csv.h"
#include "e2e/command_support.h"

namespace vsf::test {
namespace {

const char* kRows =
    "x,y,r\n1,1.2,T\n2,1.9,T\n3,3.3,T\n4,3.8,T\n5,5.4,T\n6,6.1,V\n7,6.8,V\n8,8.3,S\n9,9.4,S\n"
    "10,9.7,\n";

TEST(PartitionRoles, UnnamedValuesFollowTheRule) {
  struct Case {
    const char* partition;
    const char* dataOptions;
    int train, validate, test, none;  // analysis rows per role
    const char* note;                 // the rule's note, or none
  } cases[] = {
      {"train='T' validate='V'", "", 5, 2, 3, 0,
       "NOTE: Observations whose value of r the PARTITION statement does not name are test "
       "observations, as neither TEST= nor TESTDATA= is given: 3."},
      {"validate='V' test='S'", "", 6, 2, 2, 0,
       "NOTE: Observations whose value of r the PARTITION statement does not name are training "
       "observations, as TRAIN= is not given: 6."},
      {"test='S'", "", 8, 0, 2, 0,
       "NOTE: Observations whose value of r the PARTITION statement does not name are training "
       "observations, as TRAIN= is not given: 8."},
      {"train='T' validate='V' test='S'", "", 5, 2, 2, 1, nullptr},
      {"train='T' validate='V' test=' '", "", 5, 2, 1, 2, nullptr},  // the blank value tests
      {"train='T' validate='V'", " testdata=more", 5, 2, 0, 3, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.partition) + c.dataOptions);
    DataLibrary lib({});
    for (const char* name : {"roles", "more"})
      std::ofstream(lib.dir() + "/" + name + ".csv") << kRows;
    const CommandRun r = runCommand(std::string("proc varsifter data=roles") + c.dataOptions +
                                        ";\n  partition rolevar=r(" + c.partition +
                                        ");\n"
                                        "  model y = x / selection=none;\n"
                                        "  output out=o p=p;\n"
                                        "run;\n",
                                    lib.dir());
    ASSERT_EQ(r.status, 0) << r.output;
    const bool noted = r.output.find("the PARTITION statement does not name") != std::string::npos;
    EXPECT_EQ(noted, c.note != nullptr) << r.output;
    if (c.note) {
      EXPECT_NE(r.output.find(c.note), std::string::npos) << r.output;
    }
    // The roles OUTPUT writes, and the ASEs of the roles over them.
    const Csv o = readCsv(lib.dir() + "/o.csv");
    const std::string names[] = {"TRAIN", "VALIDATE", "TEST"};
    int counts[3] = {0, 0, 0};
    double sse[3] = {0, 0, 0};
    for (size_t i = 0; i < o.rows.size(); ++i)
      for (int k = 0; k < 3; ++k)
        if (o.text(i, "_ROLE_") == names[k]) {
          const double e = o.number(i, "y") - o.number(i, "p");
          counts[k] += 1, sse[k] += e * e;
        }
    EXPECT_EQ(counts[0], c.train);
    EXPECT_EQ(counts[1], c.validate);
    EXPECT_EQ(counts[2], c.test);
    EXPECT_EQ(static_cast<int>(o.rows.size()) - counts[0] - counts[1] - counts[2], c.none);
    const Json fit = theOne(r, "FitStatistics");
    EXPECT_NEAR(number(entryValue(fit, "ASE (Train)")), sse[0] / c.train, 1e-12);
    if (c.validate > 0) {
      EXPECT_NEAR(number(entryValue(fit, "ASE (Validate)")), sse[1] / c.validate, 1e-12);
    }
    if (c.test > 0) {
      EXPECT_NEAR(number(entryValue(fit, "ASE (Test)")), sse[2] / c.test, 1e-12);
    }
  }
}

}  // namespace
}  // namespace vsf::test
