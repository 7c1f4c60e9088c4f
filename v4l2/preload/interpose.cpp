// The entry points the application calls: the device path opens a
// connection to the launcher, the device's sysfs entries open the launcher's
// tree, and calls on a connection go to it. Every other path and descriptor
// passes straight to the C library.
#include <fcntl.h>
#include <linux/stat.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>

#include "v4l2/preload/device_calls.h"
#include "v4l2/preload/device_files.h"
#include "v4l2/preload/real_calls.h"
#include "v4l2/protocol.h"

using namespace v4l2face;

// The mode argument an open takes only when it may create a file.
#define ZARN_TAKE_MODE(flags)        \
  mode_t mode = 0;                   \
  if (OpenTakesMode(flags)) {        \
    va_list args;                    \
    va_start(args, flags);           \
    mode = va_arg(args, mode_t);     \
    va_end(args);                    \
  }

namespace {

bool OpenTakesMode(int flags) { return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE; }

bool IsDeviceAt(int dirfd, const char* path) {
  return path != nullptr && (path[0] == '/' || dirfd == AT_FDCWD) && IsDevicePath(path);
}

int OpenAt(int dirfd, const char* path, int flags, mode_t mode, bool large) {
  if (IsDeviceAt(dirfd, path)) return Connect(flags);
  const SysfsPath target(path);
  return large ? Real().openat64(dirfd, target.c_str(), flags, mode)
               : Real().openat(dirfd, target.c_str(), flags, mode);
}

int Dup(int from, int to) {
  if (to >= 0) MarkConnection(to, IsConnection(from) || RecogniseConnection(from));
  return to;
}

bool Ours(int fd) { return IsConnection(fd) || RecogniseConnection(fd); }

void FillStatx(struct statx* out) {
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

template <typename Stat, typename Fill>
int StatPath(const char* path, Stat* out, Fill fill, int (*real)(const char*, Stat*)) {
  if (IsDevicePath(path)) {
    fill(out);
    return 0;
  }
  const SysfsPath target(path);
  return real(target.c_str(), out);
}

template <typename Stat, typename Fill>
int StatAt(int dirfd, const char* path, Stat* out, int flags, Fill fill, int (*statFd)(int, Stat*),
           int (*real)(int, const char*, Stat*, int)) {
  if ((flags & AT_EMPTY_PATH) != 0 && path != nullptr && path[0] == '\0') return statFd(dirfd, out);
  if (IsDeviceAt(dirfd, path)) {
    fill(out);
    return 0;
  }
  const SysfsPath target(path);
  return real(dirfd, target.c_str(), out, flags);
}

template <typename Stat, typename Fill>
int OldStatPath(int version, const char* path, Stat* out, Fill fill, int (*real)(int, const char*, Stat*)) {
  if (IsDevicePath(path)) {
    fill(out);
    return 0;
  }
  const SysfsPath target(path);
  return real(version, target.c_str(), out);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int open(const char* path, int flags, ...) {
  ZARN_TAKE_MODE(flags);
  return OpenAt(AT_FDCWD, path, flags, mode, false);
}

__attribute__((visibility("default"))) int open64(const char* path, int flags, ...) {
  ZARN_TAKE_MODE(flags);
  return OpenAt(AT_FDCWD, path, flags, mode, true);
}

__attribute__((visibility("default"))) int openat(int dirfd, const char* path, int flags, ...) {
  ZARN_TAKE_MODE(flags);
  return OpenAt(dirfd, path, flags, mode, false);
}

__attribute__((visibility("default"))) int openat64(int dirfd, const char* path, int flags, ...) {
  ZARN_TAKE_MODE(flags);
  return OpenAt(dirfd, path, flags, mode, true);
}

// The fortified forms (_FORTIFY_SOURCE) take no mode.
__attribute__((visibility("default"))) int __open_2(const char* path, int flags) {
  return OpenAt(AT_FDCWD, path, flags, 0, false);
}
__attribute__((visibility("default"))) int __open64_2(const char* path, int flags) {
  return OpenAt(AT_FDCWD, path, flags, 0, true);
}
__attribute__((visibility("default"))) int __openat_2(int dirfd, const char* path, int flags) {
  return OpenAt(dirfd, path, flags, 0, false);
}
__attribute__((visibility("default"))) int __openat64_2(int dirfd, const char* path, int flags) {
  return OpenAt(dirfd, path, flags, 0, true);
}

__attribute__((visibility("default"))) int close(int fd) {
  if (IsConnection(fd)) MarkConnection(fd, false);
  return Real().close(fd);
}

__attribute__((visibility("default"))) ssize_t read(int fd, void* buffer, size_t count) {
  if (IsConnection(fd)) return DeviceRead(fd, buffer, count);
  return Real().read(fd, buffer, count);
}

__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  if (IsConnection(fd) || (_IOC_TYPE(request) == 'V' && RecogniseConnection(fd))) {
    return DeviceIoctl(fd, request, argument);
  }
  return Real().ioctl(fd, request, argument);
}

__attribute__((visibility("default"))) void* mmap(void* address, size_t length, int protection, int flags, int fd,
                                                  off_t offset) {
  if ((flags & MAP_ANONYMOUS) == 0 && Ours(fd)) return DeviceMap(fd, address, length, protection, flags, offset);
  return Real().mmap(address, length, protection, flags, fd, offset);
}

__attribute__((visibility("default"))) void* mmap64(void* address, size_t length, int protection, int flags, int fd,
                                                    off64_t offset) {
  if ((flags & MAP_ANONYMOUS) == 0 && Ours(fd)) return DeviceMap(fd, address, length, protection, flags, offset);
  return Real().mmap64(address, length, protection, flags, fd, offset);
}

__attribute__((visibility("default"))) int dup(int fd) { return Dup(fd, Real().dup(fd)); }

__attribute__((visibility("default"))) int dup2(int fd, int to) {
  const int result = Real().dup2(fd, to);
  return result >= 0 ? Dup(fd, result) : result;
}

__attribute__((visibility("default"))) int dup3(int fd, int to, int flags) {
  const int result = Real().dup3(fd, to, flags);
  return result >= 0 ? Dup(fd, result) : result;
}

__attribute__((visibility("default"))) int fcntl(int fd, int command, ...) {
  va_list args;
  va_start(args, command);
  void* argument = va_arg(args, void*);
  va_end(args);
  const int result = Real().fcntl(fd, command, argument);
  if ((command == F_DUPFD || command == F_DUPFD_CLOEXEC) && result >= 0) return Dup(fd, result);
  return result;
}

__attribute__((visibility("default"))) int fcntl64(int fd, int command, ...) {
  va_list args;
  va_start(args, command);
  void* argument = va_arg(args, void*);
  va_end(args);
  const int result = Real().fcntl(fd, command, argument);
  if ((command == F_DUPFD || command == F_DUPFD_CLOEXEC) && result >= 0) return Dup(fd, result);
  return result;
}

// Programs that go through libv4l2 make raw system calls for the device.
__attribute__((visibility("default"))) long syscall(long number, ...) {
  va_list args;
  va_start(args, number);
  long a[6];
  for (long& value : a) value = va_arg(args, long);
  va_end(args);
  switch (number) {
    case SYS_openat:
      return OpenAt(static_cast<int>(a[0]), reinterpret_cast<const char*>(a[1]), static_cast<int>(a[2]),
                    static_cast<mode_t>(a[3]), true);
    case SYS_open:
      return OpenAt(AT_FDCWD, reinterpret_cast<const char*>(a[0]), static_cast<int>(a[1]),
                    static_cast<mode_t>(a[2]), true);
    case SYS_ioctl:
      return ioctl(static_cast<int>(a[0]), static_cast<unsigned long>(a[1]), reinterpret_cast<void*>(a[2]));
    case SYS_close:
      return close(static_cast<int>(a[0]));
    case SYS_read:
      return read(static_cast<int>(a[0]), reinterpret_cast<void*>(a[1]), static_cast<size_t>(a[2]));
    case SYS_mmap:
      return reinterpret_cast<long>(mmap(reinterpret_cast<void*>(a[0]), static_cast<size_t>(a[1]),
                                         static_cast<int>(a[2]), static_cast<int>(a[3]), static_cast<int>(a[4]),
                                         static_cast<off_t>(a[5])));
    default:
      return Real().syscall(number, a[0], a[1], a[2], a[3], a[4], a[5]);
  }
}

__attribute__((visibility("default"))) int stat(const char* path, struct stat* out) {
  return StatPath(path, out, FillDeviceStat, Real().stat);
}
__attribute__((visibility("default"))) int lstat(const char* path, struct stat* out) {
  return StatPath(path, out, FillDeviceStat, Real().lstat);
}
__attribute__((visibility("default"))) int stat64(const char* path, struct stat64* out) {
  return StatPath(path, out, FillDeviceStat64, Real().stat64);
}
__attribute__((visibility("default"))) int lstat64(const char* path, struct stat64* out) {
  return StatPath(path, out, FillDeviceStat64, Real().lstat64);
}

__attribute__((visibility("default"))) int fstat(int fd, struct stat* out) {
  if (Ours(fd)) {
    FillDeviceStat(out);
    return 0;
  }
  return Real().fstat(fd, out);
}
__attribute__((visibility("default"))) int fstat64(int fd, struct stat64* out) {
  if (Ours(fd)) {
    FillDeviceStat64(out);
    return 0;
  }
  return Real().fstat64(fd, out);
}

__attribute__((visibility("default"))) int fstatat(int dirfd, const char* path, struct stat* out, int flags) {
  return StatAt(dirfd, path, out, flags, FillDeviceStat, &fstat, Real().fstatat);
}
__attribute__((visibility("default"))) int fstatat64(int dirfd, const char* path, struct stat64* out, int flags) {
  return StatAt(dirfd, path, out, flags, FillDeviceStat64, &fstat64, Real().fstatat64);
}

__attribute__((visibility("default"))) int statx(int dirfd, const char* path, int flags, unsigned mask,
                                                 struct statx* out) {
  const bool emptyPath = (flags & AT_EMPTY_PATH) != 0 && path != nullptr && path[0] == '\0';
  if ((emptyPath && Ours(dirfd)) || (!emptyPath && IsDeviceAt(dirfd, path))) {
    FillStatx(out);
    return 0;
  }
  const SysfsPath target(path);
  return Real().statx(dirfd, target.c_str(), flags, mask, out);
}

__attribute__((visibility("default"))) int access(const char* path, int mode) {
  if (IsDevicePath(path)) return (mode & X_OK) != 0 ? (errno = EACCES, -1) : 0;
  const SysfsPath target(path);
  return Real().access(target.c_str(), mode);
}

// C++ streams and stdio open files inside the C library, past open(): the
// sysfs entries must be redirected here too.
__attribute__((visibility("default"))) FILE* fopen(const char* path, const char* mode) {
  const SysfsPath target(path);
  return Real().fopen(target.c_str(), mode);
}
__attribute__((visibility("default"))) FILE* fopen64(const char* path, const char* mode) {
  const SysfsPath target(path);
  return Real().fopen64(target.c_str(), mode);
}

// Programs built against older C libraries call these instead of stat.
__attribute__((visibility("default"))) int __xstat(int version, const char* path, struct stat* out) {
  return OldStatPath(version, path, out, FillDeviceStat, Real().xstat);
}
__attribute__((visibility("default"))) int __lxstat(int version, const char* path, struct stat* out) {
  return OldStatPath(version, path, out, FillDeviceStat, Real().lxstat);
}
__attribute__((visibility("default"))) int __fxstat(int version, int fd, struct stat* out) {
  if (Ours(fd)) return FillDeviceStat(out), 0;
  return Real().fxstat(version, fd, out);
}
__attribute__((visibility("default"))) int __xstat64(int version, const char* path, struct stat64* out) {
  return OldStatPath(version, path, out, FillDeviceStat64, Real().xstat64);
}
__attribute__((visibility("default"))) int __lxstat64(int version, const char* path, struct stat64* out) {
  return OldStatPath(version, path, out, FillDeviceStat64, Real().lxstat64);
}
__attribute__((visibility("default"))) int __fxstat64(int version, int fd, struct stat64* out) {
  if (Ours(fd)) return FillDeviceStat64(out), 0;
  return Real().fxstat64(version, fd, out);
}

}  // extern "C"
