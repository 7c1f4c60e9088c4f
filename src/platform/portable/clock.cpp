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

void SpinWait() {
  if (ClockSource* clock = g_clock.load()) {
    clock->Spin();
    return;
  }
  std::this_thread::yield();
}

}  // namespace platform
