// Hooks the portable platform offers to tests and hosts: a virtual clock, the
// message-box recorder and the port-device backend registry.
#pragma once

#include <atomic>

#include <memory>
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

// ---- kernel port device backends
// A stand-in for the kernel port device: it answers device-control requests
// exactly as the real device would, reading and writing the caller's memory at
// the addresses the request records carry.
class PortDeviceBackend {
 public:
  virtual ~PortDeviceBackend() = default;
  virtual BOOL Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                       DWORD* bytesReturned) = 0;
};
// Makes a backend from the options after "name:" in ZARNCAP_CAMERA. Returns
// nullptr and fills error when the options are bad.
using PortDeviceFactory = std::unique_ptr<PortDeviceBackend> (*)(const std::string& options, std::string* error);
void RegisterPortDeviceBackend(const std::string& name, PortDeviceFactory factory);
// The backend the current CreatePortDevice handle talks to (nullptr if none);
// lets tests inspect the virtual device behind an open handle.
PortDeviceBackend* OpenPortDeviceBackend();

}  // namespace platform
