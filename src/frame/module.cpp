#include "frame/module.h"

#include <cstdlib>

namespace vsf {

const char kImageInformation[] =
    "ZAN_Image_Information=varsifter 0.1 (C++20, " __DATE__ ")";

namespace {

const HostVector* gHost = nullptr;
void* gHostValue = nullptr;
const KernelVector* gKernel = nullptr;

const ModuleDescriptor kDescriptor = {"zanvsift", &runProcedure};
const char kBuild[] = "varsifter build " __DATE__ " " __TIME__;
const char kRelease[] = "0.1";

}  // namespace

const char* mcn_main(const HostVector* hostVector, void* value) {
  gHost = hostVector;
  gHostValue = value;
  gKernel = hostVector ? hostVector->kernel : nullptr;
  return kImageInformation;
}

void hxvercn1(VersionRecord* record) {
  // Row 0 leads to the module descriptor; the other rows carry build text.
  const void* table[25] = {&kDescriptor, nullptr, nullptr, nullptr, nullptr,
                           kBuild,       nullptr, nullptr, nullptr, nullptr,
                           kRelease};
  for (int i = 0; i < 25; ++i) record->words[i] = table[i];
  record->words[25] = kRelease;
}

const HostVector& hostv() { return *gHost; }
const KernelVector& kernel() { return *gKernel; }
void* hostValue() { return gHostValue; }

void hostEndStep(int code) {
  gHost->proc->endStep(code, 0);
  std::abort();  // the host's endStep does not return
}

void hostMsg(int set, int number, std::initializer_list<MsgArg> args) {
  gHost->proc->msg(set, number, args.begin(), static_cast<int>(args.size()));
}

std::string hostMsgText(int set, int number, std::initializer_list<MsgArg> args) {
  return gHost->proc->msgText(set, number, args.begin(), static_cast<int>(args.size()));
}

double hostClock() { return gHost->core->clock(); }

}  // namespace vsf
