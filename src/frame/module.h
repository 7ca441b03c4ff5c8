// Module entry points and the procedure's access to the host vectors kept at load.
#pragma once

#include <fmt/format.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "frame/host/host_vector.h"

namespace vsf {

// The image-information block returned by mcn_main.
extern const char kImageInformation[];

const char* mcn_main(const HostVector* hostVector, void* hostValue);
void hxvercn1(VersionRecord* record);
void runProcedure();

// The vectors kept by mcn_main.
const HostVector& hostv();
const KernelVector& kernel();
void* hostValue();

// Thin call-site helpers over the families.
[[noreturn]] void hostEndStep(int code);
void hostMsg(int set, int number, std::initializer_list<MsgArg> args = {});
std::string hostMsgText(int set, int number, std::initializer_list<MsgArg> args = {});
double hostClock();

template <typename... Args>
void hostLogPrintf(fmt::format_string<Args...> format, Args&&... args) {
  hostv().proc->logPrintf(fmt::format(format, std::forward<Args>(args)...));
}

}  // namespace vsf
