#include "v4l2/preload/device_files.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "v4l2/preload/real_calls.h"
#include "v4l2/protocol.h"

namespace v4l2face {
namespace {

constexpr int kMaxDescriptors = 1 << 16;
std::atomic<unsigned char> connections[kMaxDescriptors];

const char* Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

unsigned Minor() {
  const char* minor = Variable(kMinorVariable);
  return minor != nullptr ? static_cast<unsigned>(std::strtoul(minor, nullptr, 10)) : 0;
}

template <typename Stat>
void FillStat(Stat* out) {
  std::memset(out, 0, sizeof *out);
  out->st_mode = S_IFCHR | 0660;
  out->st_rdev = makedev(kVideoMajor, Minor());
  out->st_dev = makedev(0, 5);
  out->st_ino = 0x5A000000u + Minor();
  out->st_nlink = 1;
  out->st_uid = getuid();
  out->st_gid = getgid();
  out->st_blksize = 4096;
  const time_t now = time(nullptr);
  out->st_atim.tv_sec = out->st_mtim.tv_sec = out->st_ctim.tv_sec = now;
}

}  // namespace

bool IsDevicePath(const char* path) {
  const char* device = Variable(kDeviceVariable);
  if (path == nullptr || device == nullptr) return false;
  if (std::strcmp(path, device) == 0) return true;
  // "./video9" or "video9" from /dev, as some programs open it.
  char folder[4096];
  if (path[0] != '/' && getcwd(folder, sizeof folder) != nullptr) {
    std::string full = std::string(folder) + "/" + (std::strncmp(path, "./", 2) == 0 ? path + 2 : path);
    return full == device;
  }
  return false;
}

bool RedirectSysfs(const char* path, std::string* out) {
  const char* tree = Variable(kSysfsVariable);
  if (path == nullptr || tree == nullptr) return false;
  const std::string charPrefix = "/sys/dev/char/" + std::to_string(kVideoMajor) + ":" + std::to_string(Minor());
  const std::string classPrefix = "/sys/class/video4linux/video" + std::to_string(Minor());
  for (const std::string* prefix : {&charPrefix, &classPrefix}) {
    const std::size_t length = prefix->size();
    if (std::strncmp(path, prefix->c_str(), length) == 0 && (path[length] == '\0' || path[length] == '/')) {
      *out = std::string(tree) + (path + length);
      return true;
    }
  }
  return false;
}

void FillDeviceStat(struct stat* out) { FillStat(out); }
void FillDeviceStat64(struct stat64* out) { FillStat(out); }

bool IsConnection(int fd) {
  return fd >= 0 && fd < kMaxDescriptors && connections[fd].load(std::memory_order_acquire) != 0;
}

void MarkConnection(int fd, bool connection) {
  if (fd >= 0 && fd < kMaxDescriptors) connections[fd].store(connection ? 1 : 0, std::memory_order_release);
}

bool RecogniseConnection(int fd) {
  const char* socketPath = Variable(kSocketVariable);
  if (socketPath == nullptr || fd < 0 || fd >= kMaxDescriptors) return false;
  sockaddr_un peer = {};
  socklen_t length = sizeof peer;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || peer.sun_family != AF_UNIX) return false;
  if (std::strncmp(peer.sun_path, socketPath, sizeof peer.sun_path) != 0) return false;
  MarkConnection(fd, true);
  return true;
}

int Connect(int flags) {
  const char* socketPath = Variable(kSocketVariable);
  if (socketPath == nullptr || std::strlen(socketPath) >= sizeof(sockaddr_un::sun_path)) {
    errno = ENODEV;
    return -1;
  }
  const int type = SOCK_STREAM | ((flags & O_CLOEXEC) != 0 ? SOCK_CLOEXEC : 0);
  const int fd = socket(AF_UNIX, type, 0);
  if (fd < 0) return -1;
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, socketPath);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    Real().close(fd);
    errno = ENODEV;  // the launcher has gone: the device is no more
    return -1;
  }
  if ((flags & O_NONBLOCK) != 0) Real().fcntl(fd, F_SETFL, O_NONBLOCK);
  if (fd >= kMaxDescriptors) {
    Real().close(fd);
    errno = EMFILE;
    return -1;
  }
  MarkConnection(fd, true);
  return fd;
}

}  // namespace v4l2face
