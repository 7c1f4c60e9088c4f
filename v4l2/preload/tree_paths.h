// The device's entries under /sys and /run/udev (its sysfs folder and links,
// its udev database record) live in the launcher's tree, which mirrors them
// from the root: <tree>/sys/class/video4linux/video3, <tree>/run/udev/data/
// c81:3, ... A path under /sys or /run/udev that does not exist for real is
// looked up in the tree instead, so only what the system lacks is added and
// nothing it has is hidden. Nothing here allocates.
#pragma once

#include <cstddef>

namespace v4l2face {

// Whether a call on path that failed may find it in the tree: there is a
// tree and the path is relative or under /sys or /run/udev. It reads
// neither errno nor the file system.
bool MayBeInTree(const char* path);
// The tree's place for (dirfd, path) into out; false when the path is not
// under /sys or /run/udev (or does not fit).
bool TreePathFor(int dirfd, const char* path, char* out, std::size_t room);
// Whether the tree has a file at this tree path (a link counts), asked
// without errno.
bool TreeHas(const char* tree);
// The path a resolved tree path stands for (the part after the tree's own
// folder), or nullptr when resolved is not in the tree.
const char* StandsFor(const char* resolved);
// Whether a descriptor's file is in the tree's sysfs part (so statfs says sysfs).
bool InTreeSysfs(int fd);

}  // namespace v4l2face
