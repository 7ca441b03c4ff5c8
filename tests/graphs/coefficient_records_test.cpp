// The coefficient plots read the step records back one at a time: one record pool at a time,
// every one destroyed; a sample's records under model averaging end at its step count, so the
// last sample of a stream reads no further than the stream's end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/files.h"
#include "datapass/utilfiles.h"
#include "displays/display_support.h"
#include "frame/state.h"
#include "graphs/graphs.h"
#include "host/session.h"

namespace vsf::test {
namespace {

// The fit's step records written to a scratch file, each led by its sample's number when one
// is given (as model averaging leads them).
struct Stream {
  VsfState& v;
  ScratchFile file;
  int64_t end = 0;
  explicit Stream(VsfState& state) : v(state) {
    int stage = 0;
    static int number = 900;
    static const ScratchDir scratch("vsf_coefficient_records");
    const std::string dir = scratch.path().string();
    EXPECT_EQ(openScratchFile(&file, &v.res.extensions, ++number, static_cast<int>(dir.size()),
                              dir.data(), false, &stage),
              0);
  }
  ~Stream() { closeScratchFile(&file, &v.res.extensions); }
  void write(SelectionState& s, int32_t sample) {
    const int32_t steps = s.steps.stepCount;
    s.streamFile = file.file;
    s.streamPosition = &end;
    for (int32_t r = 1; r <= steps; ++r) {
      if (sample >= 0) {
        ASSERT_EQ(streamWriteAt(file.file, &sample, 4, &end), 0);
      }
      s.steps.stepCount = r;
      ASSERT_EQ(writeStepHistory(&s), 0);
    }
  }
};

int count(const std::vector<std::string>& log, const std::string& entry) {
  int n = 0;
  for (const std::string& e : log) n += e == entry;
  return n;
}

TEST(CoefficientRecords, SamplesEndAtTheirStepCountAndEveryRecordPoolIsDestroyed) {
  DisplayFit fit("diabetes", GroupSettings{});
  fit.runPath();
  VsfState& v = fit.vsf();
  SelectionState& s = fit.sel();
  v.settings.graphicsOn = 1;
  v.settings.plots.coefficients.on = 1;
  const int32_t steps = s.steps.stepCount;
  Stream stream(v);
  for (int32_t sample : {0, 1}) stream.write(s, sample);
  StepMarks marks;
  ASSERT_EQ(makeStepLabels(settledView(v), &s, &marks), 0);

  host::keepPoolLog(true);
  int64_t at = 0;
  for (int32_t sample : {0, 1}) {
    SCOPED_TRACE(sample);
    ASSERT_EQ(plotCoefficients(settledView(v), sample, &s, marks, &at, stream.file.file), 0);
    EXPECT_EQ(at, sample == 0 ? stream.end / 2 : stream.end);
  }
  const std::vector<std::string> pools = host::takePoolLog();
  EXPECT_EQ(count(pools, "+model pool"), 2 * steps);
  EXPECT_EQ(count(pools, "-model pool"), 2 * steps);
  EXPECT_EQ(v.res.output.modelPool, nullptr);

  // Each sample's table: every column of the effects after the intercept at each step.
  int32_t parameters = 0;
  for (int32_t e = 1; e < s.layout.effectCount; ++e) parameters += s.layout.columnCount[e];
  const std::vector<Json> tables = findTables(fit.out.document(), "Coefficients");
  ASSERT_EQ(tables.size(), 2u);
  for (const Json& t : tables) EXPECT_EQ(t["rows"].size(), static_cast<size_t>(parameters * steps));
}

}  // namespace
}  // namespace vsf::test
