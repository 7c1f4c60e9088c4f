#include "v4l2/preload/connections.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <dirent.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "v4l2/preload/face_config.h"
#include "v4l2/preload/real_calls.h"

namespace v4l2face {
namespace {

constexpr int kMaxDescriptors = 1 << 16;
// 0: not a connection; else the socket's inode.
std::atomic<std::uint64_t> marks[kMaxDescriptors];

bool InRange(int fd) { return fd >= 0 && fd < kMaxDescriptors; }

std::uint64_t SocketInode(int fd) {
  struct stat seen;
  if (Real().fstat(fd, &seen) != 0 || !S_ISSOCK(seen.st_mode)) return 0;
  return static_cast<std::uint64_t>(seen.st_ino);
}

bool PeerIsLauncher(int fd) {
  const char* socketPath = Config().socket;
  if (socketPath[0] == '\0') return false;
  sockaddr_un peer = {};
  socklen_t length = sizeof peer;
  if (RawSyscall(SYS_getpeername, fd, reinterpret_cast<long>(&peer), reinterpret_cast<long>(&length)) != 0 ||
      peer.sun_family != AF_UNIX) {
    return false;
  }
  return std::strncmp(peer.sun_path, socketPath, sizeof peer.sun_path) == 0;
}

// Descriptors kept across exec: the launcher's sockets among them are the
// device, opened before exec (`sh -c 'dd </dev/video0'`).
__attribute__((constructor(103))) void FindInherited() {
  if (Config().socket[0] == '\0') return;
  const int folder = static_cast<int>(RawSyscall(SYS_openat, AT_FDCWD, reinterpret_cast<long>("/proc/self/fd"),
                                                 O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder < 0) return;
  alignas(8) char entries[4096];
  for (;;) {
    const long got = RawSyscall(SYS_getdents64, folder, reinterpret_cast<long>(entries), sizeof entries);
    if (got <= 0) break;
    for (long at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
      at += entry->d_reclen;
      if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
      const int fd = static_cast<int>(std::strtol(entry->d_name, nullptr, 10));
      if (fd != folder && InRange(fd) && PeerIsLauncher(fd)) Mark(fd);
    }
  }
  RawSyscall(SYS_close, folder);
}

}  // namespace

bool IsMarked(int fd) { return InRange(fd) && marks[fd].load(std::memory_order_acquire) != 0; }

bool Mark(int fd) {
  if (!InRange(fd)) return false;
  const std::uint64_t inode = SocketInode(fd);
  marks[fd].store(inode, std::memory_order_release);
  return inode != 0;
}

void Unmark(int fd) {
  if (InRange(fd)) marks[fd].store(0, std::memory_order_release);
}

void MarkLike(int from, int to) {
  if (!InRange(to)) return;
  marks[to].store(IsConnection(from) ? marks[from].load(std::memory_order_acquire) : 0, std::memory_order_release);
}

bool IsConnection(int fd) {
  if (!IsMarked(fd)) return false;
  const std::uint64_t mark = marks[fd].load(std::memory_order_acquire);
  if (SocketInode(fd) == mark) return true;
  // The number now names another file: the connection was closed past us.
  std::uint64_t expected = mark;
  marks[fd].compare_exchange_strong(expected, 0, std::memory_order_acq_rel);
  return false;
}

bool RecogniseConnection(int fd) {
  if (!InRange(fd) || !PeerIsLauncher(fd)) return false;
  return Mark(fd);
}

CallDescriptor::CallDescriptor(int fd) {
  if (!IsMarked(fd)) return;
  const std::uint64_t mark = marks[fd].load(std::memory_order_acquire);
  const int copy = Real().fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) {
    // No number to spare (EMFILE): the call goes on the application's own.
    if (IsConnection(fd)) fd_ = fd;
    return;
  }
  owned_ = true;
  if (mark == 0 || SocketInode(copy) != mark) {
    Real().close(copy);
    std::uint64_t expected = mark;
    if (mark != 0) marks[fd].compare_exchange_strong(expected, 0, std::memory_order_acq_rel);
    return;
  }
  fd_ = copy;
}

CallDescriptor::~CallDescriptor() {
  if (owned_) Real().close(fd_);
}

}  // namespace v4l2face
