// The loader of the sibling modules that serve CODE and STORE. None is part of this program:
// a module is found only when its initialiser was registered under its name.
#include <map>
#include <mutex>
#include <string>

#include "frame/bridge.h"

namespace vsf {

namespace {

struct Registry {
  std::mutex lock;
  std::map<std::string, BridgeInitialiser> modules;  // a handle is the address of an entry
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

void bridgeModuleRegister(const char* name, BridgeInitialiser initialiser) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  if (initialiser)
    r.modules[name] = initialiser;
  else
    r.modules.erase(name);
}

int bridgeModuleLoad(const char* name, void** handle) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  auto it = r.modules.find(name);
  if (it == r.modules.end()) return 1;
  *handle = &*it;
  return 0;
}

int bridgeModuleInterface(void* handle, BridgeInitialiser* initialiser) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  for (auto& entry : r.modules) {
    if (static_cast<void*>(&entry) != handle) continue;
    *initialiser = entry.second;
    return 0;
  }
  return 1;
}

}  // namespace vsf
