// The streaming engine. The client's thread queues buffers and starts, stops,
// resets and ends the stream; the platform's timer thread runs the ticks. One
// mutex guards the queue, the timer id, the running flag and the counters, and
// is never held while capturing, while calling the client or while waiting for
// the timer: the client's callback may come straight back into the driver.
// Lock order: stream lock before the device lock, never the other way round.
#include "capture/stream.h"

#include <condition_variable>
#include <mutex>

#include "capture/device_lock.h"
#include "capture/format.h"
#include "capture/frame.h"
#include "capture/stream_timing.h"
#include "capture/capture_state.h"
#include "capture/device_settings.h"
#include "core/driver_context.h"
#include "platform/platform.h"
#include "trace/trace.h"

namespace {

struct StreamFields {
  bool initialised = false;
  VIDEO_STREAM_INIT_PARMS parms{};
  WORD basePeriod = 0;
  WORD timerResolution = kMinTimerResolution;
  WORD timerPeriod = 0;
  UINT timerId = 0;     // the pending one-shot timer, 0 when none
  bool running = false;  // started and not stopped: ticks re-arm the timer
  VIDEOHDR* head = nullptr;
  VIDEOHDR* tail = nullptr;
  DWORD errorCount = 0;  // frames skipped since the last error report
  DWORD position = 0;
  int ticksInFlight = 0;
  StreamCaptureProc capture = nullptr;
  const void* owner = nullptr;  // the channel that initialised the stream
};

struct StreamState {
  static constexpr int kResetRank = 60;  // by layer, highest first (see core/README.md)
  void Reset();

  std::mutex mutex;
  std::condition_variable ticksDone;
  StreamFields f;
};

StreamState& Stream() { return Context().Module<StreamState>(); }

// Set on the timer thread while it runs a tick, so that a stop coming from the
// client's callback inside that tick does not wait for itself.
thread_local bool t_inTick = false;

// The client may poll a header's flags from its own thread while the stream
// owns the header (that is how it learns a buffer is done), so every change of
// them is one atomic step, and setting VHDR_DONE publishes the frame with it.
void ChangeFlags(VIDEOHDR* header, DWORD set, DWORD clear) {
  DWORD old = __atomic_load_n(&header->dwFlags, __ATOMIC_RELAXED);
  while (!__atomic_compare_exchange_n(&header->dwFlags, &old, (old | set) & ~clear, true, __ATOMIC_RELEASE,
                                      __ATOMIC_RELAXED)) {
  }
}
DWORD Flags(const VIDEOHDR* header) { return __atomic_load_n(&header->dwFlags, __ATOMIC_ACQUIRE); }

// The queue link lives in the first reserved word of each header.
VIDEOHDR* Next(const VIDEOHDR* header) { return reinterpret_cast<VIDEOHDR*>(header->dwReserved[0]); }
void SetNext(VIDEOHDR* header, VIDEOHDR* next) { header->dwReserved[0] = reinterpret_cast<DWORD_PTR>(next); }

// ---- queue, stream lock held
void QueLocked(StreamFields& f, VIDEOHDR* header) {
  ChangeFlags(header, VHDR_INQUEUE, VHDR_DONE);
  SetNext(header, nullptr);
  if (f.tail == nullptr) {
    f.head = header;
  } else {
    SetNext(f.tail, header);
  }
  f.tail = header;
}

VIDEOHDR* DeQueLocked(StreamFields& f) {
  VIDEOHDR* header = f.head;
  if (header == nullptr) return nullptr;
  ChangeFlags(header, 0, VHDR_INQUEUE);
  f.head = Next(header);
  if (f.head == nullptr) f.tail = nullptr;
  SetNext(header, nullptr);
  return header;
}

// Marks the stream stopped and takes the pending timer id; the caller kills it
// after letting go of the lock.
UINT HaltLocked(StreamFields& f) {
  f.running = false;
  UINT id = f.timerId;
  f.timerId = 0;
  return id;
}

// Kills the timer and waits until no tick runs any more (except the one we may
// be called from). After this no tick can re-arm and none reaches the client.
void KillAndWait(UINT id) {
  if (id != 0) platform::TimeKillEvent(id);
  if (t_inTick) return;
  std::unique_lock lock(Stream().mutex);
  Stream().ticksDone.wait(lock, [] { return Stream().f.ticksInFlight == 0; });
}

void HaltAndWait() {
  UINT id;
  {
    std::lock_guard lock(Stream().mutex);
    id = HaltLocked(Stream().f);
  }
  KillAndWait(id);
}

// Takes every queued buffer out of the queue as done, without telling the
// client (the stream is going away and its callback with it).
void ReturnQueueLocked(StreamFields& f) {
  while (VIDEOHDR* header = DeQueLocked(f)) ChangeFlags(header, VHDR_DONE, 0);
}

// The stream is no more: every queued buffer back, no owner. Returns the
// timer resolution the stream began, for AnnounceClosed.
WORD CloseLocked(StreamFields& f) {
  ReturnQueueLocked(f);
  f.initialised = false;
  f.owner = nullptr;
  return f.timerResolution;
}

// After CloseLocked, outside the lock: the timer resolution ends, the client
// hears the stream closed, and the camera leaves the stream set-up.
BOOL AnnounceClosed(WORD resolution) {
  platform::TimeEndPeriod(resolution);
  NotifyClient(MM_DRVM_CLOSE, 0);
  return SetStreamFormat(0);
}

DWORD CaptureForStream(VIDEOHDR* header) {
  StreamCaptureProc proc = Stream().f.capture;
  return proc != nullptr ? proc(header) : CaptureFrameData(header);
}

}  // namespace

