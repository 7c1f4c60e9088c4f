// The device path and what stat says of it: a path names the device when it
// is the path the launcher gave, or reaches it from the working folder or a
// folder descriptor ("video3" in /dev). No test here allocates.
#pragma once

#include <sys/stat.h>

struct statx;

namespace v4l2face {

// Whether (dirfd, path), as openat takes them, names the device.
bool IsDeviceAt(int dirfd, const char* path);
inline bool IsDevicePath(const char* path) { return IsDeviceAt(-100 /* AT_FDCWD */, path); }

// A character device 81:<minor>, as stat reports one.
void FillDeviceStat(struct stat* out);
void FillDeviceStat64(struct stat64* out);
void FillDeviceStatx(struct statx* out);
// The inode the device's folder listing gives it.
unsigned long DeviceInode();

// Opens a new connection to the launcher (a file descriptor, or -1 with errno).
int Connect(int flags);

}  // namespace v4l2face
