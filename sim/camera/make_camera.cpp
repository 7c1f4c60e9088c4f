// Builds the virtual camera the virtual port device presents, from the parsed
// configuration.
#include "sim/camera_link.h"
#include "sim/sim_config.h"

namespace sim {
namespace {

// First cut: a camera that identifies itself and takes every command; the
// firmware, bus devices and frames follow.
class MinimalCamera : public CameraLink {
 public:
  explicit MinimalCamera(const SimConfig& config) : id_(config.id) {}
  std::string DeviceIdText() const override { return id_; }
  void OutputA(uint8_t) override {}
  void OutputB(uint8_t) override {}
  bool Command(uint8_t) override { return true; }
  bool Write(const uint8_t*, size_t) override { return true; }
  bool Read(uint8_t* data, size_t count, ReverseMode) override {
    for (size_t i = 0; i < count; ++i) data[i] = 0;
    return true;
  }
  bool FrameReady() override { return false; }
  bool BeginFrame(uint8_t, uint8_t) override { return false; }
  uint32_t ReadFrame(uint8_t*, uint32_t, bool, ReverseMode) override { return 0; }
  bool EndFrame() override { return false; }

 private:
  std::string id_;
};

}  // namespace

std::unique_ptr<CameraLink> MakeCamera(const SimConfig& config) {
  return std::make_unique<MinimalCamera>(config);
}

}  // namespace sim
