// What the launcher told this process about the device, from the
// environment, read once at load into fixed storage: the device path (and
// its folder and name), the launcher's socket, the tree that stands in for
// the device's sysfs and udev entries, and the minor number.
#pragma once

#include <cstddef>

namespace v4l2face {

inline constexpr std::size_t kPathRoom = 4096;

struct FaceConfig {
  char device[kPathRoom] = {};   // "/dev/video3"; empty: no device is claimed
  char folder[kPathRoom] = {};   // "/dev"
  const char* name = "";         // "video3" (inside device)
  char socket[108] = {};         // the launcher's socket path
  char tree[kPathRoom] = {};     // the launcher's tree: <tree>/sys/..., <tree>/run/udev/...
  std::size_t treeLength = 0;
  char treeReal[kPathRoom] = {};  // the tree with its links resolved, as the kernel names its files
  std::size_t treeRealLength = 0;
  unsigned minor = 0;
};

// Filled at load; no lock, allocation or thread-local storage.
const FaceConfig& Config();

// Joins folder and name into out (room bytes): false when it does not fit.
bool JoinPath(char* out, std::size_t room, const char* folder, const char* name);
// The folder a descriptor (or the working folder, for AT_FDCWD) is, into out.
bool FolderOf(int dirfd, char* out, std::size_t room);
// "/proc/self/fd/<fd>" into out (32 bytes), without printf (it may use the locale).
void ProcFdPath(int fd, char* out);

}  // namespace v4l2face
