#include "common/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

namespace vsf::test {

std::string fileText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

char fileKind(const std::filesystem::path& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return '-';
  if (S_ISLNK(st.st_mode)) return 'l';
  if (S_ISFIFO(st.st_mode)) return 'p';
  if (S_ISCHR(st.st_mode)) return 'c';
  return S_ISDIR(st.st_mode) ? 'd' : 'f';
}

std::string quotedInProgram(const std::string& path) {
  const char quote = path.find('\'') == std::string::npos ? '\'' : '"';
  return quote + path + quote;
}

std::filesystem::path ownTempPath(const std::string& name) {
  return std::filesystem::temp_directory_path() / (name + "_" + std::to_string(::getpid()));
}

ScratchDir::ScratchDir(const std::string& stem) {
  std::string pattern = (std::filesystem::temp_directory_path() / (stem + "_XXXXXX")).string();
  if (::mkdtemp(pattern.data())) path_ = pattern;
  EXPECT_FALSE(path_.empty()) << "cannot make a directory like " << pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

// Right below the temporary directory, as the tests' paths were before they were the process's
// own: the comparison of two builds' outputs reads that part of a path as the one that varies.
std::filesystem::path processScratch(const std::string& name) {
  struct Made {
    pid_t owner = ::getpid();  // a forked child leaves them to its parent
    std::set<std::filesystem::path> paths;
    ~Made() {
      std::error_code ec;
      if (::getpid() == owner)
        for (const auto& p : paths) std::filesystem::remove_all(p, ec);
    }
  };
  static Made made;
  const std::filesystem::path p = ownTempPath(name);
  made.paths.insert(p);
  return p;
}

// One of our own shows, as root, that a write never turns a device into a file; /dev/full
// itself could not be replaced by anyone but root.
std::filesystem::path fullDevice(const std::filesystem::path& dir) {
  const std::filesystem::path own = dir / "full";
  if (::geteuid() == 0 && ::mknod(own.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0) return own;
  return "/dev/full";
}

}  // namespace vsf::test
