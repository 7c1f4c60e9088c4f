// What tests need of their process's surroundings on either system: setting
// and removing environment variables, and a fresh temporary folder.
#pragma once

#include <string>

namespace testsupport {

void SetEnvironment(const char* name, const char* value);
void UnsetEnvironment(const char* name);
// Where the platform's profile functions keep a settings file of this name
// while the settings folder is `folder`: in it on Linux; on Windows the name
// itself when it has a folder, else the Windows folder.
std::string ProfileFilePath(const std::string& folder, const std::string& name);
// A new, empty folder in the system's temporary folder; its name starts with prefix.
std::string MakeTempFolder(const std::string& prefix);

}  // namespace testsupport
