// Display services that show nothing until the display tables exist.
#include "displays/displays.h"

namespace vsf {

int printModelInfo(VsfState*) { return 0; }
int printPerfSettings(VsfState*) { return 0; }
int printTiming(VsfState*) { return 0; }
int printFitResults(VsfState*) { return 0; }
int printModelAverage(VsfState*) { return 0; }
int printParameterNames(VsfState*, SelectionState*) { return 0; }
void openSelectedModelGroup(VsfState*) {}
void printUtilInfo(VsfState*) {}

}  // namespace vsf
