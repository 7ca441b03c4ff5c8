// SPLINE statements: the columns of one variable, how many design variables SEPARATE, SPLIT
// and MULTISCALE make, their names, and the options block handed to zsplopts.
#include <fmt/format.h>

#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include "base/host.h"
#include "effects/effect_stmt_internal.h"
#include "effects/effinfo_internal.h"
#include "effects/efflib_internal.h"

namespace vsf {

namespace {

using namespace knotmethod;

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
  const int64_t inner = std::max(c.interior - (c.natural ? 2 : 0), 0);
  if (c.tpf) {
    const int64_t powers = c.noPowers ? 0 : (c.natural ? 1 : c.degree);
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

// Listed values as the options block keeps them: sorted, each at most degree + 1 times.
int32_t thinnedCount(std::vector<double> v, int32_t degree) {
  std::sort(v.begin(), v.end());
  int32_t kept = 0, run = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    run = (i > 0 && v[i] == v[i - 1]) ? run + 1 : 1;
    if (run <= int64_t{degree} + 1) ++kept;
  }
  return kept;
}

// The columns of the spline's widest effect: one variable's basis (at the finest scale) when
// each variable has its own, all of them together otherwise; SPLIT's are one column each.
int64_t widestEffect(const SplineCount& c, int32_t members, int64_t columns) {
  if (c.split) return 1;
  if (c.multiscale) return columnsOfScale(c, c.end);
  return c.separate ? columns : members * columns;
}

// The option whose value made the columns: the degree, or the knots (the finest scale) when
// they make more; a natural cubic spline and TPF(NOPOWERS) have no columns of the degree.
std::pair<std::string, std::string> sizeOption(const EffectStatement& e, const SplineCount& c) {
  const int32_t byDegree = c.natural || c.noPowers ? 0 : c.degree;
  if (c.multiscale && (int64_t{1} << c.end) > byDegree) return {"ENDSCALE", std::to_string(c.end)};
  if (c.multiscale || c.interior < byDegree) return {"DEGREE", std::to_string(c.degree)};
  static const char* const kMethods[] = {
      "", "EQUAL", "MULTISCALE", "LIST", "RANGEFRACTIONS", "PERCENTILES", "LISTWITHBOUNDARY"};
  const int32_t method = e.integer(es::kKnotMethod, kEqual);
  const std::string name = method >= 1 && method <= 6 ? kMethods[method] : "";
  if (method == kEqual || method == kPercentiles)
    return {"KNOTMETHOD", fmt::format("{}({})", name, c.knots)};
  return {"KNOTMETHOD", name};
}

}  // namespace

int countSpline(ZDesign* d, const EffectStatement& e, SplineCount* c) {
  c->degree = e.integer(es::kDegree, 3);
  int32_t method = e.integer(es::kKnotMethod, kEqual);
  if (method == kEqual || method == kPercentiles || method == kMultiscale)
    c->knots = e.integer(es::kKnotCount, 3);
  else
    c->knots = static_cast<int32_t>(e.numbers(es::kKnotList).size());
  c->natural = e.flag(ef::kNaturalCubic);
  // A natural cubic spline always takes the truncated power basis, and that basis has no
  // MULTISCALE knots (the options block falls back to EQUAL): count the columns it makes.
  c->tpf = c->natural || e.integer(es::kBasis, 1) == 2;
  c->noInt = c->tpf && e.flag(ef::kTpfNoInt);
  c->noPowers = c->tpf && e.flag(ef::kTpfNoPowers);
  c->separate = e.flag(ef::kSeparate);
  c->split = e.flag(ef::kSplit) || (d->flags & dflag::kSplitAll);
  c->multiscale = method == kMultiscale && !c->tpf;
  c->interior = c->knots;
  if (method == kList || method == kRangeFractions || method == kListWithBoundary) {
    c->interior = thinnedCount(e.numbers(es::kKnotList), c->degree);
    // LISTWITHBOUNDARY gives the whole knot sequence of a B-spline basis.
    if (method == kListWithBoundary && !c->tpf)
      c->interior = static_cast<int32_t>(
          std::max<int64_t>(int64_t{c->interior} - c->degree - std::max(c->degree, 1), 0));
  }
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

  int64_t columns = int64_t{c->degree} + 1 + c->interior;
  if (c->natural) {
    columns = c->interior;
    if (c->interior < 3) {
      hostMsg(174, 86, {std::string_view(e.name)});
      columns = 2;
    }
  }
  // NOPOWERS drops the constant and the powers: x alone for a natural cubic spline.
  if (c->noPowers)
    columns -= c->natural ? 2 : int64_t{c->degree} + 1;
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
  const auto [option, value] = sizeOption(e, *c);
  return statementFitsMemory(d, e, "SPLINE", option, value, n,
                             widestEffect(*c, e.members, columns));
}

namespace {

SplineOptions* optionsOf(const EffectStatement& e, const SplineCount& c) {
  auto* o = new (effAlloc(sizeof(SplineOptions))) SplineOptions();
  o->degree = c.degree;
  o->knotMethod = static_cast<uint8_t>(e.integer(es::kKnotMethod, kEqual));
  o->knotCount = c.knots;
  o->startLevel = c.start;
  o->endScale = c.multiscale ? c.end : 7;
  o->basis = static_cast<uint8_t>(e.integer(es::kBasis, 0));  // 0: not given
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
  o->effectName = effStrdup(e.name);
  const std::vector<double>& listed = e.numbers(es::kKnotList);
  if (!listed.empty()) {
    o->listedKnots = static_cast<double*>(effAlloc(sizeof(double) * listed.size()));
    std::copy(listed.begin(), listed.end(), o->listedKnots);
  }
  return o;
}

// The block of a design variable that evaluates a basis: the statement's options for its
// variables at its scale, with per-variable knot arrays and the B-spline work of its own.
SplineOptions* basisBlock(const SplineOptions& o, int32_t nvars, int32_t scale) {
  auto* b = new (effAlloc(sizeof(SplineOptions))) SplineOptions(o);
  b->scale = scale;
  if (o.knotMethod == kMultiscale) b->knotCount = int32_t{1} << std::min(scale, 30);
  b->varCount = nvars;
  const size_t n = static_cast<size_t>(std::max(nvars, 1));
  b->knotCounts = static_cast<int32_t*>(effAlloc(sizeof(int32_t) * n));
  b->knots = static_cast<double**>(effAlloc(sizeof(double*) * n));
  b->basisWork =
      static_cast<double*>(effAlloc(sizeof(double) * (3 * static_cast<size_t>(o.degree) + 1)));
  return b;
}

}  // namespace

int buildSpline(ZDesign* d, HostDataSet* ds, const EffectStatement& e, ZDesignVar* v) {
  // A spline's variables are continuous; a CLASS member would have no values to place knots on.
  if (zanyclass(d, e.vars())) {
    hostMsg(174, 95, {std::string_view(e.name)});
    raiseBuildCode(d, step::kInternal);
    return 1;
  }
  if (const std::string text = zcharactervar(ds, d, e.vars()); !text.empty()) {
    hostMsg(174, 96,
            {std::string_view("SPLINE"), std::string_view(e.name), std::string_view(text)});
    raiseBuildCode(d, step::kInternal);
    return 1;
  }
  const SplineCount& c = e.spline;
  SplineOptions* o = optionsOf(e, c);
  if (int rc = zsplopts(d, o, e.members, e.s)) return rc;
  std::vector<int> members = distinctVars(e.vars());
  std::vector<int32_t> index;
  zaddmodelvars(ds, d, members, &index);
  auto fill = [&](ZDesignVar* r, SplineOptions* block, std::vector<int32_t> values) {
    r->spline = block;
    r->valueCount = static_cast<int32_t>(values.size());
    r->values =
        static_cast<int32_t*>(effAlloc(sizeof(int32_t) * std::max<size_t>(values.size(), 1)));
    std::copy(values.begin(), values.end(), r->values);
  };
  if (!c.split && !c.separate && !c.multiscale) {
    std::vector<int32_t> all;
    for (int32_t i : index)
      if (i >= 0) all.push_back(i);
    ZDesignVar* r = startDesignVar(v, e, 0, e.name);
    fill(r, basisBlock(*o, static_cast<int32_t>(all.size()), o->startLevel), all);
    r->report = r->details;
    return 0;
  }
  const int32_t base = static_cast<int32_t>(v - d->designVars);
  int32_t k = 0;
  for (size_t m = 0; m < members.size(); ++m) {
    VarDescriptor* desc = effDescriptor(ds, members[m]);
    std::string var = desc ? desc->name : std::string();
    for (int32_t s = c.start; s < c.start + c.scales; ++s) {
      int32_t columns = !c.split       ? 1
                        : c.multiscale ? static_cast<int32_t>(columnsOfScale(c, s))
                                       : c.splitColumns;
      // The first record of a variable and scale evaluates the basis; SPLIT's further columns
      // show its values.
      SplineOptions* block = basisBlock(*o, 1, s);
      block->singleColumn = c.split;
      const int32_t owner = base + k;
      for (int32_t col = 0; col < columns; ++col, ++k) {
        ZDesignVar* r = startDesignVar(v + k, e, k, columnName(e, c, var, s, col, columns));
        fill(r, block, {index[m]});
        r->perColumn = c.split;
        r->splineVar = static_cast<int32_t>(m);
        r->splineScale = s;
        r->splineColumn = col;
        r->report = col == 0 && s == c.start && r->details;
        if (col > 0) {
          r->copy = 1;
          r->copyOf = owner;
        }
      }
    }
  }
  return 0;
}

}  // namespace vsf
