// The device's buffers, streaming and read() I/O.
#include <cerrno>
#include <cstring>
#include <ctime>

#include "tools/zarncap/host/frame_rows.h"
#include "tools/zarncap/v4l2/face_device.h"
#include "tools/zarncap/v4l2/face_rate.h"

namespace zarncap {
namespace {

constexpr std::uint32_t kMaxBuffers = 32;
constexpr std::uint32_t kReadBuffers = 2;
// The largest buffer CREATE_BUFS makes: ample for any frame, far short of
// what would strain the launcher's memory (32 such buffers are 2 GiB).
constexpr std::uint32_t kMaxBufferBytes = 64u << 20;

timeval MonotonicNow() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return {now.tv_sec, now.tv_nsec / 1000};
}

}  // namespace

int FaceDevice::RequestBuffers(int connection, v4l2_requestbuffers* inOut) {
  if (inOut->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
  inOut->capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP;
  if (inOut->memory != V4L2_MEMORY_MMAP) return -EINVAL;
  if (OwnedByOther(connection)) return -EBUSY;
  if (!PriorityAllows(connection)) return -EBUSY;
  if (streaming_) return -EBUSY;
  ReleaseBuffers();
  std::memset(inOut->reserved, 0, sizeof inOut->reserved);
  inOut->flags = 0;
  if (inOut->count == 0) return 0;
  const std::uint32_t count = std::min(inOut->count, kMaxBuffers);
  if (!pool_.Add(count, FrameSize())) return -ENOMEM;
  inOut->count = count;
  owner_ = connection;
  fileIo_ = false;
  return 0;
}

int FaceDevice::CreateBuffers(int connection, v4l2_create_buffers* inOut) {
  inOut->capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP;
  if (inOut->format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || inOut->memory != V4L2_MEMORY_MMAP) return -EINVAL;
  if (OwnedByOther(connection) || fileIo_) return -EBUSY;
  if (!PriorityAllows(connection)) return -EBUSY;
  inOut->index = static_cast<std::uint32_t>(pool_.Count());
  std::memset(inOut->reserved, 0, sizeof inOut->reserved);
  inOut->flags = 0;
  if (inOut->count == 0) return 0;
  if (inOut->format.fmt.pix.sizeimage < FrameSize()) return -EINVAL;
  if (inOut->format.fmt.pix.sizeimage > kMaxBufferBytes) return -ENOMEM;
  const std::uint32_t room = kMaxBuffers - static_cast<std::uint32_t>(pool_.Count());
  if (room == 0) return -ENOBUFS;
  const std::uint32_t count = std::min(inOut->count, room);
  if (!pool_.Add(count, inOut->format.fmt.pix.sizeimage)) return -ENOMEM;
  inOut->count = count;
  owner_ = connection;
  return 0;
}

int FaceDevice::QueryBuffer(v4l2_buffer* inOut) {
  if (inOut->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
  const FaceBuffer* buffer = pool_.At(inOut->index);
  if (buffer == nullptr) return -EINVAL;
  pool_.Describe(*buffer, inOut);
  return 0;
}

int FaceDevice::QueueBuffer(int connection, v4l2_buffer* inOut) {
  if (OwnedByOther(connection) || fileIo_) return -EBUSY;
  if (inOut->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || inOut->memory != V4L2_MEMORY_MMAP) return -EINVAL;
  FaceBuffer* buffer = pool_.At(inOut->index);
  if (buffer == nullptr || buffer->state != BufferState::Dequeued) return -EINVAL;
  buffer->state = BufferState::Queued;
  buffer->bytesused = 0;
  buffer->header = VIDEOHDR{};
  buffer->header.lpData = buffer->data;
  buffer->header.dwBufferLength = FrameSize();
  buffer->header.dwUser = buffer->index;
  if (streaming_ && !stream_.Add(&buffer->header)) {
    buffer->state = BufferState::Dequeued;
    return -EIO;
  }
  pool_.Describe(*buffer, inOut);
  return 0;
}

int FaceDevice::DequeueBuffer(int connection, v4l2_buffer* inOut) {
  if (OwnedByOther(connection) || fileIo_) return -EBUSY;
  if (inOut->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || inOut->memory != V4L2_MEMORY_MMAP) return -EINVAL;
  if (!streaming_) return -EINVAL;
  FaceBuffer* buffer = pool_.TakeDone();
  if (buffer == nullptr) return -EAGAIN;
  if (!pool_.AnyDone()) drain_ = true;
  pool_.Describe(*buffer, inOut);
  return 0;
}

int FaceDevice::StartDriverStream() {
  std::vector<VIDEOHDR*> headers;
  for (FaceBuffer& buffer : pool_.All()) {
    if (buffer.state == BufferState::Queued) headers.push_back(&buffer.header);
  }
  anySequence_ = false;
  if (!stream_.Start(headers, DriverMicroseconds(intervalFrames_))) return -EIO;
  streaming_ = true;
  return 0;
}

int FaceDevice::StreamOn(int connection, const int* type) {
  if (*type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
  if (OwnedByOther(connection) || fileIo_) return -EBUSY;
  if (!PriorityAllows(connection)) return -EBUSY;
  if (pool_.Count() == 0) return -EINVAL;
  if (streaming_) return 0;
  return StartDriverStream();
}

int FaceDevice::StreamOff(int connection, const int* type) {
  if (*type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
  if (OwnedByOther(connection) || fileIo_) return -EBUSY;
  if (!PriorityAllows(connection)) return -EBUSY;
  EndStreaming();
  return 0;
}

void FaceDevice::EndStreaming() {
  stream_.Stop();
  streaming_ = false;
  if (pool_.AnyDone()) drain_ = true;
  pool_.ForgetDone();
  for (FaceBuffer& buffer : pool_.All()) buffer.state = BufferState::Dequeued;
  for (auto& [id, connection] : connections_) connection.reading = nullptr;
}

void FaceDevice::ReleaseBuffers() {
  EndStreaming();
  pool_.Free();
  owner_ = -1;
  fileIo_ = false;
}

void FaceDevice::OnWake() {
  const bool wasEmpty = !pool_.AnyDone();
  const v4l2_pix_format pix = formats_.Describe(*format_, size_);
  const std::uint32_t periodMs = NominalMicroseconds(intervalFrames_) / 1000;
  for (VIDEOHDR* header : stream_.TakeFinished()) {
    FaceBuffer* buffer = pool_.At(static_cast<std::uint32_t>(header->dwUser));
    if (buffer == nullptr || &buffer->header != header || buffer->state != BufferState::Queued) continue;
    if (format_->flipRows) FlipRows(buffer->data, pix.bytesperline, pix.height, flipRow_);
    buffer->bytesused = std::min<std::uint32_t>(header->dwBytesUsed, pix.sizeimage);
    // The sequence counts the intervals since the frame before (at least
    // one), so a frame the driver skipped shows as a gap. Frame by frame, a
    // sensor a little off its nominal rate adds no false gaps.
    std::uint32_t sequence = 0;
    if (anySequence_) {
      const DWORD gap = header->dwTimeCaptured - lastCapture_;
      sequence = lastSequence_ + std::max<std::uint32_t>(1, (gap + periodMs / 2) / periodMs);
    }
    anySequence_ = true;
    lastCapture_ = header->dwTimeCaptured;
    lastSequence_ = sequence;
    buffer->sequence = sequence;
    buffer->timestamp = MonotonicNow();
    pool_.MarkDone(*buffer);
    ++framesDelivered_;
  }
  if (wasEmpty && pool_.AnyDone()) tokenTarget_ = owner_;
}

int FaceDevice::MapFd(int, std::uint64_t offset, int* memory, std::uint64_t* length) {
  FaceBuffer* buffer = pool_.AtOffset(offset);
  if (buffer == nullptr) return -EINVAL;
  buffer->mapped = true;
  *memory = buffer->memory;
  *length = buffer->mapLength;
  return 0;
}

int FaceDevice::Read(int connection, int* memory, std::uint64_t* length) {
  if (OwnedByOther(connection)) return -EBUSY;
  if (pool_.Count() > 0 && !fileIo_) return -EBUSY;
  Connection& reader = connections_[connection];
  if (pool_.Count() == 0) {
    if (!pool_.Add(kReadBuffers, FrameSize())) return -ENOMEM;
    owner_ = connection;
    fileIo_ = true;
    for (FaceBuffer& buffer : pool_.All()) {
      v4l2_buffer record = {};
      record.index = buffer.index;
      record.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      record.memory = V4L2_MEMORY_MMAP;
      fileIo_ = false;  // queued as the stream's own buffers
      QueueBuffer(connection, &record);
      fileIo_ = true;
    }
    if (StartDriverStream() != 0) {
      ReleaseBuffers();
      return -EIO;
    }
  }
  // The frame handed out last time has been copied: it goes back to the driver.
  if (reader.reading != nullptr) {
    reader.reading->state = BufferState::Queued;
    reader.reading->bytesused = 0;
    if (!stream_.Add(&reader.reading->header)) reader.reading->state = BufferState::Dequeued;
    reader.reading = nullptr;
  }
  FaceBuffer* buffer = pool_.TakeDone();
  if (buffer == nullptr) return -EAGAIN;
  if (!pool_.AnyDone()) drain_ = true;
  reader.reading = buffer;
  *memory = buffer->memory;
  *length = buffer->bytesused;
  return 0;
}

}  // namespace zarncap
