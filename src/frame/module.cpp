#include "frame/module.h"

#include "base/host.h"

namespace vsf {

const char kImageInformation[] = "ZAN_Image_Information=varsifter 0.1 (C++20, " __DATE__ ")";

namespace {

const ModuleDescriptor kDescriptor = {"zanvsift", kBoundaryVersion, &runProcedure};
const char kBuild[] = "varsifter build " __DATE__ " " __TIME__;
const char kRelease[] = "0.1";

bool complete(const HostVector* v) {
  return v && v->ds && v->proc && v->parse && v->macro && v->str && v->core && v->varIO &&
         v->kernel;
}

}  // namespace

const char* mcn_main(const HostVector* hostVector, void* value) {
  if (!complete(hostVector)) return nullptr;
  bindHostVectors(hostVector, value);
  return kImageInformation;
}

void hxvercn1(VersionRecord* record) {
  // Row 0 leads to the module descriptor; the other rows carry build text.
  const void* table[25] = {&kDescriptor, nullptr, nullptr, nullptr, nullptr, kBuild,
                           nullptr,      nullptr, nullptr, nullptr, kRelease};
  for (int i = 0; i < 25; ++i) record->words[i] = table[i];
  record->words[25] = kRelease;
}

}  // namespace vsf
