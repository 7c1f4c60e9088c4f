#include "tools/zarncap/v4l2/face_server.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/v4l2/face_application.h"
#include "tools/zarncap/v4l2/face_device.h"
#include "tools/zarncap/v4l2/face_folders.h"
#include "tools/zarncap/v4l2/face_peer.h"
#include "tools/zarncap/v4l2/face_requests.h"
#include "tools/zarncap/v4l2/face_tree.h"
#include "v4l2/protocol.h"

namespace zarncap {
namespace {

using v4l2face::Op;
using v4l2face::Reply;
using v4l2face::Request;

constexpr int kEvents = 16;

void Watch(int poller, int fd) {
  epoll_event event = {};
  event.events = EPOLLIN;
  event.data.fd = fd;
  epoll_ctl(poller, EPOLL_CTL_ADD, fd, &event);
}

int OpenReserve() { return open("/dev/null", O_RDONLY | O_CLOEXEC); }

// A reply goes back on a datagram pair the library made for the request: a
// whole message or nothing, sent without waiting. Any other kind of socket
// (a stream could take half a reply, or hold the launcher) is refused.
bool IsReplySocket(int fd) {
  int type = 0, domain = 0;
  socklen_t size = sizeof type;
  if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) != 0 || type != SOCK_SEQPACKET) return false;
  size = sizeof domain;
  return getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &size) == 0 && domain == AF_UNIX;
}

}  // namespace

int RunWithoutCamera(const std::string& preloadLibrary, const FacePlace& place, const std::vector<std::string>& command) {
  // No device path is claimed: the application finds nothing there (ENOENT),
  // as with a camera that is not plugged in.
  FaceApplication application;
  application.Start({preloadLibrary, "", ""}, place, command);
  return application.Wait();
}

FaceServer::FaceServer(FaceDevice& device, const FacePlace& place, const std::string& card)
    : device_(device), place_(place) {
  const std::string parent = FaceFolderParent();
  RemoveStaleFolders(parent);
  std::string pattern = parent + "/" + kFaceFolderPrefix + "XXXXXX";
  char* folder = pattern.data();
  if (mkdtemp(folder) == nullptr) throw ToolError("v4l2: cannot make a folder in " + parent);
  folder_ = folder;
  socketPath_ = folder_ + "/socket";
  MakeDeviceTree(folder_ + "/tree", place, card);

  listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (listener_ < 0 || socketPath_.size() >= sizeof address.sun_path) throw ToolError("v4l2: cannot make a socket");
  std::strcpy(address.sun_path, socketPath_.c_str());
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 64) != 0) {
    throw ToolError(std::string("v4l2: cannot listen on ") + socketPath_ + ": " + std::strerror(errno));
  }
  poller_ = epoll_create1(EPOLL_CLOEXEC);
  reserve_ = OpenReserve();
}

