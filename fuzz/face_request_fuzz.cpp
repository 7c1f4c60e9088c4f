// The V4L2 launcher's request reader: any bytes in any pieces on a
// connection, with descriptors of any kind beside them. A request it hands
// out is whole (its argument as long as its header says), nothing crashes,
// and every descriptor that came in is closed once the reader is done.
#include <dirent.h>
#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "tools/zarncap/v4l2/face_requests.h"

namespace {

int OpenDescriptors() {
  DIR* listing = opendir("/proc/self/fd");
  int count = 0;
  while (listing != nullptr && readdir(listing) != nullptr) ++count;
  if (listing != nullptr) closedir(listing);
  return count;
}

// A descriptor of one of the kinds a client could pass.
int Passable(unsigned kind) {
  int pair[2] = {-1, -1};
  switch (kind % 3) {
    case 0:
      socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair);
      break;
    case 1:
      socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair);
      break;
    default:
      return open("/dev/null", O_RDONLY | O_CLOEXEC);
  }
  close(pair[0]);
  return pair[1];
}

void Send(int socket, const std::vector<std::uint8_t>& bytes, unsigned count, unsigned kind) {
  iovec part = {const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
  msghdr message = {};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  std::vector<int> fds;
  // Descriptors travel with at least one byte.
  for (unsigned i = 0; i < count && !bytes.empty(); ++i) fds.push_back(Passable(kind + i));
  alignas(cmsghdr) char control[CMSG_SPACE(8 * sizeof(int))] = {};
  if (!fds.empty()) {
    message.msg_control = control;
    message.msg_controllen = CMSG_SPACE(fds.size() * sizeof(int));
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(fds.size() * sizeof(int));
    std::memcpy(CMSG_DATA(header), fds.data(), fds.size() * sizeof(int));
  }
  sendmsg(socket, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
  for (int fd : fds) close(fd);
}

// Reads until the reader waits or gives up; false once it has given up.
bool Drain(zarncap::RequestReader& reader, int connection) {
  for (;;) {
    zarncap::FaceRequest request;
    switch (reader.ReadFrom(connection, &request)) {
      case zarncap::RequestReader::Status::Waiting:
        return true;
      case zarncap::RequestReader::Status::Broken:
        return false;
      case zarncap::RequestReader::Status::Ready:
        if (request.header.magic != v4l2face::kMagic || request.argument.size() != request.header.size) {
          __builtin_trap();
        }
        if (request.replyTo >= 0) close(request.replyTo);
        break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int before = OpenDescriptors();
  FuzzedDataProvider in(data, size);
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair) != 0) return 0;
  {
    zarncap::RequestReader reader;
    bool open = true;
    while (open && in.remaining_bytes() > 0) {
      const auto control = in.ConsumeIntegral<std::uint8_t>();
      const auto length = in.ConsumeIntegralInRange<std::size_t>(0, 600);
      Send(pair[1], in.ConsumeBytes<std::uint8_t>(length), control & 7u, control >> 3);
      if ((control & 0x80) != 0) open = Drain(reader, pair[0]);
    }
    if (open) open = Drain(reader, pair[0]);
    // The client goes away: whatever is left unread, with its descriptors, goes too.
    close(pair[1]);
    if (open) Drain(reader, pair[0]);
    close(pair[0]);
  }
  if (OpenDescriptors() != before) __builtin_trap();
  return 0;
}
