// The step's work queue on the hxworkq extension.
#pragma once

#include <cstdint>

#include "frame/host/extensions.h"

namespace vsf {

struct SelectionState;
struct UtilFileRecord;

using SeqKernel = int (*)(SelectionState* state, PageDescriptor* block);
using MtKernel = int (*)(SelectionState* state, PageDescriptor* block, double* buffer,
                         uint32_t length);

struct ZWorkItem {
  UtilFileRecord* file = nullptr;
  SelectionState* state = nullptr;
  MtKernel kernel = nullptr;
  double* buffer = nullptr;
  uint32_t length = 0;
  int32_t argument = 0;
  int32_t result = 0;  // the worker's first nonzero result
};

struct ZPuddle {
  HxWorkQ* extension = nullptr;
  WorkQueue* queue = nullptr;
  ZWorkItem* items = nullptr;
};

// 0, 1 (extension not loaded) or 2 (queue not created); with bit 0 of flags a failure ends
// the step with 1012.
int zpudi(ZPuddle* puddle, int workers, int flags, WorkRoutine routine);
void zpudleq(ZPuddle* puddle, void* item);
void zpudlwt(ZPuddle* puddle);
void zpudlterm(ZPuddle* puddle);

}  // namespace vsf
