// Where zarncap finds the driver library: $ZARNCAP_DRIVER, else the library
// of the build tree the executable belongs to, else the system loader's path.
#pragma once

#include <string>
#include <vector>

namespace zarncap {

// The candidates in the order they are tried; the last one is the bare name
// for the system loader.
std::vector<std::string> DriverLibraryCandidates();
// The first candidate that exists as a file (the bare name when none does).
std::string LocateDriverLibrary();

}  // namespace zarncap
