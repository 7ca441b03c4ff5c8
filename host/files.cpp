// Page files (hxstream) and scratch files (hxstreamx) in the UTILPATH directory. Every file
// the host makes for a step is removed at the end of the step, also when the step fails.
#include "host/files.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "host/faults.h"
#include "host/session.h"
#include "host/util_directory.h"
#include "host/whole_file.h"

namespace vsf::host {

namespace {

constexpr int kDefaultPage = 64 * 1024;
constexpr int kLargerPage = 256 * 1024;
constexpr int kLargestPage = 1024 * 1024;

std::mutex gFilesMutex;
std::set<std::string> gStepFiles;
std::set<std::pair<std::string, DirectoryCheck>> gCheckedDirectories;  // under gFilesMutex
std::atomic<int> gFileCounter{0};
constexpr int kNameDraws = 100;  // names drawn for a new file before giving up
HostFileFailure gFailure;        // the last failed operation not taken yet (no operation: none)
bool gStepFailed = false;        // some operation of the step failed, taken or not
bool gFilesEnded = false;        // under gFilesMutex: the run was interrupted, no file is made

// Opens a file, maybe making it, where the clean-up of an interrupted run cannot miss it: under
// its lock, refused once it has run, and tracked or unnamed before the lock is let go.
int openUnderLock(const char* path, int flags, mode_t mode, NewFile kept) {
  std::lock_guard<std::mutex> lock(gFilesMutex);
  if (gFilesEnded) {
    errno = ECANCELED;
    return -1;
  }
  const int fd = ::open(path, flags, mode);
  if (fd < 0) return -1;
  if (kept == NewFile::kUnnamed)
    ::unlink(path);
  else
    gStepFiles.insert(path);
  return fd;
}

// Writes n bytes; false with errno set (ENOSPC when the system wrote nothing and said nothing).
bool fullWrite(int fd, const void* data, size_t n, off_t at) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t w = ::pwrite(fd, p, n, at);
    if (w < 0 && errno == EINTR) continue;
    if (w == 0) errno = ENOSPC;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
    at += w;
  }
  return true;
}

// Reads n bytes; bytes past the end of the file read as zeros.
bool fullRead(int fd, void* data, size_t n, off_t at) {
  char* p = static_cast<char*>(data);
  while (n > 0) {
    ssize_t r = ::pread(fd, p, n, at);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return false;
    if (r == 0) {
      std::memset(p, 0, n);
      return true;
    }
    p += r;
    n -= static_cast<size_t>(r);
    at += r;
  }
  return true;
}

class PageFile final : public PageStream {
 public:
  ~PageFile() override { closeFile(); }
  void setPath(std::string_view directory) override { dir_ = std::string(directory); }
  void fillDefaults() override { pageSize_ = kDefaultPage; }
  int defaultPageSize() const override { return kDefaultPage; }
  int largerPageSize() const override { return kLargerPage; }
  int largestPageSize() const override { return kLargestPage; }
  void setAttributes(int pageSize, int) override { pageSize_ = pageSize; }
  void setOpenFields(int mode, int access, int writeBack) override {
    mode_ = mode;
    access_ = access;
    writeBack_ = writeBack;
  }
  // The file itself is made at the first page written: a small BY group whose blocks all stay
  // in memory makes none (making and removing files costs more than its rows).
  int open() override {
    if (opened_) return 0;  // reopening for reading keeps the same file
    if (pageSize_ <= 0) return -1;
    directory_ = dir_.empty() ? utilDirectory() : std::filesystem::path(dir_);
    prefix_ = ownFilePrefix();
    path_ = (directory_ / (prefix_ + "XXXXXX.utl")).string();  // its name until it is made
    if (!checkDirectory(directory_, DirectoryCheck::kWritable)) return fileFailed(path_, 'o');
    opened_ = true;
    return 0;
  }
  int pageLength() const override { return pageSize_; }
  void* newPageBuffer() override { return std::calloc(static_cast<size_t>(pageSize_), 1); }
  int readPage(PageDescriptor* b) override {
    if (!opened_ || b->page < 1 || pageReadFails()) return -1;
    if (!b->buffer) b->buffer = newPageBuffer();
    if (!b->buffer) return -1;
    if (fd_ < 0) {  // nothing written yet
      std::memset(b->buffer, 0, static_cast<size_t>(pageSize_));
      return 0;
    }
    return fullRead(fd_, b->buffer, pageSize_, offset(b->page)) ? 0 : fileFailed(path_, 'r');
  }
  int writePage(const PageDescriptor* b) override {
    if (!opened_ || b->page < 1 || !b->buffer) return -1;
    // Read back without write-back, the file's pages are read-only.
    if (mode_ == 1 && writeBack_ == 0) return -1;
    if (!makeFile()) return fileFailed(path_, 'o');
    return fullWrite(fd_, b->buffer, pageSize_, offset(b->page)) ? 0 : fileFailed(path_, 'w');
  }
  void releasePageBuffer(PageDescriptor* b) override {
    std::free(b->buffer);
    b->buffer = nullptr;
  }
  int commit(int closing) override {
    if (closing) closeFile();
    return 0;
  }
  void discard(int) override { closeFile(); }
  void release() override { delete this; }

