// Our host's extensions and their loader.
#pragma once

#include <string_view>

#include "frame/host/extensions.h"

namespace vsf::host {

HostExtension* loadExtension(std::string_view name);

// Makes the loader refuse an extension by name (empty: refuse none); for tests of the
// procedure's failure paths.
void refuseExtension(std::string_view name);

// Registers another extension factory (used by host parts built later).
using ExtensionFactory = HostExtension* (*)();
void registerExtension(std::string_view name, ExtensionFactory factory);

}  // namespace vsf::host
