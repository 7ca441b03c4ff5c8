// Constructed-effect information: one group per constructed effect, with its levels
// (MULTIMEMBER, COLLECTION), knots and basis (SPLINE), details and scaling (POLYNOMIAL) or lag
// information and lag design (LAG). These tables add nothing to the display timer.
#include <algorithm>
#include <string>
#include <vector>

#include "design/design.h"
#include "displays/constructed_internal.h"
#include "effects/effects.h"
#include "selection/group.h"

namespace vsf {

namespace {

constexpr size_t kValuesRoom = 253;  // the widest Values text

// The level names joined by the delimiter, at most 253 characters: a list that would pass them
// keeps the names that leave room for the delimiter and "..." which end it.
std::string levelValues(const ZDesignVar& v) {
  std::vector<std::string_view> names;
  for (int i = 0; v.labels && i < v.columnCount; ++i)
    names.emplace_back(v.labels[i] ? v.labels[i] : "",
                       static_cast<size_t>(v.labelLengths ? v.labelLengths[i] : 0));
  if (names.empty() || names[0].size() > kValuesRoom) return std::string();
  std::string out(names[0]);
  size_t total = out.size();
  for (size_t i = 1; i < names.size(); ++i) total += 1 + names[i].size();
  for (size_t i = 1; i < names.size(); ++i) {
    if (total > kValuesRoom && out.size() + 1 + names[i].size() + 4 > kValuesRoom) {
      out += v.separator;
      out += "...";
      break;
    }
    out += v.separator;
    out += names[i];
  }
  return out;
}

void levelInfo(OutputSink* out, const ZDesignVar& v) {
  const bool multimember = v.type == effkind::kMultimember;
  const std::string values = levelValues(v);
  HostString* label = msgStr(multimember ? 906 : 908, {std::string_view(designVarName(v))});
  int32_t levels = v.columnCount;
  std::vector<char> field(values.size() + 1, ' ');
  DataTable t(out);
  t.create(multimember ? "MMLevelInfo" : "CollectionLevelInfo",
           {argString(key::kTitle, msgStr(907)), argString(key::kLabel2, label)});
  t.column(ctype::kInt, "Levels", &levels);
  if (!values.empty())
    t.column(ctype::kText, "Values", field.data(),
             {argInt(dkey::kTextWidth, static_cast<int32_t>(values.size()))});
  std::vector<OutputArgItem> wd;
  addDynamic(wd, "WD", valueInt(std::min<int32_t>(static_cast<int32_t>(values.size()), 50)));
  sendRequest(t.table(), op::kSetDynamic, wd);
  t.endColumns();
  std::vector<OutputArgItem> header;
  addDynamic(header, "Header", valueString(label));
  t.bind("Stat.VARSIFTER.LevelInfo", header);
  std::copy(values.begin(), values.end(), field.begin());
  t.row();
  t.close();
  t.release();
}

// The rows of the truncated power basis of one variable: the constant, the powers, then one
// row per knot with its power (one less for a repeated knot).
void tpfDetails(OutputSink* out, const ZDesign* d, const ZDesignVar& v, int j) {
  const SplineOptions& s = *v.spline;
  const LevelVar& x = d->modelVars[v.values[j]];
  HostString* label = basisLabel(d, v, j);
  HostString* variable = hstr(varNameOf(x));
  int32_t column = 0, power = 0;
  double knot = missingLowest();
  DataTable t(out);
  t.create("TPFSplineDetails",
           {argString(key::kTitle, hstr(varNameOf(x))), argString(key::kLabel2, label)});
  t.column(ctype::kString, "Variable", &variable);
  t.column(ctype::kInt, "Column", &column);
  t.column(ctype::kInt, "Power", &power);
  t.column(ctype::kDouble, "BreakKnot", &knot, {argPointer(dkey::kVariable, 7, x.desc)});
  t.endColumns();
  std::vector<OutputArgItem> header;
  addDynamic(header, "Header", valueString(label));
  t.bind("Stat.VARSIFTER.TPFSplineDetails", header);
  if (s.extraTerms >= 2) {
    column = 1;
    t.row();
  }
  if (s.extraTerms >= 1)
    for (int p = 1; p <= (s.basisKind ? 1 : s.degree); ++p) {
      ++column;
      power = p;
      t.row();
    }
  const int K = s.knotCounts[j] - (s.basisKind ? 2 : 0);
  const double* k = s.knots[j];
  for (int i = 0; i < K; ++i) {
    ++column;
    power = i > 0 && k[i] == k[i - 1] ? std::max(power - 1, 0) : s.degree;
    knot = k[i];
    t.row();
  }
  t.close();
  t.release();
}

void polynomialDetails(OutputSink* out, const ZDesignVar& v) {
  const PolyRecord& p = *v.poly;
  HostString* label = msgStr(950, {std::string_view(designVarName(v))});
  FactoidTable t(out);
  t.create("PolynomialDetails", "Stat.VARSIFTER.PolynomialDetails", label,
           {argString(key::kLabel, label), argString(key::kTitle, msgStr(963))});
  const int32_t mdegree = p.mdegree > 0 ? p.mdegree : p.degree;
  t.entry(msgStr(951), valueInt(p.varCount));
  t.entry(msgStr(952), valueInt(p.degree));
  if (mdegree != p.degree) t.entry(msgStr(953), valueInt(mdegree));
  t.entry(msgStr(954), valueInt(p.termCount));
  const int mode = (p.center ? 1 : 0) + (p.scale ? 2 : 0);
  if (p.standardize != 0 && mode != 0) {
    auto text = [](int base, int code) {
      return code >= 1 && code <= 3 ? msgStr(base + code) : hstr("");
    };
    t.entry(msgStr(955), valueString(text(955, p.standardize)));
    t.entry(msgStr(959), valueString(text(959, mode)));
  }
  t.close();
  t.release();
}

void lagInfo(OutputSink* out, const ZDesign* d, const ZDesignVar& v) {
  const LagRecord& lag = *v.lag;
  HostString* label = msgStr(980, {std::string_view(designVarName(v))});
  FactoidTable t(out);
  t.create("LagInfo", "Stat.VARSIFTER.LagInfo", label,
           {argString(key::kLabel, label), argString(key::kTitle, msgStr(981))});
  t.entry(msgStr(982), valueInt(lag.distance));
  t.entry(msgStr(983), valueString(hstr(varNameOf(d->classVars[lag.time]))));
  t.entry(msgStr(984), valueString(hstr(varNameOf(d->classVars[lag.lagged]))));
  if (lag.switchVar >= 0)
    t.entry(msgStr(985), valueString(hstr(varNameOf(d->modelVars[lag.switchVar]))));
  if (lag.keyCount == 1) {
    t.entry(msgStr(986), valueString(hstr(varNameOf(d->classVars[lag.keys[0]]))));
  } else {
    for (int k = 0; k < lag.keyCount; ++k)
      t.entry(msgStr(987, {k + 1}), valueString(hstr(varNameOf(d->classVars[lag.keys[k]]))));
  }
  t.close();
  t.release();
}

void splineTables(OutputSink* out, const ZDesign* d, const ZDesignVar& v) {
  printSplineKnots(out, d, v);
  void* basis = openGroup(out, "BasisDetails", msgStr(904), {argFlag(dkey::kFlag286, 0)});
  if (v.spline->basis == 1) {
    printBSplineDetails(out, d, v);
  } else {
    for (int j = 0; j < v.valueCount && j < v.spline->varCount; ++j) tpfDetails(out, d, v, j);
  }
  closeGroup(out, basis);
}

}  // namespace

std::string_view varNameOf(const LevelVar& v) {
  return v.desc ? std::string_view(v.desc->name) : std::string_view();
}

std::string designVarName(const ZDesignVar& v) {
  if (v.type == effkind::kPolynomial && v.poly && v.poly->effectName) return v.poly->effectName;
  std::string name(v.name ? v.name : "", static_cast<size_t>(v.nameLength));
  // A SPLIT column stands for its spline: its name without the column number.
  if (v.type == effkind::kSpline && v.perColumn) name = name.substr(0, name.rfind(':'));
  return name;
}

HostString* basisLabel(const ZDesign* d, const ZDesignVar& v, int j) {
  if (v.valueCount <= 1) return msgStr(901, {std::string_view(designVarName(v))});
  return msgStr(902, {varNameOf(d->modelVars[v.values[j]]), std::string_view(designVarName(v))});
}

int printConstructedEffectInfo(StepView* s, void*, ZDesign* d) {
  if (!d || d->designVarCount <= 0) return 0;
  OutputSink* out = &s->output;
  void* all = nullptr;
  for (int k = 0; k < d->designVarCount; ++k) {
    const ZDesignVar& v = d->designVars[k];
    if (!v.report) continue;
    if (!all)
      all = openGroup(out, "ConstructedEffectInfo", msgStr(905), {argFlag(dkey::kFlag286, 0)});
    const std::string name = designVarName(v);
    void* group = openGroup(
        out, name, hstr(name),
        {argFlag(dkey::kFlag286, 1), argString(dkey::kBaseName, hstr("ConstructedEffect"))});
    switch (v.type) {
      case effkind::kMultimember:
      case effkind::kCollection:
        levelInfo(out, v);
        break;
      case effkind::kSpline:
        if (v.spline) splineTables(out, d, v);
        break;
      case effkind::kPolynomial:
        if (v.poly) {
          polynomialDetails(out, v);
          printPolynomialScaling(out, d, v);
        }
        break;
      case effkind::kLag:
        if (v.lag) {
          lagInfo(out, d, v);
          printLagDesignTable(out, v, d);
        }
        break;
      default:
        break;
    }
    closeGroup(out, group);
  }
  closeGroup(out, all);
  return 0;
}

}  // namespace vsf
