// A client of the V4L2 face's launcher that speaks the wire protocol itself,
// as a careless or hostile program could: requests cut short, descriptors it
// was not asked for, reply sockets of the wrong kind or full, buffers added
// while streaming, buffer memory truncated, and the launcher out of
// descriptors. After each, another client must still be answered, the
// launcher's descriptor count must come back to where it was, and every
// buffer must keep coming back. A process of the application whose parent
// has exited is still served.
//   raw_client inside PATHFILE DONEFILE   (run by `zarncap v4l2 --`: writes its
//       socket path to PATHFILE, waits for DONEFILE, then runs the cases)
//   raw_client outside SOCKET             (any other process: must be refused)
// Exit status 0 when every case held; each failure is named on stderr.
#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "v4l2/protocol.h"

namespace {

using v4l2face::Op;
using v4l2face::Reply;
using v4l2face::Request;

// Long enough for any answer on a loaded machine; only a launcher that no
// longer answers at all runs into it.
constexpr int kAnswerWaitMs = 20000;

int failures = 0;

void Check(bool held, const std::string& what) {
  if (held) return;
  std::fprintf(stderr, "raw_client: %s\n", what.c_str());
  ++failures;
}

int Connect(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::fprintf(stderr, "raw_client: cannot connect to %s: %s\n", path.c_str(), std::strerror(errno));
    std::exit(1);
  }
  return fd;
}

// Sends bytes with the given descriptors in one message.
bool SendWith(int socket, const void* bytes, std::size_t size, const std::vector<int>& fds) {
  iovec part = {const_cast<void*>(bytes), size};
  msghdr message = {};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  std::vector<char> control(CMSG_SPACE(sizeof(int) * fds.size()));
  if (!fds.empty()) {
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
    std::memcpy(CMSG_DATA(header), fds.data(), sizeof(int) * fds.size());
  }
  return sendmsg(socket, &message, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
}

enum class Answer { Replied, Closed, Silent };

// Waits on the reply end: a reply, the launcher's copy closed unanswered, or nothing.
Answer Await(int replyEnd, Reply* reply, void* out, std::size_t outRoom, int* fd) {
  pollfd wait = {replyEnd, POLLIN, 0};
  if (poll(&wait, 1, kAnswerWaitMs) <= 0) return Answer::Silent;
  std::size_t got = 0;
  return v4l2face::ReceiveMessage(replyEnd, reply, sizeof *reply, out, outRoom, &got, fd) ? Answer::Replied
                                                                                            : Answer::Closed;
}

// A request with its argument and extra descriptors beside the reply socket.
Answer Call(int connection, Request request, void* argument, std::size_t size, Reply* reply, int* fd = nullptr,
            int extras = 0) {
  int pair[2];
  socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair);
  request.size = static_cast<std::uint32_t>(size);
  std::vector<std::uint8_t> bytes(sizeof request + size);
  std::memcpy(bytes.data(), &request, sizeof request);
  if (size > 0) std::memcpy(bytes.data() + sizeof request, argument, size);
  std::vector<int> fds = {pair[1]};
  for (int i = 0; i < extras; ++i) fds.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));
  const bool sent = SendWith(connection, bytes.data(), bytes.size(), fds);
  for (int passed : fds) close(passed);
  const Answer answer = sent ? Await(pair[0], reply, argument, size, fd) : Answer::Closed;
  close(pair[0]);
  return answer;
}

template <typename T>
int Ioctl(int connection, unsigned long cmd, T* argument, int extras = 0) {
  Request request;
  request.cmd = cmd;
  request.nonblocking = 1;
  Reply reply;
  if (Call(connection, request, argument, sizeof *argument, &reply, nullptr, extras) != Answer::Replied) return -ENODEV;
  return reply.result < 0 ? -reply.error : 0;
}

bool Answered(int connection) {
  v4l2_capability caps = {};
  return Ioctl(connection, VIDIOC_QUERYCAP, &caps) == 0 && std::strcmp(reinterpret_cast<char*>(caps.driver), "zarncap") == 0;
}

