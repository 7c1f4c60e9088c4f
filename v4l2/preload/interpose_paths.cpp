// The entry points that take a path: the device path opens a connection to
// the launcher (and stat says it is a character device); a path under /sys
// or /run/udev the system lacks is looked up in the launcher's tree; every
// other path passes straight to the C library. No lock, allocation or
// thread-local storage on the way through.
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/stat.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <climits>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "v4l2/preload/connections.h"
#include "v4l2/preload/device_files.h"
#include "v4l2/preload/path_calls.h"
#include "v4l2/preload/real_calls.h"
#include "v4l2/preload/tree_paths.h"

using namespace v4l2face;

extern "C" [[noreturn]] void __chk_fail();

#define ZARN_EXPORT __attribute__((visibility("default")))

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

int OpenAt(int dirfd, const char* path, int flags, mode_t mode, bool large) {
  if (IsDeviceAt(dirfd, path)) return Connect(flags);
  const auto open = [&](int at, const char* where) {
    return large ? Real().openat64(at, where, flags, mode) : Real().openat(at, where, flags, mode);
  };
  return OnPath(dirfd, path, -1, open);
}

template <typename Stat, typename Fill>
int StatPath(const char* path, Stat* out, Fill fill, int (*real)(const char*, Stat*)) {
  if (IsDevicePath(path)) return fill(out), 0;
  return OnPath(AT_FDCWD, path, -1, [&](int, const char* where) { return real(where, out); });
}

template <typename Stat, typename Fill>
int StatAt(int dirfd, const char* path, Stat* out, int flags, Fill fill, int (*statFd)(int, Stat*),
           int (*real)(int, const char*, Stat*, int)) {
  if ((flags & AT_EMPTY_PATH) != 0 && path != nullptr && path[0] == '\0') return statFd(dirfd, out);
  if (IsDeviceAt(dirfd, path)) return fill(out), 0;
  return OnPath(dirfd, path, -1, [&](int at, const char* where) { return real(at, where, out, flags); });
}

template <typename Stat, typename Fill>
int OldStatPath(int version, const char* path, Stat* out, Fill fill, int (*real)(int, const char*, Stat*)) {
  if (IsDevicePath(path)) return fill(out), 0;
  return OnPath(AT_FDCWD, path, -1, [&](int, const char* where) { return real(version, where, out); });
}

template <typename Statfs>
void SaySysfs(int result, int fd, Statfs* out) {
  if (result == 0 && out->f_type != SYSFS_MAGIC && Config().treeLength != 0 && InTreeSysfs(fd)) {
    out->f_type = SYSFS_MAGIC;
  }
}

// statfs on a path: sysfs when the path is the tree's (as its file would be).
template <typename Statfs>
int StatfsPath(const char* path, Statfs* out, int (*real)(const char*, Statfs*)) {
  bool inTree = false;
  const int result = OnPath(AT_FDCWD, path, -1, [&](int, const char* where) {
    inTree = where != path;
    return real(where, out);
  });
  if (result == 0 && inTree) out->f_type = SYSFS_MAGIC;
  return result;
}

}  // namespace

