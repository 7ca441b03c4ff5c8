// SplineKnots (every knot of a spline, boundary knots marked) and BSplineDetails (the knots that
// support each column of a B-spline basis), scale by scale for MULTISCALE knots.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "design/design.h"
#include "displays/constructed_internal.h"

namespace vsf {

namespace {

using knotmethod::kMultiscale;

// The design variables holding the spline's scales, in scale order: the reported one, then
// the records of its statement that evaluate the same variable at the later scales.
std::vector<const ZDesignVar*> scalesOf(const ZDesign* d, const ZDesignVar& v) {
  std::vector<const ZDesignVar*> out{&v};
  if (v.spline->knotMethod != kMultiscale) return out;
  for (const ZDesignVar* r = &v + 1; r < d->designVars + d->designVarCount; ++r) {
    if (r->statement != v.statement) break;
    if (!r->copy && r->splineVar == v.splineVar && r->splineScale > out.back()->splineScale)
      out.push_back(r);
  }
  return out;
}

bool isBoundary(int j, int K, int degree) {
  return j < degree || j >= K - degree || (degree == 0 && j == K - 1);
}

}  // namespace

void printSplineKnots(OutputSink* out, const ZDesign* d, const ZDesignVar& v) {
  const SplineOptions& s = *v.spline;
  const bool multiscale = s.knotMethod == kMultiscale, bspline = s.basis == 1;
  const int vars = std::min(v.valueCount, s.varCount);
  HostString* label = msgStr(900, {std::string_view(designVarName(v))});
  int32_t number = 0, scale = 0, scaleNumber = 0, boundary = 0;
  std::vector<double> knots(static_cast<size_t>(std::max(vars, 1)));
  char control = ' ';
  DataTable t(out);
  t.create("SplineKnots", {argString(key::kTitle, msgStr(903)), argString(key::kLabel2, label)});
  t.column(ctype::kInt, "KnotNumber", &number);
  if (multiscale) {
    t.column(ctype::kInt, "Scale", &scale);
    t.column(ctype::kInt, "ScaleKnotNumber", &scaleNumber);
  }
  if (bspline) t.column(ctype::kInt, "Boundary", &boundary);
  for (int j = 0; j < vars; ++j)
    t.variableColumn(d->modelVars[v.values[j]].desc, &knots[static_cast<size_t>(j)],
                     {argString(key::kTemplate, hstr("Variable"))});
  t.column(ctype::kChar, "Control", &control);
  t.endColumns();
  std::vector<OutputArgItem> header;
  addDynamic(header, "Header", valueString(label));
  t.bind("Stat.VARSIFTER.SplineKnots", header);
  bool firstScale = true;
  for (const ZDesignVar* r : scalesOf(d, v)) {
    const SplineOptions& rs = *r->spline;
    const int K = rs.knotCounts[0];
    for (int j = 0; j < K; ++j) {
      for (int i = 0; i < vars; ++i)
        knots[static_cast<size_t>(i)] = rs.knots[i] ? rs.knots[i][j] : missingLowest();
      boundary = isBoundary(j, K, rs.degree) ? 1 : 0;
      ++number;
      scaleNumber = j + 1;
      scale = rs.scale;
      control = j == 0 && !firstScale ? '-' : ' ';
      t.row();
    }
    firstScale = false;
  }
  t.close();
  t.release();
}

void printBSplineDetails(OutputSink* out, const ZDesign* d, const ZDesignVar& v) {
  const SplineOptions& s = *v.spline;
  const bool multiscale = s.knotMethod == kMultiscale;
  const std::vector<const ZDesignVar*> scales = scalesOf(d, v);
  const int lastColumns = scales.back()->spline->basisColumns;
  const int width = static_cast<int>(2 * std::log10(lastColumns + 0.5) + 3);
  for (int var = 0; var < std::min(v.valueCount, s.varCount); ++var) {
    const LevelVar& x = d->modelVars[v.values[var]];
    HostString* label = basisLabel(d, v, var);
    HostString* variable = hstr(varNameOf(x));
    int32_t column = 0, scale = 0, scaleColumn = 0, start = 0, end = 0;
    double left = 0, right = 0;
    std::vector<char> support(static_cast<size_t>(width) + 1, ' ');
    char control = ' ';
    DataTable t(out);
    t.create("BSplineDetails",
             {argString(key::kTitle, hstr(varNameOf(x))), argString(key::kLabel2, label)});
    t.column(ctype::kString, "Variable", &variable);
    t.column(ctype::kInt, "Column", &column);
    if (multiscale) {
      t.column(ctype::kInt, "Scale", &scale);
      t.column(ctype::kInt, "ScaleColumn", &scaleColumn);
    }
    t.column(ctype::kDouble, "Left", &left, {argPointer(dkey::kVariable, 7, x.desc)});
    t.column(ctype::kDouble, "Right", &right, {argPointer(dkey::kVariable, 7, x.desc)});
    t.column(ctype::kText, "SupportingKnots", support.data(), {argInt(dkey::kTextWidth, width)});
    t.column(ctype::kInt, "StartKnot", &start);
    t.column(ctype::kInt, "endKnot", &end);
    t.column(ctype::kChar, "Control", &control);
    t.endColumns();
    std::vector<OutputArgItem> header;
    addDynamic(header, "Header", valueString(label));
    t.bind("Stat.VARSIFTER.BSplineDetails", header);
    bool firstScale = true;
    for (const ZDesignVar* r : scales) {
      const SplineOptions& rs = *r->spline;
      const double* k = rs.knots[var];
      const int dg = rs.degree, m = rs.basisColumns;
      for (int j = 0; j < m; ++j) {
        const bool last = j == m - 1;
        if (dg == 0) {
          left = j == 0 ? x.center - x.halfRange : k[j - 1];
          right = k[j];
          start = j;
          end = j + 1;
        } else {
          start = j == 0 ? 1 : j;
          end = j + dg + (last ? 0 : 1);
          left = j == 0 ? k[0] : k[j - 1];
          right = last ? k[dg + j - 1] : k[dg + j];
        }
        char text[32];
        if (dg == 0 && j == 0)
          std::snprintf(text, sizeof text, " -%d", 1);
        else
          std::snprintf(text, sizeof text, "%d-%d", start, end);
        std::fill(support.begin(), support.end(), ' ');
        std::copy_n(text, std::min<size_t>(std::strlen(text), static_cast<size_t>(width)),
                    support.begin());
        ++column;
        scale = rs.scale;
        scaleColumn = j + 1;
        control = j == 0 && !firstScale ? '-' : ' ';
        t.row();
      }
      firstScale = false;
    }
    t.close();
    t.release();
  }
}

}  // namespace vsf
