#include "v4l2/preload/face_config.h"

#include <fcntl.h>
#include <sys/syscall.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "v4l2/preload/real_calls.h"
#include "v4l2/protocol.h"

namespace v4l2face {
namespace {

FaceConfig config;
std::atomic<bool> loaded{false};

bool Copy(char* to, std::size_t room, const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0' || std::strlen(value) >= room) return false;
  std::strcpy(to, value);
  return true;
}

void Load() {
  FaceConfig fresh;
  const bool device = Copy(fresh.device, sizeof fresh.device, kDeviceVariable);
  const bool socket = Copy(fresh.socket, sizeof fresh.socket, kSocketVariable);
  if (!device || !socket) fresh.device[0] = '\0';
  if (Copy(fresh.tree, sizeof fresh.tree, kTreeVariable)) {
    fresh.treeLength = std::strlen(fresh.tree);
    if (Real().realpath(fresh.tree, fresh.treeReal) != nullptr) fresh.treeRealLength = std::strlen(fresh.treeReal);
  }
  if (const char* minor = std::getenv(kMinorVariable)) fresh.minor = static_cast<unsigned>(std::strtoul(minor, nullptr, 10));
  std::strcpy(fresh.folder, fresh.device);
  if (char* slash = std::strrchr(fresh.folder, '/')) {
    *(slash == fresh.folder ? slash + 1 : slash) = '\0';
  } else {
    fresh.folder[0] = '\0';
  }
  config = fresh;
  const char* slash = std::strrchr(config.device, '/');
  config.name = slash != nullptr ? slash + 1 : config.device;
  loaded.store(true, std::memory_order_release);
}

__attribute__((constructor(102))) void LoadAtStart() {
  if (!loaded.load(std::memory_order_acquire)) Load();
}

}  // namespace

const FaceConfig& Config() {
  if (!loaded.load(std::memory_order_acquire)) Load();
  return config;
}

bool JoinPath(char* out, std::size_t room, const char* folder, const char* name) {
  const std::size_t a = std::strlen(folder);
  const std::size_t b = std::strlen(name);
  const bool slash = a > 0 && folder[a - 1] != '/';
  if (a + (slash ? 1 : 0) + b + 1 > room) return false;
  std::memcpy(out, folder, a);
  if (slash) out[a] = '/';
  std::memcpy(out + a + (slash ? 1 : 0), name, b + 1);
  return true;
}

}  // namespace v4l2face

namespace v4l2face {

bool FolderOf(int dirfd, char* out, std::size_t room) {
  if (dirfd == AT_FDCWD) return RawSyscall(SYS_getcwd, reinterpret_cast<long>(out), static_cast<long>(room)) > 0;
  char link[32];
  ProcFdPath(dirfd, link);
  const long length = RawSyscall(SYS_readlinkat, AT_FDCWD, reinterpret_cast<long>(link), reinterpret_cast<long>(out),
                                 static_cast<long>(room - 1));
  if (length <= 0 || out[0] != '/') return false;
  out[length] = '\0';
  return true;
}

void ProcFdPath(int fd, char* out) {
  static constexpr char kPrefix[] = "/proc/self/fd/";
  std::memcpy(out, kPrefix, sizeof kPrefix - 1);
  char digits[12];
  int count = 0;
  unsigned value = fd < 0 ? 0u : static_cast<unsigned>(fd);
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  char* at = out + sizeof kPrefix - 1;
  while (count > 0) *at++ = digits[--count];
  *at = '\0';
}

}  // namespace v4l2face
