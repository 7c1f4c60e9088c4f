// The C library's own functions behind the ones this library interposes,
// found once with dlsym(RTLD_NEXT).
#pragma once

#include <sys/stat.h>
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
  int (*ioctl)(int, unsigned long, ...);
  void* (*mmap)(void*, size_t, int, int, int, off_t);
  void* (*mmap64)(void*, size_t, int, int, int, off64_t);
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
  FILE* (*fopen)(const char*, const char*);
  FILE* (*fopen64)(const char*, const char*);
  int (*xstat)(int, const char*, struct stat*);
  int (*lxstat)(int, const char*, struct stat*);
  int (*fxstat)(int, int, struct stat*);
  int (*xstat64)(int, const char*, struct stat64*);
  int (*lxstat64)(int, const char*, struct stat64*);
  int (*fxstat64)(int, int, struct stat64*);
};

// Filled on first use (thread-safe).
const RealCalls& Real();

}  // namespace v4l2face
