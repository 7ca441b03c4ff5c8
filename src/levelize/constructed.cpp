// The constructed-effect set-up pass of a BY group: the percentile files of spline knots and the
// moments that standardize polynomials (in one read of the observations), the groups and lag tables
// of LAG effects, and per design variable its knots, union levels, centres and scales and column
// count. Everything it makes comes from the group's allocator and lives until the group's
// levelization is released.
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "base/host.h"
#include "base/strings.h"
#include "design/design.h"
#include "levelize/levelize_internal.h"

namespace vsf {

namespace {

std::string_view nameOf(const ZDesignVar& v) {
  return std::string_view(v.name ? v.name : "", static_cast<size_t>(v.nameLength));
}

// The column array of a design variable, cleared.
void columnsOf(ZLevCtx* ctx, ZDesignVar* v, int32_t columns) {
  v->columnCount = v->valueLength = std::max(columns, 0);
  v->columnValues = levArray<double>(levAllocator(ctx), static_cast<size_t>(v->valueLength));
}

// One pass over the observations that read without any status bit (with a positive weight and
// a whole frequency of at least 1): the values of the percentile knots' variables into their
// files, and the sums of deviations from each listed variable's centre, weighted by the
// frequency (first record) and by weight times frequency (second record).
void observationsPass(ZLevCtx* ctx, KnotFiles* files) {
  ZDesign* d = ctx->design;
  for (MomentSums* m : d->moments) {
    if (!m) continue;
    m->frequencyTotal = m->count = m->weightedTotal = 0.0;
    for (int32_t i = 0; i < m->listCount; ++i) m->sums[m->list[i]] = m->squares[m->list[i]] = 0.0;
  }
  if (files) zknotfilesopen(ctx, files);
  const bool weighted = ctx->weightCount > 0;
  const bool counted = ctx->frequency && ctx->frequency->desc && ctx->frequency->desc->number >= 0;
  ctx->start(ctx);
  while (ctx->next(ctx)) {
    double w = 1.0, f = 1.0;
    const uint32_t status = zreadobs(ctx, nullptr, weighted ? &w : nullptr, counted ? &f : nullptr);
    if (status != 0 || (weighted && !(w > 0))) continue;
    if (counted) {
      if (!(f >= 1.0)) continue;
      f = std::floor(f);
    }
    if (files) zknotfilesadd(files, ctx->values, f);
    for (int k = 0; k < 2; ++k) {
      MomentSums* m = d->moments[k];
      if (!m) continue;
      const double a = k == 0 ? f : w * f;
      m->frequencyTotal += f;
      m->count += 1;
      m->weightedTotal += a;
      for (int32_t i = 0; i < m->listCount; ++i) {
        const int32_t j = m->list[i];
        const double dev = ctx->values[j] - d->modelVars[j].center;
        m->sums[j] += a * dev;
        m->squares[j] += a * dev * dev;
      }
    }
  }
  if (files) zknotfilessort(files);
}

// The union of the members' formatted levels, in byte order of the texts padded to the widest
// member width; each member's levels mapped to their union level.
void multimemberLevels(ZLevCtx* ctx, ZDesignVar* v) {
  const ZDesign* d = ctx->design;
  HostPool* pool = levAllocator(ctx);
  int32_t width = 0;
  for (int k = 0; k < v->classCount; ++k)
    width = std::max(width, d->classVars[v->classMembers[k]].formattedWidth);
  auto padded = [&](const LevelVar& var, int l) {
    std::string t(var.levelTexts[l], static_cast<size_t>(var.formattedWidth));
    t.resize(static_cast<size_t>(width), ' ');
    return t;
  };
  std::map<std::string, int32_t> levels;
  for (int k = 0; k < v->classCount; ++k) {
    const LevelVar& var = d->classVars[v->classMembers[k]];
    for (int l = 0; l < var.levelCount; ++l) levels.emplace(padded(var, l), 0);
  }
  const int32_t U = static_cast<int32_t>(levels.size());
  columnsOf(ctx, v, U);
  v->labels = levArray<char*>(pool, static_cast<size_t>(U));
  v->labelLengths = levArray<int32_t>(pool, static_cast<size_t>(U));
  v->longestLabel = 0;
  int32_t u = 0;
  for (auto& [text, number] : levels) {
    number = u;
    const int32_t n = ztrimlen(text.data(), width);
    v->labels[u] = static_cast<char*>(levAlloc(pool, static_cast<size_t>(n) + 1));
    std::copy(text.data(), text.data() + n, v->labels[u]);
    v->labelLengths[u] = n;
    v->longestLabel = std::max(v->longestLabel, n);
    ++u;
  }
  v->levelMaps = levArray<int32_t*>(pool, static_cast<size_t>(v->classCount));
  for (int k = 0; k < v->classCount; ++k) {
    const LevelVar& var = d->classVars[v->classMembers[k]];
    v->levelMaps[k] = levArray<int32_t>(pool, static_cast<size_t>(var.levelCount));
    for (int l = 0; l < var.levelCount; ++l) v->levelMaps[k][l] = levels[padded(var, l)];
  }
}

int32_t collectionColumns(const ZDesign* d, const ZDesignVar& v) {
  int32_t n = v.valueCount;
  for (int k = 0; k < v.classCount; ++k) n += d->classVars[v.classMembers[k]].levelCount;
  if (d->flags & dflag::kFullRank) n -= v.classCount;
  return n;
}

int splineSetup(ZLevCtx* ctx, ZDesignVar* v, const KnotFiles* files) {
  ZDesign* d = ctx->design;
  if (v->copy) {
    // A SPLIT column shows one value of the basis its first column evaluates.
    const ZDesignVar& owner = d->designVars[v->copyOf];
    v->columnCount = 1;
    v->valueLength = 0;
    v->columnValues =
        v->splineColumn < owner.valueLength ? owner.columnValues + v->splineColumn : nullptr;
    return 0;
  }
  if (zsplknots(v, d, levAllocator(ctx), files) != 0) return setupstatus::kKnotsUnusable;
  columnsOf(ctx, v, v->spline->basisColumns * v->valueCount);
  if (v->spline->singleColumn) v->columnCount = std::min(v->columnCount, 1);
  return 0;
}

// Centres and scales of a polynomial's variables: their mid-ranges and half-ranges, or the
// (weighted) means and standard deviations from the moments.
int polynomialSetup(ZLevCtx* ctx, ZDesignVar* v) {
  const ZDesign* d = ctx->design;
  PolyRecord& p = *v->poly;
  if (v->copy || p.standardize == 0) return 0;
  const MomentSums* m = p.standardize <= 2 ? d->moments[p.standardize - 1] : nullptr;
  if (p.standardize <= 2 && !m) return 0;
  if (m && p.center && m->weightedTotal == 0.0) {
    hostMsg(174, 70, {nameOf(*v)});
    return setupstatus::kNotStandardized;
  }
  if (m && p.scale && m->frequencyTotal < 2.0) {
    hostMsg(174, 71, {nameOf(*v)});
    return setupstatus::kNotStandardized;
  }
  for (int i = 0; i < p.varCount; ++i) {
    const LevelVar& x = d->modelVars[p.vars[i]];
    double center = x.center, scale = x.halfRange;
    if (m) {
      const double s1 = m->sums[p.vars[i]], s2 = m->squares[p.vars[i]], W = m->weightedTotal;
      center = s1 / W + x.center;
      scale = std::sqrt((s2 - s1 * s1 / W) / (m->frequencyTotal - 1.0));
    }
    p.centers[i] = center;
    p.scales[i] = scale == 0.0 ? 1.0 : scale;
  }
  return 0;
}

int lagSetup(ZLevCtx* ctx, ZDesignVar* v) {
  ZDesign* d = ctx->design;
  const LevelVar& lagged = d->classVars[v->lag->lagged];
  columnsOf(ctx, v, lagged.levelCount - ((d->flags & dflag::kFullRank) ? 1 : 0));
  v->lag->stride = d->classVars[v->lag->time].levelCount;
  if (d->flags & dflag::kRequestReader) return 0;
  if (zlagpass(ctx, v, nullptr, nullptr) != 0) return setupstatus::kNoLagTable;
  d->lagEffects = 1;
  return 0;
}

int setUp(ZLevCtx* ctx, ZDesignVar* v, const KnotFiles* files) {
  ZDesign* d = ctx->design;
  switch (v->type) {
    case effkind::kMultimember:
      multimemberLevels(ctx, v);
      return 0;
    case effkind::kCollection:
      columnsOf(ctx, v, collectionColumns(d, *v));
      return 0;
    case effkind::kSpline:
      return v->spline ? splineSetup(ctx, v, files) : 0;
    case effkind::kPolynomial:
      return v->poly ? polynomialSetup(ctx, v) : 0;
    case effkind::kLag:
      return v->lag ? lagSetup(ctx, v) : 0;
    default:
      return 0;
  }
}

// Releases the knot files however the pass ends.
struct KnotFilesGuard {
  KnotFiles* files;
  ~KnotFilesGuard() { zknotfilesfree(files); }
};

}  // namespace

int zdatapass(ZLevCtx* ctx) {
  ZDesign* d = ctx->design;
  // The LAG tables come first: a row whose lag is not available is not analysed, so it takes
  // no part in the percentiles and moments either.
  std::vector<LagRecord*> lags;
  for (int k = 0; k < d->designVarCount; ++k)
    if (d->designVars[k].type == effkind::kLag && d->designVars[k].lag)
      lags.push_back(d->designVars[k].lag);
  if (!lags.empty() && !(d->flags & dflag::kRequestReader))
    zlagtables(ctx, static_cast<int>(lags.size()), lags.data());
  for (int k = 0; k < d->designVarCount; ++k)
    if (d->designVars[k].type == effkind::kLag)
      if (int rc = setUp(ctx, &d->designVars[k], nullptr); rc != 0) return rc;
  KnotFilesGuard knots{zknotfilesnew(d, levAllocator(ctx))};
  if (knots.files || d->moments[0] || d->moments[1]) observationsPass(ctx, knots.files);
  for (int k = 0; k < d->designVarCount; ++k)
    if (d->designVars[k].type != effkind::kLag)
      if (int rc = setUp(ctx, &d->designVars[k], knots.files); rc != 0) return rc;
  return 0;
}

}  // namespace vsf
