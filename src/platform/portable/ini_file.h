// The portable settings file: profile-function semantics over a real INI file
// (case-insensitive sections and keys, trimmed values, writes that keep every
// other line and replace the file atomically). Also where relative names live.
#pragma once

#include <string>

namespace platform {

// The folder a file name without a directory refers to: $ZARNCAP_CONFIG_DIR,
// else $XDG_CONFIG_HOME/zarncap, else ~/.config/zarncap.
std::string SettingsFolder();
// The file a profile call with this name reads and writes: an absolute path as
// it is, anything else inside SettingsFolder().
std::string ResolveProfilePath(const char* name);
// Why a write to this settings file would fail ("" when it would not): its
// folder cannot be made or written, or the file is read-only. Makes the
// folder when it can, as a write would.
std::string ProfileWriteProblem(const char* name);

}  // namespace platform
