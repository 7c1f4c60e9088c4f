// The device's entries outside /dev, as the kernel and udev make them for a
// video4linux device with no parent bus (as v4l2loopback's): its sysfs
// folder /sys/devices/virtual/video4linux/videoN (uevent, dev, name, index,
// the subsystem link), the /sys/class/video4linux and /sys/dev/char links to
// it, and udev's database record with what v4l_id and the seat rules set
// (ID_V4L_CAPABILITIES=:capture:, ID_V4L_PRODUCT, the uaccess and seat
// tags). Written under a root folder laid out as /, which the preload library
// consults for each of these paths the system lacks.
#pragma once

#include <string>

namespace zarncap {

struct FacePlace;

// Throws ToolError when the files cannot be written.
void MakeDeviceTree(const std::string& root, const FacePlace& place, const std::string& card);

}  // namespace zarncap