 private:
  off_t offset(int64_t page) const { return static_cast<off_t>(page - 1) * pageSize_; }
  bool makeFile() {
    if (fd_ >= 0) return true;
    std::filesystem::path made;
    // Gone with the last descriptor, whatever happens to the step.
    fd_ = makeNewFile(directory_, prefix_, ".utl", 0600, &made, NewFile::kUnnamed);
    path_ = made.string();
    return fd_ >= 0;
  }
  void closeFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    opened_ = false;
  }
  std::string dir_, path_;
  std::filesystem::path directory_;
  std::string prefix_;
  bool opened_ = false;
  int pageSize_ = kDefaultPage;
  int fd_ = -1;
  int mode_ = 0, access_ = 4, writeBack_ = 0;
};

class PageStreams final : public HxStream {
 public:
  std::string_view name() const override { return "hxstream"; }
  void release() override { delete this; }
  PageStream* createStream() override { return new PageFile; }
};

// Unnamed scratch files released in a step wait for the next one asked for in their directory,
// which reads none of what they hold: a BY step asks for one a group, and making a file (or
// emptying one) cost more than a small group.
struct KeptScratch {
  std::string directory;
  int fd = -1;
  std::string path;  // the name it had
};
constexpr size_t kKeptScratch = 8;
std::vector<KeptScratch> gKeptScratch;  // under gFilesMutex

bool keepScratch(KeptScratch kept) {
  std::lock_guard<std::mutex> lock(gFilesMutex);
  if (gKeptScratch.size() >= kKeptScratch) return false;
  gKeptScratch.push_back(std::move(kept));
  return true;
}

bool takeScratch(const std::string& directory, KeptScratch* out) {
  std::lock_guard<std::mutex> lock(gFilesMutex);
  for (auto it = gKeptScratch.begin(); it != gKeptScratch.end(); ++it)
    if (it->directory == directory) {
      *out = std::move(*it);
      gKeptScratch.erase(it);
      return true;
    }
  return false;
}

class Scratch final : public ScratchFileObject {
 public:
  // `directory`: where an unnamed file was made, which may be kept for the next.
  Scratch(int fd, std::string path, std::string directory = {})
      : fd_(fd), path_(std::move(path)), directory_(std::move(directory)) {}
  ~Scratch() override {
    if (fd_ >= 0 && !(!directory_.empty() && keepScratch({directory_, fd_, path_}))) ::close(fd_);
  }
  int seek(int64_t position) override {
    if (position < 0) return -1;
    pos_ = position;
    return 0;
  }
  int write(const void* data, int64_t length) override {
    if (!fullWrite(fd_, data, static_cast<size_t>(length), static_cast<off_t>(pos_)))
      return fileFailed(path_, 'w');
    pos_ += length;
    end_ = std::max(end_, pos_);
    return 0;
  }
  int read(void* data, int64_t length) override {
    // A read past the end of what was written is a failure: the stream is corrupt. A kept file
    // may hold more, which an earlier user wrote.
    if (pos_ >= end_) return -1;  // past the end: nothing to say of the file
    if (pos_ + length > end_) return fileShorter(path_);
    if (!fullRead(fd_, data, static_cast<size_t>(length), static_cast<off_t>(pos_)))
      return fileFailed(path_, 'r');
    pos_ += length;
    return 0;
  }
  void release() override { delete this; }

 private:
  int fd_;
  std::string path_, directory_;
  int64_t pos_ = 0;
  int64_t end_ = 0;  // of what this object wrote
};

class ScratchFiles final : public HxStreamX {
 public:
  std::string_view name() const override { return "hxstreamx"; }
  void release() override { delete this; }
  ScratchFileObject* open(std::string_view path, std::string_view, uint32_t* status) override {
    std::string p(path);
    // A directory asks for a file of its own in it, gone with its last descriptor; one kept
    // from the directory's last serves first, without asking the file system again.
    KeptScratch kept;
    if (takeScratch(p, &kept)) {
      if (status) *status = 0;
      return new Scratch(kept.fd, kept.path, p);
    }
    std::error_code ec;
    bool anonymous = std::filesystem::is_directory(p, ec);
    int fd = -1;
    std::string directory;
    if (anonymous) {
      directory = p;
      std::filesystem::path made;
      fd = makeNewFile(p, ownFilePrefix(), ".tmp", 0600, &made, NewFile::kUnnamed);
      p = made.string();
    } else {
      // A name the caller chose: never written through a link planted there.
      fd = openUnderLock(p.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600,
                         NewFile::kTracked);
    }
    if (fd < 0) {
      if (status) *status = static_cast<uint32_t>(-errno);
      fileFailed(p, 'o');
      return nullptr;
    }
    if (status) *status = 0;
    return new Scratch(fd, p, directory);  // a named file's directory is empty: not kept
  }
  int deleteByPath(std::string_view path) override {
    std::string p(path);
    untrackFile(p);
    std::error_code ec;
    std::filesystem::remove(p, ec);
    return ec ? -1 : 0;
  }
};

}  // namespace

