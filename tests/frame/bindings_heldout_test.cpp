// VALDATA= and TESTDATA=: the model's variables looked up by name and type in the other data
// set (a missing or mistyped one ends the step; FREQ and WEIGHT are only switched off), and the
// held-out rows stored behind the analysis rows with their role.
#include <gtest/gtest.h>

#include <functional>

#include "common/datapass_support.h"

namespace vsf::test {
namespace {

struct HeldOutCase {
  const char* options;  // procedure statement options
  std::vector<int> messages;
  int code;
  const char* logText;  // a text of the log, "" for none
  std::function<void(const VsfState&, const std::vector<StoredRow>&)> check;
};

TEST(HeldOutData, VariablesFoundByNameAndType) {
  const Csv valid = readCsv("datapass/valid.csv");
  const HeldOutCase cases[] = {
      {"valdata=valid_nox2", {171}, 1012, "x2", nullptr},
      {"testdata=valid_nox2", {165}, 1012, "x2", nullptr},
      {"testdata=valid_noy", {165}, 1012, "The variable y is not on the test", nullptr},
      {"valdata=valid_charx2", {172}, 1012, "x2", nullptr},
      {"tdata$=valid_charx2", {166}, 1012, "x2", nullptr},
      // A character WEIGHT variable: weight 1 for the validation rows.
      {"valdata=valid_charw",
       {176},
       4,
       "WEIGHT variable w",
       [](const VsfState&, const std::vector<StoredRow>& rows) {
         int n = 0;
         for (const StoredRow& r : rows)
           if (r.role == 2) {
             EXPECT_EQ(r.w, 1.0);
             ++n;
           }
         EXPECT_EQ(n, 4);
       }},
      {"valdata=valid",
       {},
       0,
       "",
       [&](const VsfState& s, const std::vector<StoredRow>& rows) {
         const SelectionState& sel = s.group.selection;
         EXPECT_EQ(sel.totals.validObsRead, 4);
         EXPECT_EQ(sel.totals.validFreqRead, 5);
         EXPECT_EQ(sel.totals.validRows, 4);
         EXPECT_EQ(sel.totals.validFreq, 5);
         EXPECT_EQ(sel.totals.validWeight, 6);  // w x f: 1, 2, 2, 1
         size_t k = 0;
         for (const StoredRow& r : rows) {
           if (r.role != 2) {
             EXPECT_EQ(k, 0u);  // held-out rows come after the analysis rows
             EXPECT_EQ(r.role, 1);
             continue;
           }
           EXPECT_EQ(r.w, valid.number(k, "w"));
           EXPECT_EQ(r.f, valid.number(k, "f"));
           EXPECT_EQ(r.y, valid.number(k, "y"));
           EXPECT_EQ(r.x[1], valid.number(k, "x1"));
           EXPECT_EQ(r.x[2], valid.number(k, "x2"));
           ++k;
         }
         EXPECT_EQ(k, 4u);
       }},
      // A CLASS level the analysis data do not have drops its observation, with one note
      // naming the value.
      {"testdata=valid_newlevel",
       {6161},
       0,
       "",
       [](const VsfState& s, const std::vector<StoredRow>& rows) {
         EXPECT_EQ(s.group.selection.totals.testObsRead, 4);
         EXPECT_EQ(s.group.selection.totals.testRows, 3);
         int n = 0;
         for (const StoredRow& r : rows) n += r.role == 4;
         EXPECT_EQ(n, 3);
       }},
  };
  for (const HeldOutCase& c : cases) {
    const std::string step = std::string("proc varsifter data=rows ") + c.options +
                             "; class c; model y = x1 x2 c; weight w; freq f; run;";
    SCOPED_TRACE(step);
    std::vector<StoredRow> rows;
    bool inspected = false;
    StepRun r = runOnData(step, [&](VsfState& v) {
      inspected = true;
      rows = readStoredRows(v);
      if (c.check) c.check(v, rows);
    });
    std::vector<int> numbers;
    // Not the notes of the rows the weights leave out, nor that the few rows fit exactly.
    for (int m : r.messages({848}))
      if ((m < 8486104 || m > 8486106) && m != 8489101) numbers.push_back(m - 8480000);
    EXPECT_EQ(numbers, c.messages) << r.dump();
    EXPECT_EQ(r.code, c.code) << r.dump();
    EXPECT_EQ(inspected, c.code < 1000);
    EXPECT_NE(r.dump().find(c.logText), std::string::npos) << r.dump();
  }
}

}  // namespace
}  // namespace vsf::test
