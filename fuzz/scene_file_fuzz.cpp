// Scene pictures for the virtual camera: any bytes as a PPM, and the same
// bytes as a file read by extension-free sniffing (PPM or PNG).
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/camera/scene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  sim::RgbPicture picture;
  std::string error;
  if (sim::DecodePpm(bytes, &picture, &error)) {
    if (picture.rgb.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 3) {
      __builtin_trap();
    }
  }
  static const std::string path = "/tmp/zarncap-scene-fuzz-" + std::to_string(::getpid());
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    sim::RgbPicture loaded;
    if (sim::LoadPicture(path, &loaded, &error) &&
        loaded.rgb.size() != static_cast<size_t>(loaded.width) * static_cast<size_t>(loaded.height) * 3) {
      __builtin_trap();
    }
  }
  return 0;
}
