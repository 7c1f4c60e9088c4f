// Hooks the portable platform offers to tests and hosts: a virtual clock and
// the message-box recorder. The port-device backends have their own header,
// port_device_backend.h.
#pragma once

#include <atomic>

#include <string>
#include <vector>

#include "platform/types.h"

namespace platform {

// ---- clock
class ClockSource {
 public:
  virtual ~ClockSource() = default;
  virtual DWORD Now() = 0;
  virtual void Spin() = 0;  // one turn of a busy-wait loop
};
// Replaces the system clock (nullptr restores it). Not thread-safe against
// concurrent clock reads: set it before the code under test runs.
void SetClockSource(ClockSource* clock);

// A clock that stands still until moved; each busy-wait turn moves it 1 ms.
// Threads may share it.
class VirtualClock : public ClockSource {
 public:
  explicit VirtualClock(DWORD start = 0) : now_(start) {}
  VirtualClock(const VirtualClock& other) : ClockSource(), now_(other.now_.load()) {}
  VirtualClock& operator=(const VirtualClock& other) {
    now_ = other.now_.load();
    return *this;
  }
  DWORD Now() override { return now_.load(); }
  void Spin() override { now_ += 1; }
  void Advance(DWORD ms) { now_ += ms; }

 private:
  std::atomic<DWORD> now_;
};

// ---- message boxes
struct RecordedMessageBox {
  std::string text;
  std::string caption;
  UINT type;
};
std::vector<RecordedMessageBox> RecordedMessageBoxes();
void ClearRecordedMessageBoxes();
// Whether message boxes are also printed to stderr (default: yes).
void SetMessageBoxEcho(bool echo);

// ---- DefDriverProc: answers 0 here; the last call is kept for tests
struct DefDriverProcCall {
  DWORD_PTR driverId;
  HDRVR driver;
  UINT msg;
  LPARAM lParam1;
  LPARAM lParam2;
};
DefDriverProcCall LastDefDriverProcCall();
int DefDriverProcCallCount();
void ResetDefDriverProcLog();

// ---- palette: GetNearestPaletteIndex's answer for an empty palette (CLR_INVALID)
constexpr UINT kPaletteIndexInvalid = 0xFFFFFFFF;

// ---- multimedia timers
// Timers that are set and not yet fired or killed.
int PendingTimerCount();
// Cancels every timer (waiting for a callback in flight), for a clean start.
void KillAllTimers();

}  // namespace platform
