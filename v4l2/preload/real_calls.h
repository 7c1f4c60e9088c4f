// The C library's own functions behind the ones this library interposes,
// found with dlsym(RTLD_NEXT) when the library is loaded. Reading them takes
// no lock, no thread-local storage and no memory: they are called from
// children made by a raw clone (no thread area), from signal handlers and
// between fork and exec.
#pragma once

#include <dirent.h>
#include <glob.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>

#include <cstdarg>
#include <cstddef>
#include <cstdio>

struct statx;

namespace v4l2face {

struct RealCalls {
  int (*open)(const char*, int, ...);
  int (*open64)(const char*, int, ...);
  int (*openat)(int, const char*, int, ...);
  int (*openat64)(int, const char*, int, ...);
  int (*close)(int);
  ssize_t (*read)(int, void*, size_t);
  ssize_t (*write)(int, const void*, size_t);
  int (*ioctl)(int, unsigned long, ...);
  void* (*mmap)(void*, size_t, int, int, int, off_t);
  void* (*mmap64)(void*, size_t, int, int, int, off64_t);
  int (*munmap)(void*, size_t);
  int (*dup)(int);
  int (*dup2)(int, int);
  int (*dup3)(int, int, int);
  int (*fcntl)(int, int, ...);
  long (*syscall)(long, ...);
  int (*stat)(const char*, struct stat*);
  int (*lstat)(const char*, struct stat*);
  int (*fstat)(int, struct stat*);
  int (*fstatat)(int, const char*, struct stat*, int);
  int (*stat64)(const char*, struct stat64*);
  int (*lstat64)(const char*, struct stat64*);
  int (*fstat64)(int, struct stat64*);
  int (*fstatat64)(int, const char*, struct stat64*, int);
  int (*statx)(int, const char*, int, unsigned, struct statx*);
  int (*access)(const char*, int);
  int (*faccessat)(int, const char*, int, int);
  FILE* (*fopen)(const char*, const char*);
  FILE* (*fopen64)(const char*, const char*);
  ssize_t (*readlink)(const char*, char*, size_t);
  ssize_t (*readlinkat)(int, const char*, char*, size_t);
  char* (*realpath)(const char*, char*);
  int (*statfs)(const char*, struct statfs*);
  int (*fstatfs)(int, struct statfs*);
  int (*statfs64)(const char*, struct statfs64*);
  int (*fstatfs64)(int, struct statfs64*);
  ssize_t (*getxattr)(const char*, const char*, void*, size_t);
  ssize_t (*lgetxattr)(const char*, const char*, void*, size_t);
  ssize_t (*listxattr)(const char*, char*, size_t);
  ssize_t (*llistxattr)(const char*, char*, size_t);
  DIR* (*opendir)(const char*);
  int (*closedir)(DIR*);
  struct dirent* (*readdir)(DIR*);
  struct dirent64* (*readdir64)(DIR*);
  void (*rewinddir)(DIR*);
  int (*scandir)(const char*, struct dirent***, int (*)(const struct dirent*),
                 int (*)(const struct dirent**, const struct dirent**));
  int (*scandir64)(const char*, struct dirent64***, int (*)(const struct dirent64*),
                   int (*)(const struct dirent64**, const struct dirent64**));
  int (*scandirat)(int, const char*, struct dirent***, int (*)(const struct dirent*),
                   int (*)(const struct dirent**, const struct dirent**));
  int (*scandirat64)(int, const char*, struct dirent64***, int (*)(const struct dirent64*),
                     int (*)(const struct dirent64**, const struct dirent64**));
  ssize_t (*getdents64)(int, void*, size_t);
  int (*glob)(const char*, int, int (*)(const char*, int), glob_t*);
  int (*glob64)(const char*, int, int (*)(const char*, int), glob64_t*);
  int (*xstat)(int, const char*, struct stat*);
  int (*lxstat)(int, const char*, struct stat*);
  int (*fxstat)(int, int, struct stat*);
  int (*xstat64)(int, const char*, struct stat64*);
  int (*lxstat64)(int, const char*, struct stat64*);
  int (*fxstat64)(int, int, struct stat64*);
};

// Found at load (or at the first call, should one come before that).
const RealCalls& Real();

// A system call with its result as the kernel gives it (-errno on failure):
// it touches neither errno nor any other per-thread state.
long RawSyscall(long number, long a = 0, long b = 0, long c = 0, long d = 0, long e = 0, long f = 0);

}  // namespace v4l2face
