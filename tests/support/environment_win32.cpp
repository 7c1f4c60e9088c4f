#include <windows.h>

#include <cstdlib>

#include "support/environment.h"

namespace testsupport {

void SetEnvironment(const char* name, const char* value) { ::_putenv_s(name, value); }
// An empty value removes the variable from the C runtime's environment.
void UnsetEnvironment(const char* name) { ::_putenv_s(name, ""); }

std::string ProfileFilePath(const std::string&, const std::string& name) {
  const bool hasFolder = name.find_first_of("\\/:") != std::string::npos;
  if (hasFolder) return name;
  char windows[MAX_PATH] = {};
  ::GetWindowsDirectoryA(windows, sizeof windows);
  return std::string(windows) + "\\" + name;
}

}  // namespace testsupport
