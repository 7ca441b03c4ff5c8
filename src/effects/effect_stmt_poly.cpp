// POLYNOMIAL statements: one design variable per term (or one for all with NOSEPARATE), the
// term labels and the standardization the constructed-effect set-up will carry out.
#include <new>

#include "base/host.h"
#include "effects/effect_stmt_internal.h"
#include "effects/effinfo_internal.h"
#include "effects/efflib_internal.h"

namespace vsf {

std::vector<std::vector<int32_t>> polynomialTerms(int32_t m, int32_t degree) {
  std::vector<std::vector<int32_t>> terms;
  for (int32_t k = 1; k <= degree && m > 0; ++k) {
    std::vector<int32_t> t(static_cast<size_t>(k), 0);
    for (;;) {
      terms.push_back(t);
      // Next non-decreasing sequence of k positions.
      int32_t i = k - 1;
      while (i >= 0 && t[static_cast<size_t>(i)] == m - 1) --i;
      if (i < 0) break;
      int32_t v = t[static_cast<size_t>(i)] + 1;
      for (int32_t j = i; j < k; ++j) t[static_cast<size_t>(j)] = v;
    }
  }
  return terms;
}

std::string znumname(const PolyRecord& p, const ZDesign* d, const std::vector<int32_t>& term) {
  std::string label;
  for (size_t i = 0; i < term.size();) {
    size_t j = i;
    while (j < term.size() && term[j] == term[i]) ++j;
    int power = static_cast<int>(j - i);
    std::string piece =
        (p.standardize ? std::string(p.prefix) : std::string()) + varName(d->modelVars[term[i]]);
    if (!label.empty()) label += p.product;
    if (power == 1) {
      label += piece;
    } else if (p.expand) {
      for (int k = 0; k < power; ++k) label += (k ? std::string(p.product) : std::string()) + piece;
    } else {
      label += piece + p.exponent + std::to_string(power);
    }
    i = j;
  }
  return label;
}

namespace {

PolyRecord* polyOf(const EffectStatement& e, const std::vector<int32_t>& index) {
  auto* p = new (effAlloc(sizeof(PolyRecord))) PolyRecord();
  p->degree = e.integer(es::kDegree, 1);
  p->mdegree = e.integer(es::kMDegree, 0);
  // Shown in the effect's details only: the terms are every monomial up to DEGREE=.
  if (e.given(es::kMDegree)) hostMsg(848, 4972, {"MDEGREE="});
  p->varCount = static_cast<int32_t>(index.size());
  p->vars = static_cast<int32_t*>(effAlloc(sizeof(int32_t) * (index.size() + 1)));
  std::copy(index.begin(), index.end(), p->vars);
  p->separate = !e.flag(ef::kNoSeparate);
  if (e.flag(ef::kStandardize)) {
    // STANDARDIZE= NONE 1, CENTER 2, SCALE 3, CENTERSCALE 4 (the default).
    int32_t what = e.integer(es::kStdOption, 4);
    p->center = what == 2 || what == 4;
    p->scale = what == 3 || what == 4;
    p->standardize = what == 1 ? 0 : static_cast<uint8_t>(e.integer(es::kStdMethod, 1));
  }
  if (e.given(es::kStdPrefix)) p->prefix = effStrdup(e.text(es::kStdPrefix));
  if (e.given(es::kExponent)) p->exponent = effStrdup(e.text(es::kExponent));
  if (e.flag(ef::kProductNone))
    p->product = "";
  else if (e.given(es::kProductSymbol))
    p->product = effStrdup(e.text(es::kProductSymbol));
  p->expand = e.flag(ef::kExpand);
  p->includeName = e.flag(ef::kIncludeName) && p->separate;
  p->details = e.flag(ef::kDetails);
  p->effectName = effStrdup(e.name);
  const size_t n = index.size() + 1;
  p->centers = static_cast<double*>(effAlloc(sizeof(double) * n));
  p->scales = static_cast<double*>(effAlloc(sizeof(double) * n));
  p->work = static_cast<double*>(effAlloc(sizeof(double) * n));
  // EXPONENT, with or without its text, asks for the exponent form.
  if (e.flag(ef::kExponentGiven) && p->expand) {
    hostMsg(174, 72);
    p->expand = 0;
  }
  return p;
}

// The term tables of the row evaluation: how many terms have degree at most d, and for degree d
// and variable i the first term of degree d without a variable before i. Terms come as
// polynomialTerms orders them, so multiplying the terms of degree d - 1 from start(d - 1, i) on
// by variable i gives those of degree d that begin with i.
void termTables(PolyRecord* p, const std::vector<std::vector<int32_t>>& terms) {
  const size_t m = static_cast<size_t>(p->varCount), degree = static_cast<size_t>(p->degree);
  p->cumulative = static_cast<int32_t*>(effAlloc(sizeof(int32_t) * (degree + 1)));
  p->starts = static_cast<int32_t*>(effAlloc(sizeof(int32_t) * (degree * m + 1)));
  for (size_t t = 0; t < terms.size(); ++t) {
    const size_t d = terms[t].size();
    p->cumulative[d] = static_cast<int32_t>(t + 1);
  }
  for (size_t d = 1; d <= degree; ++d) {
    if (p->cumulative[d] < p->cumulative[d - 1]) p->cumulative[d] = p->cumulative[d - 1];
    for (size_t i = 0; i < m; ++i) {
      int32_t start = p->cumulative[d];
      for (int32_t t = p->cumulative[d - 1]; t < p->cumulative[d]; ++t)
        if (terms[static_cast<size_t>(t)][0] >= static_cast<int32_t>(i)) {
          start = t;
          break;
        }
      p->starts[(d - 1) * m + i] = start;
    }
  }
}

int32_t* idsOf(const std::vector<int32_t>& ids) {
  auto* out = static_cast<int32_t*>(effAlloc(sizeof(int32_t) * (ids.size() + 1)));
  std::copy(ids.begin(), ids.end(), out);
  return out;
}

}  // namespace

int buildPolynomial(ZDesign* d, HostDataSet* ds, const EffectStatement& e, ZDesignVar* v) {
  if (zanyclass(d, e.vars())) {
    hostMsg(174, 69, {std::string_view(e.name)});
    raiseBuildCode(d, step::kInternal);
    return 1;
  }
  if (const std::string text = zcharactervar(ds, d, e.vars()); !text.empty()) {
    hostMsg(174, 96,
            {std::string_view("POLYNOMIAL"), std::string_view(e.name), std::string_view(text)});
    raiseBuildCode(d, step::kInternal);
    return 1;
  }
  std::vector<int32_t> index;
  zaddmodelvars(ds, d, distinctVars(e.vars()), &index);
  PolyRecord* p = polyOf(e, index);
  std::vector<std::vector<int32_t>> terms = polynomialTerms(p->varCount, p->degree);
  p->termCount = static_cast<int32_t>(terms.size());
  termTables(p, terms);
  std::vector<std::string> labels;
  std::vector<int32_t> ids;
  for (const auto& t : terms) {
    ids.clear();
    for (int32_t pos : t) ids.push_back(index[static_cast<size_t>(pos)]);
    labels.push_back(znumname(*p, d, ids));
  }
  auto* values = static_cast<double*>(effAlloc(sizeof(double) * (terms.size() + 1)));
  if (!p->separate) {
    ZDesignVar* r = startDesignVar(v, e, 0, e.name);
    r->poly = p;
    r->valueCount = p->varCount;
    r->values = idsOf(index);
    r->columnCount = r->valueLength = p->termCount;
    r->columnValues = values;
    r->report = r->details;
    r->labels = static_cast<char**>(effAlloc(sizeof(char*) * (labels.size() + 1)));
    r->labelLengths = static_cast<int32_t*>(effAlloc(sizeof(int32_t) * (labels.size() + 1)));
    for (size_t t = 0; t < labels.size(); ++t) {
      r->labels[t] = effStrdup(labels[t]);
      r->labelLengths[t] = static_cast<int32_t>(labels[t].size());
      r->longestLabel = std::max(r->longestLabel, r->labelLengths[t]);
    }
    return 0;
  }
  // The counting pass made room for exactly one record per term.
  for (size_t t = 0; t < terms.size() && t < static_cast<size_t>(e.designVars); ++t) {
    std::string name = p->includeName ? e.name + "_" + labels[t] : labels[t];
    ZDesignVar* r = startDesignVar(v + t, e, static_cast<int32_t>(t), name);
    r->poly = p;
    r->perColumn = 1;
    r->copy = t > 0;
    r->copyOf = t > 0 ? static_cast<int32_t>(v - d->designVars) : -1;
    r->report = t == 0 && r->details;
    ids.clear();
    for (int32_t pos : terms[t]) ids.push_back(index[static_cast<size_t>(pos)]);
    r->valueCount = static_cast<int32_t>(ids.size());
    r->values = idsOf(ids);
    r->columnCount = r->valueLength = 1;
    r->columnValues = values + t;  // the terms share one array
  }
  return 0;
}

}  // namespace vsf
