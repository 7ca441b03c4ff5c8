// Starting a thread can fail: the system's limit on a user's processes (`ulimit -u`), or no room
// for the thread's stack under an address-space limit. Where it does, the work runs on the
// threads there are.
#pragma once

#include <cstddef>
#include <functional>
#include <thread>

namespace vsf::host {

// Starts a thread running `work` into *thread: false, *thread untouched, when the system (or a
// test's fault) refuses it.
[[nodiscard]] bool startThread(std::thread* thread, std::function<void()> work);

// The address space the stack of a thread started now takes, whole, against `ulimit -v`.
size_t threadStackBytes();

}  // namespace vsf::host
