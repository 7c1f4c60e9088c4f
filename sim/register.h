// The virtual camera's public face: makes it available as the "sim"
// port-device backend, the one ZARNCAP_CAMERA names by default, and checks the
// options a host is about to give it.
#pragma once

#include <string>

namespace sim {

// Registers the "sim" backend with the portable platform. Safe to call more than
// once; the library also does it from a static initializer.
void RegisterVirtualCamera();

// Whether the text after "sim:" configures a virtual camera; false with the
// reason (naming the key) in *why.
bool CheckVirtualCameraOptions(const std::string& options, std::string* why);

}  // namespace sim
