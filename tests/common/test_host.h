// Test support: loads the procedure against our host (or a stand-in vector) as the command does.
#pragma once

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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
    // Every BY group takes the step's workers, however few its rows, so that the tests' small
    // data still run the threaded passes.
    host::session().macros["_TESTTHREADROWS"] = "1";
    loadProcedure(host::hostVector());
    return true;
  }();
  (void)loaded;
}

// Runs f, which must end the step with the code; true when it did.
template <typename F>
bool endsStep(F f, int code) {
  try {
    f();
  } catch (const host::StepEnd& e) {
    EXPECT_EQ(e.code, code);
    return true;
  }
  return false;
}

// The lines our host writes to its log from the watch's start on.
class LogWatch {
 public:
  LogWatch() : from_(host::session().log.lines().size()) {}
  std::vector<host::LogLine> lines() const {
    const auto& all = host::session().log.lines();
    return {all.begin() + static_cast<long>(from_), all.end()};
  }
  // Lines of the level ("" for any) containing the text.
  int count(std::string_view level, std::string_view text = "") const {
    int n = 0;
    for (const host::LogLine& l : lines())
      n += (level.empty() || l.level == level) && l.text.find(text) != std::string::npos;
    return n;
  }
  bool has(std::string_view level, std::string_view text) const { return count(level, text) > 0; }
  // The last line's text, "" when there is none.
  std::string last() const {
    const auto all = lines();
    return all.empty() ? "" : all.back().text;
  }

 private:
  size_t from_;
};

}  // namespace vsf::test
