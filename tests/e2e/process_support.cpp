#include "e2e/process_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/files.h"
#include "e2e/command_support.h"

namespace vsf::test {

namespace {

// The tests run again with every command started anew for its BLAS kernels (ctest's
// e2e_restarted) have each preloaded with the stand-in that takes that start on any processor.
[[maybe_unused]] const bool gRestartedEverywhere = [] {
  if (std::getenv("VSF_E2E_RESTARTED"))
    ::setenv("LD_PRELOAD", carriedPath(VSF_GENERIC_BLAS_CORE).c_str(), 1);
  return true;
}();

std::vector<std::string> startEnvironment(const Start& start) {
  auto named = [](const std::string& entry, const std::string& name) {
    return entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 &&
           entry[name.size()] == '=';
  };
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    auto replaced = [&](const std::string& name) { return named(entry, name); };
    const bool set = std::any_of(start.environment.begin(), start.environment.end(),
                                 [&](const auto& nv) { return replaced(nv.first); });
    if (!set && std::none_of(start.unset.begin(), start.unset.end(), replaced))
      env.push_back(entry);
  }
  for (const auto& [name, value] : start.environment) env.push_back(name + "=" + value);
  return env;
}

}  // namespace

Ended runStarted(const Start& start) {
  ScratchDir streams("vsf_streams");
  const std::string out = (streams.path() / "out").string(),
                    err = (streams.path() / "err").string();
  std::vector<std::string> args = start.args, env = startEnvironment(start);
  args.insert(args.begin(), VSF_BINARY);
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  for (std::string& e : env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  posix_spawn_file_actions_t io;
  posix_spawn_file_actions_init(&io);
  const std::string* files[] = {&start.input, &out, &err};
  for (int fd = 0; fd < 3; ++fd) {
    if (std::find(start.closed.begin(), start.closed.end(), fd) != start.closed.end())
      posix_spawn_file_actions_addclose(&io, fd);
    else
      posix_spawn_file_actions_addopen(&io, fd, files[fd]->c_str(),
                                       fd == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  if (!start.directory.empty()) posix_spawn_file_actions_addchdir_np(&io, start.directory.c_str());
  Ended ended;
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, VSF_BINARY, &io, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&io);
  if (failed != 0) return ended;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ended.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  ended.output = fileText(out);
  ended.log = fileText(err);
  return ended;
}

std::string carriedPath(const std::string& path) {
  if (path.find_first_of(": ") == std::string::npos) return path;
  // Never closed: a command may read it up to the tests' end. Opened anew each time, as the
  // directory named may have been made afresh since.
  const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
  if (fd < 0) return path;
  return "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(fd);
}

}  // namespace vsf::test
