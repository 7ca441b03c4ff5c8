// SPLINE statements: the columns of one variable, how many design variables SEPARATE, SPLIT
// and MULTISCALE make, their names, and the options block handed to zsplopts.
#include <fmt/format.h>

#include <algorithm>
#include <new>

#include "base/host.h"
#include "effects/effect_stmt_internal.h"
#include "effects/effinfo_internal.h"
#include "effects/efflib_internal.h"

namespace vsf {

namespace {

enum KnotMethod {
  kEqual = 1,
  kMultiscale = 2,
  kList = 3,
  kRangeFractions = 4,
  kPercentiles = 5,
  kListWithBoundary = 6
};

int64_t columnsOfScale(const SplineCount& c, int32_t s) {
  int32_t d = c.natural ? 3 : c.degree;
  return (int64_t{1} << std::min(s, 40)) + d + 1;
}

// Design variables of one variable under SPLIT: one per column of its basis.
int64_t splitColumnsPerVariable(const SplineCount& c) {
  if (c.multiscale) {
    int64_t n = 0;
    for (int32_t s = c.start; s <= c.end; ++s) n += columnsOfScale(c, s);
    return n;
  }
  int32_t inner = std::max(c.knots - (c.natural ? 2 : 0), 0);
  if (c.tpf) {
    int32_t powers = c.noPowers ? 0 : (c.natural ? 1 : c.degree);
    return inner + powers + ((c.noInt || c.noPowers) ? 0 : 1);
  }
  return inner + (c.natural ? 3 : c.degree) + 1;
}

std::string columnName(const EffectStatement& e, const SplineCount& c, const std::string& var,
                       int32_t scale, int32_t column, int32_t columns) {
  std::string name = e.name;
  if (e.members > 1) name += "_" + var;
  if (c.scales > 1) name += fmt::format("_S{}", scale);
  if (columns > 1) name += fmt::format(":{}", column + 1);
  return name;
}

}  // namespace

int countSpline(ZDesign* d, const EffectStatement& e, SplineCount* c) {
  c->degree = e.integer(es::kDegree, 3);
  int32_t method = e.integer(es::kKnotMethod, kEqual);
  if (method == kEqual || method == kPercentiles || method == kMultiscale)
    c->knots = e.integer(es::kKnotCount, 3);
  else
    c->knots = static_cast<int32_t>(e.numbers(es::kKnotList).size());
  c->multiscale = method == kMultiscale;
  if (c->multiscale) {
    c->start = e.integer(es::kStartLevel, 0);
    c->end = e.integer(es::kEndScale, 7);
    if (c->start > c->end) {
      hostMsg(174, 81, {c->start, c->end, std::string_view(e.name)});
      raiseBuildCode(d, step::kInternal);
      return 1;
    }
    c->scales = c->end - c->start + 1;
  }
  c->natural = e.flag(ef::kNaturalCubic);
  c->tpf = e.integer(es::kBasis, 1) == 2;
  c->noInt = c->tpf && e.flag(ef::kTpfNoInt);
  c->noPowers = c->tpf && e.flag(ef::kTpfNoPowers);
  c->separate = e.flag(ef::kSeparate);
  c->split = e.flag(ef::kSplit) || (d->flags & dflag::kSplitAll);

  int32_t columns = c->degree + 1 + c->knots;
  if (c->natural) {
    columns = c->knots;
    if (c->knots < 3) {
      hostMsg(174, 86, {std::string_view(e.name)});
      columns = 2;
    }
  }
  if (c->noPowers)
    columns -= c->degree + 1;
  else if (c->noInt)
    columns -= 1;
  if (columns < 1) {
    hostMsg(174, 73, {std::string_view(e.name)});
    raiseBuildCode(d, step::kInternal);
    return 1;
  }
  int64_t n = 1;
  if (c->split) {
    int64_t per = splitColumnsPerVariable(*c);
    c->splitColumns = static_cast<int32_t>(std::min<int64_t>(per, 2147483647));
    n = e.members * per;
  } else if (c->separate || c->multiscale) {
    n = int64_t{e.members} * c->scales;
  }
  c->designVars = static_cast<int32_t>(std::min<int64_t>(n, 2147483647));
  return 0;
}

namespace {

SplineOptions* optionsOf(const EffectStatement& e, const SplineCount& c) {
  auto* o = new (effAlloc(sizeof(SplineOptions))) SplineOptions();
  o->degree = c.degree;
  o->knotMethod = static_cast<uint8_t>(e.integer(es::kKnotMethod, kEqual));
  o->knotCount = c.knots;
  o->startLevel = c.start;
  o->endScale = c.multiscale ? c.end : 7;
  o->basis = c.tpf ? 2 : 1;
  o->basisKind = c.natural ? 1 : 0;
  o->extraTerms = c.noPowers ? 0 : (c.noInt ? 1 : 2);
  o->naturalCubic = c.natural;
  o->separate = c.separate;
  o->split = c.split;
  o->tpfNoInt = c.noInt;
  o->tpfNoPowers = c.noPowers;
  o->details = e.flag(ef::kDetails);
  o->dataBoundary = e.flag(ef::kDataBoundary);
  o->knotMinGiven = e.given(es::kKnotMin);
  o->knotMaxGiven = e.given(es::kKnotMax);
  o->knotMin = e.real(es::kKnotMin, 0.0);
  o->knotMax = e.real(es::kKnotMax, 0.0);
  const std::vector<double>& listed = e.numbers(es::kKnotList);
  if (!listed.empty()) {
    o->listedKnots = static_cast<double*>(effAlloc(sizeof(double) * listed.size()));
    std::copy(listed.begin(), listed.end(), o->listedKnots);
  }
  return o;
}

}  // namespace

int buildSpline(ZDesign* d, HostDataSet* ds, const EffectStatement& e, ZDesignVar* v) {
  const SplineCount& c = e.spline;
  SplineOptions* o = optionsOf(e, c);
  if (int rc = zsplopts(d, o, e.members, e.s)) return rc;
  std::vector<int> members = distinctVars(e.vars());
  std::vector<int32_t> index;
  zaddmodelvars(ds, d, members, &index);
  auto fill = [&](ZDesignVar* r, std::vector<int32_t> values) {
    r->spline = o;
    r->valueCount = static_cast<int32_t>(values.size());
    r->values =
        static_cast<int32_t*>(effAlloc(sizeof(int32_t) * std::max<size_t>(values.size(), 1)));
    std::copy(values.begin(), values.end(), r->values);
  };
  if (!c.split && !c.separate && !c.multiscale) {
    std::vector<int32_t> all;
    for (int32_t i : index)
      if (i >= 0) all.push_back(i);
    fill(startDesignVar(v, e, 0, e.name), all);
    return 0;
  }
  int32_t k = 0;
  for (size_t m = 0; m < members.size(); ++m) {
    VarDescriptor* desc = effDescriptor(ds, members[m]);
    std::string var = desc ? desc->name : std::string();
    for (int32_t s = c.start; s < c.start + c.scales; ++s) {
      int32_t columns = !c.split       ? 1
                        : c.multiscale ? static_cast<int32_t>(columnsOfScale(c, s))
                                       : c.splitColumns;
      for (int32_t col = 0; col < columns; ++col, ++k) {
        ZDesignVar* r = startDesignVar(v + k, e, k, columnName(e, c, var, s, col, columns));
        fill(r, {index[m]});
        r->perColumn = c.split;
        r->splineVar = static_cast<int32_t>(m);
        r->splineScale = s;
        r->splineColumn = col;
      }
    }
  }
  return 0;
}

}  // namespace vsf
