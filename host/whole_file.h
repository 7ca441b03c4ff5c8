// Files written whole or not at all: through a temporary file beside the target, renamed over
// it once complete.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vsf::host {

// A name for a temporary file in the target's directory, unique to this process.
std::filesystem::path temporaryBeside(const std::filesystem::path& target);

// Writes the text to the target through a temporary file beside it. On failure the previous
// file is untouched, no temporary file remains, and *error says why (the system's reason).
bool writeFileWhole(const std::filesystem::path& target, std::string_view text, std::string* error);

}  // namespace vsf::host
