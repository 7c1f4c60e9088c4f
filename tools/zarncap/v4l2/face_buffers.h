// The device's buffers: shared memory (memfd) the launcher maps for the
// driver to fill and the application maps through its connection, each with
// its V4L2 state (dequeued, queued, with the driver, done). The memory's size
// is sealed, so an application that truncates it cannot pull pages from
// under the launcher; a buffer keeps its place (the driver holds pointers to
// it) while others are added.
#pragma once

#include <linux/videodev2.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/types.h"

namespace zarncap {

enum class BufferState { Dequeued, Queued, Done };

struct FaceBuffer {
  std::uint32_t index = 0;
  int memory = -1;             // the memfd
  std::uint8_t* data = nullptr;  // the launcher's mapping
  std::uint32_t size = 0;      // the buffer's size (QUERYBUF's length: the image size asked)
  std::size_t mapLength = 0;   // the memory's length (the size page-rounded)
  std::uint32_t offset = 0;    // the mmap offset the application uses
  BufferState state = BufferState::Dequeued;
  bool mapped = false;
  std::uint32_t bytesused = 0;
  std::uint32_t sequence = 0;
  timeval timestamp = {};
  VIDEOHDR header = {};        // the driver's record while it has the buffer
};

class BufferPool {
 public:
  BufferPool() = default;
  BufferPool(const BufferPool&) = delete;
  BufferPool& operator=(const BufferPool&) = delete;
  ~BufferPool() { Free(); }

  // Adds count buffers of size bytes each; false (and nothing added) when
  // the memory cannot be had. Buffers already there stay where they are.
  bool Add(std::uint32_t count, std::uint32_t size);
  void Free();

  std::size_t Count() const { return buffers_.size(); }
  FaceBuffer* At(std::uint32_t index) { return index < buffers_.size() ? &buffers_[index] : nullptr; }
  FaceBuffer* AtOffset(std::uint64_t offset);
  std::deque<FaceBuffer>& All() { return buffers_; }

  // The done queue, in the order the frames came.
  void MarkDone(FaceBuffer& buffer);
  FaceBuffer* TakeDone();
  bool AnyDone() const { return !done_.empty(); }
  void ForgetDone() { done_.clear(); }

  // The V4L2 record of a buffer.
  void Describe(const FaceBuffer& buffer, v4l2_buffer* out) const;

 private:
  std::deque<FaceBuffer> buffers_;  // a deque: growing it moves no buffer
  std::deque<std::uint32_t> done_;
};

}  // namespace zarncap
