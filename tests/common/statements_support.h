// Test support for the statement phase: small in-memory data sets behind the host's data-set
// services, and running a step's text with its log lines and return code.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/fake_host.h"
#include "common/test_host.h"
#include "frame/state.h"

namespace vsf::test {

// While it lives, the parser and the procedure open data sets from an in-memory registry:
// DIAB (y, x1-x10, a, b, c numeric; name, grp character), VAL and TST (the same variables),
// the CSV files of the shared data and of tests/data/statements (their first lines), and any
// output data set. The most recent data set is DIAB.
class StubData {
 public:
  StubData();
  ~StubData();
  StubData(const StubData&) = delete;
  StubData& operator=(const StubData&) = delete;
  // Data sets opened since the scope began, by name as asked.
  std::vector<std::string> opened() const;

 private:
  FakeHost host_;
};

struct StepRun {
  int code = 0;
  std::vector<host::LogLine> log;
  bool inspected = false;
  // Times catalogue message (set, number) was written.
  int count(int set, int number) const;
  bool issued(int set, int number) const { return count(set, number) > 0; }
  // The catalogue messages written, as set * 10000 + number, in order; sets given filter.
  std::vector<int> messages(std::initializer_list<int> sets = {848, 210, 500}) const;
  // Log lines of a level ("ERROR", "WARNING", "NOTE", "").
  std::vector<std::string> lines(const std::string& level) const;
  std::string dump() const;
};

// Runs the step text as the procedure's step. When given, inspect sees the step's state once
// the statements are read and the set-up is done (the design and its records are alive then);
// StepRun::inspected tells whether the step got that far.
StepRun runStepText(const std::string& text,
                    const std::function<void(const VsfState&)>& inspect = nullptr);
const VsfState& lastState();
// The step's state after the step: its own fields only (the pools are gone).
// The SCORE requests and the design of the last step that reached its BY groups.
const ZDesign& lastDesign();
const std::vector<ScoreRequest>& lastScoreRequests();

}  // namespace vsf::test
