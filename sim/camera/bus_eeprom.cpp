// The camera's serial EEPROM.
#include "sim/camera/bus_eeprom.h"

#include "platform/platform.h"

namespace sim {

EepromChip::EepromChip(int bits, bool nack, std::vector<uint8_t> contents)
    : memory_(std::move(contents)), nack_(nack) {
  size_t size = bits == 4096 ? 512 : bits == 1024 ? 128 : 0;
  memory_.resize(size, 0xFF);
  pending_.reserve(16);
}

void EepromChip::Resize(int bits) {
  memory_.resize(bits == 4096 ? 512 : bits == 1024 ? 128 : 0, 0xFF);
  selected_ = false;
  pending_.clear();
  busyPolls_ = 0;
}

void EepromChip::PowerOnReset() {
  selected_ = false;
  pending_.clear();
  busyPolls_ = 0;
}

void EepromChip::Start() {
  // A start in the middle of a write aborts it, as on the real part.
  selected_ = false;
  pending_.clear();
}

void EepromChip::Stop() {
  if (selected_ && !reading_ && !pending_.empty()) {
    for (const PendingByte& byte : pending_) memory_[byte.address] = byte.value;
    pending_.clear();
    busyPolls_ = writeCyclePolls_;
    busySince_ = platform::TimeGetTime();
    ++writeCycles_;
  }
  selected_ = false;
}

bool EepromChip::Select(uint8_t address) {
  if (nack_ || memory_.empty() || (address & 0xF0) != 0xA0) return false;
  uint8_t block = address & 0x0E;
  // A 1024-bit part answers block 0 only, a 4096-bit part blocks 0 and 2.
  if (memory_.size() == 128 ? block != 0 : (block & ~0x02) != 0) return false;
  if (busyPolls_ > 0) {
    if (!writeCycleTimed_ || platform::TimeGetTime() - busySince_ < kWriteCycleMs) {
      --busyPolls_;
      return false;
    }
    busyPolls_ = 0;
  }
  selected_ = true;
  reading_ = (address & 1) != 0;
  blockBase_ = (block & 0x02) ? 256 : 0;
  expectWordAddress_ = !reading_;
  pending_.clear();
  return true;
}

bool EepromChip::WriteByte(uint8_t value) {
  if (nack_ || !selected_ || reading_) return false;
  if (expectWordAddress_) {
    expectWordAddress_ = false;
    address_ = (blockBase_ + value) % memory_.size();
    return true;
  }
  // Page write: the low address bits roll over within the page.
  size_t page = PageSize();
  for (PendingByte& byte : pending_) {
    if (byte.address == address_) {
      byte.value = value;
      address_ = (address_ & ~(page - 1)) | ((address_ + 1) & (page - 1));
      return true;
    }
  }
  if (pending_.size() < page) pending_.push_back({address_, value});
  address_ = (address_ & ~(page - 1)) | ((address_ + 1) & (page - 1));
  return true;
}

uint8_t EepromChip::ReadByte(bool) {
  if (nack_ || !selected_ || !reading_) return 0xFF;
  uint8_t value = memory_[address_];
  address_ = (address_ + 1) % memory_.size();
  return value;
}

}  // namespace sim
