// Makes the virtual camera available as the "sim" port-device backend, the one
// ZARNCAP_CAMERA names by default.
#pragma once

namespace sim {

// Registers the "sim" backend with the portable platform. Safe to call more than
// once; the library also does it from a static initializer.
void RegisterVirtualCamera();

}  // namespace sim
