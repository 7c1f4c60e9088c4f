// The image sensor on the camera's serial bus.
#include "sim/camera/bus_sensor.h"

namespace sim {

SensorChip::SensorChip(int kind, bool nack)
    // Maker 'Z', part 'C', revision in the third byte (its low nibble tells the
    // kind: 0x10 for kind 0, 0x13 for kind 1), then a stepping byte.
    : ident_{0x5A, 0x43, static_cast<uint8_t>(kind == 0 ? 0x10 : 0x13), 0x21}, nack_(nack) {
  log_.reserve(1024);
}

void SensorChip::PowerOnReset() {
  registers_.fill(0);
  selected_ = false;
  highByte_ = -1;
}

void SensorChip::Start() {
  selected_ = false;
  highByte_ = -1;
}

void SensorChip::Stop() {
  // A lone high byte without its low byte is dropped.
  selected_ = false;
  highByte_ = -1;
}

bool SensorChip::Select(uint8_t address) {
  if (nack_ || (address & 0xFE) != kSensorWriteAddress) return false;
  selected_ = true;
  reading_ = (address & 1) != 0;
  highByte_ = -1;
  identIndex_ = 0;
  return true;
}

bool SensorChip::WriteByte(uint8_t value) {
  if (nack_ || !selected_ || reading_) return false;
  if (highByte_ < 0) {
    highByte_ = value;
    return true;
  }
  uint16_t word = static_cast<uint16_t>((highByte_ << 8) | value);
  highByte_ = -1;
  registers_[word >> 12] = word;
  if (log_.size() >= kLogLimit) log_.erase(log_.begin(), log_.begin() + static_cast<long>(kLogLimit / 2));
  log_.push_back(word);
  return true;
}

uint8_t SensorChip::ReadByte(bool) {
  if (nack_ || !selected_ || !reading_) return 0xFF;
  // Reads past the fourth byte start the identification again.
  uint8_t value = ident_[identIndex_ % ident_.size()];
  ++identIndex_;
  return value;
}

}  // namespace sim
