#include "v4l2/preload/tree_paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include <cstring>

#include "v4l2/preload/face_config.h"
#include "v4l2/preload/real_calls.h"

namespace v4l2face {
namespace {

bool StartsWith(const char* path, const char* prefix) {
  const std::size_t length = std::strlen(prefix);
  return std::strncmp(path, prefix, length) == 0 && (path[length] == '\0' || path[length] == '/');
}

bool UnderFaceRoots(const char* path) { return StartsWith(path, "/sys") || StartsWith(path, "/run/udev"); }

// "/a//b/./c/../d" to "/a/b/d", in place (the path is absolute).
void Normalise(char* path) {
  char* out = path;
  const char* in = path;
  while (*in != '\0') {
    while (*in == '/') ++in;
    const char* end = in;
    while (*end != '\0' && *end != '/') ++end;
    const std::size_t length = static_cast<std::size_t>(end - in);
    if (length == 0 || (length == 1 && in[0] == '.')) {
    } else if (length == 2 && in[0] == '.' && in[1] == '.') {
      while (out > path && *--out != '/') {
      }
    } else {
      *out++ = '/';
      std::memmove(out, in, length);
      out += length;
    }
    in = end;
  }
  if (out == path) *out++ = '/';
  *out = '\0';
}

}  // namespace

bool MayBeInTree(const char* path) {
  return Config().treeLength != 0 && path != nullptr && (path[0] != '/' || UnderFaceRoots(path));
}

bool TreePathFor(int dirfd, const char* path, char* out, std::size_t room) {
  const FaceConfig& config = Config();
  if (config.treeLength == 0 || path == nullptr || path[0] == '\0' || room <= config.treeLength) return false;
  char* absolute = out + config.treeLength;
  const std::size_t left = room - config.treeLength;
  if (path[0] == '/') {
    if (std::strlen(path) >= left) return false;
    std::strcpy(absolute, path);
  } else {
    char folder[kPathRoom];
    if (!FolderOf(dirfd, folder, sizeof folder) || !JoinPath(absolute, left, folder, path)) return false;
  }
  Normalise(absolute);
  if (!UnderFaceRoots(absolute)) return false;
  std::memcpy(out, config.tree, config.treeLength);
  return true;
}

const char* StandsFor(const char* resolved) {
  const FaceConfig& config = Config();
  if (config.treeRealLength == 0 || resolved == nullptr) return nullptr;
  if (std::strncmp(resolved, config.treeReal, config.treeRealLength) != 0) return nullptr;
  const char* rest = resolved + config.treeRealLength;
  return rest[0] == '/' ? rest : nullptr;
}

bool TreeHas(const char* tree) {
  struct stat seen;
  return RawSyscall(SYS_newfstatat, AT_FDCWD, reinterpret_cast<long>(tree), reinterpret_cast<long>(&seen),
                    AT_SYMLINK_NOFOLLOW) == 0;
}

bool InTreeSysfs(int fd) {
  char resolved[kPathRoom];
  if (Config().treeRealLength == 0 || !FolderOf(fd, resolved, sizeof resolved)) return false;
  const char* rest = StandsFor(resolved);
  return rest != nullptr && StartsWith(rest, "/sys");
}

}  // namespace v4l2face
