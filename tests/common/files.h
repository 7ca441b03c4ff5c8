// Files as the tests look at them: their text, their kind, and a full disk to write to.
#pragma once

#include <filesystem>
#include <string>

namespace vsf::test {

// The whole text of a file; empty when it cannot be read.
std::string fileText(const std::filesystem::path& file);

// The kind of a directory entry, links not followed: 'f' file, 'l' link, 'p' FIFO, 'c'
// character device, 'd' directory, '-' none.
char fileKind(const std::filesystem::path& path);

// A device that is always full: one made in `dir` where we may (as root), else /dev/full.
std::filesystem::path fullDevice(const std::filesystem::path& dir);

}  // namespace vsf::test
