// The entry points that take a descriptor: calls on a connection go to the
// launcher (each on a private copy of the descriptor for the length of the
// call), mappings of the device's buffers are kept track of, and every other
// descriptor passes straight to the C library. The test on the way through
// is one load from the table of marks.
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>

#include "v4l2/preload/buffer_maps.h"
#include "v4l2/preload/connections.h"
#include "v4l2/preload/device_calls.h"
#include "v4l2/preload/device_files.h"
#include "v4l2/preload/path_calls.h"
#include "v4l2/preload/real_calls.h"

using namespace v4l2face;

extern "C" [[noreturn]] void __chk_fail();

#define ZARN_EXPORT __attribute__((visibility("default")))

namespace v4l2face {
long ListingSyscall(int fd, void* out, size_t room);
}


namespace {

int Dup(int from, int to) {
  MarkLike(from, to);
  return to;
}

void* Map(void* address, size_t length, int protection, int flags, int fd, off64_t offset, bool large) {
  if ((flags & MAP_ANONYMOUS) == 0 && IsMarked(fd)) {
    CallDescriptor call(fd);
    if (call.valid()) {
      if ((flags & MAP_FIXED) != 0) NoteUnmapped(address, length);
      return DeviceMap(call.get(), address, length, protection, flags, offset);
    }
  }
  void* mapped = large ? Real().mmap64(address, length, protection, flags, fd, offset)
                       : Real().mmap(address, length, protection, flags, fd, static_cast<off_t>(offset));
  // A fixed mapping replaces whatever was there, a device buffer among it.
  if (mapped != MAP_FAILED && (flags & MAP_FIXED) != 0) NoteUnmapped(mapped, length);
  return mapped;
}

// fcntl: a descriptor it duplicates is a connection when the original is.
int Control(int fd, int command, void* argument) {
  const int result = Real().fcntl(fd, command, argument);
  if ((command == F_DUPFD || command == F_DUPFD_CLOEXEC) && result >= 0) return Dup(fd, result);
  return result;
}

// The kernel takes an ioctl request as 32 bits: one passed as a negative int
// (sign-extended to 64) is the same request.
unsigned long RequestBits(unsigned long request) { return request & 0xFFFFFFFFul; }

// Requests the kernel answers for any descriptor before a driver sees them:
// non-blocking and close-on-exec, set on the descriptor itself.
bool AnyFileRequest(unsigned long request) { return request == FIONBIO || request == FIOCLEX || request == FIONCLEX; }

}  // namespace

extern "C" {

ZARN_EXPORT int close(int fd) {
  if (IsMarked(fd)) Unmark(fd);
  return Real().close(fd);
}

ZARN_EXPORT ssize_t read(int fd, void* buffer, size_t count) {
  if (IsMarked(fd)) {
    CallDescriptor call(fd);
    if (call.valid()) return DeviceRead(call.get(), buffer, count);
  }
  return Real().read(fd, buffer, count);
}

// A capture device takes no writes (EINVAL, as video capture queues answer):
// bytes written into the connection would break its requests.
ZARN_EXPORT ssize_t write(int fd, const void* buffer, size_t count) {
  if (IsMarked(fd) && IsConnection(fd)) return errno = EINVAL, -1;
  return Real().write(fd, buffer, count);
}

// The fortified read (_FORTIFY_SOURCE) reads inside the C library, past read().
ZARN_EXPORT ssize_t __read_chk(int fd, void* buffer, size_t count, size_t room) {
  if (count > room) __chk_fail();
  return read(fd, buffer, count);
}

ZARN_EXPORT int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  const unsigned long bits = RequestBits(request);
  if (!AnyFileRequest(bits) && (IsMarked(fd) || (_IOC_TYPE(bits) == 'V' && RecogniseConnection(fd)))) {
    CallDescriptor call(fd);
    if (call.valid()) return DeviceIoctl(call.get(), bits, argument);
  }
  return Real().ioctl(fd, request, argument);
}

ZARN_EXPORT void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
  return Map(address, length, protection, flags, fd, offset, false);
}
ZARN_EXPORT void* mmap64(void* address, size_t length, int protection, int flags, int fd, off64_t offset) {
  return Map(address, length, protection, flags, fd, offset, true);
}

ZARN_EXPORT int munmap(void* address, size_t length) {
  const int result = Real().munmap(address, length);
  if (result == 0) NoteUnmapped(address, length);
  return result;
}