extern "C" {

ZARN_EXPORT int open(const char* path, int flags, ...) {
  ZARN_TAKE_MODE(flags);
  return OpenAt(AT_FDCWD, path, flags, mode, false);
}
ZARN_EXPORT int open64(const char* path, int flags, ...) {
  ZARN_TAKE_MODE(flags);
  return OpenAt(AT_FDCWD, path, flags, mode, true);
}
ZARN_EXPORT int openat(int dirfd, const char* path, int flags, ...) {
  ZARN_TAKE_MODE(flags);
  return OpenAt(dirfd, path, flags, mode, false);
}
ZARN_EXPORT int openat64(int dirfd, const char* path, int flags, ...) {
  ZARN_TAKE_MODE(flags);
  return OpenAt(dirfd, path, flags, mode, true);
}

// The fortified forms (_FORTIFY_SOURCE) take no mode.
ZARN_EXPORT int __open_2(const char* path, int flags) { return OpenAt(AT_FDCWD, path, flags, 0, false); }
ZARN_EXPORT int __open64_2(const char* path, int flags) { return OpenAt(AT_FDCWD, path, flags, 0, true); }
ZARN_EXPORT int __openat_2(int dirfd, const char* path, int flags) { return OpenAt(dirfd, path, flags, 0, false); }
ZARN_EXPORT int __openat64_2(int dirfd, const char* path, int flags) { return OpenAt(dirfd, path, flags, 0, true); }

ZARN_EXPORT int stat(const char* path, struct stat* out) { return StatPath(path, out, FillDeviceStat, Real().stat); }
ZARN_EXPORT int lstat(const char* path, struct stat* out) { return StatPath(path, out, FillDeviceStat, Real().lstat); }
ZARN_EXPORT int stat64(const char* path, struct stat64* out) {
  return StatPath(path, out, FillDeviceStat64, Real().stat64);
}
ZARN_EXPORT int lstat64(const char* path, struct stat64* out) {
  return StatPath(path, out, FillDeviceStat64, Real().lstat64);
}

ZARN_EXPORT int fstatat(int dirfd, const char* path, struct stat* out, int flags) {
  return StatAt(dirfd, path, out, flags, FillDeviceStat, &fstat, Real().fstatat);
}
ZARN_EXPORT int fstatat64(int dirfd, const char* path, struct stat64* out, int flags) {
  return StatAt(dirfd, path, out, flags, FillDeviceStat64, &fstat64, Real().fstatat64);
}

ZARN_EXPORT int statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* out) {
  const bool emptyPath = (flags & AT_EMPTY_PATH) != 0 && path != nullptr && path[0] == '\0';
  if ((emptyPath && IsConnection(dirfd)) || (!emptyPath && IsDeviceAt(dirfd, path))) {
    FillDeviceStatx(out);
    return 0;
  }
  return OnPath(dirfd, path, -1, [&](int at, const char* where) { return Real().statx(at, where, flags, mask, out); });
}

ZARN_EXPORT int access(const char* path, int mode) {
  if (IsDevicePath(path)) return (mode & X_OK) != 0 ? (errno = EACCES, -1) : 0;
  return OnPath(AT_FDCWD, path, -1, [&](int, const char* where) { return Real().access(where, mode); });
}
ZARN_EXPORT int faccessat(int dirfd, const char* path, int mode, int flags) {
  if (IsDeviceAt(dirfd, path)) return (mode & X_OK) != 0 ? (errno = EACCES, -1) : 0;
  return OnPath(dirfd, path, -1,
                [&](int at, const char* where) { return Real().faccessat(at, where, mode, flags); });
}

// C++ streams and stdio open files inside the C library, past open().
ZARN_EXPORT FILE* fopen(const char* path, const char* mode) {
  return OnPath(AT_FDCWD, path, static_cast<FILE*>(nullptr),
                [&](int, const char* where) { return Real().fopen(where, mode); });
}
ZARN_EXPORT FILE* fopen64(const char* path, const char* mode) {
  return OnPath(AT_FDCWD, path, static_cast<FILE*>(nullptr),
                [&](int, const char* where) { return Real().fopen64(where, mode); });
}

ZARN_EXPORT ssize_t readlink(const char* path, char* out, size_t room) {
  return OnPath(AT_FDCWD, path, ssize_t{-1}, [&](int, const char* where) { return Real().readlink(where, out, room); });
}
ZARN_EXPORT ssize_t readlinkat(int dirfd, const char* path, char* out, size_t room) {
  return OnPath(dirfd, path, ssize_t{-1},
                [&](int at, const char* where) { return Real().readlinkat(at, where, out, room); });
}

