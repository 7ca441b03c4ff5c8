// The procedure's access to the host vectors that the module's entry point kept at load, and
// thin call-site helpers over their families.
#pragma once

#include <fmt/format.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "frame/host/host_vector.h"

namespace vsf {

// Keeps the vectors for the rest of the module's life (called once, by mcn_main).
void bindHostVectors(const HostVector* hostVector, void* hostValue);

const HostVector& hostv();
const KernelVector& kernel();
void* hostValue();

// Ends the step with `code`; the host's step end does not return.
[[noreturn]] void hostEndStep(int code);
// Issues message (set, number) of the catalogue with its insertions.
void hostMsg(int set, int number, std::initializer_list<MsgArg> args = {});
std::string hostMsgText(int set, int number, std::initializer_list<MsgArg> args = {});
// The message of the host's last failed file operation when there is one, else (set, number).
void hostFileMsg(int set, int number);
// While it lives, the errors and warnings issued carry the statement's line and column.
class StatementPlace {
 public:
  explicit StatementPlace(const StatementRecord* statement);
  ~StatementPlace();
  StatementPlace(const StatementPlace&) = delete;
  StatementPlace& operator=(const StatementPlace&) = delete;
};

// A request's size and the memory the step may use (MEMSIZE=, else what the system has), in
// whole MB as the messages give them.
struct MemoryShortfall {
  long long needMb = 0, availableMb = 0;
};
// Whether `bytes` fit the memory the step may use; when not, the sizes for the message.
bool fitsMemory(double bytes, MemoryShortfall* shortfall);
// Whether `bytes`, which grow with the value an option was given, fit the memory the step may
// use; when not, an error names the option, its value (as written) and what the bytes hold.
bool optionFitsMemory(std::string_view option, std::string_view value, double bytes,
                      std::string_view holds);

// Seconds of the host clock.
double hostClock();

template <typename... Args>
void hostLogPrintf(fmt::format_string<Args...> format, Args&&... args) {
  hostv().proc->logPrintf(fmt::format(format, std::forward<Args>(args)...));
}

}  // namespace vsf
