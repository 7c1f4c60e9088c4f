// Registration of the "sim" backend: its factory parses the options after
// "sim:" and builds the virtual port device around the configured camera.
#include "sim/register.h"

#include "platform/portable/port_device_backend.h"
#include "sim/camera/scene.h"
#include "sim/camera_link.h"
#include "sim/port_device_sim.h"
#include "sim/sim_config.h"

namespace sim {
namespace {

std::unique_ptr<platform::PortDeviceBackend> MakeSimBackend(const std::string& options, std::string* error) {
  // A picture file that cannot be read is an error naming it, not a silent
  // switch to colour bars: the device does not open.
  SimConfig config;
  std::string why;
  if (ParseSimConfig(options, &config, &why) && config.scene == SceneKind::File) {
    RgbPicture picture;
    if (!LoadPicture(config.sceneFile, &picture, &why)) {
      if (error != nullptr) *error = "sim: " + why;
      return nullptr;
    }
  }
  return MakeVirtualPortDevice(options, error, &MakeCamera);
}

// Whoever loads the library gets the virtual camera without a call.
[[maybe_unused]] const bool registeredAtLoad = (RegisterVirtualCamera(), true);

}  // namespace

void RegisterVirtualCamera() { platform::RegisterPortDeviceBackend("sim", &MakeSimBackend); }

}  // namespace sim
