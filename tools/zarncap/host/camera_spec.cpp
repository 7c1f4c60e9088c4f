#include "tools/zarncap/host/camera_spec.h"

#include "parport/register.h"
#include "portrec/register.h"
#include "sim/register.h"

namespace zarncap {

std::string CameraSpecProblem(const std::string& spec) {
  const std::size_t colon = spec.find(':');
  const std::string name = spec.substr(0, colon);
  if (name == "none") return colon == std::string::npos ? "" : "camera 'none' takes no options (got '" + spec + "')";
  std::string why;
  const std::string options = colon == std::string::npos ? "" : spec.substr(colon + 1);
  if (name == "parport") return parallel::CheckParportOptions(options, &why) ? "" : "camera '" + spec + "': " + why;
  if (name == "replay") return portrec::CheckReplayOptions(options, &why) ? "" : why;
  if (name != "sim") {
    return "unknown camera '" + name + "' (sim, sim:<key=value,...>, parport, parport:<port>, replay:<file> or none)";
  }
  return sim::CheckVirtualCameraOptions(options, &why) ? "" : "camera '" + spec + "': " + why;
}

std::string WithPortTrace(const std::string& spec) {
  if (spec == "parport") return "parport:trace";
  if (spec.rfind("parport:", 0) != 0) return spec;
  return spec + ",trace";
}

}  // namespace zarncap
