#include "tools/zarncap/pipewire/node_buffers.h"

#include <fcntl.h>
#include <pipewire/stream.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zarncap {

NodeBuffers::~NodeBuffers() {
  for (auto& buffer : buffers_) Free(*buffer);
}

void NodeBuffers::Free(NodeBuffer& buffer) {
  if (buffer.data != nullptr) munmap(buffer.data, buffer.size);
  if (buffer.fd >= 0) close(buffer.fd);
  buffer.data = nullptr;
  buffer.fd = -1;
}

bool NodeBuffers::Add(pw_buffer* buffer, std::size_t bytes) {
  spa_data& memory = buffer->buffer->datas[0];
  auto made = std::make_unique<NodeBuffer>();
  made->buffer = buffer;
  made->size = bytes;
  made->fd = memfd_create("zarncap-frame", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (made->fd < 0) return false;
  // Sealed at its size: a consumer that maps it can count on the memory staying.
  if (ftruncate(made->fd, static_cast<off_t>(bytes)) != 0 ||
      fcntl(made->fd, F_ADD_SEALS, F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL) != 0) {
    const int error = errno;
    Free(*made);
    errno = error;
    return false;
  }
  void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, made->fd, 0);
  if (mapped == MAP_FAILED) {
    const int error = errno;
    Free(*made);
    errno = error;
    return false;
  }
  made->data = static_cast<std::uint8_t*>(mapped);
  made->header.lpData = made->data;
  made->header.dwBufferLength = static_cast<DWORD>(bytes);
  memory.type = SPA_DATA_MemFd;
  memory.flags = SPA_DATA_FLAG_READWRITE;
  memory.fd = made->fd;
  memory.mapoffset = 0;
  memory.maxsize = static_cast<uint32_t>(bytes);
  memory.data = made->data;
  buffer->user_data = made.get();
  buffers_.push_back(std::move(made));
  return true;
}

void NodeBuffers::Remove(pw_buffer* buffer) {
  const auto at = std::find_if(buffers_.begin(), buffers_.end(), [&](const auto& b) { return b->buffer == buffer; });
  if (at == buffers_.end()) return;
  Free(**at);
  buffer->user_data = nullptr;
  buffers_.erase(at);
}

NodeBuffer* NodeBuffers::Of(pw_buffer* buffer) const {
  for (const auto& b : buffers_) {
    if (b->buffer == buffer) return b.get();
  }
  return nullptr;
}

NodeBuffer* NodeBuffers::Of(const VIDEOHDR* header) const {
  for (const auto& b : buffers_) {
    if (&b->header == header) return b.get();
  }
  return nullptr;
}

}  // namespace zarncap
