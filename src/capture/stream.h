// The streaming engine: the client's queue of VIDEOHDR buffers, the one-shot
// timer that fills the head buffer at every tick through CaptureFrame and hands
// it back with MM_DRVM_DATA, and the counters behind the error and position
// reports. One stream per process; its state lives in one struct (stream.cpp).
#pragma once

#include "platform/types.h"

// The handlers of DVM_STREAM_*; each answers a video error number. The owner is
// the channel that sends DVM_STREAM_INIT; its close ends the stream.
DWORD InStreamInit(const VIDEO_STREAM_INIT_PARMS* parms, WORD basePeriod, const void* owner = nullptr);
DWORD InStreamFini();
DWORD InStreamAddBuffer(VIDEOHDR* header);
DWORD InStreamStart();
DWORD InStreamStop();
DWORD InStreamReset();
DWORD InStreamGetError(DWORD* error, DWORD* count);
// size is the whole message parameter: a size with high bits set is no MMTIME.
DWORD InStreamGetPosition(MMTIME* time, LPARAM size);

// The queue, linked through dwReserved[0]; each takes the stream lock.
void QueHeader(VIDEOHDR* header);
VIDEOHDR* DeQueHeader();
// Tells the client through the callback given at init (nothing without one).
void NotifyClient(UINT msg, DWORD_PTR param);
// The timer callback.
void CALLBACK StreamTimerProc(UINT timerId, UINT msg, DWORD_PTR user, DWORD_PTR dw1, DWORD_PTR dw2);

// Device teardown: stops the timer, waits for a tick in flight, ends the timer
// resolution and forgets the stream and its queue without calling the client.
void InStreamShutdown();
// The close of the channel that owns the stream: stops it, hands every queued
// buffer back (done, out of the queue) and tells the client the stream closed.
// No callback follows. Does nothing for any other owner.
void InStreamClose(const void* owner);
// DRV_DISABLE and DRV_ENABLE take the device from under any stream: it ends as
// its owner's close would end it (buffers back with MM_DRVM_DATA, then
// MM_DRVM_CLOSE), whoever owns it.
void InStreamEnd();
// True on the timer's thread while it runs a tick (and so inside the client's
// stream callback).
bool InStreamTickThread();

// What the stream looks like now (tests, dialogs).
struct StreamStatus {
  bool initialised;
  bool running;  // a timer is pending or a tick is in flight and will re-arm
  WORD basePeriod;
  WORD timerResolution;
  WORD timerPeriod;
  DWORD errorCount;
  DWORD queued;
};
StreamStatus InStreamStatus();

// The capture each tick runs; CaptureFrame unless a test puts another in.
using StreamCaptureProc = DWORD (*)(VIDEOHDR* header);
void SetStreamCaptureProc(StreamCaptureProc proc);  // nullptr = CaptureFrame

