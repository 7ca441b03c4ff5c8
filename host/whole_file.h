// Files written whole or not at all: through a temporary file beside the target, renamed over
// it once complete. The target is looked at first, so that nothing but a regular file is ever
// replaced: a symbolic link is followed (its file is replaced, the link stays), a FIFO or a
// character device is written in place, and anything else is refused.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace vsf::host {

// The file a write to the name goes to: its symbolic links followed (the name itself when a
// link cannot be read).
std::filesystem::path linkTarget(const std::filesystem::path& name);

// A file being written whole. Nothing is made on disk until open(); a failed or abandoned
// write leaves the target as it was and no temporary file.
class WholeFile {
 public:
  WholeFile() = default;
  WholeFile(const WholeFile&) = delete;
  WholeFile& operator=(const WholeFile&) = delete;
  ~WholeFile() { discard(); }

  // Looks at the target: false and *error (naming it and the reason) when it cannot be written
  // (a directory, socket, block device, a loop of links, a file we may not write). Removes the
  // temporary files that runs no longer running left beside it. A file replaced keeps its
  // permission bits; a new one takes the umask.
  bool prepare(const std::filesystem::path& target, std::string* error);
  // The file that will be written: the target with its links followed.
  const std::filesystem::path& file() const { return file_; }
  // Written in place (a FIFO or a character device): no temporary file, no rename.
  bool inPlace() const { return inPlace_; }

  // Opens the file being written unless open; false with errno set. A FIFO waits for its reader.
  bool open();
  int fd() const { return fd_; }
  // Puts the written file in place; false with errno set (the temporary file is then gone).
  bool commit();
  // Closes and removes what was written (nothing for a file written in place).
  void discard();

 private:
  void closeHeld();

  std::filesystem::path file_, temporary_;
  bool inPlace_ = false;
  int keptMode_ = -1;  // the permission bits of the file replaced; -1 for a new file
  int fd_ = -1;
  int held_ = -1;  // the same open file, holding its lock until the rename
};

// Writes the text to the target whole. On failure the previous file is untouched, no temporary
// file remains, and *error says why (the system's reason).
bool writeFileWhole(const std::filesystem::path& target, std::string_view text, std::string* error);
// The same with the text written in pieces by `write` to the file descriptor it is given; it
// returns 0, or the errno of the write that failed.
bool writeFileWhole(const std::filesystem::path& target, const std::function<int(int fd)>& write,
                    std::string* error);

// Whether files can be made in the directory, tried with a file of its own that is removed at
// once: 0, or the errno of the failed try.
int canMakeFilesIn(const std::filesystem::path& directory);

// Writes all of the bytes; the errno of the failed write, or 0.
int writeFully(int fd, std::string_view data);

// The reason of a failed write as the system says it.
std::string failureReason(int error);

// How a message names a write's target: the name, and the file its links lead to when that is
// another ("o.csv, a link to /data/o.csv").
std::string targetShown(const std::filesystem::path& target, const std::filesystem::path& file);
// What a message says of a write to the target (whose links lead to `file`) that failed with the
// error: the target and the reason, and the file's directory as the cause when the failure was
// to make the file there (`making`) or the directory refused it (EACCES, EPERM, EROFS: the
// file's own permission is looked at before anything is written).
std::string writeFault(const std::filesystem::path& target, const std::filesystem::path& file,
                       int error, bool making = false);

// Whether the target can be written, looked at before anything is: false, with the error, when
// WholeFile::prepare refuses it or no file can be made in its directory.
bool targetWritable(const std::filesystem::path& target, std::string* error);

}  // namespace vsf::host
