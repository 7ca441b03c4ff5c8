// Output data sets no model gives rows to: a step none of whose BY groups has a model would
// write every prediction and design column missing, so it writes none of them and an earlier
// file of each name stays as it was.
#include <string>

#include "averaging/averaging.h"
#include "base/host.h"
#include "frame/bindings.h"
#include "frame/phases.h"
#include "frame/state.h"

namespace vsf {

namespace {

void drop(HostDataSet** ds, OutputData* data) {
  if (!*ds) return;
  data->unwritten.push_back(dataSetName(*ds));
  hostv().ds->outClose(*ds, false);
  *ds = nullptr;
}

}  // namespace

void dropOutDesign(VsfState* s) {
  if (s->outputs.outDesignDiscarded || !s->settings.outDesignDataSet) return;
  // The settings keep the pointer: it says that OUTDESIGN was asked for.
  HostDataSet* ds = s->settings.outDesignDataSet;
  drop(&ds, &s->outputs);
  s->outputs.outDesignDiscarded = 1;
}

void dropOutputsWithoutModel(VsfState* s) {
  OutputData& data = s->outputs;
  if (data.groupsWithModel > 0) return;
  drop(&s->settings.outputDataSet, &data);
  dropOutDesign(s);
  for (int i = 0; i < s->settings.scoreCount && s->settings.scoreRequests; ++i)
    drop(&s->settings.scoreRequests[i].output, &data);
  if (data.unwritten.empty()) return;
  std::string names;
  for (const std::string& name : data.unwritten) names += (names.empty() ? "" : ", ") + name;
  hostMsg(848, 6310, {std::string_view(names)});
}

}  // namespace vsf
