// The parallel-port device over a port model, registered as the
// "parportmodel" backend: ZARNCAP_CAMERA=parportmodel[:<options>] gives the
// driver the real device code on the model the test made last.
#pragma once

#include <memory>
#include <string>

#include "parport/parport_device.h"
#include "parport/port_model.h"
#include "platform/portable/port_device_backend.h"

namespace port_model {

inline std::unique_ptr<platform::PortDeviceBackend> MakeModelParport(const std::string& options, std::string* error) {
  return parallel::MakeParportDevice(options, error, PortModel::Calls());
}

inline void RegisterModelParport() { platform::RegisterPortDeviceBackend("parportmodel", &MakeModelParport); }

// Two ppdev ports and one legacy address, the camera on the first (LPT1).
inline std::vector<ModelPort> TypicalPorts() {
  return {{"parport0", "/dev/parport0", 0x378}, {"parport1", "/dev/parport1", 0x278}, {"0x3bc", "/dev/port", 0x3bc}};
}

}  // namespace port_model
