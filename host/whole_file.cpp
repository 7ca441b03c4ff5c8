#include "host/whole_file.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "host/files.h"

namespace vsf::host {

namespace {

std::atomic<int> gTemporaryCounter{0};

}  // namespace

std::filesystem::path temporaryBeside(const std::filesystem::path& target) {
  return target.parent_path() /
         fmt::format(".{}.{}.{}.tmp", target.filename().string(), ::getpid(), gTemporaryCounter++);
}

bool writeFileWhole(const std::filesystem::path& target, std::string_view text,
                    std::string* error) {
  const std::filesystem::path temporary = temporaryBeside(target);
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  bool ok = fd >= 0;
  if (ok) trackFile(temporary);
  for (size_t done = 0; ok && done < text.size();) {
    const ssize_t w = ::write(fd, text.data() + done, text.size() - done);
    if (w < 0 && errno == EINTR) continue;
    ok = w > 0;
    if (ok) done += static_cast<size_t>(w);
  }
  // A full disk may only show at the flush.
  if (ok) ok = ::fsync(fd) == 0;
  int reason = errno;
  if (fd >= 0 && ::close(fd) != 0 && ok) ok = false, reason = errno;
  if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) ok = false, reason = errno;
  if (fd >= 0) {
    if (!ok) ::unlink(temporary.c_str());
    untrackFile(temporary);
  }
  if (!ok)
    *error = fmt::format("cannot write {} ({})", target.string(),
                         reason == 0 ? "a short write" : std::strerror(reason));
  return ok;
}

}  // namespace vsf::host
