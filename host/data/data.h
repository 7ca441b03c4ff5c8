// Our host's data-set services (the HostDsFamily is kDsFamily in host/session.h).
#pragma once

namespace vsf::host {

// Called by the step runner after every step: discards output data sets not closed (their
// files never appear), closes the readers and deletes the step's binary copies.
void closeStepDataSets();

}  // namespace vsf::host
