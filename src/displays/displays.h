// Display tables and the output drivers.
#pragma once

namespace vsf {

struct VsfState;
struct SelectionState;

int printModelInfo(VsfState* state);
int printPerfSettings(VsfState* state);
int printTiming(VsfState* state);
int printFitResults(VsfState* state);
int printModelAverage(VsfState* state);
int printParameterNames(VsfState* state, SelectionState* sel);
void openSelectedModelGroup(VsfState* state);
void printUtilInfo(VsfState* state);

}  // namespace vsf
