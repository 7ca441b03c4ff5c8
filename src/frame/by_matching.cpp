// The held-out and SCORE data sets that carry the BY variables are read group by group, each
// group taking the observations of its own BY values; those of BY values no group reads (none
// of the input has them; a held-out data set's, too, where its group was skipped before its data
// pass) are read by none, and the notes after the groups count them.
#include "base/host.h"
#include "frame/bindings.h"
#include "frame/phases.h"
#include "frame/state.h"

namespace vsf {

namespace {

void noteUnread(HostDataSet* ds, double read, int message) {
  int64_t observations = -1;
  if (!ds || hostv().ds->attr(ds, dsattr::kObsCount, &observations) != 0 || observations < 0)
    return;
  if (const double left = static_cast<double>(observations) - read; left > 0) {
    const std::string name = dataSetName(ds);
    hostMsg(848, message, {std::string_view(name), static_cast<long long>(left)});
  }
}

}  // namespace

void noteUnmatchedByValues(VsfState* s) {
  const StepSettings& st = s->settings;
  if (!st.hasByStatement) return;
  if (st.validation.inUse && st.validation.verify)
    noteUnread(st.validation.dataSet, s->heldOutRead[0], 6271);
  if (st.test.inUse && st.test.verify) noteUnread(st.test.dataSet, s->heldOutRead[1], 6272);
  for (int i = 0; i < st.scoreCount; ++i) {
    const ScoreRequest& q = st.scoreRequests[i];
    if (q.verify && q.input && q.input != st.inputReader &&
        static_cast<size_t>(i) < s->outputs.score.size())
      noteUnread(q.input, s->outputs.score[static_cast<size_t>(i)].readInGroups, 6270);
  }
}

}  // namespace vsf