// The launcher's open descriptors, each as "number -> what it is".
std::set<std::string> LauncherDescriptorList() {
  const std::string folder = "/proc/" + std::to_string(getppid()) + "/fd";
  std::set<std::string> open;
  DIR* listing = opendir(folder.c_str());
  while (listing != nullptr) {
    const dirent* entry = readdir(listing);
    if (entry == nullptr) break;
    if (entry->d_name[0] == '.') continue;
    char target[256] = {};
    const ssize_t length = readlink((folder + "/" + entry->d_name).c_str(), target, sizeof target - 1);
    open.insert(std::string(entry->d_name) + " -> " + (length > 0 ? target : "?"));
  }
  if (listing != nullptr) closedir(listing);
  return open;
}

int LauncherDescriptors() { return static_cast<int>(LauncherDescriptorList().size()); }

// A client that stops halfway, or sends what no library sends, holds up nobody.
void StalledAndBrokenClients(const std::string& path, int good) {
  Request request;
  request.cmd = VIDIOC_QUERYCAP;
  const int halfHeader = Connect(path);
  send(halfHeader, &request, sizeof request / 2, MSG_NOSIGNAL);
  Check(Answered(good), "a client stopped halfway through a header stalled the others");
  const int shortBody = Connect(path);
  request.size = 100;
  int pair[2];
  socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair);
  std::uint8_t bytes[sizeof request + 10] = {};
  std::memcpy(bytes, &request, sizeof request);
  SendWith(shortBody, bytes, sizeof bytes, {pair[1]});
  Check(Answered(good), "a client stopped halfway through an argument stalled the others");
  const int garbage = Connect(path);
  const char nonsense[64] = "not a request at all";
  send(garbage, nonsense, sizeof nonsense, MSG_NOSIGNAL);
  char byte;
  pollfd wait = {garbage, POLLIN, 0};
  // Closed by the launcher: end of stream, or a reset for the bytes it left unread.
  Check(poll(&wait, 1, kAnswerWaitMs) == 1 && recv(garbage, &byte, 1, 0) <= 0, "a client sending garbage was kept");
  Check(Answered(good), "a client sending garbage stalled the others");
  for (int fd : {halfHeader, shortBody, garbage, pair[0], pair[1]}) close(fd);
}

// Replies go only to a datagram pair, never wait on a full one, and extra
// descriptors are closed.
void ReplySocketsAndDescriptors(const std::string& path, int good) {
  // The launcher has dealt with every close before it answers this.
  Check(Answered(good), "the launcher stopped answering");
  const std::set<std::string> before = LauncherDescriptorList();
  int stream[2];
  socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, stream);
  const int wrongKind = Connect(path);
  Request request;
  request.cmd = VIDIOC_QUERYCAP;
  v4l2_capability caps = {};
  std::uint8_t bytes[sizeof request + sizeof caps] = {};
  request.size = sizeof caps;
  std::memcpy(bytes, &request, sizeof request);
  SendWith(wrongKind, bytes, sizeof bytes, {stream[1]});
  close(stream[1]);
  pollfd wait = {stream[0], POLLIN, 0};
  char byte;
  Check(poll(&wait, 1, kAnswerWaitMs) == 1 && recv(stream[0], &byte, 1, 0) == 0, "a stream reply socket was answered");
  Check(Answered(good), "a stream reply socket stalled the others");

  int full[2];
  socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, full);
  const std::vector<char> filler(4096);
  while (send(full[1], filler.data(), filler.size(), MSG_DONTWAIT) > 0) {
  }
  SendWith(good, bytes, sizeof bytes, {full[1]});
  close(full[1]);
  Check(Answered(good), "a full reply socket stalled the launcher");

  for (int n = 0; n < 300; ++n) {
    if (Ioctl(good, VIDIOC_QUERYCAP, &caps, 2) != 0) {
      Check(false, "a request with two extra descriptors was not answered");
      break;
    }
  }
  for (int fd : {stream[0], full[0], wrongKind}) close(fd);
  Check(Answered(good), "the launcher stopped answering after the descriptor cases");
  // The reply socket of the last request may still be open for a moment
  // after its reply arrived; a leaked descriptor stays.
  std::string added;
  for (int look = 0; look < 100; ++look) {
    added.clear();
    for (const std::string& fd : LauncherDescriptorList()) {
      if (!before.contains(fd)) added += " [" + fd + "]";
    }
    if (added.empty()) break;
    usleep(20000);
  }
  Check(added.empty(), "the launcher holds descriptors it did not hold before:" + added);
}

struct Mapped {
  int memory = -1;
  void* data = MAP_FAILED;
  std::size_t length = 0;
};

