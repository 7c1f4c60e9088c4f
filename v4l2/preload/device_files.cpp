#include "v4l2/preload/device_files.h"

#include <fcntl.h>
#include <linux/stat.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "v4l2/preload/connections.h"
#include "v4l2/preload/face_config.h"
#include "v4l2/preload/real_calls.h"
#include "v4l2/protocol.h"

namespace v4l2face {
namespace {

template <typename Stat>
void FillStat(Stat* out) {
  std::memset(out, 0, sizeof *out);
  out->st_mode = S_IFCHR | 0660;
  out->st_rdev = makedev(kVideoMajor, Config().minor);
  out->st_dev = makedev(0, 5);
  out->st_ino = DeviceInode();
  out->st_nlink = 1;
  out->st_uid = getuid();
  out->st_gid = getgid();
  out->st_blksize = 4096;
  const time_t now = time(nullptr);
  out->st_atim.tv_sec = out->st_mtim.tv_sec = out->st_ctim.tv_sec = now;
}

// "video3", "./video3", "././video3": the name alone, from the folder it is relative to.
const char* Bare(const char* path) {
  while (path[0] == '.' && path[1] == '/') path += 2;
  return path;
}

}  // namespace

bool IsDeviceAt(int dirfd, const char* path) {
  const FaceConfig& config = Config();
  if (path == nullptr || config.device[0] == '\0') return false;
  if (std::strcmp(path, config.device) == 0) return dirfd == AT_FDCWD || path[0] == '/';
  if (path[0] == '/') return false;
  // A relative path: only one ending in the device's name is worth a look at its folder.
  if (std::strcmp(Bare(path), config.name) != 0) return false;
  char folder[kPathRoom];
  return FolderOf(dirfd, folder, sizeof folder) && std::strcmp(folder, config.folder) == 0;
}

void FillDeviceStat(struct stat* out) { FillStat(out); }
void FillDeviceStat64(struct stat64* out) { FillStat(out); }

void FillDeviceStatx(struct statx* out) {
  struct stat plain;
  FillDeviceStat(&plain);
  std::memset(out, 0, sizeof *out);
  out->stx_mask = STATX_BASIC_STATS;
  out->stx_mode = static_cast<__u16>(plain.st_mode);
  out->stx_nlink = 1;
  out->stx_uid = plain.st_uid;
  out->stx_gid = plain.st_gid;
  out->stx_ino = plain.st_ino;
  out->stx_blksize = 4096;
  out->stx_rdev_major = major(plain.st_rdev);
  out->stx_rdev_minor = minor(plain.st_rdev);
  out->stx_dev_major = major(plain.st_dev);
  out->stx_dev_minor = minor(plain.st_dev);
  out->stx_atime.tv_sec = out->stx_mtime.tv_sec = out->stx_ctime.tv_sec = plain.st_mtim.tv_sec;
}

unsigned long DeviceInode() { return 0x5A000000ul + Config().minor; }

int Connect(int flags) {
  const char* socketPath = Config().socket;
  const int type = SOCK_STREAM | ((flags & O_CLOEXEC) != 0 ? SOCK_CLOEXEC : 0);
  const int fd = socket(AF_UNIX, type, 0);
  if (fd < 0) return -1;
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socketPath, sizeof address.sun_path - 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    Real().close(fd);
    errno = ENODEV;  // the launcher has gone: the device is no more
    return -1;
  }
  if ((flags & O_NONBLOCK) != 0) Real().fcntl(fd, F_SETFL, O_NONBLOCK);
  if (!Mark(fd)) {
    Real().close(fd);
    errno = EMFILE;
    return -1;
  }
  return fd;
}

}  // namespace v4l2face
