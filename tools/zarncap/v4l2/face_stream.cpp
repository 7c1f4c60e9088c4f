#include "tools/zarncap/v4l2/face_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include "tools/zarncap/host/driver_link.h"

namespace zarncap {

DriverStream::DriverStream(DriverLink& link) : link_(link) {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) pipe_[0] = pipe_[1] = -1;
}

DriverStream::~DriverStream() {
  Stop();
  for (int fd : pipe_) {
    if (fd >= 0) close(fd);
  }
}

void CALLBACK DriverStream::Callback(HDRVR, UINT msg, DWORD_PTR user, DWORD_PTR param1, DWORD_PTR) {
  if (msg != MM_DRVM_DATA) return;
  auto* self = reinterpret_cast<DriverStream*>(user);
  {
    std::lock_guard lock(self->mutex_);
    self->finished_.emplace_back(self->generation_.load(), reinterpret_cast<VIDEOHDR*>(param1));
  }
  const char wake = 1;
  [[maybe_unused]] const ssize_t ignored = write(self->pipe_[1], &wake, 1);
}

bool DriverStream::Start(const std::vector<VIDEOHDR*>& headers, DWORD microSecondsPerFrame) {
  VIDEO_STREAM_INIT_PARMS parms{};
  parms.dwMicroSecPerFrame = microSecondsPerFrame;
  parms.dwCallback = reinterpret_cast<DWORD_PTR>(&DriverStream::Callback);
  parms.dwCallbackInst = reinterpret_cast<DWORD_PTR>(this);
  parms.dwFlags = CALLBACK_FUNCTION;
  parms.hVideo = reinterpret_cast<DWORD_PTR>(link_.Handle());
  if (link_.Send(DVM_STREAM_INIT, reinterpret_cast<LPARAM>(&parms), sizeof parms) != DV_ERR_OK) return false;
  running_ = true;
  for (VIDEOHDR* header : headers) {
    if (!Add(header)) {
      Stop();
      return false;
    }
  }
  if (link_.Send(DVM_STREAM_START, 0, 0) != DV_ERR_OK) {
    Stop();
    return false;
  }
  return true;
}

bool DriverStream::Add(VIDEOHDR* header) {
  header->dwFlags = VHDR_PREPARED;
  header->dwBytesUsed = 0;
  return link_.Send(DVM_STREAM_ADDBUFFER, reinterpret_cast<LPARAM>(header), sizeof *header) == DV_ERR_OK;
}

void DriverStream::Stop() {
  if (!running_) return;
  running_ = false;
  generation_.fetch_add(1);
  link_.Send(DVM_STREAM_STOP, 0, 0);
  link_.Send(DVM_STREAM_RESET, 0, 0);
  link_.Send(DVM_STREAM_FINI, 0, 0);
  std::lock_guard lock(mutex_);
  finished_.clear();
}

std::vector<VIDEOHDR*> DriverStream::TakeFinished() {
  char drain[64];
  while (read(pipe_[0], drain, sizeof drain) > 0) {
  }
  std::vector<VIDEOHDR*> frames;
  std::lock_guard lock(mutex_);
  for (auto [generation, header] : finished_) {
    if (generation == generation_.load() && running_ && (header->dwFlags & VHDR_DONE) != 0 &&
        header->dwBytesUsed > 0) {
      frames.push_back(header);
    }
  }
  finished_.clear();
  return frames;
}

}  // namespace zarncap
