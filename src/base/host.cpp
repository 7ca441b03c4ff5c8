#include "base/host.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vsf {

namespace {

const HostVector* gHost = nullptr;
void* gHostValue = nullptr;
const KernelVector* gKernel = nullptr;

}  // namespace

void bindHostVectors(const HostVector* hostVector, void* value) {
  gHost = hostVector;
  gHostValue = value;
  gKernel = hostVector ? hostVector->kernel : nullptr;
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

namespace {

// Issues the message that names the file and the system's reason of the host's last failed
// file operation and returns true; false, and nothing issued, when the host names none.
bool hostFileFailureMsg() {
  HostFileFailure f;
  const HostCoreFamily* core = gHost->core;
  if (!core || !core->takeFileFailure || !core->takeFileFailure(&f)) return false;
  const int message = f.operation == 'w' ? 6302 : f.operation == 'r' ? 6303 : 6301;
  hostMsg(848, message, {std::string_view(f.path), std::string_view(f.reason)});
  return true;
}

}  // namespace

void hostFileMsg(int set, int number) {
  if (!hostFileFailureMsg()) hostMsg(set, number);
}

std::string hostMsgText(int set, int number, std::initializer_list<MsgArg> args) {
  return gHost->proc->msgText(set, number, args.begin(), static_cast<int>(args.size()));
}

// A host without the operation leaves messages where they were.
StatementPlace::StatementPlace(const StatementRecord* statement) {
  if (gHost && gHost->parse && gHost->parse->placeAt) gHost->parse->placeAt(statement);
}

StatementPlace::~StatementPlace() {
  if (gHost && gHost->parse && gHost->parse->placeAt) gHost->parse->placeAt(nullptr);
}

bool fitsMemory(double bytes, MemoryShortfall* shortfall) {
  const double available = static_cast<double>(gHost->core->memAvail());
  if (bytes <= available) return true;
  constexpr double kMb = 1024.0 * 1024.0;
  // Past any count the message can show, the need is said as the largest.
  shortfall->needMb = static_cast<long long>(std::min(std::ceil(bytes / kMb), 9.0e18));
  shortfall->availableMb = static_cast<long long>(available / kMb);
  return false;
}

bool optionFitsMemory(std::string_view option, std::string_view value, double bytes,
                      std::string_view holds) {
  MemoryShortfall m;
  if (fitsMemory(bytes, &m)) return true;
  hostMsg(848, 6151, {option, value, m.needMb, holds, m.availableMb});
  return false;
}

double hostClock() { return gHost->core->clock(); }

}  // namespace vsf
