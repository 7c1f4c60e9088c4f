// Streaming into buffers of its own, as a capture application does it (the
// stream client's messages): the driver's timer thread hands each filled
// buffer over, and the caller's thread takes it, writes it out and queues it
// again. The hand-over never calls the driver and never allocates. Used by
// `stream` and the preview.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/types.h"
#include "tools/zarncap/host/driver_link.h"
#include "tools/zarncap/host/stream_client.h"

namespace zarncap {

class StreamSession : private StreamListener {
 public:
  // bufferBytes per buffer, bufferCount buffers (allocated here, once).
  StreamSession(DriverLink& link, size_t bufferBytes, int bufferCount);
  StreamSession(const StreamSession&) = delete;
  StreamSession& operator=(const StreamSession&) = delete;
  // Ends the stream if it is still running (errors ignored).
  ~StreamSession();

  // DVM_STREAM_INIT with the frame interval; throws ToolError when refused.
  void Init(DWORD microSecondsPerFrame);
  // Queues every buffer and sends DVM_STREAM_START; throws ToolError.
  void Start();
  // The next filled buffer, or nullptr when none came within the timeout.
  VIDEOHDR* WaitFilled(std::chrono::milliseconds timeout);
  // Gives a buffer back to the driver; throws ToolError when refused.
  void Requeue(VIDEOHDR* header);
  // DVM_STREAM_GETERROR: the ticks that found no buffer since the last query.
  DWORD TakeErrorCount();
  // DVM_STREAM_STOP, RESET (the driver hands back every queued buffer), the
  // last error count, FINI. Returns the error count taken on the way; throws
  // ToolError when FINI is refused.
  DWORD End();

  // Notifications seen so far (for tests and the summary).
  int OpenNotices() const { return openNotices_.load(); }
  int CloseNotices() const { return closeNotices_.load(); }
  int ErrorNotices() const { return errorNotices_.load(); }
  // A buffer the driver returned twice or one that is not ours.
  int StrayBuffers() const { return strayBuffers_.load(); }
  size_t BufferCount() const { return headers_.size(); }

 private:
  void Notice(UINT msg, VIDEOHDR* header) override;
  void Delivered(VIDEOHDR* header);

  StreamClient client_;
  std::vector<std::vector<uint8_t>> buffers_;
  std::vector<VIDEOHDR> headers_;

  std::mutex mutex_;
  std::condition_variable filled_;
  std::vector<VIDEOHDR*> ready_;  // ring of delivered buffers, capacity = buffer count
  size_t readyHead_ = 0, readyCount_ = 0;

  std::atomic<int> openNotices_{0}, closeNotices_{0}, errorNotices_{0}, strayBuffers_{0};
};

}  // namespace zarncap
