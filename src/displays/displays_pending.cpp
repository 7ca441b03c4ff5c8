// Display tables that show nothing until their builders exist.
#include "displays/displays_internal.h"

namespace vsf {

int printParameterNames(VsfState*, SelectionState*) { return 0; }

int printDimensions(VsfState*, SelectionState*) { return 0; }
int printScreeningInfo(VsfState*, SelectionState*) { return 0; }
int printSisCorrelation(VsfState*, SelectionState*) { return 0; }
int printElasticNetParaSummary(VsfState*, SelectionState*) { return 0; }
int printElasticNetTuneL2(VsfState*, SelectionState*) { return 0; }
int printCvExternal(VsfState*, SelectionState*) { return 0; }
int printConstructedEffectInfo(VsfState*, void*, ZDesign*) { return 0; }

}  // namespace vsf
