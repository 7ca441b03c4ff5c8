// The set-up's outputs: requests only model averaging can fill, the output marks, the threads
// the output data sets are written with, the resample records and their generators, the OUTDESIGN
// scratch file, the procedure's heading and the bridge's settings.
#include <cstring>
#include <new>

#include "base/codes.h"
#include "base/host.h"
#include "base/hostcalls.h"
#include "frame/bridge.h"
#include "frame/setup_internal.h"
#include "frame/state.h"
#include "grammar/methods.h"
#include "numerics/numerics.h"
#include "statements/statements.h"

namespace vsf {

namespace {

struct Drop {
  OutputRequest* request;
  int message;
  bool counted;  // it counts among the requests
};

void dropAll(VsfState* s, std::initializer_list<Drop> drops, int32_t* count) {
  for (const Drop& d : drops) {
    if (!d.request->on) continue;
    repairMsg(s->stepCode, d.message);
    d.request->on = 0;
    if (d.counted) *count -= 1;
  }
}

void copyRefitSettings(VsfState* s) {
  const SelectionOptions& o = s->settings.options;
  RefitSettings& r = s->group.resampling.refitSettings;
  r.method = o.method, r.choose = o.choose, r.select = o.select;
  r.stop = o.stop, r.incrementalSscp = o.incrementalSscp, r.fullSscp = o.buildFullSscp;
  r.candidatesTable = o.stepTables.candidates;
  r.forcedEffects = o.forcedEffects, r.include = o.include;
}

}  // namespace

int openObservationTags(VsfState* s) {
  const StepSettings& st = s->settings;
  const bool roles = st.partition.hasPartition && st.options.rolesPresent;
  const bool folds = st.options.kfold || st.options.externalCv;
  // The per-sample frequencies of OUTPUT follow the stored rows, which the tags pick out.
  const bool sampleFreq = st.modelAverage.on && st.output.sampleFreq.on;
  const bool wanted =
      (st.outputDataSet && (roles || folds || sampleFreq)) || (st.outDesignDataSet && roles);
  if (!wanted) return 0;
  if (openObsTags(&s->res.obsTags, &s->res.extensions) != 0) {
    hostFileMsg(848, 215);
    raiseStepCode(s->stepCode, step::kMemory);
    return rc::kScratchFile;
  }
  return 0;
}

void dropAveragingRequests(VsfState* s) {
  if (s->settings.modelAverage.on) return;
  OutputSettings& o = s->settings.output;
  dropAll(s,
          {{&o.samplePred, 242, false},
           {&o.sampleFreq, 243, false},
           {&o.stdDev, 246, true},
           {&o.lower, 247, true},
           {&o.upper, 248, true},
           {&o.median, 249, true}},
          &o.count);
  for (int i = 0; i < s->settings.scoreCount; ++i) {
    ScoreRequest& q = s->settings.scoreRequests[i];
    dropAll(s,
            {{&q.samplePred, 257, false},
             {&q.stdDev, 252, true},
             {&q.lower, 253, true},
             {&q.upper, 254, true},
             {&q.median, 255, true}},
            &q.count);
  }
}

int makeOutputMarks(VsfState* s) {
  if (s->settings.scoreCount == 0 && !s->settings.outputDataSet && !s->settings.outDesignDataSet)
    return 0;
  if (s->lev.design->effectCount <= 0) return rc::kMemory;
  if (s->settings.output.count == 0) {
    s->settings.output.predicted.on = 1;
    s->settings.output.count = 1;
  }
  for (int i = 0; i < s->settings.scoreCount; ++i) {
    ScoreRequest& q = s->settings.scoreRequests[i];
    if (q.count == 0) {
      q.predicted.on = 1;
      q.count = 1;
    }
  }
  return 0;
}

void handWriterThreads(VsfState* s) {
  // Not the effective workers: model averaging under BY keeps its passes, not its writing, on
  // one worker.
  const int processors = allowedWorkers(s->settings.threads);
  auto hand = [&](HostDataSet* ds) {
    if (ds && hostv().ds->outProcessors) hostv().ds->outProcessors(ds, processors);
  };
  hand(s->settings.outputDataSet);
  hand(s->settings.outDesignDataSet);
  for (int i = 0; i < s->settings.scoreCount; ++i) hand(s->settings.scoreRequests[i].output);
}

int setUpModelAveraging(VsfState* s) {
  ModelAverageOptions& m = s->settings.modelAverage;
  if (!m.on) return 0;
  SelectionOptions& o = s->settings.options;
  ResampleSet& r = s->group.resampling;
  o.modelAveragingRun = 1;
  r.refitBest = m.refitBest;
  if (m.refitBest >= 0) {
    if (!o.noInt) {
      r.refitBest = m.refitBest + 1;  // the intercept counts as an effect
    } else if (m.refitBest == 0) {
      refuseMsg(s->stepCode, 267, step::kInternal);
      return rc::kRefitBest;
    }
  }
  r.refit = m.refit;
  if (m.refit) copyRefitSettings(s);
  r.extensions = &s->res.extensions;
  r.procedureSeed = s->settings.procedureSeed;
  o.resampling = 1;  // every run of the step is a sample's
  r.sampleFreqRequest = s->settings.output.sampleFreq.on;
  // Before any group: the samples' models and output variables must fit, at least with the
  // smallest design (each group checks its own).
  const ZDesign* d = s->lev.design;
  const int32_t effects = d ? d->effectCount : 1;
  if (int rc = checkSampleMemory(&s->view, std::max(m.samples, m.refit ? m.refitSamples : 0),
                                 std::max(d ? d->columnCount : 0, effects), effects, 0);
      rc != 0)
    return rc;
  if (s->settings.hasByStatement) {
    s->settings.threads.effectiveWorkers = 1;
    s->settings.threads.effectiveThreaded = 0;
  }
  return 0;
}

int openOutDesignScratch(VsfState* s) {
  StepSettings& st = s->settings;
  st.outDesignParmNames = st.outDesignDataSet && !st.outDesignPrefixGiven;
  if (!s->settings.outDesignDataSet || !s->settings.hasByStatement) return 0;
  int stage = 0;
  if (openScratchFile(&s->res.outDesignScratch, &s->res.extensions, 0, 0, nullptr, false, &stage) !=
      0) {
    hostFileMsg(848, 215);
    raiseStepCode(s->stepCode, step::kMemory);
    return rc::kScratchFile;
  }
  if (st.outDesignParmNames) {
    hostMsg(848, 223);
    st.outDesignParmNames = 0;
  }
  return 0;
}

void announceProcedure(VsfState* s) {
  if (s->settings.displaysSuppressed || !s->res.output.manager) return;
  OutputArgItem items[5];
  items[1] = argInt(440, 1);
  items[2] = argFlag(2558, 1);
  items[3] = argInt(key::kMinusOne, -1);
  items[4] = argString(key::kText, hostv().str->fromMsg(848, 100));
  int rc = zhdlcall(s->res.output.manager, nullptr, op::kGroupAttributes, 5, items);
  if (rc < 0) zrcabort(static_cast<uint32_t>(rc));
}

void settleBridge(VsfState* s) {
  BridgeObject* b = s->res.bridge;
  if (!b) return;
  const SelectionOptions& o = s->settings.options;
  if (b->settings) b->settings->manager = s->res.output.manager;
  if (b->fit) b->fit->levelization = &s->lev;
  b->noPrint = s->settings.displaysSuppressed;
  b->graphicsOff = !s->settings.graphicsOn;
  b->methodNotNone = o.method != kMethodNone;
  for (uint8_t& a : b->always) a = 1;
  s->settings.storeSelectedModel = 1;
  if (o.modelAveragingRun) {
    hostMsg(848, 269);
    s->settings.storeSelectedModel = 0;
  }
  if (methodFamily(o.method).splitsEffects()) {
    hostMsg(848, 270);
    s->settings.storeSelectedModel = 0;
  }
  if (s->settings.hasByStatement && b->methods && b->methods->designHook) {
    ZDesign* d = s->lev.design;
    // The bridge's design has no intercept under NOINT: hidden for the call.
    const bool hide = o.noInt && d->effectCount > 0;
    if (hide) d->effectCount -= 1, d->effects += 1;
    b->methods->designHook(b, d);
    if (hide) d->effectCount += 1, d->effects -= 1;
  }
}

}  // namespace vsf
