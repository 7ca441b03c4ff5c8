// Files the host makes for a step.
#pragma once

namespace vsf::host {

// Removes every scratch file of the step still present (the step ended early).
void removeStepFiles();

}  // namespace vsf::host
