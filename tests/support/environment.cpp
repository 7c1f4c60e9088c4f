#include "support/environment.h"

#include <filesystem>
#include <random>
#include <stdexcept>

namespace testsupport {

std::string MakeTempFolder(const std::string& prefix) {
  static std::random_device entropy;
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto folder = base / (prefix + std::to_string(entropy()));
    std::error_code error;
    if (std::filesystem::create_directory(folder, error)) return folder.generic_string();
  }
  throw std::runtime_error("cannot make a temporary folder in " + base.string());
}

}  // namespace testsupport
