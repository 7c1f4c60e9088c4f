// Builds the virtual camera the virtual port device presents, from the parsed
// configuration.
#include "sim/camera/virtual_camera.h"
#include "sim/camera_link.h"
#include "sim/sim_config.h"

namespace sim {

std::unique_ptr<CameraLink> MakeCamera(const SimConfig& config) { return std::make_unique<VirtualCamera>(config); }

}  // namespace sim
