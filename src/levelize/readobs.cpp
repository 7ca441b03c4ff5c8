// The observation reader of every pass after levelization: decodes the current observation's
// CLASS levels, checks it against the model's variables and effects, scales its continuous
// values and finds each effect's level combination, reporting by a word of status bits.
#include <cmath>
#include <cstring>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "base/strings.h"
#include "levelize/levelize_internal.h"

namespace vsf {

// What zreadobs checks of every observation, found once from the design: the continuous
// variables in use that the data set holds, and per effect in use (in order) those of its
// continuous members. Read through the descriptors for every observation, this cost a third
// of the reader at 500 variables (a descriptor each, none of them near the others).
struct ReadPlan {
  const ModelUsageMask* mask = nullptr;  // the usage mask it was made for
  // The reader it was made for: another data set (SCORE, a validation or test data set) binds
  // the variables to columns of its own.
  const HostDataSet* reader = nullptr;
  std::vector<int32_t> cont;
  std::vector<int32_t> effects;   // in use, in order
  std::vector<int32_t> memberAt;  // per listed effect, its first member; then the end
  std::vector<int32_t> members;
  std::vector<char> constructed;  // per listed effect: it has constructed members
  std::vector<int32_t> keyed;     // the listed effects with CLASS variables, in order
  // Set when an observation is numbers only: no CLASS, lag or constructed variable, every
  // effect in use the product of at most one variable, every bound model variable numeric
  // and in use. zreadobs then reads, checks and scales each variable in one loop.
  bool plain = false;
  // The same with CLASS variables beside the numbers: the numbers are read as above, the
  // levels decoded as on the general road.
  bool plainKeyed = false;
  std::vector<int32_t> numbers;  // per listed continuous variable, its data set variable
};

namespace {

bool bound(const LevelVar* v) { return v && v->desc && v->desc->number >= 0; }

void mark(char* flags, int index) {
  if (index >= 0) flags[index] = '1';
}

char* zeroFlags(HostPool* pool, int n) {
  char* f = static_cast<char*>(levAlloc(pool, static_cast<size_t>(n) + 1));
  std::memset(f, '0', static_cast<size_t>(n));
  return f;
}

bool effectInUse(const ZDesign* d, int e) {
  return !d->usageMask || d->usageMask->effects[e] == '1';
}

bool isLinkedSlot(const ZLevCtx* ctx, const int32_t* slot) {
  if (!ctx->responseLinks) return false;
  for (int r = 0; r < ctx->responseCount; ++r)
    if (ctx->responseLinks[r] == slot) return true;
  return false;
}

// The lag result of one LAG design variable for the current observation; a result of -1 (no
// lag, or a missing DESIGNROLE= value) makes a needed value missing.
void lagResult(ZLevCtx* ctx, LagRecord* lag, uint32_t* status) {
  lag->result = zlaglevel(ctx, lag);
  if (lag->result == -1) *status |= obs::kNeeded;
}

// Compares a combination row (crossed levels, then nesting ones) with the observation's
// levels, nesting part first.
int compareRow(const ZEffect& z, const int32_t* row, const int32_t* levels) {
  for (int i = 0; i < z.nestCount; ++i) {
    int32_t a = row[z.crossCount + i], b = levels[z.nest[i]];
    if (a != b) return a < b ? -1 : 1;
  }
  for (int i = 0; i < z.crossCount; ++i) {
    int32_t a = row[i], b = levels[z.cross[i]];
    if (a != b) return a < b ? -1 : 1;
  }
  return 0;
}

// The index of the observation's level combination in the effect's table; n when absent.
int32_t combinationIndex(const ZEffect& z, const int32_t* levels) {
  if (z.keyCount == 0) return 0;
  if (!z.combinations) return rc::kNotFound;
  const int32_t n = z.combinationCount;
  if (n <= 0) return 0;
  int64_t e = n - 1;
  if (z.multipliers) {
    e = 0;
    for (int i = 0; i < z.keyCount; ++i) {
      e += static_cast<int64_t>(z.multipliers[i]) * levels[z.key[i]];
      if (e > n - 1) e = n - 1;
    }
    if (e < 0) e = 0;
  }
  const int k = z.keyCount;
  auto row = [&](int64_t r) { return z.combinations + r * k; };
  if (compareRow(z, row(e), levels) == 0) return static_cast<int32_t>(e);
  if (compareRow(z, row(0), levels) == 0) return 0;
  int64_t lo = 0, hi = e;
  while (hi - lo > 1) {
    int64_t mid = (lo + hi) / 2;
    int c = compareRow(z, row(mid), levels);
    if (c == 0) return static_cast<int32_t>(mid);
    if (c < 0)
      lo = mid;
    else
      hi = mid;
  }
  return n;
}

bool weightBad(double w, uint32_t flags) {
  if (znotfinite(w)) return true;
  return (flags & dflag::kZeroWeights) ? w < 0.0 : !(w > 0.0);
}

// The CLASS level indexes; returns whether a mask hit was remembered.
bool decodeLevels(ZLevCtx* ctx, const int32_t* inUse, uint32_t* status) {
  ZDesign* d = ctx->design;
  bool hit = false;
  for (int c = 0; c < d->classCount; ++c) {
    LevelVar& v = d->classVars[c];
    if (!v.desc) continue;
    const bool longer = ctx->classState && (ctx->classState[c] & valuestate::kLonger);
    int32_t idx = v.levelCount > 0 && !longer ? zlvlfind(nullptr, &v, ctx->formatted[c]) : -1;
    ctx->levelIndexes[c] = idx;
    if (idx >= 0 || (inUse && inUse[c] == 0)) continue;
    if (isLinkedSlot(ctx, &ctx->levelIndexes[c])) {
      *status |= obs::kExcluded;
      continue;
    }
    *status |= obs::kNeeded | obs::kClassMissing;
    if (d->flags & dflag::kFullRank) {
      if (!d->usageMask) d->usageMask = buildUsageMask(ctx);
      if (d->usageMask->classVars[c] == '1') hit = true;
    }
  }
  return hit;
}

// The CLASS level indexes under the context's filter of the variables in use; returns whether
// a mask hit was remembered.
bool decodeInUse(ZLevCtx* ctx, uint32_t* status) {
  ZDesign* d = ctx->design;
  std::vector<int32_t> inUse;
  if (d->classCount > 0 && ctx->filter) {
    inUse.assign(static_cast<size_t>(d->classCount), 1);
    ctx->filter(inUse.data(), d->filterArg, ctx);
  }
  return decodeLevels(ctx, inUse.empty() ? nullptr : inUse.data(), status);
}

// Each effect's level combination: the one of an effect without CLASS variables, the others
// looked up in their tables.
void findCombinations(ZLevCtx* ctx, const ReadPlan& plan, uint32_t* status) {
  ZDesign* d = ctx->design;
  if (d->flags & dflag::kFullRank) return;
  for (int e : plan.effects) d->results[e].combination = 0;
  for (int e : plan.keyed) {
    int32_t idx = combinationIndex(d->effects[e], ctx->levelIndexes);
    d->results[e].combination = idx;
    if (idx >= d->effects[e].combinationCount) *status |= obs::kNeeded | obs::kEffect;
  }
}

// A missing CLASS level that no effect in use needs does not make the row unusable.
bool rescued(ZLevCtx* ctx, uint32_t* status) {
  ZDesign* d = ctx->design;
  for (int e = 0; e < d->effectCount; ++e) {
    if (!effectInUse(d, e)) continue;
    uint32_t s = *status;
    if (!zeffobs(&s, ctx, d, e)) return false;
    const ZEffect& z = d->effects[e];
    for (int i = 0; i < z.keyCount; ++i)
      if (ctx->levelIndexes[z.key[i]] == -1) return false;
  }
  return true;
}

bool plainDesign(const ZLevCtx* ctx, const ReadPlan& plan, bool classes) {
  const ZDesign* d = ctx->design;
  if ((d->classCount > 0) != classes || d->lagEffects || d->designVarCount > 0) return false;
  int bound = 0;
  for (int j = 0; j < d->modelVarCount; ++j) {
    const LevelVar& v = d->modelVars[j];
    if (!v.desc || v.desc->number < 0) continue;
    if (v.desc->type == kVarCharacter) return false;
    ++bound;
  }
  if (plan.cont.size() != static_cast<size_t>(bound)) return false;
  for (size_t k = 0; k < plan.effects.size(); ++k) {
    const ZEffect& z = d->effects[plan.effects[k]];
    if (z.constructedCount > 0 || (z.keyCount > 0 && !classes) ||
        plan.memberAt[k + 1] - plan.memberAt[k] > 1)
      return false;
  }
  return true;
}

const ReadPlan& readPlan(ZLevCtx* ctx) {
  ZDesign* d = ctx->design;
  const HostDataSet* reader = ctx->alloc ? ctx->alloc->reader : nullptr;
  if (ctx->readPlan && ctx->readPlan->mask == d->usageMask && ctx->readPlan->reader == reader)
    return *ctx->readPlan;
  auto plan = std::make_shared<ReadPlan>();
  plan->mask = d->usageMask;
  plan->reader = reader;
  // Made again for each BY group: room for every variable and effect at once.
  plan->cont.reserve(static_cast<size_t>(d->modelVarCount));
  plan->members.reserve(static_cast<size_t>(d->modelVarCount));
  for (auto* list : {&plan->effects, &plan->memberAt, &plan->keyed})
    list->reserve(static_cast<size_t>(d->effectCount) + 1);
  plan->constructed.reserve(static_cast<size_t>(d->effectCount));
  for (int j = 0; j < d->modelVarCount; ++j)
    if ((!d->usageMask || d->usageMask->cont[j] == '1') && bound(&d->modelVars[j]))
      plan->cont.push_back(j);
  for (int e = 0; e < d->effectCount; ++e) {
    if (!effectInUse(d, e)) continue;
    plan->effects.push_back(e);
    plan->memberAt.push_back(static_cast<int32_t>(plan->members.size()));
    const ZEffect& z = d->effects[e];
    plan->constructed.push_back(z.constructedCount > 0 ? 1 : 0);
    if (z.keyCount > 0) plan->keyed.push_back(e);
    for (int i = 0; i < z.contCount; ++i)
      if (bound(&d->modelVars[z.cont[i]])) plan->members.push_back(z.cont[i]);
  }
  plan->memberAt.push_back(static_cast<int32_t>(plan->members.size()));
  plan->plain = plainDesign(ctx, *plan, false);
  plan->plainKeyed = plainDesign(ctx, *plan, true);
  if (plan->plain || plan->plainKeyed) {
    plan->numbers.reserve(plan->cont.size());
    for (int32_t j : plan->cont) plan->numbers.push_back(d->modelVars[j].desc->number);
  }
  ctx->readPlan = plan;
  return *plan;
}

void checkContinuous(ZLevCtx* ctx, const ReadPlan& plan, uint32_t* status) {
  ZDesign* d = ctx->design;
  const bool scaled = !(d->flags & dflag::kNoScaling);
  for (int32_t j : plan.cont) {
    const LevelVar& v = d->modelVars[j];
    double& x = ctx->values[j];
    // A variable without values in the group has no centre (zcenter left it missing): its
    // values cannot be scaled, as if they were missing.
    if (znotfinite(x) || (scaled && (znotfinite(v.center) || znotfinite(v.halfRange)))) {
      *status |= obs::kNeeded | obs::kContMissing;
      if (std::isinf(x)) *status |= obs::kInfinite;
    } else if (scaled) {
      x = v.halfRange > 0.0 ? (x - v.center) / v.halfRange : 0.0;
    }
  }
}

void checkExtras(ZLevCtx* ctx, const double* values, const double* weight, const double* frequency,
                 uint32_t* status) {
  const uint32_t flags = ctx->design->flags;
  if (bound(ctx->rowSlots[0]) && znotfinite(ctx->rowSlots[0]->value)) *status |= obs::kNeeded;
  if (bound(ctx->rowSlots[1]) && znotfinite(ctx->rowSlots[1]->value)) *status |= obs::kExcluded;
  if (values)
    for (int r = 0; r < ctx->responseCount; ++r)
      if (znotfinite(values[r]))
        *status |= std::isinf(values[r]) ? obs::kExcluded | obs::kInfinite : obs::kExcluded;
  if (bound(ctx->rowSlots[2]) && znotfinite(ctx->rowSlots[2]->value)) *status |= obs::kExcluded;
  if (ctx->weights && weight && weightBad(*weight, flags)) *status |= obs::kWeight;
  if (ctx->frequency && frequency && weightBad(*frequency, flags)) *status |= obs::kWeight;
}

// Each effect's product of its continuous members.
void effectProducts(ZLevCtx* ctx, const ReadPlan& plan, uint32_t* status) {
  ZDesign* d = ctx->design;
  for (size_t k = 0; k < plan.effects.size(); ++k) {
    const int e = plan.effects[k];
    if (plan.constructed[k]) zeffobs(status, ctx, d, e);
    double p = 1.0;
    for (int32_t i = plan.memberAt[k]; i < plan.memberAt[k + 1]; ++i) {
      double x = ctx->values[plan.members[static_cast<size_t>(i)]];
      if (znotfinite(p) || znotfinite(x)) {
        p = missingValue('.');
      } else {
        p *= x;
        if (znotfinite(p)) p = missingValue('.');
      }
    }
    d->results[e].product = p;
    if (znotfinite(p)) *status |= obs::kEffect;
  }
}

// zreadobs for a plain design (ReadPlan::plain, plainKeyed), straight from the columns of the
// host's block: the same values, products and status bits as the general road. False, with nothing
// decided, when the host has no columns of numbers for the observation.
bool readPlain(ZLevCtx* ctx, const ReadPlan& plan, double* values, double* weight,
               double* frequency, uint32_t* status) {
  ZDesign* d = ctx->design;
  FetchTargets t;
  t.responses = values;
  t.weight = weight;
  t.frequency = frequency;
  uint32_t row = 0;
  const bool keyed = plan.plainKeyed;
  if (keyed) {
    t.formatted = ctx->formatted;
    t.classState = ctx->classState;
  }
  const double* const* columns =
      keyed ? zlevFetchKeyed(ctx, t, &row) : zlevFetchExtras(ctx, t, &row);
  if (!columns) return false;
  uint32_t s = 0;
  const bool hit = keyed && decodeInUse(ctx, &s);
  // A usage mask made by the decoding may leave variables out: the general road reads them.
  if (d->usageMask != plan.mask) return false;
  const bool scaled = !(d->flags & dflag::kNoScaling);
  for (size_t k = 0; k < plan.cont.size(); ++k) {
    const int32_t j = plan.cont[k];
    const LevelVar& v = d->modelVars[j];
    const double* c = columns[plan.numbers[k]];
    if (!c) return false;  // the general road fills every value again
    // The next rows' line of each column is asked for now: a read of many columns keeps more
    // streams going than the processor follows on its own.
    __builtin_prefetch(c + row + 8);
    double x = c[row];
    if (znotfinite(x) || (scaled && (znotfinite(v.center) || znotfinite(v.halfRange)))) {
      s |= obs::kNeeded | obs::kContMissing;
      if (std::isinf(x)) s |= obs::kInfinite;
    } else if (scaled) {
      x = v.halfRange > 0.0 ? (x - v.center) / v.halfRange : 0.0;
    }
    ctx->values[j] = x;
  }
  checkExtras(ctx, values, weight, frequency, &s);
  // The product of one variable is the variable, or missing; of none, 1.
  for (size_t k = 0; k < plan.effects.size(); ++k) {
    EffectResult& r = d->results[plan.effects[k]];
    const int32_t at = plan.memberAt[k];
    double p = 1.0;
    if (at < plan.memberAt[k + 1]) {
      p = ctx->values[plan.members[static_cast<size_t>(at)]];
      if (znotfinite(p)) {
        p = missingValue('.');
        s |= obs::kEffect;
      }
    }
    r.product = p;
  }
  findCombinations(ctx, plan, &s);
  if (hit) s |= obs::kEffect;
  *status = s;
  return true;
}

}  // namespace

// What the model uses: every effect, its continuous members, the CLASS variables of its key,
// its design variables with their members and lag variables, and the CLASS variables that are
// also extra variables.
ModelUsageMask* buildUsageMask(ZLevCtx* ctx) {
  ZDesign* d = ctx->design;
  HostPool* pool = levAllocator(ctx);
  auto* m = new (levAlloc(pool, sizeof(ModelUsageMask))) ModelUsageMask();
  m->effects = zeroFlags(pool, d->effectCount);
  m->designVars = zeroFlags(pool, d->designVarCount);
  m->cont = zeroFlags(pool, d->modelVarCount);
  m->classVars = zeroFlags(pool, d->classCount);
  for (int e = 0; e < d->effectCount; ++e) {
    const ZEffect& z = d->effects[e];
    m->effects[e] = '1';
    for (int i = 0; i < z.contCount; ++i) mark(m->cont, z.cont[i]);
    for (int i = 0; i < z.keyCount; ++i) mark(m->classVars, z.key[i]);
    for (int i = 0; i < z.constructedCount; ++i) {
      const ZDesignVar& v = d->designVars[z.constructed[i]];
      mark(m->designVars, z.constructed[i]);
      for (int k = 0; k < v.classCount; ++k) mark(m->classVars, v.classMembers[k]);
      for (int k = 0; k < v.valueCount; ++k) mark(m->cont, v.values[k]);
      if (v.lag) {
        for (int k = 0; k < v.lag->keyCount; ++k) mark(m->classVars, v.lag->keys[k]);
        mark(m->classVars, v.lag->time);
      }
    }
  }
  for (int c = 0; c < d->classCount; ++c) {
    const LevelVar& v = d->classVars[c];
    for (int r = 0; r < ctx->responseCount; ++r)
      if (v.desc && bound(&ctx->responses[r]) && ctx->responses[r].desc->number == v.desc->number)
        m->classVars[c] = '1';
  }
  return m;
}

uint32_t zreadobs(ZLevCtx* ctx, double* values, double* weight, double* frequency) {
  ZDesign* d = ctx->design;
  // The one loop reads the host's columns itself: only where zlevFetch would read them.
  if (ctx->fetch == &zlevFetch) {
    uint32_t status = 0;
    const ReadPlan& plan = readPlan(ctx);
    if ((plan.plain || plan.plainKeyed) && readPlain(ctx, plan, values, weight, frequency, &status))
      return status;
  }
  FetchTargets t;
  t.values = ctx->values;
  t.formatted = ctx->formatted;
  t.classState = ctx->classState;
  t.responses = values;
  t.weight = weight;
  t.frequency = frequency;
  ctx->fetch(ctx, "zcywf", t);
  uint32_t status = 0;

  bool hit = decodeInUse(ctx, &status);
  if (d->lagEffects) {
    for (int k = 0; k < d->designVarCount; ++k)
      if (d->designVars[k].type == effkind::kLag && d->designVars[k].lag)
        lagResult(ctx, d->designVars[k].lag, &status);
  }
  if ((status & obs::kNeeded) && d->designVarCount > 0 && rescued(ctx, &status)) {
    status &= ~obs::kNeeded;
    hit = false;
  }
  const ReadPlan& plan = readPlan(ctx);
  checkContinuous(ctx, plan, &status);
  checkExtras(ctx, values, weight, frequency, &status);
  effectProducts(ctx, plan, &status);
  findCombinations(ctx, plan, &status);
  if (hit) status |= obs::kEffect;
  return status;
}

void dropReadPlan(ZLevCtx* ctx) {
  ctx->readPlan.reset();
  ctx->fetchPlan.reset();
}

int zeffobs(uint32_t* status, ZLevCtx* ctx, ZDesign* d, int effect) {
  if (*status & obs::kEffect) return 0;
  ZEffect& z = d->effects[effect];
  z.allMissing = 0;
  if (z.constructedCount == 0) return 1;
  bool ok = true;
  for (int i = 0; i < z.constructedCount && ok; ++i) {
    const ZDesignVar& v = d->designVars[z.constructed[i]];
    switch (v.type) {
      case effkind::kMultimember: {
        int64_t sum = 0;
        double weighted = 0.0;
        for (int k = 0; k < v.classCount; ++k) {
          int32_t idx = ctx->levelIndexes[v.classMembers[k]];
          double x = k < v.valueCount ? ctx->values[v.values[k]] : 0.0;
          if (idx >= 0 && k < v.valueCount && znotfinite(x)) ok = false;
          // A value that is none of the levels is no missing member: the row is not used.
          if (idx < 0 && zlevunseen(ctx, v.classMembers[k], nullptr)) ok = false;
          sum += idx;
          if (v.weightedSum && idx >= 0) weighted += x;
        }
        if (!ok) break;
        if (sum == -static_cast<int64_t>(v.classCount)) {
          if (!v.allMissingOk) {
            ok = false;
          } else {
            *status |= obs::kAllMissing;
            z.allMissing = 1;
          }
        } else if (v.weightedSum && v.valueCount > 0 && (znotfinite(weighted) || weighted == 0.0)) {
          ok = false;
        }
        break;
      }
      case effkind::kCollection:
        for (int k = 0; k < v.classCount; ++k)
          if (ctx->levelIndexes[v.classMembers[k]] == -1) ok = false;
        for (int k = 0; k < v.valueCount; ++k)
          if (znotfinite(ctx->values[v.values[k]])) ok = false;
        break;
      case effkind::kSpline:
      case effkind::kPolynomial:
        for (int k = 0; k < v.valueCount; ++k)
          if (znotfinite(ctx->values[v.values[k]])) ok = false;
        break;
      case effkind::kLag:
        if (d->lagEffects && v.lag && v.lag->result == -1) ok = false;
        break;
      default:
        break;
    }
  }
  if (ok) return 1;
  *status |= obs::kNeeded | obs::kEffect;
  return 0;
}

void zlinkextra(ZLevCtx* ctx) {
  ZDesign* d = ctx->design;
  for (int r = 0; r < ctx->responseCount; ++r) {
    ctx->responseLinks[r] = nullptr;
    if (!bound(&ctx->responses[r])) continue;
    for (int c = 0; c < d->classCount; ++c) {
      const LevelVar& v = d->classVars[c];
      if (v.desc && v.desc->number == ctx->responses[r].desc->number) {
        ctx->responseLinks[r] = &ctx->levelIndexes[c];
        break;
      }
    }
  }
}

int zobsusable(ZLevCtx* ctx, double* values) {
  return (zreadobs(ctx, values, nullptr, nullptr) & obs::kUnusable) == 0 ? 1 : 0;
}

int zobsusablew(ZLevCtx* ctx, double* weight) {
  return (zreadobs(ctx, nullptr, weight, nullptr) & obs::kUnusable) == 0 ? 1 : 0;
}

}  // namespace vsf
