#include "host/progress.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace vsf::host {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kInterval = std::chrono::milliseconds(100);

struct Progress {
  std::mutex mutex;
  bool shown = ::isatty(STDERR_FILENO) == 1;
  std::atomic<bool> onScreen{false};
  Clock::time_point last{};
};

Progress& progress() {
  static Progress p;
  return p;
}

// Erases the line: carriage return and clear to its end.
void erase() { std::fputs("\r\033[K", stderr); }

}  // namespace

bool progressShown() { return progress().shown; }
void setProgressShown(bool shown) { progress().shown = shown; }

void showProgress(std::string_view text) {
  Progress& p = progress();
  if (!p.shown) return;
  std::lock_guard<std::mutex> lock(p.mutex);
  const Clock::time_point now = Clock::now();
  if (p.onScreen && now - p.last < kInterval) return;
  p.last = now;
  erase();
  // One line of the terminal's usual width, so that it never wraps.
  std::fwrite(text.data(), 1, std::min<size_t>(text.size(), 79), stderr);
  std::fflush(stderr);
  p.onScreen = true;
}

void clearProgress() {
  Progress& p = progress();
  if (!p.onScreen) return;
  std::lock_guard<std::mutex> lock(p.mutex);
  if (!p.onScreen) return;
  erase();
  std::fflush(stderr);
  p.onScreen = false;
}

}  // namespace vsf::host
