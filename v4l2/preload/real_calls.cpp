#include "v4l2/preload/real_calls.h"

#include <dlfcn.h>

#include <mutex>

namespace v4l2face {
namespace {

template <typename T>
void Find(T*& slot, const char* name) {
  slot = reinterpret_cast<T*>(dlsym(RTLD_NEXT, name));
}

}  // namespace

const RealCalls& Real() {
  static RealCalls calls;
  static std::once_flag found;
  std::call_once(found, [] {
    Find(calls.open, "open");
    Find(calls.open64, "open64");
    Find(calls.openat, "openat");
    Find(calls.openat64, "openat64");
    Find(calls.close, "close");
    Find(calls.read, "read");
    Find(calls.ioctl, "ioctl");
    Find(calls.mmap, "mmap");
    Find(calls.mmap64, "mmap64");
    Find(calls.dup, "dup");
    Find(calls.dup2, "dup2");
    Find(calls.dup3, "dup3");
    Find(calls.fcntl, "fcntl");
    Find(calls.syscall, "syscall");
    Find(calls.stat, "stat");
    Find(calls.lstat, "lstat");
    Find(calls.fstat, "fstat");
    Find(calls.fstatat, "fstatat");
    Find(calls.stat64, "stat64");
    Find(calls.lstat64, "lstat64");
    Find(calls.fstat64, "fstat64");
    Find(calls.fstatat64, "fstatat64");
    Find(calls.statx, "statx");
    Find(calls.access, "access");
    Find(calls.fopen, "fopen");
    Find(calls.fopen64, "fopen64");
    Find(calls.xstat, "__xstat");
    Find(calls.lxstat, "__lxstat");
    Find(calls.fxstat, "__fxstat");
    Find(calls.xstat64, "__xstat64");
    Find(calls.lxstat64, "__lxstat64");
    Find(calls.fxstat64, "__fxstat64");
  });
  return calls;
}

}  // namespace v4l2face
