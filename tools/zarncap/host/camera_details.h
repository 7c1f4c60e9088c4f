// What the driver's camera details dialog shows, read off the dialog itself
// (DRV_CONFIGURE on a handle, zarncap as the owner window): the port and its
// mode, the camera model, the driver's version. Shared by `zarncap info` and
// `zarncap check`.
#pragma once

#include <string>
#include <vector>

#include "tools/zarncap/host/driver_link.h"

namespace zarncap {

struct DetailsField {
  const char* label;  // "Port", as the dialog names it
  const char* key;    // "port", for JSON
  int id;             // the control's id
};
// The dialog's fields in the order it shows them.
const std::vector<DetailsField>& CameraDetailsFields();

struct CameraDetails {
  std::vector<std::string> values;  // in CameraDetailsFields() order
  std::string caption;
  bool found = false;  // the port field does not say "Camera not found"
  // The port field in parts: "LPT3 (ECP port *)" is LPT3, ECP, forced.
  std::string port, mode;
  bool modeForced = false;
  const std::string& Model() const { return values[1]; }
};

// Opens the dialog on link's handle (a configuration handle with no channel
// open makes the driver search the ports itself), reads it and presses OK.
// Throws ToolError when the dialog does not open.
CameraDetails ReadCameraDetails(DriverLink& link);

}  // namespace zarncap
