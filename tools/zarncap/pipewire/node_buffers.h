// The node's buffers: PipeWire asks the node to allocate them (the stream
// is connected with PW_STREAM_FLAG_ALLOC_BUFFERS), and each is a sealed
// memfd mapped here, so the driver writes its frames straight into memory
// the consumers map. Each carries the VIDEOHDR it is queued with the driver by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/types.h"

struct pw_buffer;

namespace zarncap {

struct NodeBuffer {
  pw_buffer* buffer = nullptr;
  std::uint8_t* data = nullptr;
  std::size_t size = 0;
  int fd = -1;
  VIDEOHDR header{};
  bool held = false;        // dequeued by the node: not with PipeWire or a consumer
  bool withDriver = false;  // held and queued with the driver, not yet handed back
};

class NodeBuffers {
 public:
  NodeBuffers() = default;
  NodeBuffers(const NodeBuffers&) = delete;
  NodeBuffers& operator=(const NodeBuffers&) = delete;
  ~NodeBuffers();

  // Gives a buffer PipeWire added its memory: a memfd of `bytes`, sealed
  // against resizing and mapped. False (errno set) when it cannot.
  bool Add(pw_buffer* buffer, std::size_t bytes);
  // Unmaps and closes a buffer's memory (PipeWire is removing it).
  void Remove(pw_buffer* buffer);

  NodeBuffer* Of(pw_buffer* buffer) const;
  // The buffer a header the driver handed back belongs to, or nullptr.
  NodeBuffer* Of(const VIDEOHDR* header) const;
  const std::vector<std::unique_ptr<NodeBuffer>>& All() const { return buffers_; }

 private:
  static void Free(NodeBuffer& buffer);
  std::vector<std::unique_ptr<NodeBuffer>> buffers_;
};

}  // namespace zarncap
