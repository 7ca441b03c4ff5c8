// Where the run's utility and scratch files are made: the directory --utilpath or OPTIONS
// UTILPATH= names, else the system's temporary directory as the environment names it.
#pragma once

#include <filesystem>
#include <string>

namespace vsf::host {

// The directory, and the environment variable that named it (empty for the option, or for
// /tmp when no variable names a directory).
struct UtilPlace {
  std::filesystem::path directory;
  std::string variable;
};

// TMPDIR, TMP, TEMP and TEMPDIR in turn name the temporary directory; one set empty counts as
// unset, as POSIX has it, and with none /tmp is the one. Asks nothing of the file system.
UtilPlace utilPlace();
std::filesystem::path utilDirectory();

// Empty when files can be made in the directory; else the error that names the directory,
// who named it and why it cannot be used, and how to name another.
std::string utilDirectoryFault();

}  // namespace vsf::host
