// Test support: loads the procedure against our host once per test program.
#pragma once

#include "frame/module.h"
#include "host/session.h"

namespace vsf::test {

inline void ensureHost() {
  static bool loaded = [] {
    host::session().log.setEcho(false);
    host::initNameValueStore(4);
    mcn_main(host::hostVector(), nullptr);
    return true;
  }();
  (void)loaded;
}

}  // namespace vsf::test
