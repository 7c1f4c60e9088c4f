// The virtual camera's spec string (the options of ZARNCAP_CAMERA=sim:...):
// parsed, and when accepted, a camera made from it.
#include <string>

#include "sim/camera_link.h"
#include "sim/sim_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string options(reinterpret_cast<const char*>(data), size);
  sim::SimConfig config;
  std::string error;
  if (!sim::ParseSimConfig(options, &config, &error)) {
    if (error.empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  // Picture files and dump folders are the scene fuzzer's and the file system's business.
  if (!config.sceneFile.empty() || !config.dumpDir.empty()) return 0;
  auto camera = sim::MakeCamera(config);
  if (camera) camera->DeviceIdText();
  return 0;
}
