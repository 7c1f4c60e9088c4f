// The camera's two-wire serial bus: start and stop conditions, address and
// data bytes with acknowledge, as the firmware's 'S' command steps drive it.
// The bus routes each transaction to the device that answers its address.
#pragma once

#include <cstdint>
#include <vector>

namespace sim {

// One device on the bus (the sensor, the EEPROM).
class BusDevice {
 public:
  virtual ~BusDevice() = default;
  // A start condition: drop whatever transaction was going on.
  virtual void Start() = 0;
  // The address byte after a start (bit 0 set = read). True = this device
  // acknowledges and takes part in the transaction.
  virtual bool Select(uint8_t address) = 0;
  // A data byte from the host while selected for writing. True = acknowledged.
  virtual bool WriteByte(uint8_t value) = 0;
  // A data byte to the host while selected for reading; more = the host
  // acknowledges and will read another byte.
  virtual uint8_t ReadByte(bool more) = 0;
  // A stop condition: end the transaction.
  virtual void Stop() = 0;
};

class SerialBus {
 public:
  // The devices stay owned by the caller and must outlive the bus.
  void Attach(BusDevice* device) { devices_.push_back(device); }

  void Start();
  void Stop();
  // Returns the acknowledge: true when a device took the byte.
  bool WriteByte(uint8_t value);
  // A byte nobody drives reads as 0xFF (the lines are pulled up).
  uint8_t ReadByte(bool more);
  // Drops the transaction without telling the devices (camera reset).
  void Reset();

 private:
  std::vector<BusDevice*> devices_;
  BusDevice* selected_ = nullptr;
  bool expectAddress_ = false;
  bool reading_ = false;
  bool readEnded_ = false;
};

}  // namespace sim
