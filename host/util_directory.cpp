#include "host/util_directory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "host/session.h"
#include "host/whole_file.h"

namespace vsf::host {

UtilPlace utilPlace() {
  const std::filesystem::path& option = session().options.utilPath;
  if (!option.empty()) return {option, ""};
  for (const char* variable : {"TMPDIR", "TMP", "TEMP", "TEMPDIR"})
    if (const char* value = std::getenv(variable); value && *value) return {value, variable};
  return {"/tmp", ""};
}

std::filesystem::path utilDirectory() { return utilPlace().directory; }

namespace {

// 0 when files can be made in the directory, else the reason.
int unusable(const std::filesystem::path& directory) {
  struct stat st;
  if (::stat(directory.c_str(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  return ::access(directory.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

}  // namespace

std::string utilDirectoryFault() {
  const UtilPlace place = utilPlace();
  const int reason = unusable(place.directory);
  if (reason == 0) return {};
  std::string where = "\"" + place.directory.string() + "\"";
  if (place.directory.is_relative()) {
    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);
    if (!ec) where += " (relative to the current directory " + here.string() + ")";
  }
  const std::string why = " cannot be used (" + failureReason(reason) +
                          "): the step's utility files are made there, so the step does not run. ";
  if (!session().options.utilPath.empty())
    return "The UTILPATH directory " + where + why +
           "Name another with --utilpath or OPTIONS UTILPATH=.";
  const std::string named = place.variable.empty() ? " (no TMPDIR, TMP, TEMP or TEMPDIR names one)"
                                                   : ", which " + place.variable + " names,";
  return "The temporary directory " + where + named + why + "Set " +
         (place.variable.empty() ? std::string("TMPDIR") : place.variable) +
         " to a directory you can write, or name one with --utilpath or OPTIONS UTILPATH=.";
}

}  // namespace vsf::host
