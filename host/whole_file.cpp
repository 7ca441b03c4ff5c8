#include "host/whole_file.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "host/faults.h"
#include "host/files.h"

namespace vsf::host {

namespace {

constexpr int kMostLinks = 40;  // as the system's own limit on links followed
constexpr int kLockTries = 10;  // new temporary files taken by other runs' clean-up in a row

// The mark in the name of every temporary file this program makes beside a target,
// ".NAME.varsifter-XXXXXX.tmp" (six random letters or digits): a user's file is not so named,
// so the clean-up never takes one.
constexpr std::string_view kTemporaryMark = ".varsifter-";
constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr size_t kDrawnLetters = 6;

// NAME of one of our temporary names; false for any other name.
bool temporaryOf(std::string_view name, std::string* target) {
  const size_t tail = kTemporaryMark.size() + kDrawnLetters + kTemporarySuffix.size();
  if (name.size() <= tail + 1 || name[0] != '.' || !name.ends_with(kTemporarySuffix)) return false;
  const std::string_view mark = name.substr(name.size() - tail, kTemporaryMark.size());
  const std::string_view drawn = name.substr(name.size() - tail + mark.size(), kDrawnLetters);
  if (mark != kTemporaryMark ||
      !std::all_of(drawn.begin(), drawn.end(), [](unsigned char c) { return std::isalnum(c); }))
    return false;
  *target = std::string(name.substr(1, name.size() - tail - 1));
  return true;
}

bool sameFile(int fd, const std::filesystem::path& name) {
  struct stat held, named;
  return ::fstat(fd, &held) == 0 && ::lstat(name.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

// Removes a left temporary file unless a live run is writing it: a writer holds the lock of
// its file until it is renamed into place. No process number is trusted: a killed run's comes
// back in a container.
void removeIfLeft(const std::filesystem::path& left) {
  if (trackedFile(left)) return;
  struct stat st;
  if (::lstat(left.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) return;
  const int fd = ::open(left.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // A link is never written through: it goes, its file stays.
    if (errno == ELOOP) ::unlink(left.c_str());
    return;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && sameFile(fd, left)) ::unlink(left.c_str());
  ::close(fd);
}

// A run killed while writing leaves its temporary file (never a file under the final name):
// the next write into the directory removes those of the target and of the data sets beside
// it that no live run is writing.
void removeStaleTemporaries(const std::filesystem::path& file) {
  const std::string own = file.filename().string();
  // A bare name lies in the working directory.
  const std::filesystem::path dir = file.has_parent_path() ? file.parent_path() : ".";
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(dir, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::string target;
    if (!temporaryOf(name, &target)) continue;
    if (target == own || (target.size() > 4 && target.ends_with(".csv")))
      removeIfLeft(file.parent_path() / name);  // named as its writer names it
  }
}

// The temporary file of a target, locked for as long as it is written. A clean-up that took
// the new file between its making and its lock has removed it or will: another name then.
int makeLockedTemporary(const std::filesystem::path& file, mode_t mode,
                        std::filesystem::path* made) {
  const std::string prefix = "." + file.filename().string() + std::string(kTemporaryMark);
  for (int tries = 0; tries < kLockTries; ++tries) {
    const int fd = makeNewFile(file.parent_path(), prefix, kTemporarySuffix, mode, made);
    if (fd < 0) return -1;
    // Where files cannot be locked they are written unlocked, as before.
    if ((::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) && sameFile(fd, *made))
      return fd;
    ::close(fd);
    untrackFile(*made);
  }
  errno = EEXIST;
  return -1;
}

// The file a name stands for: its symbolic links followed, a link relative to its directory.
// A descriptor's link (/dev/stdout, /dev/fd/3) to a pipe or socket reads as no path
// ("pipe:[408092]"), though the system opens it: the name stops there.
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
    to = to.is_absolute() ? to : p.parent_path() / to;
    if (::lstat(to.c_str(), &st) != 0 && ::stat(p.c_str(), &st) == 0) break;
    p = to;
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

int canMakeFilesIn(const std::filesystem::path& directory) {
  std::filesystem::path probe;
  const int fd = makeNewFile(directory, ".probe.", ".tmp", 0666, &probe, NewFile::kUnnamed);
  if (fd < 0) return errno;
  ::close(fd);
  return 0;
}

int writeFully(int fd, std::string_view data) {
  if (const int e = writeFault(fd); e != 0) return e;
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

namespace {

// One of the run's own descriptors by name (/dev/stdout, /dev/fd/1, /proc/self/fd/1).
bool namesDescriptor(const std::filesystem::path& target) {
  const std::string t = target.lexically_normal().string();
  return t == "/dev/stdout" || t == "/dev/stderr" || t.starts_with("/dev/fd/") ||
         t.starts_with("/proc/self/fd/");
}

}  // namespace

std::string targetShown(const std::filesystem::path& target, const std::filesystem::path& file) {
  if (file.empty() || file == target) return target.string();
  return target.string() + ", a link to " + file.string();
}

std::string writeFault(const std::filesystem::path& target, const std::filesystem::path& file,
                       int error, bool making) {
  const std::string shown = targetShown(target, file);
  if (!making && error != EACCES && error != EPERM && error != EROFS)
    return fmt::format("{} ({})", shown, failureReason(error));
  const std::filesystem::path dir = file.has_parent_path() ? file.parent_path() : ".";
  return fmt::format("{}: no file can be made in its directory {} ({})", shown, dir.string(),
                     failureReason(error));
}

bool targetWritable(const std::filesystem::path& target, std::string* error) {
  WholeFile f;
  if (!f.prepare(target, error)) return false;
  if (f.inPlace()) return true;
  const std::filesystem::path& file = f.file();
  if (const int e = canMakeFilesIn(file.has_parent_path() ? file.parent_path() : "."); e != 0) {
    *error = "cannot write " + writeFault(target, file, e, true);
    return false;
  }
  return true;
}

bool WholeFile::prepare(const std::filesystem::path& target, std::string* error) {
  discard();
  int reason = 0;
  if (!followLinks(target, &file_, &reason)) {
    *error = "cannot write " + writeFault(target, {}, reason);
    return false;
  }
  struct stat st;
  inPlace_ = false;
  keptMode_ = -1;
  const bool exists = ::stat(file_.c_str(), &st) == 0;
  if (exists && S_ISREG(st.st_mode)) {
    // Renamed over, the file would lose what the run writes to it through the descriptor
    // (`> out.lst` with --json /dev/stdout lost the listing).
    if (namesDescriptor(target)) {
      *error = fmt::format(
          "cannot write {}: it names a descriptor of this run, open on the file {}; a document "
          "or data set goes to a file of its own, a pipe or a terminal",
          target.string(), file_.string());
      return false;
    }
    if (const int refusal = writeRefusal(file_, st); refusal != 0) {
      // The file's own refusal, not its directory's.
      *error =
          fmt::format("cannot write {} ({})", targetShown(target, file_), failureReason(refusal));
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
      *error =
          fmt::format("cannot write {}: it is {}, not a file", targetShown(target, file_), kind);
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
  // Never wider than the replaced file's bits, not even while being written.
  const mode_t mode = keptMode_ >= 0 ? static_cast<mode_t>(keptMode_) : 0666;
  fd_ = makeLockedTemporary(file_, mode, &temporary_);
  if (fd_ < 0) {
    temporary_.clear();  // the name tried is not ours
    return false;
  }
  // The lock stays with a second descriptor until the rename, past the close of the first;
  // the umask may have taken bits the replaced file has.
  held_ = ::dup(fd_);
  if (held_ < 0 || (keptMode_ >= 0 && ::fchmod(fd_, static_cast<mode_t>(keptMode_)) != 0)) {
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
  // Not after an interruption, whose clean-up removed it.
  if (ok && !inPlace_ && !renameTracked(temporary_, file_)) ok = false, reason = errno;
  if (!ok) {
    discard();
    errno = reason;
    return false;
  }
  temporary_.clear();
  closeHeld();
  return true;
}

void WholeFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) {
    removeTrackedFile(temporary_);
    temporary_.clear();
  }
  closeHeld();
}

void WholeFile::closeHeld() {
  if (held_ >= 0) ::close(held_);
  held_ = -1;
}

bool writeFileWhole(const std::filesystem::path& target, std::string_view text,
                    std::string* error) {
  return writeFileWhole(
      target, [text](int fd) { return writeFully(fd, text); }, error);
}

bool writeFileWhole(const std::filesystem::path& target, const std::function<int(int fd)>& write,
                    std::string* error) {
  WholeFile f;
  if (!f.prepare(target, error)) return false;
  const bool opened = f.open();
  const bool made = !opened && !f.inPlace();  // the file to be written could not be made
  int reason = opened ? write(f.fd()) : errno;
  if (reason == 0) {
    if (f.commit()) return true;
    reason = errno;
  }
  f.discard();
  *error = "cannot write " + writeFault(target, f.file(), reason, made);
  return false;
}

}  // namespace vsf::host
