#include "tools/zarncap/v4l2/face_buffers.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace zarncap {
namespace {

constexpr std::size_t kPage = 4096;
// Each buffer's mmap offset is its index times this, so an offset names one buffer.
constexpr std::uint32_t kOffsetStride = 1u << 24;

}  // namespace

bool BufferPool::Add(std::uint32_t count, std::size_t size) {
  const std::size_t length = (size + kPage - 1) / kPage * kPage;
  std::vector<FaceBuffer> added;
  for (std::uint32_t i = 0; i < count; ++i) {
    FaceBuffer buffer;
    buffer.index = static_cast<std::uint32_t>(buffers_.size() + added.size());
    buffer.length = length;
    buffer.offset = buffer.index * kOffsetStride;
    buffer.memory = memfd_create("zarncap-v4l2-buffer", MFD_CLOEXEC);
    bool ok = buffer.memory >= 0 && ftruncate(buffer.memory, static_cast<off_t>(length)) == 0;
    if (ok) {
      void* data = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, buffer.memory, 0);
      ok = data != MAP_FAILED;
      if (ok) buffer.data = static_cast<std::uint8_t*>(data);
    }
    if (!ok) {
      if (buffer.memory >= 0) close(buffer.memory);
      for (FaceBuffer& undo : added) {
        munmap(undo.data, undo.length);
        close(undo.memory);
      }
      return false;
    }
    added.push_back(buffer);
  }
  buffers_.insert(buffers_.end(), added.begin(), added.end());
  return true;
}

void BufferPool::Free() {
  for (FaceBuffer& buffer : buffers_) {
    munmap(buffer.data, buffer.length);
    close(buffer.memory);
  }
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
  out->length = static_cast<std::uint32_t>(buffer.length);
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
