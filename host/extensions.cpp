// The extension loader and the small extensions: path lookup (hxtools) and search trees
// (hxbtree).
#include "host/extensions.h"

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "frame/host/status.h"
#include "host/files.h"
#include "host/util_directory.h"

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
    std::filesystem::path dir = utilDirectory();
    if (!checkDirectory(dir, DirectoryCheck::kExists)) return static_cast<int>(hs::kNvWrongType);
    *path = dir.string();
    return 0;
  }
};

// A tree ordered by the caller's comparator over the keys inside its nodes.
class Tree final : public SearchTree {
 public:
  Tree(int keyBytes, int keyOffset, NodeCompare compare)
      : nodes_(Less{keyBytes, keyOffset, compare}) {}
  void* insert(void* node) override { return *nodes_.insert(node).first; }
  void* find(const void* probe) const override {
    auto it = nodes_.find(const_cast<void*>(probe));
    return it == nodes_.end() ? nullptr : *it;
  }
  int64_t size() const override { return static_cast<int64_t>(nodes_.size()); }
  int walk(int (*visit)(void*, void*), void* context) const override {
    for (void* node : nodes_)
      if (int rc = visit(node, context); rc != 0) return rc;
    return 0;
  }
  void clear() override { nodes_.clear(); }
  void release() override { delete this; }

 private:
  struct Less {
    int keyBytes, keyOffset;
    NodeCompare compare;
    bool operator()(const void* a, const void* b) const {
      return compare(a, b, keyBytes, keyOffset) < 0;
    }
  };
  std::set<void*, Less> nodes_;
};

class Btree final : public HxBtree {
 public:
  std::string_view name() const override { return "hxbtree"; }
  void release() override { delete this; }
  SearchTree* createTree(int keyBytes, int keyOffset, NodeCompare compare) override {
    if (!compare || keyBytes < 0 || keyOffset < 0) return nullptr;
    return new Tree(keyBytes, keyOffset, compare);
  }
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

}  // namespace vsf::host
