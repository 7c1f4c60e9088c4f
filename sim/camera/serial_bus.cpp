// The camera's two-wire serial bus.
#include "sim/camera/serial_bus.h"

namespace sim {

void SerialBus::Start() {
  for (BusDevice* device : devices_) device->Start();
  selected_ = nullptr;
  expectAddress_ = true;
  reading_ = false;
  readEnded_ = false;
}

void SerialBus::Stop() {
  for (BusDevice* device : devices_) device->Stop();
  selected_ = nullptr;
  expectAddress_ = false;
  reading_ = false;
  readEnded_ = false;
}

void SerialBus::Reset() {
  selected_ = nullptr;
  expectAddress_ = false;
  reading_ = false;
  readEnded_ = false;
}

bool SerialBus::WriteByte(uint8_t value) {
  if (expectAddress_) {
    expectAddress_ = false;
    reading_ = (value & 1) != 0;
    // Every device sees the address; the first that answers owns the bus.
    for (BusDevice* device : devices_) {
      if (device->Select(value) && selected_ == nullptr) selected_ = device;
    }
    return selected_ != nullptr;
  }
  // Data bytes go only to a device selected for writing; a byte sent in a read
  // transaction, or with nobody selected, is not acknowledged.
  if (selected_ == nullptr || reading_) return false;
  return selected_->WriteByte(value);
}

uint8_t SerialBus::ReadByte(bool more) {
  if (selected_ == nullptr || !reading_ || readEnded_) return 0xFF;
  uint8_t value = selected_->ReadByte(more);
  // After the host's final "no acknowledge" the device lets go of the data line.
  if (!more) readEnded_ = true;
  return value;
}

}  // namespace sim
