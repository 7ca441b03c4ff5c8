// Effect scale factors: per-column statistics condensed per effect, and for effects built from
// SPLINE, COLLECTION or POLYNOMIAL design variables one scale per column, shared by the columns
// that stand for the same part of the effect.
#include <algorithm>
#include <vector>

#include "design/design.h"
#include "design/design_internal.h"
#include "numerics/numerics.h"

namespace vsf {

namespace {

struct MemberCounts {
  int splines = 0, splitSplines = 0, collections = 0, polynomials = 0, wholePolynomials = 0;
};

MemberCounts countMembers(const ZDesign* d, const ZEffect& z) {
  MemberCounts m;
  for (int i = 0; i < z.constructedCount; ++i) {
    const ZDesignVar& v = d->designVars[z.constructed[i]];
    if (v.type == effkind::kSpline) {
      ++m.splines;
      if (v.spline && v.spline->split) ++m.splitSplines;
    } else if (v.type == effkind::kCollection && v.valueCount > 0) {
      ++m.collections;
    } else if (v.type == effkind::kPolynomial) {
      ++m.polynomials;
      if (v.poly && !v.poly->separate) ++m.wholePolynomials;
    }
  }
  return m;
}

// Blocks of `width` consecutive columns each take the sum of their statistics.
void blockSums(const double* stat, int columns, int width, double* scale) {
  if (width <= 0) return;
  for (int c = 0; c < columns; c += width) {
    const int n = std::min(width, columns - c);
    std::fill(scale + c, scale + c + n, zdsum(stat + c, n));
  }
}

void polynomialScales(const ZEffect& z, const MemberCounts& m, const double* stat, double total,
                      double f, double* scale) {
  const int n = z.columnCount;
  if (z.keyCount == 0) {
    for (int c = 0; c < n; ++c) scale[c] = f * stat[c];
  } else if (m.wholePolynomials == m.polynomials) {
    std::fill(scale, scale + n, total);
  } else {
    blockSums(stat, n, z.classColumnCount, scale);
    const double g = z.keyCount > 1 ? f / z.keyCount : f;
    for (int c = 0; c < n; ++c) scale[c] *= g;
  }
}

void collectionScales(const ZDesign* d, const ZEffect& z, const double* stat, double f,
                      double* scale) {
  const ZDesignVar& v = d->designVars[z.constructed[0]];
  const int n = z.columnCount, values = v.valueCount;
  const double t = values + v.classCount;
  if (z.keyCount == 0) {
    for (int c = 0; c < n; ++c) scale[c] = c < values ? f * t * stat[c] : t;
    return;
  }
  const int w = z.classColumnCount;
  blockSums(stat, std::min(n, values * w), w, scale);
  int c = values * w;
  for (int k = 0; k < v.classCount && c < n; ++k) {
    const int block = std::min(d->classVars[v.classMembers[k]].levelCount * w, n - c);
    blockSums(stat + c, block, block, scale + c);
    c += block;
  }
  for (int i = 0; i < n; ++i) scale[i] *= t * f;
}

// Columns with the same columns of every SPLINE member share the mean of their statistics.
void splineGroupMeans(const ZDesign* d, const ZEffect& z, const double* stat, double f,
                      double* scale) {
  std::vector<int> splineSlots;
  for (int i = 0; i < z.constructedCount; ++i)
    if (d->designVars[z.constructed[i]].type == effkind::kSpline) splineSlots.push_back(i);
  auto sameGroup = [&](int a, int b) {
    const int32_t* ra = z.levelTable + static_cast<ptrdiff_t>(a) * z.levelTableWidth;
    const int32_t* rb = z.levelTable + static_cast<ptrdiff_t>(b) * z.levelTableWidth;
    for (int i : splineSlots)
      if (ra[i] != rb[i]) return false;
    return true;
  };
  const int n = z.columnCount;
  std::vector<int> leader;  // first column of each group
  std::vector<int> group(static_cast<size_t>(n));
  for (int c = 0; c < n; ++c) {
    size_t g = 0;
    while (g < leader.size() && !sameGroup(leader[g], c)) ++g;
    if (g == leader.size()) leader.push_back(c);
    group[static_cast<size_t>(c)] = static_cast<int>(g);
  }
  std::vector<double> sum(leader.size(), 0.0), count(leader.size(), 0.0);
  for (int c = 0; c < n; ++c) {
    sum[static_cast<size_t>(group[static_cast<size_t>(c)])] += stat[c];
    count[static_cast<size_t>(group[static_cast<size_t>(c)])] += 1;
  }
  for (int c = 0; c < n; ++c) {
    const size_t g = static_cast<size_t>(group[static_cast<size_t>(c)]);
    scale[c] = f * sum[g] / count[g];
  }
}

}  // namespace

void zeffscale(ZLevCtx* ctx, const double* statistics, double* totals, double f) {
  ZDesign* d = ctx->design;
  HostPool* pool = contextPool(ctx);
  for (int e = 0; e < d->effectCount; ++e) {
    ZEffect& z = d->effects[e];
    const double* stat = statistics + z.startColumn;
    totals[e] = f * zdsum(stat, z.columnCount);
    const MemberCounts m = countMembers(d, z);
    if (m.splines == 0 && m.collections == 0 && m.polynomials == 0) continue;
    z.columnScales =
        designArray<double>(pool, static_cast<size_t>(std::max(z.columnCount, 1)), kFlagsTable);
    double* scale = z.columnScales;
    if (!scale) continue;
    if (m.polynomials > 0) polynomialScales(z, m, stat, totals[e], f, scale);
    if (m.splines == 0 && m.collections > 0 && z.constructedCount <= 1)
      collectionScales(d, z, stat, f, scale);
    if (m.splines == 0) continue;
    if (z.constructedCount == 1 && z.keyCount == 0) {
      for (int c = 0; c < z.columnCount; ++c) scale[c] = f * stat[c];
    } else if (m.splitSplines == m.splines) {
      std::fill(scale, scale + z.columnCount, totals[e]);
    } else if (z.levelTable) {
      splineGroupMeans(d, z, stat, f, scale);
    }
  }
}

}  // namespace vsf
