// The multimedia clock and timers. The system's timeKillEvent does not wait for
// a callback that is already running, and the driver relies on exactly that:
// a stream stop must know no tick is still capturing into a buffer it is about
// to hand back. Every timer is therefore set through a trampoline that marks
// its callback running, and TimeKillEvent waits for that mark to clear (unless
// it is called from inside the callback itself).
#include <condition_variable>
#include <map>
#include <mutex>

#include "platform/platform.h"

namespace platform {
namespace {

struct TimerRecord {
  UINT systemId = 0;
  LPTIMECALLBACK proc = nullptr;
  DWORD_PTR user = 0;
  bool periodic = false;
  bool killed = false;
  int running = 0;
  DWORD runningThread = 0;
};

struct TimerTable {
  std::mutex mutex;
  std::condition_variable idle;
  std::map<UINT, TimerRecord> timers;  // keyed by the id handed to the driver
  UINT nextId = 1;
};

TimerTable& Table() {
  static TimerTable table;
  return table;
}

// The id the driver sees is ours, not the system's: a stale id can never name
// a newer timer, and the trampoline finds its record by it.
void CALLBACK Trampoline(UINT, UINT msg, DWORD_PTR ourId, DWORD_PTR, DWORD_PTR) {
  auto& t = Table();
  LPTIMECALLBACK proc = nullptr;
  DWORD_PTR user = 0;
  {
    std::lock_guard lock(t.mutex);
    auto found = t.timers.find(static_cast<UINT>(ourId));
    if (found == t.timers.end() || found->second.killed) return;
    TimerRecord& r = found->second;
    ++r.running;
    r.runningThread = ::GetCurrentThreadId();
    proc = r.proc;
    user = r.user;
  }
  proc(static_cast<UINT>(ourId), msg, user, 0, 0);
  {
    std::lock_guard lock(t.mutex);
    auto found = t.timers.find(static_cast<UINT>(ourId));
    if (found != t.timers.end()) {
      TimerRecord& r = found->second;
      --r.running;
      // A one-shot that has fired is over unless a kill is waiting on it.
      if (r.running == 0 && !r.periodic && !r.killed) t.timers.erase(found);
    }
  }
  t.idle.notify_all();
}

}  // namespace

DWORD TimeGetTime() { return ::timeGetTime(); }

void SpinWait() { YieldProcessor(); }

void WaitElapsed(DWORD start, DWORD ms) {
  // Sleep may overshoot by a timer tick, so it takes all but the last 2 ms;
  // the rest is spun on the clock.
  constexpr DWORD kSpunMs = 2;
  for (;;) {
    const DWORD elapsed = ::timeGetTime() - start;
    if (elapsed >= ms) return;
    if (ms - elapsed > kSpunMs) ::Sleep(ms - elapsed - kSpunMs);
    else YieldProcessor();
  }
}

MMRESULT TimeGetDevCaps(TIMECAPS* caps, UINT size) { return ::timeGetDevCaps(caps, size); }
MMRESULT TimeBeginPeriod(UINT period) { return ::timeBeginPeriod(period); }
MMRESULT TimeEndPeriod(UINT period) { return ::timeEndPeriod(period); }

UINT TimeSetEvent(UINT delay, UINT resolution, LPTIMECALLBACK proc, DWORD_PTR user, UINT flags) {
  if (proc == nullptr) return 0;
  auto& t = Table();
  std::lock_guard lock(t.mutex);
  UINT id = t.nextId;
  do {
    id = id == 0 ? 1 : id;
    if (t.timers.count(id) == 0) break;
  } while (++id != t.nextId);
  if (t.timers.count(id) != 0) return 0;
  t.nextId = id + 1;
  TimerRecord& r = t.timers[id];
  r.proc = proc;
  r.user = user;
  r.periodic = (flags & TIME_PERIODIC) != 0;
  // The record is in the table before the system timer exists, so a first
  // tick that comes at once finds it; the lock holds that tick until the
  // system id is stored.
  r.systemId = ::timeSetEvent(delay, resolution, &Trampoline, id,
                              (flags & TIME_PERIODIC) | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
  if (r.systemId == 0) {
    t.timers.erase(id);
    return 0;
  }
  return id;
}

MMRESULT TimeKillEvent(UINT id) {
  auto& t = Table();
  std::unique_lock lock(t.mutex);
  auto found = t.timers.find(id);
  if (found == t.timers.end() || found->second.killed) return MMSYSERR_INVALPARAM;
  found->second.killed = true;
  const UINT systemId = found->second.systemId;
  lock.unlock();
  ::timeKillEvent(systemId);
  lock.lock();
  found = t.timers.find(id);
  const DWORD self = ::GetCurrentThreadId();
  t.idle.wait(lock, [&] { return found->second.running == 0 || found->second.runningThread == self; });
  t.timers.erase(found);
  return TIMERR_NOERROR;
}

}  // namespace platform
