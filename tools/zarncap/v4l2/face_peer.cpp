#include "tools/zarncap/v4l2/face_peer.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace zarncap {

pid_t ParentOf(pid_t process) {
  const std::string path = "/proc/" + std::to_string(process) + "/stat";
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char text[512];
  const ssize_t got = read(fd, text, sizeof text - 1);
  close(fd);
  if (got <= 0) return -1;
  text[got] = '\0';
  // "pid (command) state ppid ...": the command may hold spaces and
  // parentheses, so the fields start after its last ')'.
  const char* end = std::strrchr(text, ')');
  char state;
  int parent;
  if (end == nullptr || std::sscanf(end + 1, " %c %d", &state, &parent) != 2) return -1;
  return parent;
}

bool IsDescendantOf(pid_t process, pid_t ancestor) {
  // A chain of parents ends at 0 (the kernel); a bound keeps a chain read
  // while processes come and go finite.
  for (int steps = 0; process > 0 && steps < 4096; ++steps) {
    if (process == ancestor) return true;
    process = ParentOf(process);
  }
  return false;
}

pid_t PeerProcess(int socket) {
  ucred peer = {};
  socklen_t size = sizeof peer;
  if (getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return -1;
  return peer.pid;
}

}  // namespace zarncap