int makeNewFile(const std::filesystem::path& directory, std::string_view prefix,
                std::string_view suffix, mode_t mode, std::filesystem::path* made, NewFile kept) {
  static constexpr char kDrawn[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 draw = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }();
  for (int tries = 0; tries < kNameDraws; ++tries) {
    std::string name(prefix);
    for (int i = 0; i < 6; ++i) name += kDrawn[draw() % (sizeof kDrawn - 1)];
    *made = directory / name.append(suffix);
    beforeNewFile(*made);
    const int fd = openUnderLock(made->c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                 mode, kept);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;  // every name drawn was taken: errno says so
}

std::string ownFilePrefix() { return fmt::format("vsf_{}_{}_", ::getpid(), gFileCounter++); }

HostExtension* makePageStreams() { return new PageStreams; }
HostExtension* makeScratchFiles() { return new ScratchFiles; }

std::FILE* anonymousFile(std::string* named) {
  // Never made here: a directory the environment names but that is not there is the user's to
  // mend.
  std::filesystem::path dir = utilDirectory();
  std::filesystem::path made;
  const int fd = makeNewFile(dir, ownFilePrefix(), "", 0600, &made, NewFile::kUnnamed);
  const std::string path = made.string();
  if (fd < 0) {
    fileFailed(path, 'o');
    return nullptr;
  }
  if (named) *named = path;
  std::FILE* f = ::fdopen(fd, "w+b");
  if (!f) {
    fileFailed(path, 'o');
    ::close(fd);
  }
  return f;
}

int fileFailed(const std::string& path, char operation, std::string reason) {
  if (reason.empty()) reason = failureReason(errno);
  std::lock_guard<std::mutex> lock(gFilesMutex);
  gFailure = {path, operation, std::move(reason)};
  gStepFailed = true;
  return -1;
}

int fileShorter(const std::string& path) {
  return fileFailed(path, 'r', "the file is shorter than what was written to it");
}

bool takeFileFailure(HostFileFailure* out) {
  std::lock_guard<std::mutex> lock(gFilesMutex);
  if (gFailure.operation == 0) return false;
  *out = std::move(gFailure);
  gFailure = HostFileFailure();
  return true;
}

bool stepFileFailed() {
  std::lock_guard<std::mutex> lock(gFilesMutex);
  return gStepFailed;
}

void trackFile(const std::filesystem::path& path) {
  std::lock_guard<std::mutex> lock(gFilesMutex);
  gStepFiles.insert(path.string());
}

void untrackFile(const std::filesystem::path& path) {
  std::lock_guard<std::mutex> lock(gFilesMutex);
  gStepFiles.erase(path.string());
}

void removeTrackedFile(const std::filesystem::path& path) {
  std::lock_guard<std::mutex> lock(gFilesMutex);
  ::unlink(path.c_str());
  gStepFiles.erase(path.string());
}

bool trackedFile(const std::filesystem::path& path) {
  std::lock_guard<std::mutex> lock(gFilesMutex);
  return gStepFiles.count(path.string()) != 0;
}

bool checkDirectory(const std::filesystem::path& directory, DirectoryCheck check) {
  std::pair<std::string, DirectoryCheck> key{directory.string(), check};
  {
    std::lock_guard<std::mutex> lock(gFilesMutex);
    if (gCheckedDirectories.contains(key)) return true;
  }
  bool yes = false;
  if (check == DirectoryCheck::kWritable) {
    yes = ::access(key.first.c_str(), W_OK | X_OK) == 0;
  } else {
    std::error_code ec;
    yes = std::filesystem::is_directory(directory, ec);
    if (!yes) errno = ec ? ec.value() : ENOTDIR;
  }
  if (!yes) return false;
  std::lock_guard<std::mutex> lock(gFilesMutex);
  gCheckedDirectories.insert(std::move(key));
  return true;
}

namespace {

// The end of a step's files, or of the run's.
void removeStepFilesLocked() {
  gFailure = HostFileFailure();
  gStepFailed = false;
  for (const KeptScratch& k : gKeptScratch) ::close(k.fd);
  gKeptScratch.clear();
  gCheckedDirectories.clear();
  for (const std::string& p : gStepFiles) {
    std::error_code ec;
    std::filesystem::remove(p, ec);
  }
  gStepFiles.clear();
}

}  // namespace

bool renameTracked(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::lock_guard<std::mutex> lock(gFilesMutex);
  if (gFilesEnded) {
    errno = ECANCELED;
    return false;
  }
  if (::rename(from.c_str(), to.c_str()) != 0) return false;
  gStepFiles.erase(from.string());
  return true;
}

void endFiles() {
  std::lock_guard<std::mutex> lock(gFilesMutex);
  gFilesEnded = true;
  removeStepFilesLocked();
}

void removeStepFiles() {
  std::lock_guard<std::mutex> lock(gFilesMutex);
  removeStepFilesLocked();
}

}  // namespace vsf::host
