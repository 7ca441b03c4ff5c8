// Statement phases of the step; they read nothing until the statement grammar exists.
#include "frame/phases.h"
#include "frame/state.h"

namespace vsf {

void startStepContext(VsfState*) {}
int readStatements(VsfState*) { return 0; }
void bridgeGroupHook(VsfState*) {}
void bridgeClose(VsfState* state) { state->bridge = nullptr; }

}  // namespace vsf
