#include "tools/zarncap/v4l2/face_requests.h"

#include <linux/videodev2.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zarncap {
namespace {

// The largest argument: an ioctl record with up to 1024 extended controls behind it.
constexpr std::size_t kMaxArgumentBytes = v4l2face::kMaxArgument + 1024 * sizeof(v4l2_ext_control);
// Room for a few descriptors per read; the kernel closes any beyond the room
// (and says so with MSG_CTRUNC), so none stays open unseen.
constexpr std::size_t kDescriptorRoom = 4;

bool Plausible(const v4l2face::Request& header) {
  const auto op = static_cast<std::uint32_t>(header.op);
  return header.magic == v4l2face::kMagic && op >= static_cast<std::uint32_t>(v4l2face::Op::Ioctl) &&
         op <= static_cast<std::uint32_t>(v4l2face::Op::Retoken) && header.size <= kMaxArgumentBytes;
}

}  // namespace

RequestReader::~RequestReader() { Reset(); }

void RequestReader::Reset() {
  if (replyTo_ >= 0) close(replyTo_);
  replyTo_ = -1;
  have_ = 0;
  argument_.clear();
}

void RequestReader::Keep(int fd) {
  if (replyTo_ < 0) {
    replyTo_ = fd;
  } else {
    close(fd);
  }
}

RequestReader::Status RequestReader::ReadFrom(int connection, FaceRequest* request) {
  for (;;) {
    // Never more than the rest of this request, so the next request's bytes
    // (and the descriptor that came with them) stay in the socket for it.
    std::uint8_t* into;
    std::size_t want;
    if (!HeaderWhole()) {
      into = reinterpret_cast<std::uint8_t*>(&header_) + have_;
      want = sizeof header_ - have_;
    } else {
      const std::size_t got = have_ - sizeof header_;
      into = argument_.data() + got;
      want = argument_.size() - got;
    }
    if (want > 0) {
      iovec part = {into, want};
      msghdr message = {};
      message.msg_iov = &part;
      message.msg_iovlen = 1;
      alignas(cmsghdr) char control[CMSG_SPACE(kDescriptorRoom * sizeof(int))];
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      const ssize_t got = recvmsg(connection, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Status::Waiting;
      if (got <= 0) return Status::Broken;
      for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
          int fd;
          std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
          Keep(fd);
        }
      }
      const bool hadHeader = HeaderWhole();
      have_ += static_cast<std::size_t>(got);
      if (!hadHeader && HeaderWhole()) {
        if (!Plausible(header_)) return Status::Broken;
        argument_.resize(header_.size);
      }
      continue;
    }
    // Whole: the request leaves with its reply socket.
    request->header = header_;
    request->argument.swap(argument_);
    request->replyTo = replyTo_;
    replyTo_ = -1;
    Reset();
    return Status::Ready;
  }
}

}  // namespace zarncap