bool Queue(int connection, std::uint32_t index) {
  v4l2_buffer buffer = {};
  buffer.index = index;
  buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  buffer.memory = V4L2_MEMORY_MMAP;
  return Ioctl(connection, VIDIOC_QBUF, &buffer) == 0;
}

// The buffer's memory as the library maps it; its length as QUERYBUF gives it.
Mapped Map(int connection, std::uint32_t index, std::uint32_t sizeImage) {
  v4l2_buffer buffer = {};
  buffer.index = index;
  buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  Mapped mapped;
  if (Ioctl(connection, VIDIOC_QUERYBUF, &buffer) != 0) return mapped;
  Check(buffer.length == sizeImage, "QUERYBUF length " + std::to_string(buffer.length) + " for an image of " +
                                        std::to_string(sizeImage) + " bytes");
  Request request;
  request.op = Op::MapFd;
  request.offset = buffer.m.offset;
  Reply reply;
  if (Call(connection, request, nullptr, 0, &reply, &mapped.memory) != Answer::Replied || mapped.memory < 0) {
    return mapped;
  }
  mapped.length = buffer.length;
  mapped.data = mmap(nullptr, mapped.length, PROT_READ, MAP_SHARED, mapped.memory, 0);
  return mapped;
}

// Buffers created while streaming join the stream; truncating a buffer's
// memory is refused; every buffer keeps coming back.
void StreamingWithAddedBuffersAndTruncation(int connection) {
  v4l2_format format = {};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  Check(Ioctl(connection, VIDIOC_G_FMT, &format) == 0, "G_FMT failed");
  const std::uint32_t sizeImage = format.fmt.pix.sizeimage;
  v4l2_requestbuffers request = {2, V4L2_BUF_TYPE_VIDEO_CAPTURE, V4L2_MEMORY_MMAP};
  Check(Ioctl(connection, VIDIOC_REQBUFS, &request) == 0 && request.count == 2, "REQBUFS 2 failed");
  std::vector<Mapped> buffers;
  for (std::uint32_t i = 0; i < 2; ++i) buffers.push_back(Map(connection, i, sizeImage));
  for (std::uint32_t i = 0; i < 2; ++i) Check(Queue(connection, i), "QBUF failed");
  int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  Check(Ioctl(connection, VIDIOC_STREAMON, &type) == 0, "STREAMON failed");
  v4l2_create_buffers create = {};
  create.count = 2;
  create.memory = V4L2_MEMORY_MMAP;
  create.format = format;
  Check(Ioctl(connection, VIDIOC_CREATE_BUFS, &create) == 0 && create.index == 2, "CREATE_BUFS while streaming failed");
  for (std::uint32_t i = 2; i < 4; ++i) {
    buffers.push_back(Map(connection, i, sizeImage));
    Check(Queue(connection, i), "QBUF of a created buffer failed");
  }
  for (const Mapped& buffer : buffers) {
    Check(buffer.data != MAP_FAILED, "a buffer could not be mapped");
    Check(buffer.memory >= 0 && ftruncate(buffer.memory, 0) != 0, "a buffer's memory could be truncated");
  }
  std::set<std::uint32_t> seen;
  for (int frames = 0, tries = 0; frames < 24 && tries < 2000; ++tries) {
    v4l2_buffer buffer = {};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    const int result = Ioctl(connection, VIDIOC_DQBUF, &buffer);
    if (result == -EAGAIN) {
      pollfd wait = {connection, POLLIN, 0};
      poll(&wait, 1, 50);
      char token;
      while (recv(connection, &token, 1, MSG_DONTWAIT) > 0) {
      }
      continue;
    }
    if (result != 0) {
      Check(false, "DQBUF failed: " + std::string(std::strerror(-result)));
      break;
    }
    seen.insert(buffer.index);
    ++frames;
    Check(Queue(connection, buffer.index), "QBUF after DQBUF failed");
  }
  Check(seen == std::set<std::uint32_t>{0, 1, 2, 3}, std::to_string(seen.size()) + " of the 4 buffers came back");
  Check(Ioctl(connection, VIDIOC_STREAMOFF, &type) == 0, "STREAMOFF failed");
  for (Mapped& buffer : buffers) {
    if (buffer.data != MAP_FAILED) munmap(buffer.data, buffer.length);
    if (buffer.memory >= 0) close(buffer.memory);
  }
  request.count = 0;
  Check(Ioctl(connection, VIDIOC_REQBUFS, &request) == 0, "REQBUFS 0 failed");
}

