#include "tools/zarncap/v4l2/face_folders.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace zarncap {
namespace {

// A folder without a socket is a launcher still setting up, unless it is
// older than this.
constexpr std::time_t kSettingUpSeconds = 60;

// Whether a launcher still listens on the socket at path.
bool Listened(const std::string& path) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return true;
  std::strcpy(address.sun_path, path.c_str());
  const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (probe < 0) return true;
  const bool refused = connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
                       errno == ECONNREFUSED;
  close(probe);
  return !refused;
}

bool Stale(const std::string& folder, const struct stat& seen) {
  const std::string socketPath = folder + "/socket";
  struct stat socketSeen;
  if (lstat(socketPath.c_str(), &socketSeen) != 0) return std::time(nullptr) - seen.st_mtime > kSettingUpSeconds;
  return S_ISSOCK(socketSeen.st_mode) && !Listened(socketPath);
}

}  // namespace

std::string FaceFolderParent() {
  const char* chosen = std::getenv("TMPDIR");
  struct stat seen;
  if (chosen != nullptr && chosen[0] == '/' && stat(chosen, &seen) == 0 && S_ISDIR(seen.st_mode)) return chosen;
  return "/tmp";
}

int RemoveStaleFolders(const std::string& parent) {
  int removed = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(parent, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kFaceFolderPrefix, 0) != 0) continue;
    struct stat seen;
    // Only real folders of this user (never a link someone put there).
    if (lstat(entry.path().c_str(), &seen) != 0 || !S_ISDIR(seen.st_mode) || seen.st_uid != getuid()) continue;
    if (!Stale(entry.path().string(), seen)) continue;
    std::error_code ignored;
    if (std::filesystem::remove_all(entry.path(), ignored) > 0) ++removed;
  }
  return removed;
}

}  // namespace zarncap
