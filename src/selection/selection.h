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
};

int buildCandidateTable(VsfState* state, HostPool* pool);
int buildParmCandidateTable(VsfState* state, HostPool* pool);
void refreshCandidateTable(VsfState* state);
void freeSelectionState(SelectionState* sel);
int writeResultHeader(SelectionState* sel);
void restoreSelectedStep(SelectionState* sel);

}  // namespace vsf
