// A camera for the port device's tests: it records what reaches it over the
// cable and answers reads with predictable bytes, so a test can see exactly
// what the device carried and where it put it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/camera_link.h"
#include "sim/port_device_sim.h"
#include "sim/sim_config.h"

namespace simtest {

class StubCamera : public sim::CameraLink {
 public:
  explicit StubCamera(std::string id) : id_(std::move(id)) {}

  std::string DeviceIdText() const override { return id_; }
  bool Present() const override { return present; }
  void OutputA(uint8_t value) override { outputsA.push_back(value); }
  void OutputB(uint8_t value) override { outputsB.push_back(value); }
  bool Command(uint8_t wireByte) override {
    commands.push_back(wireByte);
    return acceptCommands;
  }
  bool Write(const uint8_t* data, size_t count) override {
    writes.emplace_back(data, data + count);
    return true;
  }
  // Block i of a read holds nextRead, nextRead + 1, ...
  bool Read(uint8_t* data, size_t count, sim::ReverseMode mode) override {
    readModes.push_back(mode);
    for (size_t i = 0; i < count; ++i) data[i] = static_cast<uint8_t>(nextRead++);
    return true;
  }
  bool FrameReady() override { return ready; }
  bool BeginFrame(uint8_t mode, uint8_t option) override {
    frameBegins.push_back({mode, option});
    return acceptFrames;
  }
  // Frame byte i is (3 i + 1); a counted read delivers countedLength bytes.
  uint32_t ReadFrame(uint8_t* data, uint32_t count, bool counted, sim::ReverseMode mode) override {
    frameModes.push_back(mode);
    uint32_t n = counted ? (countedLength < count ? countedLength : count) : (frameLimit < count ? frameLimit : count);
    for (uint32_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(3 * i + 1);
    return n;
  }
  bool EndFrame() override {
    ++frameEnds;
    return true;
  }

  // ---- what the test sets
  bool present = true;
  bool ready = false;
  bool acceptCommands = true;
  bool acceptFrames = true;
  uint32_t countedLength = 100;
  uint32_t frameLimit = 0xFFFFFFFF;  // a fixed read delivers at most this many bytes
  uint8_t nextRead = 0x40;

  // ---- what reached the camera
  std::vector<uint8_t> outputsA, outputsB, commands;
  std::vector<std::vector<uint8_t>> writes;
  std::vector<sim::ReverseMode> readModes, frameModes;
  struct FrameBegin {
    uint8_t mode, option;
  };
  std::vector<FrameBegin> frameBegins;
  int frameEnds = 0;

 private:
  std::string id_;
};

inline std::unique_ptr<sim::CameraLink> MakeStubCamera(const sim::SimConfig& config) {
  return std::make_unique<StubCamera>(config.id);
}

// A device with a stub camera, from options as ZARNCAP_CAMERA=sim:<options> gives them.
inline std::unique_ptr<sim::VirtualPortDevice> MakeStubDevice(const std::string& options = "") {
  std::string error;
  auto backend = sim::MakeVirtualPortDevice(options, &error, &MakeStubCamera);
  return std::unique_ptr<sim::VirtualPortDevice>(dynamic_cast<sim::VirtualPortDevice*>(backend.release()));
}

inline StubCamera& StubOf(sim::VirtualPortDevice& device) { return dynamic_cast<StubCamera&>(device.Camera()); }

}  // namespace simtest
