// The settings file named in DRV_OPEN's open string: where the driver will
// look for it, and whether the open string can carry its name at all.
#pragma once

#include <string>

namespace zarncap {

// The folder the driver resolves a bare file name in: $ZARNCAP_CONFIG_DIR,
// else $XDG_CONFIG_HOME/zarncap, else ~/.config/zarncap.
std::string SettingsFolder();

// The file the driver will read for an --ini value (empty: the default
// "zarncap.ini"): a bare name resolves to SettingsFolder(), a path with a
// folder is made absolute from the working folder.
std::string ResolveSettingsPath(const std::string& ini);

// The text to put into the open string for an --ini value: a bare name as it
// stands (the driver resolves it itself), any other path made absolute.
std::string OpenStringIniPath(const std::string& ini);

// Why the driver could not find this name in an open string, or "" when it
// can: it must end in ".ini" (any case), hold ".ini" nowhere else and no
// space (the driver takes the name from after the last space), and with no
// --port given, hold no "LPT1".."LPT3" (the driver would read that as a port).
std::string OpenStringProblem(const std::string& path, bool portGiven);

// Why the driver could not keep its settings in the file an --ini value names
// (a folder, or a file in a folder that does not exist), or "" when it can. A
// bare name is always usable: the driver makes its settings folder.
std::string SettingsFileProblem(const std::string& ini);

// DRV_OPEN's open string: "vcap", then the port ("LPT2") and the settings
// file when given. Throws ToolError when the driver could not read it back.
std::string BuildOpenString(const std::string& port, const std::string& iniPath);

}  // namespace zarncap
