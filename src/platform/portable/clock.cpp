// Millisecond clock: the monotonic system clock, or a clock a test installs.
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/platform.h"
#include "platform/portable/testing.h"

namespace platform {
namespace {
std::atomic<ClockSource*> g_clock{nullptr};
}

void SetClockSource(ClockSource* clock) { g_clock.store(clock); }

DWORD TimeGetTime() {
  if (ClockSource* clock = g_clock.load()) return clock->Now();
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void WaitElapsed(DWORD start, DWORD ms) {
  for (;;) {
    const DWORD elapsed = TimeGetTime() - start;
    if (elapsed >= ms) return;
    if (g_clock.load() != nullptr) {
      SpinWait();
      continue;
    }
    // The millisecond clock is the steady clock cut to whole milliseconds, so
    // it reads the deadline from the first instant of that millisecond on: an
    // absolute sleep until that instant never wakes early and overshoots only
    // by the scheduler's slack (tens of microseconds).
    using namespace std::chrono;
    const auto now = steady_clock::now();
    const auto thisMillisecond = floor<milliseconds>(now.time_since_epoch());
    std::this_thread::sleep_until(steady_clock::time_point(thisMillisecond + milliseconds(ms - elapsed)));
  }
}

void SpinWait() {
  if (ClockSource* clock = g_clock.load()) {
    clock->Spin();
    return;
  }
  std::this_thread::yield();
}

}  // namespace platform
