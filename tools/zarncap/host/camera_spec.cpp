#include "tools/zarncap/host/camera_spec.h"

#include "sim/register.h"

namespace zarncap {

std::string CameraSpecProblem(const std::string& spec) {
  const std::size_t colon = spec.find(':');
  const std::string name = spec.substr(0, colon);
  if (name == "none") return colon == std::string::npos ? "" : "camera 'none' takes no options (got '" + spec + "')";
  if (name != "sim") return "unknown camera '" + name + "' (sim, sim:<key=value,...> or none)";
  std::string why;
  const std::string options = colon == std::string::npos ? "" : spec.substr(colon + 1);
  return sim::CheckVirtualCameraOptions(options, &why) ? "" : "camera '" + spec + "': " + why;
}

}  // namespace zarncap
