// The driver's stream as the face runs it: DVM_STREAM_INIT with a function
// callback, the application's buffers handed over with DVM_STREAM_ADDBUFFER,
// START, and STOP/RESET/FINI. The callback (on the driver's timer thread) only
// notes the finished header and wakes the face's loop through a pipe.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/types.h"

namespace zarncap {

class DriverLink;

class DriverStream {
 public:
  explicit DriverStream(DriverLink& link);
  DriverStream(const DriverStream&) = delete;
  DriverStream& operator=(const DriverStream&) = delete;
  ~DriverStream();

  // Readable when the driver has handed buffers back; the loop then calls TakeFinished.
  int WakeFd() const { return pipe_[0]; }

  // INIT at the interval, each header added, START. False (and the stream
  // ended) when the driver refused a step.
  bool Start(const std::vector<VIDEOHDR*>& headers, DWORD microSecondsPerFrame);
  bool Add(VIDEOHDR* header);
  // STOP, RESET, FINI; whatever the driver hands back after is ignored.
  void Stop();
  bool Running() const { return running_; }

  // The headers the driver filled since the last call, in order (only the
  // current stream's, only frames).
  std::vector<VIDEOHDR*> TakeFinished();

 private:
  static void CALLBACK Callback(HDRVR, UINT msg, DWORD_PTR user, DWORD_PTR param1, DWORD_PTR);

  DriverLink& link_;
  int pipe_[2] = {-1, -1};
  bool running_ = false;
  std::atomic<std::uint32_t> generation_{0};
  std::mutex mutex_;
  std::vector<std::pair<std::uint32_t, VIDEOHDR*>> finished_;
};

}  // namespace zarncap
