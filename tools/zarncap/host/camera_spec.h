// The camera a run asks for (--camera or ZARNCAP_CAMERA), checked before the
// driver loads: a mistyped spec is a usage error in one line, not a driver
// that cannot open its port device.
#pragma once

#include <string>

namespace zarncap {

// Empty when the text names a camera the driver can be given: "none", "sim"
// or "sim:<key=value,...>" with known keys and good values, "parport" or
// "parport:<port>", "replay:<file>" with a recording in the file; else what
// is wrong.
std::string CameraSpecProblem(const std::string& spec);

// The camera text the driver gets for a --trace run: the parallel port also logs its
// requests ("parport" -> "parport:trace", "parport:parport0" ->
// "parport:parport0,trace"); every other camera as it is.
std::string WithPortTrace(const std::string& spec);

}  // namespace zarncap
