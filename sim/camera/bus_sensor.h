// The image sensor as a device on the camera's serial bus: write-only 16-bit
// register words (register number in bits 15..12) at address 0x20, and a
// 4-byte identification read at address 0x21 that tells the two sensor kinds
// apart (low nibble of the third byte: 0 for kind 0).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/camera/serial_bus.h"

namespace sim {

constexpr uint8_t kSensorWriteAddress = 0x20;
constexpr uint8_t kSensorReadAddress = 0x21;

class SensorChip : public BusDevice {
 public:
  // nack: the sensor never acknowledges anything (a dead bus device).
  SensorChip(int kind, bool nack);

  void Start() override;
  bool Select(uint8_t address) override;
  bool WriteByte(uint8_t value) override;
  uint8_t ReadByte(bool more) override;
  void Stop() override;

  // The sensor's own reset (the camera's reset line): registers back to zero.
  void PowerOnReset();

  // For inspection: the identification bytes, the last word written to each
  // register (register number included; 0 = never written since reset), and
  // every word written, oldest first (the oldest are dropped past kLogLimit).
  const std::array<uint8_t, 4>& Identification() const { return ident_; }
  uint16_t Register(int number) const { return registers_[static_cast<size_t>(number & 0x0F)]; }
  const std::vector<uint16_t>& WriteLog() const { return log_; }
  static constexpr size_t kLogLimit = 65536;

 private:
  std::array<uint8_t, 4> ident_;
  bool nack_;
  std::array<uint16_t, 16> registers_{};
  std::vector<uint16_t> log_;
  bool selected_ = false;
  bool reading_ = false;
  int highByte_ = -1;  // first byte of a register word, until its second arrives
  size_t identIndex_ = 0;
};

}  // namespace sim
