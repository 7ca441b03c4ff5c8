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
struct ZLevCtx;

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

// The crossproducts provider embedded in the levelization context: zlev sets its state, its
// responses and its two observation-reading entries, zsscpset its six operations.
struct SscpProvider {
  void* state = nullptr;
  double** responses = nullptr;  // one entry per response
  int32_t responseCount = 0;
  ZLevCtx* context = nullptr;
  // Read the next observation; 1 when zreadobs reports none of the bits of mask 0x27.
  int (*obsUsable)(ZLevCtx* ctx, double* values) = nullptr;
  int (*obsUsableW)(ZLevCtx* ctx, double* weight) = nullptr;
  int (*operations[6])(SscpProvider* provider, void* argument) = {};
};

int buildCandidateTable(VsfState* state, HostPool* pool);
int buildParmCandidateTable(VsfState* state, HostPool* pool);
void refreshCandidateTable(VsfState* state);
void freeSelectionState(SelectionState* sel);
int writeResultHeader(SelectionState* sel);
void restoreSelectedStep(SelectionState* sel);
// Installs the provider's six operations.
void zsscpset(SscpProvider* provider);

}  // namespace vsf
