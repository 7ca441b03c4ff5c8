// Test support: loads the procedure against our host (or a stand-in vector) as the command does.
#pragma once

#include <stdexcept>
#include <string>

#include "frame/module.h"
#include "host/session.h"

namespace vsf::test {

// The module's entry points in their order; throws when the module refuses the vector.
inline void loadProcedure(const HostVector* vector) {
  if (!mcn_main(vector, nullptr)) throw std::runtime_error("the module refused the host vector");
  VersionRecord version;
  hxvercn1(&version);
  std::string error;
  if (!host::loadModule(version, &error)) throw std::runtime_error(error);
}

inline void ensureHost() {
  static bool loaded = [] {
    host::session().log.setEcho(false);
    host::initNameValueStore(4);
    loadProcedure(host::hostVector());
    return true;
  }();
  (void)loaded;
}

}  // namespace vsf::test
