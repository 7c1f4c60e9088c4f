#include "tools/zarncap/v4l2/face_place.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "tools/zarncap/common/tool_error.h"

namespace zarncap {
namespace {

constexpr unsigned kMaxMinor = 64;

bool Missing(const std::string& path) {
  struct stat seen;
  return ::lstat(path.c_str(), &seen) != 0 && errno == ENOENT;
}

}  // namespace

FacePlace FreeDevicePlace() {
  for (unsigned minor = 0; minor < kMaxMinor; ++minor) {
    const std::string path = "/dev/video" + std::to_string(minor);
    if (Missing(path) && Missing("/sys/class/video4linux/video" + std::to_string(minor))) return {path, minor};
  }
  throw ToolError("v4l2: /dev/video0 to /dev/video63 all exist; name a free path with --device");
}

FacePlace NamedDevicePlace(const std::string& path) {
  struct stat seen;
  if (::stat(path.c_str(), &seen) == 0) {
    throw ToolError("v4l2: " + path + " exists; the camera needs a path that is free (leave out --device to get one)",
                    kExitUsage);
  }
  std::size_t digits = path.size();
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(path[digits - 1]))) --digits;
  const unsigned minor = digits < path.size() ? static_cast<unsigned>(std::strtoul(path.c_str() + digits, nullptr, 10))
                                              : kMaxMinor - 1;
  return {path, minor % 256};
}

}  // namespace zarncap
