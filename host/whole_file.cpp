#include "host/whole_file.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/files.h"

namespace vsf::host {

namespace {

std::atomic<int> gTemporaryCounter{0};

constexpr int kMostLinks = 40;  // as the system's own limit on links followed

// The process number of one of our temporary names (".NAME.PID.N.tmp"), and NAME; 0 for any
// other name.
long temporaryOwner(const std::string& name, std::string* target) {
  if (name.size() < 9 || name[0] != '.' || name.compare(name.size() - 4, 4, ".tmp") != 0) return 0;
  const size_t counterDot = name.rfind('.', name.size() - 5);
  if (counterDot == std::string::npos || counterDot < 2) return 0;
  const size_t pidDot = name.rfind('.', counterDot - 1);
  if (pidDot == std::string::npos || pidDot < 2) return 0;
  auto digits = [&](size_t from, size_t to) {
    if (to <= from) return false;
    for (size_t i = from; i < to; ++i)
      if (name[i] < '0' || name[i] > '9') return false;
    return true;
  };
  if (!digits(pidDot + 1, counterDot) || !digits(counterDot + 1, name.size() - 4)) return 0;
  *target = name.substr(1, pidDot - 1);
  return std::strtol(name.c_str() + pidDot + 1, nullptr, 10);
}

// A run killed while writing leaves its temporary file (never a file under the final name):
// the next write into the directory removes those of the target and of the data sets beside
// it whose process is gone.
void removeStaleTemporaries(const std::filesystem::path& file) {
  const std::string own = file.filename().string();
  // A bare name lies in the working directory.
  const std::filesystem::path dir = file.has_parent_path() ? file.parent_path() : ".";
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(dir, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    std::string target;
    const long pid = temporaryOwner(it->path().filename().string(), &target);
    const bool ours = target == own || (target.size() > 4 && target.ends_with(".csv"));
    if (pid <= 0 || !ours || pid == ::getpid()) continue;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      std::error_code ignored;
      std::filesystem::remove(it->path(), ignored);
    }
  }
}

// The file a name stands for: its symbolic links followed, a link relative to its directory.
bool followLinks(std::filesystem::path p, std::filesystem::path* out, int* error) {
  for (int hops = 0;; ++hops) {
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    if (hops == kMostLinks) {
      *error = ELOOP;
      return false;
    }
    std::error_code ec;
    std::filesystem::path to = std::filesystem::read_symlink(p, ec);
    if (ec) {
      *error = ec.value();
      return false;
    }
    p = to.is_absolute() ? to : p.parent_path() / to;
  }
  *out = p;
  return true;
}

// Why the file may not be written, as the system says it (EACCES, EROFS), or 0. A privileged
// user passes the system's check, but a file with no write bit is not replaced even for one.
int writeRefusal(const std::filesystem::path& file, const struct stat& st) {
  if (::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0) return errno;
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 ? 0 : EACCES;
}

}  // namespace

std::filesystem::path linkTarget(const std::filesystem::path& name) {
  std::filesystem::path file;
  int reason = 0;
  return followLinks(name, &file, &reason) ? file : name;
}

std::filesystem::path temporaryBeside(const std::filesystem::path& target) {
  return target.parent_path() /
         fmt::format(".{}.{}.{}.tmp", target.filename().string(), ::getpid(), gTemporaryCounter++);
}

int canMakeFilesIn(const std::filesystem::path& directory) {
  const std::filesystem::path probe = temporaryBeside(directory / "probe");
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  ::close(fd);
  ::unlink(probe.c_str());
  return 0;
}

int writeFully(int fd, std::string_view data) {
  for (size_t done = 0; done < data.size();) {
    const ssize_t w = ::write(fd, data.data() + done, data.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) return errno;
    if (w == 0) return EIO;  // nothing written and no reason given
    done += static_cast<size_t>(w);
  }
  return 0;
}

std::string failureReason(int error) {
  return error == 0 ? "no reason given" : std::strerror(error);
}

bool WholeFile::prepare(const std::filesystem::path& target, std::string* error) {
  discard();
  int reason = 0;
  if (!followLinks(target, &file_, &reason)) {
    *error = fmt::format("cannot write {} ({})", target.string(), failureReason(reason));
    return false;
  }
  struct stat st;
  inPlace_ = false;
  keptMode_ = -1;
  const bool exists = ::stat(file_.c_str(), &st) == 0;
  if (exists && S_ISREG(st.st_mode)) {
    if (const int refusal = writeRefusal(file_, st); refusal != 0) {
      *error = fmt::format("cannot write {} ({})", target.string(), failureReason(refusal));
      return false;
    }
    keptMode_ = static_cast<int>(st.st_mode & 0777);
  } else if (exists) {
    inPlace_ = S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode);
    if (!inPlace_) {
      const char* kind = S_ISDIR(st.st_mode)    ? "a directory"
                         : S_ISBLK(st.st_mode)  ? "a block device"
                         : S_ISSOCK(st.st_mode) ? "a socket"
                                                : "a special file";
      *error = fmt::format("cannot write {}: it is {}, not a file", target.string(), kind);
      return false;
    }
  }
  if (!inPlace_) removeStaleTemporaries(file_);
  return true;
}

bool WholeFile::open() {
  if (fd_ >= 0) return true;
  if (file_.empty()) {
    errno = ENOENT;
    return false;
  }
  if (inPlace_) {
    fd_ = ::open(file_.c_str(), O_WRONLY | O_CLOEXEC);
    return fd_ >= 0;
  }
  temporary_ = temporaryBeside(file_);
  // Never wider than the replaced file's bits, not even while being written.
  const mode_t mode = keptMode_ >= 0 ? static_cast<mode_t>(keptMode_) : 0666;
  fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd_ < 0) {
    temporary_.clear();
    return false;
  }
  trackFile(temporary_);
  // The umask may have taken bits the replaced file has.
  if (keptMode_ >= 0 && ::fchmod(fd_, static_cast<mode_t>(keptMode_)) != 0) {
    const int reason = errno;
    discard();
    errno = reason;
    return false;
  }
  return true;
}

bool WholeFile::commit() {
  if (!open()) return false;
  // A full disk may only show at the flush; a FIFO or device has nothing to flush.
  bool ok = inPlace_ || ::fdatasync(fd_) == 0;
  int reason = errno;
  if (::close(fd_) != 0 && ok) ok = false, reason = errno;
  fd_ = -1;
  if (ok && !inPlace_ && ::rename(temporary_.c_str(), file_.c_str()) != 0)
    ok = false, reason = errno;
  if (!ok) {
    discard();
    errno = reason;
    return false;
  }
  if (!temporary_.empty()) untrackFile(temporary_);
  temporary_.clear();
  return true;
}

void WholeFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (temporary_.empty()) return;
  ::unlink(temporary_.c_str());
  untrackFile(temporary_);
  temporary_.clear();
}

bool writeFileWhole(const std::filesystem::path& target, std::string_view text,
                    std::string* error) {
  WholeFile f;
  if (!f.prepare(target, error)) return false;
  int reason = f.open() ? writeFully(f.fd(), text) : errno;
  if (reason == 0) {
    if (f.commit()) return true;
    reason = errno;
  }
  f.discard();
  *error = fmt::format("cannot write {} ({})", target.string(), failureReason(reason));
  return false;
}

}  // namespace vsf::host
