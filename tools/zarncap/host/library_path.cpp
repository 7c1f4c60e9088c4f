// The executable lives at <build>/tools/zarncap/zarncap and the library at
// <build>/libzarncap.so; the build compiles that path in (ZARNCAP_BUILD_DRIVER)
// and the same place is also found relative to the executable, so a moved
// build tree still works. Installed, the library is found in the library
// directory relative to the program's (<prefix>/bin -> <prefix>/lib...).
#include "tools/zarncap/host/library_path.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace zarncap {
namespace {

constexpr const char* kLibraryName = "libzarncap.so";

std::filesystem::path ExecutableFolder() {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return self.parent_path();
}

}  // namespace

std::vector<std::string> DriverLibraryCandidates() {
  std::vector<std::string> candidates;
  if (const char* env = std::getenv("ZARNCAP_DRIVER"); env != nullptr && *env != '\0') {
    candidates.emplace_back(env);
    return candidates;  // an explicit choice is the only one tried
  }
  const auto folder = ExecutableFolder();
  if (!folder.empty()) {
    candidates.push_back((folder / ".." / ".." / kLibraryName).lexically_normal().string());
    candidates.push_back((folder / kLibraryName).string());
    candidates.push_back((folder / ".." / "lib" / kLibraryName).lexically_normal().string());
#ifdef ZARNCAP_INSTALLED_LIBRARY_DIR
    // Installed: the library directory as seen from the program directory.
    candidates.push_back((folder / ZARNCAP_INSTALLED_LIBRARY_DIR / kLibraryName).lexically_normal().string());
#endif
  }
#ifdef ZARNCAP_BUILD_DRIVER
  candidates.emplace_back(ZARNCAP_BUILD_DRIVER);
#endif
  candidates.emplace_back(kLibraryName);
  return candidates;
}

std::string LocateDriverLibrary() {
  const auto candidates = DriverLibraryCandidates();
  for (const auto& candidate : candidates) {
    std::error_code ec;
    if (candidate.find('/') != std::string::npos && std::filesystem::is_regular_file(candidate, ec)) {
      return candidate;
    }
  }
  return candidates.back();
}

}  // namespace zarncap
