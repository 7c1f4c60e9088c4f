#include "tools/zarncap/v4l2/face_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/v4l2/face_device.h"
#include "v4l2/protocol.h"

namespace zarncap {
namespace {

using v4l2face::Op;
using v4l2face::Reply;
using v4l2face::Request;

constexpr int kMaxMinor = 64;
constexpr int kEvents = 16;

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  if (!out) throw ToolError("v4l2: cannot write " + path);
}

int OpenPidFd(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

// One request from a connection's stream: the header with the reply socket
// that came with it, then the argument bytes.
bool ReceiveRequest(int connection, Request* request, std::vector<std::uint8_t>* argument, int* replyTo) {
  iovec part = {request, sizeof *request};
  msghdr message = {};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t got;
  do {
    got = recvmsg(connection, &message, MSG_WAITALL | MSG_CMSG_CLOEXEC);
  } while (got < 0 && errno == EINTR);
  *replyTo = -1;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) std::memcpy(replyTo, CMSG_DATA(c), sizeof(int));
  }
  const std::size_t limit = v4l2face::kMaxArgument + 1024 * sizeof(v4l2_ext_control);
  if (got != static_cast<ssize_t>(sizeof *request) || request->magic != v4l2face::kMagic || request->size > limit) {
    if (*replyTo >= 0) close(*replyTo);
    return false;
  }
  argument->resize(request->size);
  std::size_t have = 0;
  while (have < argument->size()) {
    const ssize_t part2 = recv(connection, argument->data() + have, argument->size() - have, MSG_WAITALL);
    if (part2 <= 0 && !(part2 < 0 && errno == EINTR)) {
      if (*replyTo >= 0) close(*replyTo);
      return false;
    }
    if (part2 > 0) have += static_cast<std::size_t>(part2);
  }
  return true;
}

void Watch(int poller, int fd) {
  epoll_event event = {};
  event.events = EPOLLIN;
  event.data.fd = fd;
  epoll_ctl(poller, EPOLL_CTL_ADD, fd, &event);
}

// Starts the application with the preload library and the face's variables.
pid_t Launch(const std::string& preloadLibrary, const FacePlace& place, const std::string& socketPath,
             const std::string& sysfs, const std::vector<std::string>& command) {
  const pid_t child = fork();
  if (child < 0) throw ToolError("v4l2: cannot start " + command.front());
  if (child > 0) return child;
  const char* earlier = std::getenv("LD_PRELOAD");
  const std::string preload = preloadLibrary + (earlier != nullptr && *earlier != '\0' ? std::string(":") + earlier : "");
  setenv("LD_PRELOAD", preload.c_str(), 1);
  setenv(v4l2face::kSocketVariable, socketPath.c_str(), 1);
  if (!socketPath.empty()) setenv(v4l2face::kDeviceVariable, place.devicePath.c_str(), 1);
  setenv(v4l2face::kSysfsVariable, sysfs.c_str(), 1);
  setenv(v4l2face::kMinorVariable, std::to_string(place.minor).c_str(), 1);
  std::vector<char*> arguments;
  for (const std::string& word : command) arguments.push_back(const_cast<char*>(word.c_str()));
  arguments.push_back(nullptr);
  execvp(arguments[0], arguments.data());
  std::fprintf(stderr, "zarncap: error: v4l2: cannot run %s: %s\n", arguments[0], std::strerror(errno));
  _exit(127);
}

int ExitStatusOf(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 1;
}

}  // namespace

int RunWithoutCamera(const std::string& preloadLibrary, const FacePlace& place, const std::vector<std::string>& command) {
  // No device path is claimed: the application finds nothing there (ENOENT),
  // as with a camera that is not plugged in.
  return ExitStatusOf(Launch(preloadLibrary, place, "", "", command));
}

FacePlace FreeDevicePlace() {
  for (unsigned minor = 0; minor < kMaxMinor; ++minor) {
    const std::string path = "/dev/video" + std::to_string(minor);
    struct stat seen;
    if (::stat(path.c_str(), &seen) != 0 && errno == ENOENT) return {path, minor};
  }
  throw ToolError("v4l2: /dev/video0 to /dev/video63 all exist; name a free path with --device");
}

FacePlace NamedDevicePlace(const std::string& path) {
  struct stat seen;
  if (::stat(path.c_str(), &seen) == 0) {
    throw ToolError("v4l2: " + path + " exists; the camera needs a path that is free (leave out --device to get one)",
                    kExitUsage);
  }
  std::size_t digits = path.size();
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(path[digits - 1]))) --digits;
  const unsigned minor = digits < path.size() ? static_cast<unsigned>(std::strtoul(path.c_str() + digits, nullptr, 10))
                                              : kMaxMinor - 1;
  return {path, minor % 256};
}

