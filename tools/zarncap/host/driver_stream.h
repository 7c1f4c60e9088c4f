// The driver's stream into the caller's buffers, through the stream client,
// for a face that serves from an event loop (the V4L2 face, the PipeWire
// node): each finished buffer is noted on the driver's timer thread, which
// then wakes the loop through a pipe.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/types.h"
#include "tools/zarncap/host/stream_client.h"

namespace zarncap {

// The camera's sensor runs at a nominal 15 frames a second, and the driver
// delivers whole sensor frames: the rates a face offers come from this.
inline constexpr std::uint32_t kSensorFramesPerSecond = 15;

class DriverStream : private StreamListener {
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
  bool Running() const { return client_.Initialised(); }

  // The headers the driver filled since the last call, in order (only the
  // current stream's, only frames).
  std::vector<VIDEOHDR*> TakeFinished();

 private:
  void Notice(UINT msg, VIDEOHDR* header) override;

  StreamClient client_;
  int pipe_[2] = {-1, -1};
  std::atomic<std::uint32_t> generation_{0};
  std::mutex mutex_;
  std::vector<std::pair<std::uint32_t, VIDEOHDR*>> finished_;
};

}  // namespace zarncap
