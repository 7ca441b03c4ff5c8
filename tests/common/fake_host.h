// A copy of our host's vector in which a test replaces chosen functions: the procedure is
// loaded against the copy by load() and against our host again when the object goes.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "frame/host/host_vector.h"

namespace vsf::test {

struct HostMessage {
  int set = 0, number = 0;
  std::vector<std::string> args;  // insertions as texts
};

// The variables of an in-memory data set behind a fake data-set family, and the lookups our
// host makes over a data set's variables: names in any case, the forms of expandList.
struct MemoryVars {
  std::vector<VarDescriptor> vars;
  void add(const std::string& name, int type = kVarNumeric, int length = 8, int formatWidth = 0);
  int find(std::string_view name) const;  // -1 when absent
  int findVar(std::string_view name, int* number) const;
  int varByNumber(int number, VarDescriptor* out) const;
  // Failures write an error line to the log, as our host does.
  int expandList(std::string_view first, std::string_view second, int form,
                 std::vector<int>* numbers) const;
};

class FakeHost {
 public:
  FakeHost();
  virtual ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  // Hands the copy, as changed so far, to the procedure.
  void load();
  // From now on the catalogue messages the procedure issues are kept here; they reach our
  // host's log as well.
  void recordMessages();
  std::vector<std::pair<int, int>> messageNumbers() const;
  // The fake host loaded last and still alive, for functions that have no context.
  static FakeHost* current();

  HostDsFamily ds;
  HostProcFamily proc;
  HostParseFamily parse;
  HostCoreFamily core;
  KernelVector kernel;
  std::vector<HostMessage> messages;

 private:
  HostVector vector_;
  FakeHost* outer_ = nullptr;
  bool loaded_ = false;
};

}  // namespace vsf::test
