// The tables of constructed effects: spline knots and bases, polynomial scaling, lag designs,
// and the names they show.
#pragma once

#include <string>
#include <string_view>

#include "displays/displays_internal.h"
#include "effects/effects.h"

namespace vsf {

// SplineKnots: every knot of the spline's variables, scale by scale.
void printSplineKnots(OutputSink* out, const ZDesign* design, const ZDesignVar& var);
// BSplineDetails: per variable the knots that support each basis column.
void printBSplineDetails(OutputSink* out, const ZDesign* design, const ZDesignVar& var);
// PolynomialScaling: per variable its range, the sums behind its centre and scale, and both.
void printPolynomialScaling(OutputSink* out, const ZDesign* design, const ZDesignVar& var);
// LagDesignLevels (level indexes) and LagDesign (values): one row per subject, one column per
// period, of the lagged variable's levels.
void printLagDesignLevels(OutputSink* out, const ZDesignVar& var, const ZDesign* design);
void printLagDesign(OutputSink* out, const ZDesignVar& var, const ZDesign* design);

std::string_view varNameOf(const LevelVar& var);
// The name a constructed effect's tables show: its design variable's, the EFFECT name of a
// polynomial, a SPLIT spline's without the column number.
std::string designVarName(const ZDesignVar& var);
// The label of the basis table of variable j of a spline.
HostString* basisLabel(const ZDesign* design, const ZDesignVar& var, int j);

}  // namespace vsf
