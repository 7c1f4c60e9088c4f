#include "v4l2/preload/device_calls.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <csignal>
#include <cerrno>
#include <cstring>
#include <vector>

#include "v4l2/preload/buffer_maps.h"
#include "v4l2/preload/real_calls.h"
#include "v4l2/preload/request_lock.h"
#include "v4l2/protocol.h"

namespace v4l2face {
namespace {

// How long a blocking wait sleeps between asks: another process's STREAMOFF
// is seen within this.
constexpr int kWaitSliceMs = 40;
constexpr std::size_t kMaxControls = 1024;

RequestLock sending;

bool ReadUser(const void* from, void* to, std::size_t size) {
  if (size == 0) return true;
  iovec local = {to, size};
  iovec remote = {const_cast<void*>(from), size};
  return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(size);
}

bool WriteUser(void* to, const void* from, std::size_t size) {
  if (size == 0) return true;
  iovec local = {const_cast<void*>(from), size};
  iovec remote = {to, size};
  return process_vm_writev(getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(size);
}

bool Blocking(int fd) { return (Real().fcntl(fd, F_GETFL) & O_NONBLOCK) == 0; }

bool Exchange(int fd, const Request& request, const void* body, std::size_t bodySize, Reply* reply, void* out,
              std::size_t outRoom, std::size_t* outSize, int* passedFd);

// Takes the out-of-band event mark. The kernel keeps the descriptor readable
// until a plain read passes the mark's place, and such a read may take a
// ready token with it: the launcher is asked to send that token again.
void TakeEventMark(int fd) {
  char mark;
  while (recv(fd, &mark, 1, MSG_OOB | MSG_DONTWAIT) < 0 && errno == EINTR) {
  }
  bool tookToken = false;
  char token;
  for (;;) {
    const ssize_t got = recv(fd, &token, 1, MSG_DONTWAIT);
    if (got > 0) {
      tookToken = true;
    } else if (!(got < 0 && errno == EINTR)) {
      break;
    }
  }
  if (tookToken) {
    Request again;
    again.op = Op::Retoken;
    Reply ignored;
    Exchange(fd, again, nullptr, 0, &ignored, nullptr, 0, nullptr, nullptr);
  }
}

// One request and its reply, on a reply socket of its own. Threads of one
// process send one at a time, so their requests never interleave on the stream.
bool Exchange(int fd, const Request& request, const void* body, std::size_t bodySize, Reply* reply, void* out,
              std::size_t outRoom, std::size_t* outSize, int* passedFd) {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return false;
  bool sent;
  {
    RequestLockHeld held(sending);
    sent = SendMessage(fd, &request, sizeof request, body, bodySize, pair[1]);
  }
  Real().close(pair[1]);
  const bool got = sent && ReceiveMessage(pair[0], reply, sizeof *reply, out, outRoom, outSize, passedFd);
  Real().close(pair[0]);
  if (got && reply->drainToken != 0) {
    char token;
    while (recv(fd, &token, 1, MSG_DONTWAIT) < 0 && errno == EINTR) {
    }
  }
  if (got && reply->drainEvent != 0) TakeEventMark(fd);
  return got;
}

// Whether a signal that came while waiting ends the call: the kernel restarts
// an interrupted DQBUF or read only for handlers set with SA_RESTART. The
// signal that came is not known here, so any caught signal without it counts.
bool InterruptedForGood() {
  for (int number = 1; number < NSIG; ++number) {
    struct sigaction action;
    if (sigaction(number, nullptr, &action) != 0) continue;
    const bool caught = (action.sa_flags & SA_SIGINFO) != 0
                            ? action.sa_sigaction != nullptr
                            : action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
    if (caught && (action.sa_flags & SA_RESTART) == 0) return true;
  }
  return false;
}

// Waits for a ready token (at most one slice); false when a signal ends the call.
bool WaitForToken(int fd) {
  pollfd wait = {fd, POLLIN, 0};
  return poll(&wait, 1, kWaitSliceMs) >= 0 || errno != EINTR || !InterruptedForGood();
}

bool CarriesBuffer(unsigned long request) {
  return request == VIDIOC_QUERYBUF || request == VIDIOC_QBUF || request == VIDIOC_DQBUF ||
         request == VIDIOC_PREPARE_BUF;
}

// The mapped flag as this process's mappings say (the launcher cannot see munmap).
void SetMappedFlag(std::vector<unsigned char>& record) {
  if (record.size() < sizeof(v4l2_buffer)) return;
  v4l2_buffer buffer;
  std::memcpy(&buffer, record.data(), sizeof buffer);
  if (buffer.memory != V4L2_MEMORY_MMAP) return;
  if (IsMapped(buffer.m.offset)) {
    buffer.flags |= V4L2_BUF_FLAG_MAPPED;
  } else {
    buffer.flags &= ~static_cast<std::uint32_t>(V4L2_BUF_FLAG_MAPPED);
  }
  std::memcpy(record.data(), &buffer, sizeof buffer);
}

bool IsExtControls(unsigned long request) {
  return request == VIDIOC_G_EXT_CTRLS || request == VIDIOC_S_EXT_CTRLS || request == VIDIOC_TRY_EXT_CTRLS;
}

}  // namespace

int DeviceIoctl(int fd, unsigned long request, void* argument) {
  const std::size_t size = _IOC_SIZE(request);
  std::vector<unsigned char> in(size);
  if (size > 0 && !ReadUser(argument, in.data(), size)) {
    // The launcher tells an unknown ioctl (ENOTTY) from a bad pointer (EFAULT).
    Request faulted;
    faulted.cmd = request;
    faulted.faulted = 1;
    Reply reply;
    if (!Exchange(fd, faulted, nullptr, 0, &reply, nullptr, 0, nullptr, nullptr)) reply.error = ENODEV;
    errno = reply.error;
    return -1;
  }
  // The extended controls carry an array behind a pointer: it travels after the record.
  v4l2_ext_control* controls = nullptr;
  std::size_t controlBytes = 0;
  if (IsExtControls(request) && size >= sizeof(v4l2_ext_controls)) {
    v4l2_ext_controls header;
    std::memcpy(&header, in.data(), sizeof header);
    if (header.count > kMaxControls) {
      errno = EINVAL;
      return -1;
    }
    controls = header.controls;
    controlBytes = header.count * sizeof(v4l2_ext_control);
    in.resize(size + controlBytes);
    if (!ReadUser(controls, in.data() + size, controlBytes)) {
      errno = EFAULT;
      return -1;
    }
  }
  Request call;
  call.op = Op::Ioctl;
  call.cmd = request;
  call.size = static_cast<std::uint32_t>(in.size());
  const bool blocking = Blocking(fd);
  call.nonblocking = 1;  // a blocking wait happens here, so another process can end it
  std::vector<unsigned char> out(in.size());
  Reply reply;
  for (;;) {
    std::size_t outSize = 0;
    if (!Exchange(fd, call, in.data(), in.size(), &reply, out.data(), out.size(), &outSize, nullptr)) {
      errno = ENODEV;
      return -1;
    }
    if (!(reply.result < 0 && reply.error == EAGAIN && blocking && request == VIDIOC_DQBUF)) {
      out.resize(outSize);
      break;
    }
    if (!WaitForToken(fd)) {
      errno = EINTR;
      return -1;
    }
  }
  if (reply.result >= 0 && CarriesBuffer(request) && size == sizeof(v4l2_buffer)) SetMappedFlag(out);
  if (reply.result >= 0 && request == VIDIOC_REQBUFS) ForgetBuffers();
  if (reply.result >= 0 || request == VIDIOC_S_EXT_CTRLS || request == VIDIOC_TRY_EXT_CTRLS ||
      request == VIDIOC_G_EXT_CTRLS) {
    if ((_IOC_DIR(request) & _IOC_READ) != 0 && out.size() >= size) {
      if (controls != nullptr) {
        // The application's own array pointer goes back where it was.
        std::memcpy(out.data() + offsetof(v4l2_ext_controls, controls), &controls, sizeof controls);
        if (out.size() >= size + controlBytes && !WriteUser(controls, out.data() + size, controlBytes)) {
          errno = EFAULT;
          return -1;
        }
      }
      if (!WriteUser(argument, out.data(), size)) {
        errno = EFAULT;
        return -1;
      }
    }
  }
  if (reply.result < 0) errno = reply.error;
  return reply.result;
}

void* DeviceMap(int fd, void* address, size_t length, int protection, int flags, off_t offset) {
  // A capture buffer is shared with the device or not mapped at all, as
  // kernel drivers have it (a private copy would never see a frame).
  if ((flags & MAP_SHARED) == 0) {
    errno = EINVAL;
    return MAP_FAILED;
  }
  Request call;
  call.op = Op::MapFd;
  call.offset = static_cast<std::uint64_t>(offset);
  Reply reply;
  int memory = -1;
  if (!Exchange(fd, call, nullptr, 0, &reply, nullptr, 0, nullptr, &memory)) {
    errno = ENODEV;
    return MAP_FAILED;
  }
  if (reply.result < 0 || memory < 0) {
    if (memory >= 0) Real().close(memory);
    errno = reply.result < 0 ? reply.error : EINVAL;
    return MAP_FAILED;
  }
  if (length == 0 || length > reply.length) {
    Real().close(memory);
    errno = EINVAL;
    return MAP_FAILED;
  }
  void* mapped = Real().mmap(address, length, protection, flags, memory, 0);
  const int saved = errno;
  Real().close(memory);
  if (mapped != MAP_FAILED) NoteMapped(mapped, length, static_cast<std::uint64_t>(offset));
  errno = saved;
  return mapped;
}

ssize_t DeviceRead(int fd, void* buffer, size_t count) {
  const bool blocking = Blocking(fd);
  for (;;) {
    Request call;
    call.op = Op::Read;
    call.offset = count;
    call.nonblocking = 1;
    Reply reply;
    int memory = -1;
    if (!Exchange(fd, call, nullptr, 0, &reply, nullptr, 0, nullptr, &memory)) {
      errno = ENODEV;
      return -1;
    }
    if (reply.result < 0) {
      if (memory >= 0) Real().close(memory);
      if (reply.error == EAGAIN && blocking) {
        if (WaitForToken(fd)) continue;
        errno = EINTR;
        return -1;
      }
      errno = reply.error;
      return -1;
    }
    const std::size_t length = static_cast<std::size_t>(reply.length) < count ? reply.length : count;
    // Straight into the caller's buffer: pread answers EFAULT for memory it cannot write.
    const ssize_t got = memory >= 0 ? pread(memory, buffer, length, 0) : -1;
    const int error = errno;
    if (memory >= 0) Real().close(memory);
    if (got != static_cast<ssize_t>(length)) {
      errno = got < 0 ? error : EIO;
      return -1;
    }
    return got;
  }
}

}  // namespace v4l2face
