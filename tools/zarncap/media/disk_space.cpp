#include "tools/zarncap/media/disk_space.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace zarncap {

uint64_t FreeBytes(const std::string& path) {
  struct statvfs info{};
  if (::statvfs(path.c_str(), &info) != 0) return UINT64_MAX;
  return static_cast<uint64_t>(info.f_bavail) * static_cast<uint64_t>(info.f_frsize);
}

uint64_t FileBytes(const std::string& path) {
  struct stat info{};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

uint64_t FinishReserve(long framesWritten) {
  // An AVI index entry is 16 bytes a frame, MP4's tables about as much,
  // Matroska's cues less; 64 KiB covers the headers a trailer rewrites.
  return 64 * 1024 + 32 * static_cast<uint64_t>(framesWritten > 0 ? framesWritten : 0);
}

}  // namespace zarncap