void QueHeader(VIDEOHDR* header) {
  std::lock_guard lock(Stream().mutex);
  QueLocked(Stream().f, header);
}

VIDEOHDR* DeQueHeader() {
  std::lock_guard lock(Stream().mutex);
  return DeQueLocked(Stream().f);
}

void NotifyClient(UINT msg, DWORD_PTR param) {
  // The callback data is written only at init, before any tick exists.
  const VIDEO_STREAM_INIT_PARMS& p = Stream().f.parms;
  if (p.dwCallback == 0) return;
  platform::DriverCallback(p.dwCallback, p.dwFlags >> 16, reinterpret_cast<HDRVR>(p.hVideo),
                           static_cast<WORD>(msg), p.dwCallbackInst, param, 0);
}

DWORD InStreamInit(const VIDEO_STREAM_INIT_PARMS* parms, WORD basePeriod, const void* owner) {
  StreamState& s = Stream();
  {
    std::lock_guard lock(s.mutex);
    if (s.f.initialised) return DV_ERR_NONSPECIFIC;
    if (parms == nullptr) return DV_ERR_PARAM1;
    s.f.parms = *parms;
    s.f.initialised = true;
    s.f.owner = owner;
    s.f.basePeriod = basePeriod;
    s.f.errorCount = 0;  // a stream nobody asked about leaves nothing behind
    s.f.position = 0;
    s.f.head = s.f.tail = nullptr;
    s.f.timerId = 0;
    s.f.running = false;
  }
  NotifyClient(MM_DRVM_OPEN, 0);

  TIMECAPS caps{1, 1000000};
  if (platform::TimeGetDevCaps(&caps, sizeof caps) != TIMERR_NOERROR) caps = TIMECAPS{1, 1000000};
  WORD resolution = kMinTimerResolution;
  if (caps.wPeriodMin > resolution) resolution = static_cast<WORD>(caps.wPeriodMin);
  platform::TimeBeginPeriod(resolution);
  const WORD period = StreamTimerPeriod(basePeriod, parms->dwMicroSecPerFrame, caps.wPeriodMax);
  {
    std::lock_guard lock(s.mutex);
    s.f.timerResolution = resolution;
    s.f.timerPeriod = period;
  }

  if (!SetStreamFormat(1)) return DV_ERR_NONSPECIFIC;  // the stream stays initialised
  DriverTrace(TRACE_LINE, "InStreamInit : timer period = %u", static_cast<unsigned>(period));
  return DV_ERR_OK;
}

DWORD InStreamFini() {
  StreamState& s = Stream();
  {
    std::lock_guard lock(s.mutex);
    if (!s.f.initialised) return DV_ERR_NONSPECIFIC;
    // Buffers still queued: the stream carries on as it was, running or not.
    if (s.f.head != nullptr) return DV_ERR_STILLPLAYING;
  }
  // A client may end the stream without stopping it first: stop the timer here,
  // so that nothing reaches the client once FINI has answered. (A buffer the
  // client queued again from its callback meanwhile still answers 3 below.)
  HaltAndWait();
  WORD resolution;
  {
    std::lock_guard lock(s.mutex);
    if (!s.f.initialised) return DV_ERR_NONSPECIFIC;
    if (s.f.head != nullptr) return DV_ERR_STILLPLAYING;
    resolution = CloseLocked(s.f);
  }
  return AnnounceClosed(resolution) ? DV_ERR_OK : DV_ERR_NONSPECIFIC;
}

