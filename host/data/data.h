// Our host's data-set services (the HostDsFamily is kDsFamily in host/session.h).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vsf::host {

// The longest a variable name can be, in bytes: a longer name on a CSV file's first line is
// cut to it, and a longer name in a program names no variable.
inline constexpr size_t kNameLimit = 32;

// Why a variable of a data set the step reads is character when most of its values are
// numbers: the first value that is not one, where it is, and how to mend it. Empty for any
// other variable.
std::string strayCellHint(std::string_view variable);

// Why a name that names no variable cannot: it is longer than a variable name can be (and the
// variable a CSV file's first line gave that name is read under its cut name). Empty for a
// name short enough.
std::string longNameHint(std::string_view name);

// Called by the step runner after every step: discards output data sets not closed (their
// files never appear), closes the readers and deletes the step's binary copies.
void closeStepDataSets();

}  // namespace vsf::host
