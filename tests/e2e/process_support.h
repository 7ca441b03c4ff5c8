// Test support: the command started without a shell, with its environment and standard
// streams as a user's session or job scheduler may leave them.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vsf::test {

struct Start {
  std::vector<std::string> args = {};                                 // after the command's name
  std::vector<std::pair<std::string, std::string>> environment = {};  // set, an empty value too
  std::vector<std::string> unset = {};  // removed from the environment
  std::vector<int> closed = {};         // standard descriptors (0 to 2) the command starts without
  std::string input = "/dev/null";      // standard input, unless closed
  std::string directory = {};           // the working directory; empty: this process's
};

struct Ended {
  int status = -1;          // the exit status; -1 when it did not start or ended by a signal
  std::string output, log;  // standard output and standard error
};

// Runs the command as started and waits for its end.
Ended runStarted(const Start& start);

// A path that PATH, LD_LIBRARY_PATH and LD_PRELOAD can carry: they split at colons, and
// LD_PRELOAD at blanks too, which a checkout's path may hold. The path itself where it holds
// neither, else this process's descriptor of it, open while the tests run.
std::string carriedPath(const std::string& path);

}  // namespace vsf::test