// The tree's files resolve to paths inside the tree: they are given back as
// the paths they stand for (/sys/devices/virtual/video4linux/video3).
ZARN_EXPORT char* realpath(const char* path, char* resolved) {
  char* result = Real().realpath(path, resolved);
  if (result != nullptr || !MayBeInTree(path)) return result;
  char tree[kPathRoom];
  char inTree[kPathRoom];
  const char* standsFor = nullptr;
  if (TreePathFor(AT_FDCWD, path, tree, sizeof tree) && Real().realpath(tree, inTree) != nullptr) {
    standsFor = StandsFor(inTree);
  }
  if (standsFor == nullptr) return Real().realpath(path, resolved);  // for its errno
  if (resolved == nullptr) return strdup(standsFor);
  std::strcpy(resolved, standsFor);
  return resolved;
}
ZARN_EXPORT char* canonicalize_file_name(const char* path) { return realpath(path, nullptr); }

// The fortified forms (_FORTIFY_SOURCE, as distributions build programs):
// the C library's own go to its internal calls, past this library.
ZARN_EXPORT char* __realpath_chk(const char* path, char* resolved, size_t room) {
  if (room < PATH_MAX) __chk_fail();
  return realpath(path, resolved);
}
ZARN_EXPORT ssize_t __readlink_chk(const char* path, char* out, size_t size, size_t room) {
  if (size > room) __chk_fail();
  return readlink(path, out, size);
}
ZARN_EXPORT ssize_t __readlinkat_chk(int dirfd, const char* path, char* out, size_t size, size_t room) {
  if (size > room) __chk_fail();
  return readlinkat(dirfd, path, out, size);
}

ZARN_EXPORT int statfs(const char* path, struct statfs* out) { return StatfsPath(path, out, Real().statfs); }
ZARN_EXPORT int statfs64(const char* path, struct statfs64* out) { return StatfsPath(path, out, Real().statfs64); }
ZARN_EXPORT int fstatfs(int fd, struct statfs* out) {
  const int result = Real().fstatfs(fd, out);
  SaySysfs(result, fd, out);
  return result;
}
ZARN_EXPORT int fstatfs64(int fd, struct statfs64* out) {
  const int result = Real().fstatfs64(fd, out);
  SaySysfs(result, fd, out);
  return result;
}

// ls -l and file managers ask for a file's extended attributes (its ACL):
// the device has none.
ZARN_EXPORT ssize_t getxattr(const char* path, const char* name, void* value, size_t size) {
  if (IsDevicePath(path)) return errno = ENODATA, -1;
  return OnPath(AT_FDCWD, path, ssize_t{-1},
                [&](int, const char* where) { return Real().getxattr(where, name, value, size); });
}
ZARN_EXPORT ssize_t lgetxattr(const char* path, const char* name, void* value, size_t size) {
  if (IsDevicePath(path)) return errno = ENODATA, -1;
  return OnPath(AT_FDCWD, path, ssize_t{-1},
                [&](int, const char* where) { return Real().lgetxattr(where, name, value, size); });
}
ZARN_EXPORT ssize_t listxattr(const char* path, char* list, size_t size) {
  if (IsDevicePath(path)) return 0;
  return OnPath(AT_FDCWD, path, ssize_t{-1}, [&](int, const char* where) { return Real().listxattr(where, list, size); });
}
ZARN_EXPORT ssize_t llistxattr(const char* path, char* list, size_t size) {
  if (IsDevicePath(path)) return 0;
  return OnPath(AT_FDCWD, path, ssize_t{-1},
                [&](int, const char* where) { return Real().llistxattr(where, list, size); });
}

// Programs built against older C libraries call these instead of stat.
ZARN_EXPORT int __xstat(int version, const char* path, struct stat* out) {
  return OldStatPath(version, path, out, FillDeviceStat, Real().xstat);
}
ZARN_EXPORT int __lxstat(int version, const char* path, struct stat* out) {
  return OldStatPath(version, path, out, FillDeviceStat, Real().lxstat);
}
ZARN_EXPORT int __xstat64(int version, const char* path, struct stat64* out) {
  return OldStatPath(version, path, out, FillDeviceStat64, Real().xstat64);
}
ZARN_EXPORT int __lxstat64(int version, const char* path, struct stat64* out) {
  return OldStatPath(version, path, out, FillDeviceStat64, Real().lxstat64);
}

}  // extern "C"
