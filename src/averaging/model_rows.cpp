// The selected model applied to one observation: the check that it applies, the design row,
// the prediction and the model's columns.
#include <algorithm>
#include <cmath>

#include "averaging/averaging.h"
#include "averaging/model_internal.h"
#include "base/host.h"
#include "base/strings.h"
#include "design/design.h"
#include "effects/effects.h"
#include "frame/host/values.h"
#include "levelize/levelize.h"
#include "selection/group.h"

namespace vsf {

namespace {

bool finite(double x) { return std::isfinite(x); }

void markUses(const ZDesign* d, int32_t effect, AppliedModel* m) {
  const ZEffect& z = d->effects[effect];
  auto cls = [&](int32_t c) {
    if (c >= 0 && c < d->classCount) m->classUsed[static_cast<size_t>(c)] = 1;
  };
  auto cont = [&](int32_t j) {
    if (j >= 0 && j < d->modelVarCount) m->contUsed[static_cast<size_t>(j)] = 1;
  };
  for (int i = 0; i < z.keyCount; ++i) cls(z.key[i]);
  for (int i = 0; i < z.contCount; ++i) cont(z.cont[i]);
  for (int i = 0; i < z.constructedCount; ++i) {
    int32_t k = z.constructed[i];
    if (k < 0 || k >= d->designVarCount) continue;
    m->designVarUsed[static_cast<size_t>(k)] = 1;
    const ZDesignVar& v = d->designVars[k];
    for (int j = 0; j < v.valueCount; ++j) cont(v.values[j]);
    for (int j = 0; j < v.classCount; ++j) cls(v.classMembers[j]);
    // A LAG column is looked up by the row's subject and period, and by its DESIGNROLE= value.
    if (const LagRecord* lag = v.lag) {
      for (int j = 0; j < lag->keyCount; ++j) cls(lag->keys[j]);
      cls(lag->time);
      cont(lag->switchVar);
    }
  }
}

}  // namespace

double dotMissing() { return missingValue('.'); }

std::string dataSetNameOf(HostDataSet* ds) {
  std::string name;
  if (ds) hostv().ds->attr(ds, dsattr::kName, &name);
  return name;
}

void clearComputed(OutputSlots* o) {
  for (double* p : {o->predicted, o->residual, o->median, o->stdDev, o->lower, o->upper})
    if (p) *p = dotMissing();
  for (auto* list : {&o->samplePred, &o->sampleFreq})
    for (double* p : *list)
      if (p) *p = dotMissing();
}

std::string prefixedName(const char* prefix, const std::string& response) {
  return std::string(textHead(prefix + response, 32));
}

void buildAppliedModel(const StepView* s, const int32_t* entryOrder, int32_t count,
                       const int32_t* firstParam, const double* estimates, bool present,
                       AppliedModel* m) {
  const ZDesign* d = s->lev.design;
  *m = AppliedModel();
  m->classUsed.assign(static_cast<size_t>(std::max(d->classCount, 0)), 0);
  m->contUsed.assign(static_cast<size_t>(std::max(d->modelVarCount, 0)), 0);
  m->designVarUsed.assign(static_cast<size_t>(std::max(d->designVarCount, 0)), 0);
  m->present = present;
  m->estimates = estimates;
  if (!present) return;
  const std::vector<CandidateEntry>* table = s->group.candidates.table;
  for (int32_t i = 0; i < count; ++i) {
    ModelTerm t;
    t.candidate = entryOrder[i];
    if (table && t.candidate >= 0 && t.candidate < static_cast<int32_t>(table->size())) {
      const CandidateEntry& c = (*table)[static_cast<size_t>(t.candidate)];
      t.effect = c.effect, t.columns = c.columns, t.map = c.columnMap;
    } else {
      t.effect = t.candidate;
      t.columns = t.effect >= 0 && t.effect < d->effectCount ? d->effects[t.effect].columnCount : 0;
    }
    if (t.effect < 0 || t.effect >= d->effectCount) continue;
    t.firstEstimate = firstParam ? firstParam[t.candidate] : 0;
    m->parameters += t.columns;
    markUses(d, t.effect, m);
    m->terms.push_back(t);
  }
}

void selectedModel(const StepView* s, const SelectionState* sel, AppliedModel* m) {
  const bool present = sel->run.status == 0 && sel->sweep.entryOrder;
  buildAppliedModel(s, sel->sweep.entryOrder, present ? sel->sweep.effectsInModel : 0,
                    sel->sweep.firstParam, sel->sweep.estimates, present, m);
}

namespace {

// With a missing level: whether some effect of the model needs it (a member check fails, or
// the effect's own CLASS variables miss a level).
bool missingLevelNeeded(ZLevCtx* ctx, const AppliedModel& m) {
  ZDesign* d = ctx->design;
  for (const ModelTerm& t : m.terms) {
    const ZEffect& z = d->effects[t.effect];
    uint32_t st = 0;
    if (z.constructedCount > 0 && !zeffobs(&st, ctx, d, t.effect)) return true;
    for (int i = 0; i < z.keyCount; ++i)
      if (ctx->levelIndexes[z.key[i]] < 0) return true;
  }
  return false;
}

}  // namespace

RowFit checkModelRow(ZLevCtx* ctx, const AppliedModel& m, std::vector<int32_t>* newLevels) {
  if (!m.present) return RowFit::kNoModel;
  ZDesign* d = ctx->design;
  // A missing level matters only where an effect needs it (the lagged variable's own level in
  // the current period does not); it is the reason given before the values it leaves out, a
  // subject or period without a lag among them.
  for (size_t c = 0; c < m.classUsed.size(); ++c)
    if (m.classUsed[c] && d->classVars[c].desc && ctx->levelIndexes[c] < 0) {
      if (missingLevelNeeded(ctx, m)) return RowFit::kMissingLevel;
      break;
    }
  for (size_t j = 0; j < m.contUsed.size(); ++j)
    if (m.contUsed[j] && d->modelVars[j].desc && !finite(ctx->values[j])) return RowFit::kBadValue;
  // A LAG member without a lagged row for this observation.
  for (size_t k = 0; k < m.designVarUsed.size(); ++k) {
    const ZDesignVar& v = d->designVars[k];
    if (m.designVarUsed[k] && v.type == effkind::kLag && v.lag && v.lag->result == -1)
      return RowFit::kNoLag;
  }
  if (!(d->flags & dflag::kFullRank)) {
    bool unseen = false;
    for (const ModelTerm& t : m.terms) {
      const ZEffect& z = d->effects[t.effect];
      if (z.keyCount > 0 && d->results[t.effect].combination >= z.combinationCount) {
        unseen = true;
        if (newLevels) (*newLevels)[static_cast<size_t>(t.effect)] += 1;
      }
    }
    if (unseen) return RowFit::kNewLevel;
  }
  // Each effect judged on its own members: a value some other effect misses does not count.
  for (const ModelTerm& t : m.terms) {
    if (d->effects[t.effect].constructedCount == 0) continue;
    uint32_t st = 0;
    if (!zeffobs(&st, ctx, d, t.effect)) return RowFit::kMembers;
  }
  return RowFit::kApplies;
}

bool fullRowIncomplete(uint32_t status) { return (status & (obs::kNeeded | obs::kEffect)) != 0; }

void buildModelDesignRow(ZLevCtx* ctx, double* row) { zxrow(ctx, nullptr, nullptr, row); }

double predictRow(const AppliedModel& m, const ZDesign* d, const double* row) {
  double sum = 0;
  for (const ModelTerm& t : m.terms) {
    const double* x = row + d->effects[t.effect].startColumn;
    const double* b = m.estimates + t.firstEstimate;
    if (!t.map) {
      sum += zddot(x, b, t.columns);
      continue;
    }
    for (int32_t j = 0; j < t.columns; ++j) sum += x[t.map[j]] * b[j];
  }
  return sum;
}

namespace {

// A design value as the design data set holds it: the -0 that a product makes with a zero
// column (an effect-coded interaction's) is written 0.
double designValue(double x) { return x == 0 ? 0.0 : x; }

}  // namespace

void copyModelColumns(const AppliedModel& m, const ZDesign* d, const double* row,
                      double* const* slots, size_t count) {
  size_t k = 0;
  for (const ModelTerm& t : m.terms) {
    const double* x = row + d->effects[t.effect].startColumn;
    for (int32_t j = 0; j < t.columns && k < count; ++j, ++k)
      if (slots[k]) *slots[k] = designValue(x[t.map ? t.map[j] : j]);
  }
}

void copyFullRow(const double* row, int noInt, double* const* slots, size_t count) {
  for (size_t k = 0; k < count; ++k)
    if (slots[k]) *slots[k] = designValue(row[k + static_cast<size_t>(noInt)]);
}

}  // namespace vsf
