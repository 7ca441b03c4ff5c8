// The selection engine: the record of one selection run and the services the frame calls.
#pragma once

#include <cstdint>

namespace vsf {

struct HostPool;
struct ScratchFile;
struct SelectionOptions;
struct UtilFileArray;
struct ThreadOptions;
struct ZPuddle;
struct VsfState;

struct CandidateEntry {
  int32_t effect = 0;
  int32_t columns = 0;
  const int32_t* columnMap = nullptr;
  // Split CLASS variables: the pairs (variable, level) the entry fixes, and its label.
  int32_t splitCount = 0;
  int32_t* splitVars = nullptr;   // CLASS-list indexes
  int32_t* levels = nullptr;      // level of each split variable
  int32_t labelLength = 0;
  const char* label = nullptr;    // not terminated when splitCount is nonzero
};

struct SelectionState {
  HostPool* modelPool = nullptr;
  double fuzz = 0.0;
  int32_t status = 0;
  ScratchFile* scratch = nullptr;
  SelectionOptions* options = nullptr;
  UtilFileArray* utilFiles = nullptr;
  ThreadOptions* threads = nullptr;
  ZPuddle* puddle = nullptr;
  int* stepCode = nullptr;
  // The current model, the chosen model and each candidate's first design column.
  int32_t effectsInModel = 0;
  int32_t* entryOrder = nullptr;      // candidate numbers, effectsInModel of them
  int32_t chosenStep = -1;
  int32_t* stepEffects = nullptr;     // effects in the model per step; entry -1 exists
  int32_t* chosenEffects = nullptr;   // candidate numbers of the chosen model
  int32_t* firstParameter = nullptr;  // per candidate
};

int buildCandidateTable(VsfState* state, HostPool* pool);
int buildParmCandidateTable(VsfState* state, HostPool* pool);
void refreshCandidateTable(VsfState* state);
void freeSelectionState(SelectionState* sel);
int writeResultHeader(SelectionState* sel);
void restoreSelectedStep(SelectionState* sel);

}  // namespace vsf
