// Which paths and descriptors are the camera's: the device path the launcher
// named, the sysfs entries of its character device (redirected to the small
// tree the launcher made), and the descriptors that are connections to the
// launcher (marked at open and dup, recognised again after exec).
#pragma once

#include <sys/stat.h>

#include <string>

namespace v4l2face {

// Whether path is the device path (as given, or a path naming the same file
// relative to the working folder).
bool IsDevicePath(const char* path);
// For a path under /sys/dev/char/81:<minor>/ (or the device's
// /sys/class/video4linux/videoN/ folder): the same path in the launcher's tree
// (into out); false for every other path.
bool RedirectSysfs(const char* path, std::string* out);
// A path to hand on to the C library: redirected where RedirectSysfs says so,
// else the application's own. Lives as long as the call it is made for.
class SysfsPath {
 public:
  explicit SysfsPath(const char* path) : path_(path) {
    if (RedirectSysfs(path, &redirected_)) path_ = redirected_.c_str();
  }
  SysfsPath(const SysfsPath&) = delete;
  SysfsPath& operator=(const SysfsPath&) = delete;
  const char* c_str() const { return path_; }

 private:
  std::string redirected_;
  const char* path_;
};

// A character device 81:<minor>, as stat reports one.
void FillDeviceStat(struct stat* out);
void FillDeviceStat64(struct stat64* out);

// The descriptor table of connections.
bool IsConnection(int fd);
void MarkConnection(int fd, bool connection);
// A descriptor not marked that may be one inherited across exec: true (and
// marked) when it is a socket connected to the launcher.
bool RecogniseConnection(int fd);

// Opens a new connection to the launcher (a file descriptor, or -1 with errno).
int Connect(int flags);

}  // namespace v4l2face
