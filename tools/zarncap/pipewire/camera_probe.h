// What the node needs to know of the camera before any consumer comes, asked
// once at start with the driver open: the formats and sizes it takes, its
// controls, and the model and port that name it.
// The driver is closed again afterwards, so the port is free while no one
// takes pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/zarncap/common/run_context.h"
#include "tools/zarncap/host/source_controls.h"
#include "tools/zarncap/pipewire/node_formats.h"

namespace zarncap {

class CameraFeed;

struct CameraProbe {
  std::vector<NodeFormat> formats;
  std::vector<ControlValue> controls;
  std::string model;  // "Model A"
  std::string port;   // "LPT1"
};

// Throws ToolError (no camera, a busy port, a driver that takes no format).
CameraProbe ProbeCamera(CameraFeed& feed, const GlobalOptions& global, const Host& host);

// node.name: "zarncap.model-a.lpt1" (what target-object takes).
std::string NodeName(const CameraProbe& probe);
// node.description: "Zarn camera Model A on LPT1" (what desktop lists show).
std::string NodeDescription(const CameraProbe& probe);

}  // namespace zarncap