DWORD InStreamAddBuffer(VIDEOHDR* header) {
  std::lock_guard lock(Stream().mutex);
  StreamFields& f = Stream().f;
  if (!f.initialised || header == nullptr) return DV_ERR_NONSPECIFIC;
  const DWORD flags = Flags(header);
  if ((flags & VHDR_PREPARED) == 0) return DV_ERR_UNPREPARED;
  if ((flags & VHDR_INQUEUE) != 0) return DV_ERR_NONSPECIFIC;
  header->dwBytesUsed = 0;
  QueLocked(f, header);
  return DV_ERR_OK;
}

DWORD InStreamStart() {
  StreamState& s = Stream();
  {
    std::lock_guard lock(s.mutex);
    if (!s.f.initialised) return DV_ERR_NONSPECIFIC;
  }
  // Frame times count from here.
  RestartFrameTime();
  std::lock_guard lock(s.mutex);
  // Running means a timer is pending or a tick in flight will re-arm one.
  if (!s.f.initialised || s.f.running || s.f.timerId != 0) return DV_ERR_NONSPECIFIC;
  // Armed under the lock: a tick that fires at once waits until the id is stored.
  UINT id = platform::TimeSetEvent(kShortestTimerDelay, s.f.timerResolution, StreamTimerProc, 0, TIME_ONESHOT);
  if (id == 0) return DV_ERR_NONSPECIFIC;
  s.f.timerId = id;
  s.f.running = true;
  return DV_ERR_OK;
}

DWORD InStreamStop() {
  UINT id;
  {
    std::lock_guard lock(Stream().mutex);
    if (!Stream().f.initialised) return DV_ERR_NONSPECIFIC;
    id = HaltLocked(Stream().f);
  }
  KillAndWait(id);
  return DV_ERR_OK;
}

DWORD InStreamReset() {
  {
    std::lock_guard lock(Stream().mutex);
    if (!Stream().f.initialised) return DV_ERR_NONSPECIFIC;
  }
  InStreamStop();
  // Take the whole queue at once, then hand the buffers back in queue order.
  // A buffer the client queues again from its callback stays queued.
  VIDEOHDR* taken;
  {
    std::lock_guard lock(Stream().mutex);
    StreamFields& f = Stream().f;
    taken = f.head;
    f.head = f.tail = nullptr;
  }
  while (taken != nullptr) {
    VIDEOHDR* header = taken;
    taken = Next(header);
    SetNext(header, nullptr);
    ChangeFlags(header, VHDR_DONE, VHDR_INQUEUE);
    NotifyClient(MM_DRVM_DATA, reinterpret_cast<DWORD_PTR>(header));
  }
  return DV_ERR_OK;
}

DWORD InStreamGetError(DWORD* error, DWORD* count) {
  std::lock_guard lock(Stream().mutex);
  // The error word is always 0: a skipped frame is not an error of the call
  // chain, and a host that stops on a non-zero error must not stop for a
  // failure the stream recovers from. The count says how many were skipped.
  if (error != nullptr) *error = DV_ERR_OK;
  if (count != nullptr) *count = Stream().f.errorCount;
  Stream().f.errorCount = 0;
  return DV_ERR_OK;
}

DWORD InStreamGetPosition(MMTIME* time, LPARAM size) {
  if (size != static_cast<LPARAM>(sizeof(MMTIME))) return DV_ERR_NOTSUPPORTED;
  if (time == nullptr) return DV_ERR_PARAM1;
  std::lock_guard lock(Stream().mutex);
  time->wType = TIME_MS;
  time->u.ms = Stream().f.position;
  return DV_ERR_OK;
}

