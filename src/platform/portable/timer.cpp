// Multimedia timers without the platform: one timer thread runs every callback,
// in order of due time, on real (steady) time. Timer slots are reused, so the
// stream engine's per-frame one-shot set costs no allocation once warmed up.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/portable/testing.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr UINT kPeriodMin = 1;
constexpr UINT kPeriodMax = 1000000;
constexpr MMRESULT kInvalidParam = 11;  // MMSYSERR_INVALPARAM
constexpr UINT kCallbackEventFlags = 0x0030;  // TIME_CALLBACK_EVENT_SET / _PULSE: no events here

struct Timer {
  bool active = false;
  UINT id = 0;
  unsigned long long order = 0;  // set order breaks ties between equal due times
  Clock::time_point due;
  UINT period = 0;  // 0 = one-shot
  LPTIMECALLBACK proc = nullptr;
  DWORD_PTR user = 0;
};

class TimerService {
 public:
  ~TimerService() {
    std::thread worker;
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
      worker = std::move(thread_);
    }
    wake_.notify_all();
    if (!worker.joinable()) return;
    if (worker.get_id() == std::this_thread::get_id()) worker.detach();  // exit() from a callback
    else worker.join();
  }

  UINT Set(UINT delay, LPTIMECALLBACK proc, DWORD_PTR user, bool periodic) {
    std::lock_guard lock(mutex_);
    if (stop_) return 0;
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    Timer* slot = nullptr;
    for (Timer& t : timers_) {
      if (!t.active) {
        slot = &t;
        break;
      }
    }
    if (slot == nullptr) slot = &timers_.emplace_back();
    slot->active = true;
    slot->id = NextId();
    slot->order = ++orderCounter_;
    slot->due = Clock::now() + std::chrono::milliseconds(delay);
    slot->period = periodic ? delay : 0;
    slot->proc = proc;
    slot->user = user;
    wake_.notify_all();
    return slot->id;
  }

  MMRESULT Kill(UINT id) {
    std::unique_lock lock(mutex_);
    bool found = false;
    for (Timer& t : timers_) {
      if (t.active && t.id == id) {
        t.active = false;
        found = true;
      }
    }
    bool running = id != 0 && runningId_ == id;
    // Wait for that timer's callback to return, unless we are that callback.
    if (running && std::this_thread::get_id() != workerId_) {
      finished_.wait(lock, [&] { return runningId_ != id; });
    }
    wake_.notify_all();
    return found || running ? TIMERR_NOERROR : kInvalidParam;
  }

  int Pending() {
    std::lock_guard lock(mutex_);
    int count = 0;
    for (const Timer& t : timers_) count += t.active ? 1 : 0;
    return count;
  }

  void KillAll() {
    std::unique_lock lock(mutex_);
    for (Timer& t : timers_) t.active = false;
    if (runningId_ != 0 && std::this_thread::get_id() != workerId_) {
      finished_.wait(lock, [&] { return runningId_ == 0; });
      for (Timer& t : timers_) t.active = false;  // whatever that last callback set again
    }
  }

 private:
  UINT NextId() {
    for (;;) {
      UINT id = ++lastId_;
      if (id == 0) continue;  // 0 means "refused"
      bool inUse = id == runningId_;
      for (const Timer& t : timers_) inUse = inUse || (t.active && t.id == id);
      if (!inUse) return id;
    }
  }

  Timer* Earliest() {
    Timer* first = nullptr;
    for (Timer& t : timers_) {
      if (!t.active) continue;
      if (first == nullptr || t.due < first->due || (t.due == first->due && t.order < first->order)) first = &t;
    }
    return first;
  }

  void Run() {
    std::unique_lock lock(mutex_);
    workerId_ = std::this_thread::get_id();
    while (!stop_) {
      Timer* next = Earliest();
      if (next == nullptr) {
        wake_.wait(lock);
        continue;
      }
      Clock::time_point now = Clock::now();
      if (now < next->due) {
        wake_.wait_until(lock, next->due);
        continue;
      }
      Timer fired = *next;
      if (fired.period != 0) {
        next->due += std::chrono::milliseconds(fired.period);
        if (next->due < now) next->due = now;  // fell behind: do not burst to catch up
        next->order = ++orderCounter_;
      } else {
        next->active = false;  // a one-shot is spent: its callback may set the next one
      }
      runningId_ = fired.id;
      lock.unlock();
      fired.proc(fired.id, 0, fired.user, 0, 0);
      lock.lock();
      runningId_ = 0;
      finished_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  std::vector<Timer> timers_;
  std::thread thread_;
  std::thread::id workerId_;
  UINT lastId_ = 0;
  UINT runningId_ = 0;
  unsigned long long orderCounter_ = 0;
  bool stop_ = false;
};

TimerService& Service() {
  static TimerService service;
  return service;
}

}  // namespace

MMRESULT TimeGetDevCaps(TIMECAPS* caps, UINT size) {
  if (caps == nullptr || size < sizeof(TIMECAPS)) return TIMERR_NOCANDO;
  caps->wPeriodMin = kPeriodMin;
  caps->wPeriodMax = kPeriodMax;
  return TIMERR_NOERROR;
}

MMRESULT TimeBeginPeriod(UINT period) {
  return period >= kPeriodMin && period <= kPeriodMax ? TIMERR_NOERROR : TIMERR_NOCANDO;
}

MMRESULT TimeEndPeriod(UINT period) {
  return period >= kPeriodMin && period <= kPeriodMax ? TIMERR_NOERROR : TIMERR_NOCANDO;
}

UINT TimeSetEvent(UINT delay, UINT /*resolution*/, LPTIMECALLBACK proc, DWORD_PTR user, UINT flags) {
  if (delay < kPeriodMin || delay > kPeriodMax || proc == nullptr) return 0;
  if ((flags & kCallbackEventFlags) != 0) return 0;
  return Service().Set(delay, proc, user, (flags & TIME_PERIODIC) != 0);
}

MMRESULT TimeKillEvent(UINT id) { return Service().Kill(id); }

int PendingTimerCount() { return Service().Pending(); }

void KillAllTimers() { Service().KillAll(); }

}  // namespace platform
