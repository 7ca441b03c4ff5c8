// Our host's data-set services (the HostDsFamily is kDsFamily in host/session.h).
#pragma once

#include <string>
#include <string_view>

namespace vsf::host {

// Why a variable of a data set the step reads is character when most of its values are
// numbers: the first value that is not one, where it is, and how to mend it. Empty for any
// other variable.
std::string strayCellHint(std::string_view variable);

// Called by the step runner after every step: discards output data sets not closed (their
// files never appear), closes the readers and deletes the step's binary copies.
void closeStepDataSets();

}  // namespace vsf::host
