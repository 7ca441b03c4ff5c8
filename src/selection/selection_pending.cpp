// Selection services that have no work to do until the selection engine exists.
#include "selection/selection.h"

#include "frame/module.h"

namespace vsf {

int buildCandidateTable(VsfState*, HostPool*) { return 0; }
int buildParmCandidateTable(VsfState*, HostPool*) { return 0; }
void refreshCandidateTable(VsfState*) {}
void freeSelectionState(SelectionState* sel) {
  if (sel->modelPool) {
    kernel().poolDestroy(sel->modelPool);
    sel->modelPool = nullptr;
  }
}
int writeResultHeader(SelectionState*) { return 0; }
void restoreSelectedStep(SelectionState*) {}

}  // namespace vsf