void CALLBACK StreamTimerProc(UINT /*timerId*/, UINT /*msg*/, DWORD_PTR /*user*/, DWORD_PTR /*dw1*/,
                              DWORD_PTR /*dw2*/) {
  StreamState& s = Stream();
  UINT pending;
  VIDEOHDR* header;
  DWORD errorCount = 0;
  WORD period;
  {
    std::lock_guard lock(s.mutex);
    if (!s.f.running) return;  // fired just as the stream was stopped
    ++s.f.ticksInFlight;
    pending = s.f.timerId;
    s.f.timerId = 0;
    header = s.f.head;
    if (header == nullptr) errorCount = ++s.f.errorCount;
    period = s.f.timerPeriod;
  }
  t_inTick = true;
  if (pending != 0) platform::TimeKillEvent(pending);  // our own one-shot: nothing to wait for

  UINT delay = kShortestTimerDelay;
  if (header == nullptr) {
    NotifyClient(MM_DRVM_ERROR, errorCount);
  } else {
    const DWORD t0 = platform::TimeGetTime();
    const DWORD r = CaptureForStream(header);
    if (r == DV_ERR_OK) {
      bool taken = false;
      {
        // Done only once out of the queue, under the lock: a client that polls
        // the flag and queues the buffer again at once is never refused.
        std::lock_guard lock(s.mutex);
        if (s.f.head == header) taken = DeQueLocked(s.f) != nullptr;
        if (taken) ChangeFlags(header, VHDR_DONE | VHDR_KEYFRAME, 0);
      }
      if (taken) NotifyClient(MM_DRVM_DATA, reinterpret_cast<DWORD_PTR>(header));
    } else if (r != DV_ERR_SYNC) {
      // A capture that failed (a transfer error, an unplugged camera) is a
      // skipped frame, counted in DVM_STREAM_GETERROR's count; the buffer
      // stays at the head for the next tick, one period on.
      DWORD skipped;
      {
        std::lock_guard lock(s.mutex);
        skipped = ++s.f.errorCount;
      }
      NotifyClient(MM_DRVM_ERROR, skipped);
    }
    if (r != DV_ERR_SYNC) delay = NextTimerDelay(t0, platform::TimeGetTime(), period);
  }

  t_inTick = false;
  std::lock_guard lock(s.mutex);
  if (s.f.running && s.f.timerId == 0) {
    UINT id = platform::TimeSetEvent(delay, s.f.timerResolution, StreamTimerProc, 0, TIME_ONESHOT);
    if (id == 0) {
      s.f.running = false;  // a refused re-arm ends the stream quietly
    } else {
      s.f.timerId = id;
    }
  }
  if (--s.f.ticksInFlight == 0) s.ticksDone.notify_all();
}

void InStreamShutdown() {
  HaltAndWait();
  bool endPeriod = false;
  WORD resolution = 0;
  {
    std::lock_guard lock(Stream().mutex);
    StreamFields& f = Stream().f;
    endPeriod = f.initialised;
    resolution = CloseLocked(f);
  }
  if (endPeriod) platform::TimeEndPeriod(resolution);
}

namespace {

// The stream ends as its owner's close ends it.
void EndStream() {
  // As a reset: stopped, and the queued buffers handed back in queue order.
  InStreamReset();
  WORD resolution;
  {
    // Buffers the client queued again from its callback come back too; with
    // the stream no longer initialised no new one can be added.
    std::lock_guard lock(Stream().mutex);
    resolution = CloseLocked(Stream().f);
  }
  SetStreamMode(0);
  AnnounceClosed(resolution);
}

}  // namespace

void InStreamClose(const void* owner) {
  {
    std::lock_guard lock(Stream().mutex);
    if (owner == nullptr || !Stream().f.initialised || Stream().f.owner != owner) return;
  }
  EndStream();
}

void InStreamEnd() {
  {
    std::lock_guard lock(Stream().mutex);
    if (!Stream().f.initialised) return;
  }
  EndStream();
}

bool InStreamTickThread() { return t_inTick; }

StreamStatus InStreamStatus() {
  std::lock_guard lock(Stream().mutex);
  const StreamFields& f = Stream().f;
  DWORD queued = 0;
  for (VIDEOHDR* h = f.head; h != nullptr; h = Next(h)) ++queued;
  return StreamStatus{f.initialised, f.running, f.basePeriod, f.timerResolution, f.timerPeriod, f.errorCount, queued};
}

void SetStreamCaptureProc(StreamCaptureProc proc) {
  std::lock_guard lock(Stream().mutex);
  Stream().f.capture = proc;
}

void StreamState::Reset() {
  InStreamShutdown();
  std::lock_guard lock(mutex);
  f = StreamFields{};
}
