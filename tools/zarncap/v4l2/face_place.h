// Where the device appears: the path the application opens and the minor
// number its character device and sysfs entries carry.
#pragma once

#include <string>

namespace zarncap {

struct FacePlace {
  std::string devicePath;  // "/dev/video3"
  unsigned minor = 0;      // 3
};

// The first /dev/videoN that does not exist (N from 0 to 63), and whose sysfs
// entry does not either (a container may show the host's devices in /sys
// but not in /dev: the device's sysfs entries and udev record would be theirs).
FacePlace FreeDevicePlace();
// A place the user named: its minor from the trailing digits of the name.
FacePlace NamedDevicePlace(const std::string& path);

}  // namespace zarncap
