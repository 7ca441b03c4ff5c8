// Test support: drives the output system through zhdlcall the way the procedure does.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/hostcalls.h"
#include "common/test_host.h"
#include "host/output/output.h"
#include "host/session.h"

namespace vsf::test {

class OutputDriver {
 public:
  OutputDriver() {
    ensureHost();
    host::output::reset();
    host::output::keepRequestLog(true);
    host::output::setListingStream(&listing_);
    manager = newManager();
  }
  ~OutputDriver() {
    host::output::setListingStream(nullptr);
    host::output::keepRequestLog(false);
  }

  static HostString* str(std::string_view s) { return host::hostVector()->str->fromBytes(s); }

  static int call(void* object, uint32_t op, std::vector<OutputArgItem> items = {}) {
    return zhdlcall(static_cast<HostObject*>(object), nullptr, op, static_cast<int>(items.size()),
                    items.data());
  }

  // The step's first requests: the manager from the root.
  void* newManager() {
    void* h = nullptr;
    EXPECT_EQ(call(host::outputRoot(), op::kCreate,
                   {argBytes(key::kSystem, "oxs"), argBytes(key::kKind, "manager"),
                    argOutHandle(key::kHandle, &h)}),
              0);
    return h;
  }

  void* create(std::string_view kind, std::string_view name,
               std::initializer_list<OutputArgItem> more = {}) {
    void* h = nullptr;
    std::vector<OutputArgItem> items = {argBytes(key::kSystem, "oxs"), argBytes(key::kKind, kind),
                                        argOutHandle(key::kHandle, &h), argInt(key::kMinusOne, -1),
                                        argString(key::kName, str(name))};
    items.insert(items.end(), more);
    EXPECT_EQ(call(manager, op::kCreate, items), 0) << name;
    return h;
  }

  int column(void* table, int type, std::string_view name, const void* binding,
             std::initializer_list<OutputArgItem> more = {}) {
    std::vector<OutputArgItem> items = {argInt(key::kColumnKind, type),
                                        argString(key::kName, str(name))};
    items.insert(items.end(), more);
    items.push_back(argBound(key::kValue, binding));
    return call(table, op::kDefineColumn, items);
  }

  // Ends the columns and binds the template; returns the instance.
  void* bind(void* table, std::string_view path, std::initializer_list<OutputArgItem> dynamics = {},
             void** data = nullptr) {
    EXPECT_EQ(call(table, op::kEndColumns), 0);
    void* instance = nullptr;
    std::vector<OutputArgItem> items = {argOutHandle(0, &instance),
                                        argPointer(key::kTable, argtype::kOutHandle, table)};
    items.insert(items.end(), dynamics);
    items.push_back(argString(key::kTemplate, str(path)));
    if (data) items.push_back(argPointer(key::kFilterData, argtype::kOutHandle2, data));
    EXPECT_EQ(call(manager, op::kBindTemplate, items), 0) << path;
    return instance;
  }

  void finishTable(void* table, void* instance) {
    EXPECT_EQ(call(table, op::kClose), 0);
    EXPECT_EQ(call(manager, op::kRelease, {argPointer(0, argtype::kOutHandle, instance)}), 0);
  }

  void* openGroup(std::string_view name, std::string_view label,
                  std::initializer_list<OutputArgItem> more = {}) {
    void* g = nullptr;
    std::vector<OutputArgItem> items = {argOutHandle(key::kHandle, &g),
                                        argString(key::kName, str(name)),
                                        argString(key::kLabel2, str(label))};
    items.insert(items.end(), more);
    EXPECT_EQ(call(manager, op::kOpenGroup, items), 0) << name;
    return g;
  }

  std::string listing() const { return listing_.str(); }

  void* manager = nullptr;

 private:
  std::ostringstream listing_;
};

}  // namespace vsf::test
