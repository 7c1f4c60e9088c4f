#include "tools/zarncap/v4l2/face_tree.h"

#include <time.h>

#include <filesystem>
#include <fstream>

#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/v4l2/face_place.h"
#include "v4l2/protocol.h"

namespace zarncap {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  if (!out) throw ToolError("v4l2: cannot write " + path.string());
}

void Link(const std::string& target, const fs::path& at) {
  std::error_code error;
  fs::create_symlink(target, at, error);
  if (error) throw ToolError("v4l2: cannot make " + at.string() + ": " + error.message());
}

// The name udev gives the node, relative to /dev (DEVNAME).
std::string NodeName(const FacePlace& place, const std::string& kernelName) {
  const std::string dev = "/dev/";
  return place.devicePath.compare(0, dev.size(), dev) == 0 ? place.devicePath.substr(dev.size()) : kernelName;
}

unsigned long long MonotonicUs() {
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<unsigned long long>(now.tv_sec) * 1000000ull + static_cast<unsigned long long>(now.tv_nsec) / 1000;
}

}  // namespace

void MakeDeviceTree(const std::string& root, const FacePlace& place, const std::string& card) {
  const std::string name = "video" + std::to_string(place.minor);
  const std::string numbers = std::to_string(v4l2face::kVideoMajor) + ":" + std::to_string(place.minor);
  const fs::path device = fs::path(root) / "sys/devices/virtual/video4linux" / name;
  std::error_code error;
  for (const fs::path& folder : {device / "power", fs::path(root) / "sys/class/video4linux",
                                 fs::path(root) / "sys/dev/char", fs::path(root) / "run/udev/data"}) {
    fs::create_directories(folder, error);
    if (error) throw ToolError("v4l2: cannot make " + folder.string() + ": " + error.message());
  }
  WriteFile(device / "uevent", "MAJOR=" + std::to_string(v4l2face::kVideoMajor) + "\nMINOR=" +
                                   std::to_string(place.minor) + "\nDEVNAME=" + NodeName(place, name) + "\n");
  WriteFile(device / "dev", numbers + "\n");
  WriteFile(device / "name", card + "\n");
  WriteFile(device / "index", "0\n");
  WriteFile(device / "dev_debug", "0\n");
  Link("../../../../class/video4linux", device / "subsystem");
  Link("../../devices/virtual/video4linux/" + name, fs::path(root) / "sys/class/video4linux" / name);
  Link("../../devices/virtual/video4linux/" + name, fs::path(root) / "sys/dev/char" / numbers);
  // What udev's rules record for a capture device: v4l_id's answers, the
  // seat's tags (uaccess, seat) and when it was set up.
  WriteFile(fs::path(root) / "run/udev/data" / ("c" + numbers),
            "I:" + std::to_string(MonotonicUs()) + "\nE:ID_V4L_VERSION=2\nE:ID_V4L_PRODUCT=" + card +
                "\nE:ID_V4L_CAPABILITIES=:capture:\nG:seat\nG:uaccess\nQ:seat\nQ:uaccess\nV:1\n");
}

}  // namespace zarncap
