// What travels between the V4L2 face's preload library (inside the
// application) and the launcher that hosts the driver. Each open of the
// device in the application is a connection: a SOCK_STREAM Unix socket the
// application holds as its file descriptor. Requests go up it, each one
// message with a private reply socket passed along (so a reply can never
// reach another thread or a forked child that shares the descriptor); the
// reply socket is one end of a SOCK_SEQPACKET pair, which the launcher fills
// with one whole message without waiting (it answers no other kind). Down it
// the launcher writes a one-byte token whenever buffers become ready and an
// out-of-band byte whenever events are pending, so poll, select and epoll see
// the descriptor readable (POLLIN) and with an exception (POLLPRI) as they
// would a device.
#pragma once

#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace v4l2face {

// The launcher's socket path, in the application's environment; the device
// path the face answers for; the tree the launcher made of the device's
// sysfs and udev entries, laid out as from the root (<tree>/sys/...,
// <tree>/run/udev/data/...).
inline constexpr const char* kSocketVariable = "ZARNCAP_V4L2_SOCKET";
inline constexpr const char* kDeviceVariable = "ZARNCAP_V4L2_DEVICE";
inline constexpr const char* kTreeVariable = "ZARNCAP_V4L2_TREE";
inline constexpr const char* kMinorVariable = "ZARNCAP_V4L2_MINOR";
inline constexpr unsigned kVideoMajor = 81;

inline constexpr std::uint32_t kMagic = 0x4C34565A;  // "ZV4L"
// The largest ioctl argument (_IOC_SIZE is 14 bits).
inline constexpr std::size_t kMaxArgument = 1u << 14;

enum class Op : std::uint32_t {
  Ioctl = 1,   // cmd, argument bytes in; result, errno, argument bytes out
  MapFd = 2,   // offset: the buffer's memory as a file descriptor (for mmap)
  Read = 3,    // count: the next frame for read(); a descriptor of its memory and its length
  Retoken = 4, // clearing an event mark took a ready token with it: send it again
};

struct Request {
  std::uint32_t magic = kMagic;
  Op op = Op::Ioctl;
  std::uint64_t cmd = 0;       // the ioctl request
  std::uint64_t offset = 0;    // MapFd: the mmap offset; Read: the count asked
  std::uint32_t size = 0;      // argument bytes that follow
  std::uint32_t nonblocking = 0;  // the descriptor's O_NONBLOCK
  std::uint32_t faulted = 0;      // the argument memory could not be read (no bytes follow)
  std::uint32_t reserved = 0;     // keeps the record free of padding (no stray bytes on the wire)
};

struct Reply {
  std::int32_t result = -1;
  std::int32_t error = EIO;
  std::uint32_t size = 0;  // argument bytes that follow
  std::uint32_t drainToken = 0;  // 1: this call emptied the ready queue; take one token
  std::uint32_t drainEvent = 0;  // 1: this call emptied the event queue; take the out-of-band byte
  std::uint32_t reserved = 0;    // keeps the record free of padding
  std::uint64_t length = 0;      // MapFd: the mapping's length; Read: the bytes in the frame
};

// Every byte of both records is a field, so a record sent carries nothing
// uninitialised from the sender's memory.
static_assert(std::has_unique_object_representations_v<Request>);
static_assert(std::has_unique_object_representations_v<Reply>);

// Sends header and body as one message, with up to one descriptor. flags:
// added to sendmsg's (MSG_DONTWAIT where a full socket must not hold the sender).
inline bool SendMessage(int socket, const void* header, std::size_t headerSize, const void* body,
                        std::size_t bodySize, int fd, int flags = 0) {
  iovec parts[2] = {{const_cast<void*>(header), headerSize}, {const_cast<void*>(body), bodySize}};
  msghdr message = {};
  message.msg_iov = parts;
  message.msg_iovlen = bodySize > 0 ? 2 : 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  if (fd >= 0) {
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header0 = CMSG_FIRSTHDR(&message);
    header0->cmsg_level = SOL_SOCKET;
    header0->cmsg_type = SCM_RIGHTS;
    header0->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header0), &fd, sizeof fd);
  }
  ssize_t sent;
  do {
    sent = ::sendmsg(socket, &message, MSG_NOSIGNAL | flags);
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(headerSize + bodySize);
}

// Receives one message: the header (exactly headerSize bytes), a body of up
// to bodyRoom bytes (*bodySize gets its length) and a descriptor (*fd, -1
// when none came). False on end of stream, error or a short header.
inline bool ReceiveMessage(int socket, void* header, std::size_t headerSize, void* body, std::size_t bodyRoom,
                           std::size_t* bodySize, int* fd) {
  iovec parts[2] = {{header, headerSize}, {body, bodyRoom}};
  msghdr message = {};
  message.msg_iov = parts;
  message.msg_iovlen = bodyRoom > 0 ? 2 : 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t got;
  do {
    got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
  } while (got < 0 && errno == EINTR);
  if (fd != nullptr) *fd = -1;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
      int passed = -1;
      std::memcpy(&passed, CMSG_DATA(c), sizeof passed);
      if (fd != nullptr) {
        *fd = passed;
      } else {
        ::close(passed);
      }
    }
  }
  if (got < static_cast<ssize_t>(headerSize) || (message.msg_flags & MSG_TRUNC) != 0) {
    if (fd != nullptr && *fd >= 0) {
      ::close(*fd);
      *fd = -1;
    }
    return false;
  }
  if (bodySize != nullptr) *bodySize = static_cast<std::size_t>(got) - headerSize;
  return true;
}

}  // namespace v4l2face
