// Selection services that have no work to do until the candidate table and the result stream
// exist.
#include "frame/host/status.h"
#include "selection/selection.h"

namespace vsf {

int buildCandidateTable(VsfState*, HostPool*) { return 0; }
int buildParmCandidateTable(VsfState*, HostPool*) { return 0; }
void refreshCandidateTable(VsfState*) {}
int writeResultHeader(SelectionState*) { return 0; }
int readStepHistory(SelectionState*) { return rc::kHistory; }

}  // namespace vsf
