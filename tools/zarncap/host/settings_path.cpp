// Settings-file names in the open string.
#include "tools/zarncap/host/settings_path.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "tools/zarncap/common/tool_error.h"

namespace zarncap {
namespace {

// The driver keeps at most 259 characters of the open string; a longer one is
// ignored as a whole.
constexpr size_t kMaxOpenString = 259;

std::string Upper(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool IsBareName(const std::string& path) { return path.find('/') == std::string::npos; }

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

std::string SettingsFolder() {
  if (auto dir = Env("ZARNCAP_CONFIG_DIR"); !dir.empty()) return dir;
  if (auto dir = Env("XDG_CONFIG_HOME"); !dir.empty()) return dir + "/zarncap";
  return Env("HOME") + "/.config/zarncap";
}

std::string ResolveSettingsPath(const std::string& ini) {
  const std::string name = ini.empty() ? "zarncap.ini" : ini;
  if (IsBareName(name)) return SettingsFolder() + "/" + name;
  return std::filesystem::absolute(name).lexically_normal().string();
}

std::string SettingsFileProblem(const std::string& ini) {
  if (ini.empty() || IsBareName(ini)) return "";
  namespace fs = std::filesystem;
  const fs::path path = ResolveSettingsPath(ini);
  std::error_code ec;
  if (fs::is_directory(path, ec)) return "it is a folder";
  if (!fs::is_directory(path.parent_path(), ec)) return "the folder " + path.parent_path().string() + " does not exist";
  return "";
}

std::string OpenStringIniPath(const std::string& ini) {
  if (ini.empty() || IsBareName(ini)) return ini;
  return std::filesystem::absolute(ini).lexically_normal().string();
}

std::string OpenStringProblem(const std::string& path, bool portGiven) {
  const std::string upper = Upper(path);
  if (path.find_first_of(" \t") != std::string::npos) {
    return "it contains a space, and the driver takes the settings file name from after the last space of the open "
           "string";
  }
  if (upper.size() < 4 || upper.compare(upper.size() - 4, 4, ".INI") != 0) {
    return "the driver only takes a settings file whose name ends in .ini";
  }
  if (upper.find(".INI") != upper.size() - 4) {
    return "it contains \".ini\" before its end, where the driver would cut the name";
  }
  if (!portGiven) {
    for (size_t at = upper.find("LPT"); at != std::string::npos; at = upper.find("LPT", at + 1)) {
      if (at + 3 < upper.size() && upper[at + 3] >= '1' && upper[at + 3] <= '3') {
        return "it contains \"" + path.substr(at, 4) + "\", which the driver would read as the port (give --port)";
      }
    }
  }
  return "";
}

std::string BuildOpenString(const std::string& port, const std::string& iniPath) {
  std::string text = "vcap";
  if (!port.empty()) text += " " + Upper(port);
  if (!iniPath.empty()) {
    if (auto problem = OpenStringProblem(iniPath, !port.empty()); !problem.empty()) {
      throw ToolError("cannot pass the settings file " + iniPath + " to the driver: " + problem, kExitUsage);
    }
    text += " " + iniPath;
  }
  if (text.size() > kMaxOpenString) {
    throw ToolError("cannot pass the settings file " + iniPath + " to the driver: the open string would be longer than " +
                    std::to_string(kMaxOpenString) + " characters");
  }
  return text;
}

}  // namespace zarncap
