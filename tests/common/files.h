// Files as the tests look at them: their text, their kind, their path in a program, and a full
// disk to write to.
#pragma once

#include <filesystem>
#include <string>

namespace vsf::test {

// The whole text of a file; empty when it cannot be read.
std::string fileText(const std::filesystem::path& file);

// The kind of a directory entry, links not followed: 'f' file, 'l' link, 'p' FIFO, 'c'
// character device, 'd' directory, '-' none.
char fileKind(const std::filesystem::path& path);

// A path as a program's quoted string: in single quotes, or in double quotes when it holds a
// single quote (a checkout's path may), which would end the string.
std::string quotedInProgram(const std::string& path);

// A path named `name` in the temporary directory, this process's own: copies of a test program
// run at once (as a loaded machine runs them) never share it.
std::filesystem::path ownTempPath(const std::string& name);

// A fresh directory of its own under the system's temporary directory, removed with its
// contents when the object goes.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& stem);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A path named `name` of this process's own (ownTempPath), removed with what it holds as the
// process ends.
std::filesystem::path processScratch(const std::string& name);

// A device that is always full: one made in `dir` where we may (as root), else /dev/full.
std::filesystem::path fullDevice(const std::filesystem::path& dir);

}  // namespace vsf::test
