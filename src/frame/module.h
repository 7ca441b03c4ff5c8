// The module's entry points: what the host calls to load the procedure and to run a step.
#pragma once

#include "frame/host/host_vector.h"

namespace vsf {

// The image-information block returned by mcn_main.
extern const char kImageInformation[];

// Keeps the host's vectors; the image-information block, or null when the vector lacks a
// family (the module cannot run on such a host).
const char* mcn_main(const HostVector* hostVector, void* hostValue);
// Fills the host's version record, whose first word leads to the module descriptor.
void hxvercn1(VersionRecord* record);
// One procedure step; the host calls it through the module descriptor.
void runProcedure();

}  // namespace vsf
