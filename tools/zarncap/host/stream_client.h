// The driver's stream messages on one channel, as a capture application sends
// them: DVM_STREAM_INIT with a function callback, buffers handed over with
// DVM_STREAM_ADDBUFFER, START, and STOP, RESET, GETERROR, FINI at the end.
// The callback runs on the driver's timer thread and only passes each notice
// to the listener; what a client does with a filled buffer (write it to a
// file, hand it to a V4L2 application) is its own.
#pragma once

#include "platform/types.h"
#include "tools/zarncap/host/driver_link.h"

namespace zarncap {

// Told of each notice on the driver's timer thread: it must not call the
// driver and should not block.
class StreamListener {
 public:
  virtual void Notice(UINT msg, VIDEOHDR* header) = 0;

 protected:
  ~StreamListener() = default;
};

class StreamClient {
 public:
  StreamClient(DriverLink& link, StreamListener& listener) : link_(link), listener_(listener) {}
  StreamClient(const StreamClient&) = delete;
  StreamClient& operator=(const StreamClient&) = delete;

  // DVM_STREAM_INIT at the frame interval; the driver's answer.
  DWORD Init(DWORD microSecondsPerFrame);
  // Marks the buffer prepared and empty and queues it (ADDBUFFER). The
  // driver's own prepare message is the application's business with this
  // driver (it answers not supported), so the flag is set here.
  DWORD Add(VIDEOHDR* header);
  DWORD Start();
  // DVM_STREAM_GETERROR: the ticks that found no buffer since the last query
  // (0 when the driver would not say).
  DWORD TakeErrorCount();
  // STOP (when started) and RESET: the driver hands every buffer still queued
  // back through the callback.
  void StopAndReset();
  // FINI; the driver's answer. The stream is over either way.
  DWORD Fini();
  bool Initialised() const { return initialised_; }

 private:
  static void CALLBACK Callback(HDRVR driver, UINT msg, DWORD_PTR user, DWORD_PTR param1, DWORD_PTR param2);

  DriverLink& link_;
  StreamListener& listener_;
  bool initialised_ = false;
  bool started_ = false;
};

}  // namespace zarncap