FaceServer::~FaceServer() {
  for (const auto& [connection, reader] : connections_) {
    device_.Closed(connection);
    close(connection);
  }
  connections_.clear();
  for (int fd : {poller_, listener_, reserve_}) {
    if (fd >= 0) close(fd);
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

int FaceServer::Run(const std::string& preloadLibrary, const std::vector<std::string>& command) {
  FaceApplication application;
  application.Start({preloadLibrary, socketPath_, folder_ + "/tree"}, place_, command);
  Serve(application);
  return application.Wait();
}

void FaceServer::Serve(FaceApplication& application) {
  Watch(poller_, listener_);
  listening_ = true;
  Watch(poller_, device_.WakeFd());
  Watch(poller_, application.WakeFd());
  application.OnWake();
  // After the application has gone, processes it left may still hold the
  // device: they are served until they close it.
  while (!application.Exited() || !connections_.empty()) {
    epoll_event events[kEvents];
    const int ready = epoll_wait(poller_, events, kEvents, -1);
    if (ready < 0 && errno != EINTR) break;
    for (int i = 0; i < ready; ++i) {
      const int fd = events[i].data.fd;
      if (fd == listener_) {
        Accept();
      } else if (fd == device_.WakeFd()) {
        device_.OnWake();
        SendMarks();
      } else if (fd == application.WakeFd()) {
        application.OnWake();
      } else if (connections_.contains(fd) && !Answer(fd)) {
        Drop(fd);
      }
    }
  }
}

void FaceServer::Accept() {
  const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (connection < 0) {
    if (errno == EMFILE || errno == ENFILE) TurnAway();
    return;
  }
  if (!IsDescendantOf(PeerProcess(connection), getpid())) {
    close(connection);
    return;
  }
  connections_.emplace(connection, std::make_unique<RequestReader>());
  device_.Opened(connection);
  Watch(poller_, connection);
}

// Out of descriptors: the waiting connection is accepted on the reserve and
// closed at once (its process sees the device gone), so the listener does
// not stay readable with nobody able to take from it. Without a reserve the
// listener rests until a connection closes.
void FaceServer::TurnAway() {
  if (reserve_ >= 0) {
    close(reserve_);
    const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection >= 0) close(connection);
    reserve_ = OpenReserve();
  }
  if (reserve_ < 0 && listening_) {
    epoll_ctl(poller_, EPOLL_CTL_DEL, listener_, nullptr);
    listening_ = false;
  }
}

void FaceServer::Drop(int connection) {
  epoll_ctl(poller_, EPOLL_CTL_DEL, connection, nullptr);
  device_.Closed(connection);
  close(connection);
  connections_.erase(connection);
  if (reserve_ < 0) reserve_ = OpenReserve();
  if (!listening_) {
    Watch(poller_, listener_);
    listening_ = true;
  }
}

// A ready token for the buffers' owner, an out-of-band mark for each
// connection whose events are now pending.
void FaceServer::SendMarks() {
  const auto live = [this](int connection) { return connections_.contains(connection); };
  const char mark = 1;
  if (const int target = device_.TakeTokenTarget(); target >= 0 && live(target)) {
    send(target, &mark, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
  }
  for (int target : device_.TakeEventTargets()) {
    if (live(target)) send(target, &mark, 1, MSG_OOB | MSG_DONTWAIT | MSG_NOSIGNAL);
  }
}

// What a connection has sent, and the answer to a request once it is whole:
// false when the connection has closed (or sent what no preload library sends).
bool FaceServer::Answer(int connection) {
  FaceRequest received;
  switch (connections_.at(connection)->ReadFrom(connection, &received)) {
    case RequestReader::Status::Waiting:
      return true;
    case RequestReader::Status::Broken:
      return false;
    case RequestReader::Status::Ready:
      break;
  }
  const int replyTo = received.replyTo;
  if (replyTo < 0 || !IsReplySocket(replyTo)) {
    if (replyTo >= 0) close(replyTo);
    return false;
  }
  const Request& request = received.header;
  std::vector<std::uint8_t>& argument = received.argument;
  Reply reply;
  int memory = -1;
  int result = -EINVAL;
  switch (request.op) {
    case Op::Ioctl:
      result = device_.Ioctl(connection, static_cast<unsigned long>(request.cmd), argument, request.faulted != 0);
      break;
    case Op::MapFd:
      result = device_.MapFd(connection, request.offset, &memory, &reply.length);
      argument.clear();
      break;
    case Op::Read:
      result = device_.Read(connection, &memory, &reply.length);
      argument.clear();
      break;
    case Op::Retoken:
      device_.Retoken(connection);
      result = 0;
      argument.clear();
      break;
  }
  reply.result = result < 0 ? -1 : 0;
  reply.error = result < 0 ? -result : 0;
  reply.drainToken = device_.TakeDrain() ? 1 : 0;
  reply.drainEvent = device_.TakeEventDrain() ? 1 : 0;
  reply.size = static_cast<std::uint32_t>(argument.size());
  // A reply socket that is full loses its reply; the launcher does not wait for it.
  v4l2face::SendMessage(replyTo, &reply, sizeof reply, argument.data(), argument.size(), result < 0 ? -1 : memory,
                        MSG_DONTWAIT);
  close(replyTo);
  SendMarks();
  return true;
}

}  // namespace zarncap