FaceServer::FaceServer(FaceDevice& device, const FacePlace& place, const std::string& card)
    : device_(device), place_(place) {
  char folder[] = "/tmp/zarncap-v4l2-XXXXXX";
  if (mkdtemp(folder) == nullptr) throw ToolError("v4l2: cannot make a folder in /tmp");
  folder_ = folder;
  socketPath_ = folder_ + "/socket";
  const std::string sys = folder_ + "/sys";
  std::filesystem::create_directories(sys);
  const std::string name = "video" + std::to_string(place.minor);
  WriteFile(sys + "/uevent", "MAJOR=" + std::to_string(v4l2face::kVideoMajor) + "\nMINOR=" +
                                  std::to_string(place.minor) + "\nDEVNAME=" + name + "\n");
  WriteFile(sys + "/dev", std::to_string(v4l2face::kVideoMajor) + ":" + std::to_string(place.minor) + "\n");
  WriteFile(sys + "/name", card + "\n");
  WriteFile(sys + "/index", "0\n");

  listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (listener_ < 0 || socketPath_.size() >= sizeof address.sun_path) throw ToolError("v4l2: cannot make a socket");
  std::strcpy(address.sun_path, socketPath_.c_str());
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 64) != 0) {
    throw ToolError(std::string("v4l2: cannot listen on ") + socketPath_ + ": " + std::strerror(errno));
  }
  poller_ = epoll_create1(EPOLL_CLOEXEC);
}

FaceServer::~FaceServer() {
  for (int connection : connections_) {
    device_.Closed(connection);
    close(connection);
  }
  if (poller_ >= 0) close(poller_);
  if (listener_ >= 0) close(listener_);
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

int FaceServer::Run(const std::string& preloadLibrary, const std::vector<std::string>& command) {
  const pid_t child = Launch(preloadLibrary, place_, socketPath_, folder_ + "/sys", command);
  const int application = OpenPidFd(child);
  Serve(application);
  if (application >= 0) close(application);
  return ExitStatusOf(child);
}

void FaceServer::Serve(int application) {
  Watch(poller_, listener_);
  Watch(poller_, device_.WakeFd());
  if (application >= 0) Watch(poller_, application);
  bool applicationGone = application < 0;
  // After the application has gone, children it left may still hold the device.
  while (!applicationGone || !connections_.empty()) {
    epoll_event events[kEvents];
    const int ready = epoll_wait(poller_, events, kEvents, applicationGone ? 200 : -1);
    if (ready < 0 && errno != EINTR) break;
    if (ready == 0 && applicationGone) break;
    for (int i = 0; i < ready; ++i) {
      const int fd = events[i].data.fd;
      if (fd == listener_) {
        Accept();
      } else if (fd == device_.WakeFd()) {
        device_.OnWake();
        SendMarks();
      } else if (fd == application) {
        applicationGone = true;
        epoll_ctl(poller_, EPOLL_CTL_DEL, application, nullptr);
      } else if (!Answer(fd)) {
        Drop(fd);
      }
    }
  }
}

void FaceServer::Accept() {
  const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (connection < 0) return;
  connections_.push_back(connection);
  device_.Opened(connection);
  Watch(poller_, connection);
}

void FaceServer::Drop(int connection) {
  epoll_ctl(poller_, EPOLL_CTL_DEL, connection, nullptr);
  device_.Closed(connection);
  close(connection);
  std::erase(connections_, connection);
}

// A ready token for the buffers' owner, an out-of-band mark for each
// connection whose events are now pending.
void FaceServer::SendMarks() {
  const auto live = [this](int connection) {
    return std::find(connections_.begin(), connections_.end(), connection) != connections_.end();
  };
  const char mark = 1;
  if (const int target = device_.TakeTokenTarget(); target >= 0 && live(target)) {
    send(target, &mark, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
  }
  for (int target : device_.TakeEventTargets()) {
    if (live(target)) send(target, &mark, 1, MSG_OOB | MSG_DONTWAIT | MSG_NOSIGNAL);
  }
}

// One request: false when the connection has closed (or sent what no
// preload library sends).
bool FaceServer::Answer(int connection) {
  Request request;
  std::vector<std::uint8_t> argument;
  int replyTo = -1;
  if (!ReceiveRequest(connection, &request, &argument, &replyTo)) return false;
  if (replyTo < 0) return false;
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
  v4l2face::SendMessage(replyTo, &reply, sizeof reply, argument.data(), argument.size(), result < 0 ? -1 : memory);
  close(replyTo);
  SendMarks();
  return true;
}

}  // namespace zarncap
