// Drives a virtual camera directly through its cable interface the way the
// driver's camera layer does: command bytes as the port layer puts them on the
// wire, 18-byte blocks, bus steps that change only the words they name, and
// frame transfers. Tests run the camera on a virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/portable/testing.h"
#include "sim/camera/camera_protocol.h"
#include "sim/camera/virtual_camera.h"
#include "sim/sim_config.h"

namespace camtest {

using sim::BlockWords;

// The port layer's command numbers and how they travel.
inline uint8_t Wire(uint8_t command) { return static_cast<uint8_t>((command >> 1) | (command & 0x80)); }

class CameraHost {
 public:
  explicit CameraHost(sim::VirtualCamera& camera) : camera_(camera) {}

  bool SendCommand() {
    uint8_t bytes[sim::kBlockBytes];
    sim::PackBlock(command, bytes);
    return camera_.Command(Wire(16)) && camera_.Write(bytes, sizeof bytes);
  }
  bool ReadStatus() {
    uint8_t bytes[sim::kBlockBytes];
    if (!camera_.Command(Wire(48)) || !camera_.Read(bytes, sizeof bytes, sim::ReverseMode::Ecp)) return false;
    status = sim::UnpackBlock(bytes);
    return true;
  }
  bool WriteStatus() {
    uint8_t bytes[sim::kBlockBytes];
    sim::PackBlock(status, bytes);
    return camera_.Command(Wire(48)) && camera_.Write(bytes, sizeof bytes);
  }
  bool SendMatrix(const std::array<int16_t, 9>& matrix) {
    uint8_t bytes[sim::kBlockBytes];
    for (size_t i = 0; i < 9; ++i) {
      bytes[2 * i] = static_cast<uint8_t>(matrix[i] & 0xFF);
      bytes[2 * i + 1] = static_cast<uint8_t>((static_cast<uint16_t>(matrix[i]) >> 8) & 0xFF);
    }
    return camera_.Command(Wire(38)) && camera_.Write(bytes, sizeof bytes);
  }

  // The camera layer's creation handshake: read the state, accept 0 or 0xC000
  // once bit 7 is cleared, arm, send a cleared command block.
  bool Arm() {
    status[8] = 0xFFFF;
    if (!ReadStatus()) return false;
    uint16_t state = static_cast<uint16_t>(status[8] & ~0x0080);
    if (state != 0 && state != 0xC000) return false;
    status[8] = 0xC000;
    if (!WriteStatus()) return false;
    command.fill(0);
    return SendCommand();
  }

  // ---- bus primitives
  bool BusStart() { return BusStep(0x53); }
  bool BusStop() { return BusStep(0x50); }
  uint16_t BusWrite(uint8_t byte) {
    command[3] = byte;
    if (!BusStep(0x57) || !ReadStatus()) return 0;
    return status[0];
  }
  bool BusRead(uint8_t* byte, bool more) {
    command[4] = more ? 1 : 0;
    if (!BusStep(0x52) || !ReadStatus()) return false;
    *byte = static_cast<uint8_t>(status[1] & 0xFF);
    return true;
  }

  // One EEPROM byte: set the address, then a current-address read.
  bool EepromRead(uint8_t block, uint8_t address, uint8_t* byte) {
    bool ok = BusStart() && BusWrite(static_cast<uint8_t>(0xA0 | block)) && BusWrite(address) && BusStop();
    return ok && BusStart() && BusWrite(static_cast<uint8_t>(0xA1 | block)) && BusRead(byte, false) && BusStop();
  }
  // One EEPROM byte write; polls counts the unacknowledged polls of the write cycle.
  bool EepromWrite(uint8_t block, uint8_t address, uint8_t value, int* polls = nullptr) {
    if (!(BusStart() && BusWrite(static_cast<uint8_t>(0xA0 | block)) && BusWrite(address) && BusWrite(value) &&
          BusStop())) {
      return false;
    }
    for (int n = 0; n < 100; ++n) {
      BusStart();
      bool ack = BusWrite(static_cast<uint8_t>(0xA0 | block)) != 0;
      BusStop();
      if (ack) {
        if (polls) *polls = n;
        return true;
      }
    }
    return false;
  }
  // A sensor register word, as the sensor tables send it.
  bool WriteRegister(uint16_t word) {
    return BusStart() && BusWrite(0x20) && BusWrite(static_cast<uint8_t>(word >> 8)) &&
           BusWrite(static_cast<uint8_t>(word & 0xFF)) && BusStop();
  }

  // ---- frames
  bool RequestWindow(uint16_t firstRow, uint16_t endRow, uint16_t x0, uint16_t columns) {
    command[0] = 0x46;
    command[1] = 0;
    command[2] = 0;
    command[3] = firstRow;
    command[4] = endRow;
    command[5] = x0;
    command[6] = columns;
    return SendCommand();
  }
  bool RequestYuv(uint16_t y0, uint16_t y1, uint16_t x0, uint16_t x1, bool temporal = false, int16_t t1 = 0,
                  int16_t t2 = 0) {
    command[0] = 0x59;
    command[1] = 0;
    command[2] = temporal ? 0x40 : 0;
    if (temporal) {
      command[3] = static_cast<uint16_t>(t1);
      command[4] = static_cast<uint16_t>(t2);
    }
    command[5] = y0;
    command[6] = y1;
    command[7] = x0;
    command[8] = x1;
    return SendCommand();
  }
  // A whole transfer; returns what ReadFrame returned (0 when any step failed).
  uint32_t Transfer(uint8_t* buffer, uint32_t count, bool counted = false, uint8_t mode = 10) {
    if (!camera_.BeginFrame(mode, counted ? 64 : 0)) return 0;
    uint32_t got = camera_.ReadFrame(buffer, count, counted, sim::ReverseMode::Byte);
    if (!camera_.EndFrame()) return 0;
    return got;
  }

  BlockWords command{};
  BlockWords status{};

 private:
  bool BusStep(uint16_t sub) {
    command[0] = 0x53;
    command[2] = sub;
    return SendCommand();
  }
  sim::VirtualCamera& camera_;
};

// A camera on a virtual clock, configured per test.
class CameraTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetClockSource(&clock); }
  void TearDown() override {
    host.reset();
    camera.reset();
    platform::SetClockSource(nullptr);
  }
  sim::VirtualCamera& Make(const sim::SimConfig& config) {
    host.reset();
    camera = std::make_unique<sim::VirtualCamera>(config);
    host = std::make_unique<CameraHost>(*camera);
    return *camera;
  }
  // A quiet camera: no noise, so every site of a colour reads the same.
  static sim::SimConfig Quiet() {
    sim::SimConfig config;
    config.noise = 0;
    return config;
  }

  platform::VirtualClock clock{1000};
  std::unique_ptr<sim::VirtualCamera> camera;
  std::unique_ptr<CameraHost> host;
};

}  // namespace camtest
