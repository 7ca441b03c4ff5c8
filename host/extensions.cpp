// The extension loader and the small extensions: path lookup (hxtools) and search trees
// (hxbtree, whose trees the procedure builds itself).
#include "host/extensions.h"

#include <map>
#include <mutex>
#include <string>

#include "host/session.h"

namespace vsf::host {

HostExtension* makePageStreams();   // hxstream
HostExtension* makeScratchFiles();  // hxstreamx
HostExtension* makeWorkQueues();    // hxworkq
HostExtension* makeFormatter();     // hxformat
HostExtension* makeSolver();        // hxsolve

namespace {

class Tools final : public HxTools {
 public:
  std::string_view name() const override { return "hxtools"; }
  void release() override { delete this; }
  int getPathnameDirect(std::string_view pathName, std::string* path) override {
    if (pathName != "UTILPATH") return static_cast<int>(hs::kNvAbsent);
    std::error_code ec;
    std::filesystem::path dir = utilDirectory();
    if (!std::filesystem::is_directory(dir, ec)) return static_cast<int>(hs::kNvWrongType);
    *path = dir.string();
    return 0;
  }
};

class Btree final : public HostExtension {
 public:
  std::string_view name() const override { return "hxbtree"; }
  void release() override { delete this; }
};

std::mutex gMutex;
std::map<std::string, ExtensionFactory, std::less<>>& factories() {
  static std::map<std::string, ExtensionFactory, std::less<>> f = {
      {"hxtools", [] { return static_cast<HostExtension*>(new Tools); }},
      {"hxbtree", [] { return static_cast<HostExtension*>(new Btree); }},
      {"hxstream", &makePageStreams},
      {"hxstreamx", &makeScratchFiles},
      {"hxworkq", &makeWorkQueues},
      {"hxformat", &makeFormatter},
      {"hxsolve", &makeSolver},
  };
  return f;
}

std::string gRefused;

}  // namespace

void refuseExtension(std::string_view name) {
  std::lock_guard<std::mutex> lock(gMutex);
  gRefused = std::string(name);
}

HostExtension* loadExtension(std::string_view name) {
  std::lock_guard<std::mutex> lock(gMutex);
  if (!gRefused.empty() && name == gRefused) return nullptr;
  auto it = factories().find(name);
  return it == factories().end() ? nullptr : it->second();
}

void registerExtension(std::string_view name, ExtensionFactory factory) {
  std::lock_guard<std::mutex> lock(gMutex);
  factories()[std::string(name)] = factory;
}

std::filesystem::path utilDirectory() {
  const auto& opt = session().options.utilPath;
  if (!opt.empty()) return opt;
  return std::filesystem::temp_directory_path();
}

}  // namespace vsf::host
