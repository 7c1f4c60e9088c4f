#include "v4l2/preload/real_calls.h"

#include <dlfcn.h>

#include <atomic>
#include <cerrno>

namespace v4l2face {
namespace {

RealCalls calls;
std::atomic<bool> found{false};

template <typename T>
void Find(T*& slot, const char* name) {
  slot = reinterpret_cast<T*>(dlsym(RTLD_NEXT, name));
}

// Idempotent: two threads that find the table empty write the same values.
void FindAll() {
  Find(calls.open, "open");
  Find(calls.open64, "open64");
  Find(calls.openat, "openat");
  Find(calls.openat64, "openat64");
  Find(calls.close, "close");
  Find(calls.read, "read");
  Find(calls.write, "write");
  Find(calls.ioctl, "ioctl");
  Find(calls.mmap, "mmap");
  Find(calls.mmap64, "mmap64");
  Find(calls.munmap, "munmap");
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
  Find(calls.faccessat, "faccessat");
  Find(calls.fopen, "fopen");
  Find(calls.fopen64, "fopen64");
  Find(calls.readlink, "readlink");
  Find(calls.readlinkat, "readlinkat");
  Find(calls.realpath, "realpath");
  Find(calls.statfs, "statfs");
  Find(calls.fstatfs, "fstatfs");
  Find(calls.statfs64, "statfs64");
  Find(calls.fstatfs64, "fstatfs64");
  Find(calls.getxattr, "getxattr");
  Find(calls.lgetxattr, "lgetxattr");
  Find(calls.listxattr, "listxattr");
  Find(calls.llistxattr, "llistxattr");
  Find(calls.opendir, "opendir");
  Find(calls.closedir, "closedir");
  Find(calls.readdir, "readdir");
  Find(calls.readdir64, "readdir64");
  Find(calls.rewinddir, "rewinddir");
  Find(calls.scandir, "scandir");
  Find(calls.scandir64, "scandir64");
  Find(calls.scandirat, "scandirat");
  Find(calls.scandirat64, "scandirat64");
  Find(calls.getdents64, "getdents64");
  Find(calls.glob, "glob");
  Find(calls.glob64, "glob64");
  Find(calls.xstat, "__xstat");
  Find(calls.lxstat, "__lxstat");
  Find(calls.fxstat, "__fxstat");
  Find(calls.xstat64, "__xstat64");
  Find(calls.lxstat64, "__lxstat64");
  Find(calls.fxstat64, "__fxstat64");
  found.store(true, std::memory_order_release);
}

// Before the application's own code runs; another library's constructor
// may still come first, and then the first call finds the table.
__attribute__((constructor(101))) void FindAtLoad() { FindAll(); }

}  // namespace

const RealCalls& Real() {
  if (!found.load(std::memory_order_acquire)) FindAll();
  return calls;
}

long RawSyscall(long number, long a, long b, long c, long d, long e, long f) {
#if defined(__x86_64__)
  register long r10 __asm__("r10") = d;
  register long r8 __asm__("r8") = e;
  register long r9 __asm__("r9") = f;
  long result;
  __asm__ volatile("syscall"
                   : "=a"(result)
                   : "a"(number), "D"(a), "S"(b), "d"(c), "r"(r10), "r"(r8), "r"(r9)
                   : "rcx", "r11", "memory");
  return result;
#elif defined(__aarch64__)
  register long x8 __asm__("x8") = number;
  register long x0 __asm__("x0") = a;
  register long x1 __asm__("x1") = b;
  register long x2 __asm__("x2") = c;
  register long x3 __asm__("x3") = d;
  register long x4 __asm__("x4") = e;
  register long x5 __asm__("x5") = f;
  __asm__ volatile("svc 0" : "+r"(x0) : "r"(x8), "r"(x1), "r"(x2), "r"(x3), "r"(x4), "r"(x5) : "memory");
  return x0;
#else
  // Elsewhere through the C library, which keeps errno as its own calls do.
  const long result = Real().syscall(number, a, b, c, d, e, f);
  return result == -1 ? -errno : result;
#endif
}

}  // namespace v4l2face