// Out of descriptors, the launcher turns new connections away (closes them)
// rather than spinning or hanging them; with room again, it answers.
void OutOfDescriptors(const std::string& path, int good) {
  const pid_t launcher = getppid();
  rlimit was;
  if (prlimit(launcher, RLIMIT_NOFILE, nullptr, &was) != 0) return;
  const rlimit tight = {static_cast<rlim_t>(LauncherDescriptors() + 4), was.rlim_max};
  Check(prlimit(launcher, RLIMIT_NOFILE, &tight, nullptr) == 0, "cannot lower the launcher's descriptor limit");
  std::vector<int> held;
  bool turnedAway = false;
  for (int n = 0; n < 32 && !turnedAway; ++n) {
    const int connection = Connect(path);
    held.push_back(connection);
    v4l2_capability caps = {};
    Request request;
    request.cmd = VIDIOC_QUERYCAP;
    Reply reply;
    const Answer answer = Call(connection, request, &caps, sizeof caps, &reply);
    Check(answer != Answer::Silent, "a connection at the descriptor limit got no answer at all");
    turnedAway = answer == Answer::Closed;
  }
  Check(turnedAway, "32 connections over a limit of a few descriptors were all served");
  for (int fd : held) close(fd);
  Check(prlimit(launcher, RLIMIT_NOFILE, &was, nullptr) == 0, "cannot restore the launcher's descriptor limit");
  Check(Answered(good), "the launcher stopped answering after running out of descriptors");
  const int again = Connect(path);
  Check(Answered(again), "a new connection is not answered after the launcher ran out of descriptors");
  close(again);
}

// A process whose parent has exited (a daemon's double fork) is still the
// application's: it comes to the launcher, and is served.
void OrphanedDescendantIsServed(const std::string& path) {
  int result[2];
  if (pipe(result) != 0) return Check(false, "pipe");
  const pid_t middle = fork();
  if (middle == 0) {
    if (fork() == 0) {
      // Wait until the middle process has gone and this one was taken in.
      for (int i = 0; i < 400 && access(("/proc/" + std::to_string(middle) + "/stat").c_str(), F_OK) == 0; ++i) {
        usleep(10000);
      }
      const int connection = Connect(path);
      const char served = Answered(connection) ? 1 : 0;
      [[maybe_unused]] const ssize_t ignored = write(result[1], &served, 1);
      _exit(0);
    }
    _exit(0);
  }
  close(result[1]);
  waitpid(middle, nullptr, 0);
  char served = 0;
  pollfd wait = {result[0], POLLIN, 0};
  Check(poll(&wait, 1, kAnswerWaitMs * 2) == 1 && read(result[0], &served, 1) == 1 && served == 1,
        "a process whose parent had exited was not served");
  close(result[0]);
}

int Inside(const std::string& pathFile, const std::string& doneFile) {
  const char* socketPath = std::getenv(v4l2face::kSocketVariable);
  if (socketPath == nullptr) {
    std::fprintf(stderr, "raw_client: not run by zarncap v4l2\n");
    return 1;
  }
  std::ofstream(pathFile + ".part") << socketPath;
  std::rename((pathFile + ".part").c_str(), pathFile.c_str());
  for (int waited = 0; access(doneFile.c_str(), F_OK) != 0 && waited < kAnswerWaitMs * 3; waited += 50) usleep(50000);
  const std::string path = socketPath;
  const int good = Connect(path);
  Check(Answered(good), "the first client is not answered");
  StalledAndBrokenClients(path, good);
  ReplySocketsAndDescriptors(path, good);
  StreamingWithAddedBuffersAndTruncation(good);
  OutOfDescriptors(path, good);
  OrphanedDescendantIsServed(path);
  close(good);
  return failures == 0 ? 0 : 1;
}

int Outside(const std::string& path) {
  const int connection = Connect(path);
  v4l2_capability caps = {};
  Request request;
  request.cmd = VIDIOC_QUERYCAP;
  Reply reply;
  Check(Call(connection, request, &caps, sizeof caps, &reply) == Answer::Closed,
        "a process the launcher did not start was answered");
  close(connection);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "inside" && argc == 4) return Inside(argv[2], argv[3]);
  if (mode == "outside" && argc == 3) return Outside(argv[2]);
  std::fprintf(stderr, "usage: raw_client inside PATHFILE DONEFILE | outside SOCKET\n");
  return 2;
}
