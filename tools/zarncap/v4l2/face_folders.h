// The launchers' folders (zarncap-v4l2-XXXXXX: the socket and the device's
// sysfs tree), in $TMPDIR or /tmp. A launcher removes its own when it ends; one that was
// killed outright leaves it behind, and the next launcher of the same user
// removes it: a folder whose socket no launcher listens on any more.
#pragma once

#include <string>

namespace zarncap {

inline constexpr const char* kFaceFolderPrefix = "zarncap-v4l2-";

// Where the folders go: $TMPDIR when it names a folder, otherwise /tmp.
std::string FaceFolderParent();

// Removes this user's folders under parent whose launcher has gone; the
// number removed.
int RemoveStaleFolders(const std::string& parent);

}  // namespace zarncap