ZARN_EXPORT int dup(int fd) {
  const int result = Real().dup(fd);
  return result >= 0 ? Dup(fd, result) : result;
}
ZARN_EXPORT int dup2(int fd, int to) {
  const int result = Real().dup2(fd, to);
  return result >= 0 ? Dup(fd, result) : result;
}
ZARN_EXPORT int dup3(int fd, int to, int flags) {
  const int result = Real().dup3(fd, to, flags);
  return result >= 0 ? Dup(fd, result) : result;
}

ZARN_EXPORT int fcntl(int fd, int command, ...) {
  va_list args;
  va_start(args, command);
  void* argument = va_arg(args, void*);
  va_end(args);
  return Control(fd, command, argument);
}
ZARN_EXPORT int fcntl64(int fd, int command, ...) {
  va_list args;
  va_start(args, command);
  void* argument = va_arg(args, void*);
  va_end(args);
  return Control(fd, command, argument);
}

ZARN_EXPORT int fstat(int fd, struct stat* out) {
  if (IsConnection(fd)) return FillDeviceStat(out), 0;
  return Real().fstat(fd, out);
}
ZARN_EXPORT int fstat64(int fd, struct stat64* out) {
  if (IsConnection(fd)) return FillDeviceStat64(out), 0;
  return Real().fstat64(fd, out);
}
ZARN_EXPORT int __fxstat(int version, int fd, struct stat* out) {
  if (IsConnection(fd)) return FillDeviceStat(out), 0;
  return Real().fxstat(version, fd, out);
}
ZARN_EXPORT int __fxstat64(int version, int fd, struct stat64* out) {
  if (IsConnection(fd)) return FillDeviceStat64(out), 0;
  return Real().fxstat64(version, fd, out);
}

// Programs that go through libv4l2 make raw system calls for the device, and
// a sandbox's helpers call this from children without a thread area: what is
// not the device's goes to the C library's own syscall(), which touches
// neither a lock nor the thread area (the C library's open or close would,
// as cancellation points, in a process with threads).
ZARN_EXPORT long syscall(long number, ...) {
  va_list args;
  va_start(args, number);
  long a[6];
  for (long& value : a) value = va_arg(args, long);
  va_end(args);
  const auto plain = [&](int at, const char* where) {
    return number == SYS_openat ? Real().syscall(number, at, where, a[2], a[3]) : Real().syscall(number, where, a[1], a[2]);
  };
  switch (number) {
    case SYS_openat: {
      const int dirfd = static_cast<int>(a[0]);
      const auto* path = reinterpret_cast<const char*>(a[1]);
      if (IsDeviceAt(dirfd, path)) return Connect(static_cast<int>(a[2]));
      return OnPath(dirfd, path, -1L, plain);
    }
#ifdef SYS_open
    case SYS_open: {
      const auto* path = reinterpret_cast<const char*>(a[0]);
      if (IsDevicePath(path)) return Connect(static_cast<int>(a[1]));
      return OnPath(AT_FDCWD, path, -1L, plain);
    }
#endif
    case SYS_ioctl:
      if (IsMarked(static_cast<int>(a[0])) || _IOC_TYPE(RequestBits(static_cast<unsigned long>(a[1]))) == 'V') {
        return ioctl(static_cast<int>(a[0]), static_cast<unsigned long>(a[1]), reinterpret_cast<void*>(a[2]));
      }
      break;
    case SYS_close:
      if (IsMarked(static_cast<int>(a[0]))) Unmark(static_cast<int>(a[0]));
      break;
    case SYS_read:
      if (IsMarked(static_cast<int>(a[0]))) {
        return read(static_cast<int>(a[0]), reinterpret_cast<void*>(a[1]), static_cast<size_t>(a[2]));
      }
      break;
    case SYS_mmap:
      if (IsMarked(static_cast<int>(a[4]))) {
        return reinterpret_cast<long>(mmap(reinterpret_cast<void*>(a[0]), static_cast<size_t>(a[1]),
                                           static_cast<int>(a[2]), static_cast<int>(a[3]), static_cast<int>(a[4]),
                                           static_cast<off_t>(a[5])));
      }
      break;
    case SYS_munmap: {
      const long result = Real().syscall(number, a[0], a[1]);
      if (result == 0) NoteUnmapped(reinterpret_cast<void*>(a[0]), static_cast<size_t>(a[1]));
      return result;
    }
    case SYS_getdents64:
      return ListingSyscall(static_cast<int>(a[0]), reinterpret_cast<void*>(a[1]), static_cast<size_t>(a[2]));
    default:
      break;
  }
  return Real().syscall(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

}  // extern "C"
