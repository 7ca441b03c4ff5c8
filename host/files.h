// Files the host makes for a step.
#pragma once

#include <cstdio>

#include "frame/host/families.h"

namespace vsf::host {

// Removes every scratch file of the step still present (the step ended early).
void removeStepFiles();

// A file of the host's own in the UTILPATH directory, opened for reading and writing and gone
// from the directory at once (it disappears when closed); null when it cannot be made.
std::FILE* anonymousFile();

// Runs a request that calls the procedure back (hostCallbackRun): the sort of records.
int runCallbackRequest(HostCallbackRecord* record);

}  // namespace vsf::host
