// The camera's serial EEPROM on the two-wire bus: 0 (absent), 1024 bits (one
// 128-byte block, device address 0xA0/0xA1) or 4096 bits (two 256-byte blocks,
// 0xA0/0xA1 and 0xA2/0xA3). Word-address writes, page writes committed at the
// stop condition, current-address reads, and a write cycle after every
// committed write during which the chip acknowledges nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/types.h"
#include "sim/camera/serial_bus.h"

namespace sim {

class EepromChip : public BusDevice {
 public:
  // Address attempts the chip ignores after a write before the cycle is over,
  // and the time the cycle takes at most (whichever ends it first).
  static constexpr int kWriteCyclePolls = 3;
  static constexpr DWORD kWriteCycleMs = 5;

  // bits: 0, 1024 or 4096. contents: the chip's bytes (resized to fit; missing
  // bytes read 0xFF, as on an erased part). nack: never acknowledges.
  EepromChip(int bits, bool nack, std::vector<uint8_t> contents);

  void Start() override;
  bool Select(uint8_t address) override;
  bool WriteByte(uint8_t value) override;
  uint8_t ReadByte(bool more) override;
  void Stop() override;

  // The camera's reset: the transaction is dropped, a write cycle under way
  // completes; the contents stay.
  void PowerOnReset();

  // For tests that play a particular part: its size (contents kept as far as
  // they fit, the rest erased), a dead part, and a write cycle that takes this
  // many address attempts (and, with no time limit, only those).
  void Resize(int bits);
  void SetNack(bool nack) { nack_ = nack; }
  void SetWriteCycle(int polls, bool timeLimit) {
    writeCyclePolls_ = polls;
    writeCycleTimed_ = timeLimit;
  }
  std::vector<uint8_t>& MutableContents() { return memory_; }

  // For inspection.
  size_t SizeBytes() const { return memory_.size(); }
  const std::vector<uint8_t>& Contents() const { return memory_; }
  bool Busy() const { return busyPolls_ > 0; }
  uint32_t WriteCycles() const { return writeCycles_; }

 private:
  size_t PageSize() const { return memory_.size() == 512 ? 16 : 8; }

  std::vector<uint8_t> memory_;
  bool nack_;
  bool selected_ = false;
  bool reading_ = false;
  bool expectWordAddress_ = false;
  size_t address_ = 0;     // the internal address counter
  size_t blockBase_ = 0;   // 256 for the second block of a 4096-bit part
  // A page write collects its bytes until the stop condition commits them.
  struct PendingByte {
    size_t address;
    uint8_t value;
  };
  std::vector<PendingByte> pending_;
  int busyPolls_ = 0;
  int writeCyclePolls_ = kWriteCyclePolls;
  bool writeCycleTimed_ = true;
  DWORD busySince_ = 0;
  uint32_t writeCycles_ = 0;
};

}  // namespace sim
