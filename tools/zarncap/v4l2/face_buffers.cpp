#include "tools/zarncap/v4l2/face_buffers.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace zarncap {
namespace {

constexpr std::size_t kPage = 4096;
// Each buffer's mmap offset is its index times this, so an offset names one buffer.
constexpr std::uint32_t kOffsetStride = 1u << 24;

}  // namespace

namespace {

void Release(FaceBuffer& buffer) {
  if (buffer.data != nullptr) munmap(buffer.data, buffer.mapLength);
  if (buffer.memory >= 0) close(buffer.memory);
}

// The buffer's memory: a memfd of mapLength bytes whose size is sealed, and
// the launcher's own mapping of it.
bool Allocate(FaceBuffer& buffer) {
  buffer.memory = memfd_create("zarncap-v4l2-buffer", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (buffer.memory < 0) return false;
  if (ftruncate(buffer.memory, static_cast<off_t>(buffer.mapLength)) != 0 ||
      fcntl(buffer.memory, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
    return false;
  }
  void* data = mmap(nullptr, buffer.mapLength, PROT_READ | PROT_WRITE, MAP_SHARED, buffer.memory, 0);
  if (data == MAP_FAILED) return false;
  buffer.data = static_cast<std::uint8_t*>(data);
  return true;
}

}  // namespace

bool BufferPool::Add(std::uint32_t count, std::uint32_t size) {
  std::vector<FaceBuffer> added;
  for (std::uint32_t i = 0; i < count; ++i) {
    FaceBuffer buffer;
    buffer.index = static_cast<std::uint32_t>(buffers_.size() + added.size());
    buffer.size = size;
    buffer.mapLength = (std::size_t{size} + kPage - 1) / kPage * kPage;
    buffer.offset = buffer.index * kOffsetStride;
    if (!Allocate(buffer)) {
      Release(buffer);
      for (FaceBuffer& undo : added) Release(undo);
      return false;
    }
    added.push_back(buffer);
  }
  for (const FaceBuffer& buffer : added) buffers_.push_back(buffer);
  return true;
}

void BufferPool::Free() {
  for (FaceBuffer& buffer : buffers_) Release(buffer);
  buffers_.clear();
  done_.clear();
}

FaceBuffer* BufferPool::AtOffset(std::uint64_t offset) {
  for (FaceBuffer& buffer : buffers_) {
    if (buffer.offset == offset) return &buffer;
  }
  return nullptr;
}

void BufferPool::MarkDone(FaceBuffer& buffer) {
  buffer.state = BufferState::Done;
  done_.push_back(buffer.index);
}

FaceBuffer* BufferPool::TakeDone() {
  if (done_.empty()) return nullptr;
  FaceBuffer* buffer = At(done_.front());
  done_.pop_front();
  buffer->state = BufferState::Dequeued;
  return buffer;
}

void BufferPool::Describe(const FaceBuffer& buffer, v4l2_buffer* out) const {
  std::memset(out, 0, sizeof *out);
  out->index = buffer.index;
  out->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  out->memory = V4L2_MEMORY_MMAP;
  out->m.offset = buffer.offset;
  out->length = buffer.size;
  out->field = V4L2_FIELD_NONE;
  out->flags = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC | V4L2_BUF_FLAG_TSTAMP_SRC_EOF;
  if (buffer.mapped) out->flags |= V4L2_BUF_FLAG_MAPPED;
  if (buffer.state == BufferState::Queued) out->flags |= V4L2_BUF_FLAG_QUEUED;
  if (buffer.state == BufferState::Done) out->flags |= V4L2_BUF_FLAG_DONE;
  out->bytesused = buffer.bytesused;
  out->sequence = buffer.sequence;
  out->timestamp = buffer.timestamp;
}

}  // namespace zarncap
