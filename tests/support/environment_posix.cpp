#include <cstdlib>

#include "support/environment.h"

namespace testsupport {

void SetEnvironment(const char* name, const char* value) { ::setenv(name, value, 1); }
void UnsetEnvironment(const char* name) { ::unsetenv(name); }

std::string ProfileFilePath(const std::string& folder, const std::string& name) { return folder + "/" + name; }

}  // namespace testsupport
