#include "tools/zarncap/host/driver_stream.h"

#include <fcntl.h>
#include <unistd.h>


namespace zarncap {

DriverStream::DriverStream(DriverLink& link) : client_(link, *this) {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) pipe_[0] = pipe_[1] = -1;
}

DriverStream::~DriverStream() {
  Stop();
  for (int fd : pipe_) {
    if (fd >= 0) close(fd);
  }
}

void DriverStream::Notice(UINT msg, VIDEOHDR* header) {
  if (msg != MM_DRVM_DATA) return;
  {
    std::lock_guard lock(mutex_);
    finished_.emplace_back(generation_.load(), header);
  }
  const char wake = 1;
  [[maybe_unused]] const ssize_t ignored = write(pipe_[1], &wake, 1);
}

bool DriverStream::Start(const std::vector<VIDEOHDR*>& headers, DWORD microSecondsPerFrame) {
  if (client_.Init(microSecondsPerFrame) != DV_ERR_OK) return false;
  for (VIDEOHDR* header : headers) {
    if (!Add(header)) {
      Stop();
      return false;
    }
  }
  if (client_.Start() != DV_ERR_OK) {
    Stop();
    return false;
  }
  return true;
}

bool DriverStream::Add(VIDEOHDR* header) { return client_.Add(header) == DV_ERR_OK; }

void DriverStream::Stop() {
  if (!client_.Initialised()) return;
  generation_.fetch_add(1);
  client_.StopAndReset();
  client_.Fini();
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
    if (generation == generation_.load() && client_.Initialised() && (header->dwFlags & VHDR_DONE) != 0 &&
        header->dwBytesUsed > 0) {
      frames.push_back(header);
    }
  }
  finished_.clear();
  return frames;
}

}  // namespace zarncap
