// The host function vector handed to mcn_main: every family of host services and the kernel.
#pragma once

#include <cstdint>

#include "frame/host/dataset.h"
#include "frame/host/extensions.h"
#include "frame/host/families.h"
#include "frame/host/kernel.h"
#include "frame/host/output.h"
#include "frame/host/parse.h"
#include "frame/host/status.h"

namespace vsf {

struct HostVector {
  const HostDsFamily* ds = nullptr;
  const HostProcFamily* proc = nullptr;
  const HostParseFamily* parse = nullptr;
  const HostMacroFamily* macro = nullptr;
  const HostStrFamily* str = nullptr;
  const HostCoreFamily* core = nullptr;
  const HostVarIOFamily* varIO = nullptr;
  const KernelVector* kernel = nullptr;
};

// The version of these declarations; a host refuses a module built against another.
constexpr int32_t kBoundaryVersion = 5;

// Module descriptor that hxvercn1 leads the host to.
struct ModuleDescriptor {
  const char* moduleName;    // "zanvsift"
  int32_t boundaryVersion;   // kBoundaryVersion of the module's build
  void (*procedureEntry)();  // one procedure step
};

// The host's version record filled by hxvercn1: 25 words of a 5-by-5 table, then one more.
struct VersionRecord {
  const void* words[26] = {};
};

}  // namespace vsf
