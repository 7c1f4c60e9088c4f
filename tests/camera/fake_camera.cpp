#include "camera/fake_camera.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/platform.h"

namespace {

FakeCamera* g_current = nullptr;

class Owner : public platform::PortDeviceBackend {
 public:
  Owner() : camera_(std::make_unique<FakeCamera>()) { g_current = camera_.get(); }
  ~Owner() override {
    if (g_current == camera_.get()) g_current = nullptr;
  }
  BOOL Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
               DWORD* bytesReturned) override {
    return camera_->Control(code, in, inLength, out, outLength, bytesReturned);
  }

 private:
  std::unique_ptr<FakeCamera> camera_;
};

std::unique_ptr<platform::PortDeviceBackend> MakeFake(const std::string&, std::string*) {
  return std::make_unique<Owner>();
}

const char kDeviceId[] = "MFG:Fake;MDL:Camera;";

std::string Hex(BYTE value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

}  // namespace

void FakeCamera::Install() {
  platform::RegisterPortDeviceBackend(kName, &MakeFake);
  setenv("ZARNCAP_CAMERA", kName, 1);
}

FakeCamera* FakeCamera::Current() { return g_current; }

BYTE* FakeCamera::EepromCell(int block, int address) {
  const int page = eepromBits == 4096 ? 256 : 128;
  return &eeprom[static_cast<std::size_t>((block == 2 ? 256 : 0) + address % page)];
}

UINT FakeCamera::BusWrite(BYTE value) {
  bus.push_back("w " + Hex(value));
  bool ack = false;
  if (byteIndex_ == 0) {
    reading_ = (value & 1) != 0;
    if ((value & 0xFE) == 0x20) {
      target_ = Target::Sensor;
      ack = sensorAck && !sensorNackAt.count(sensorBytes++);
    } else if ((value & 0xF0) == 0xA0) {
      target_ = Target::Eeprom;
      block_ = value & 0x0E;
      ack = eepromBits > 0 && eepromAck && (block_ == 0 || (block_ == 2 && eepromBits == 4096));
      if (ack && busyLeft_ > 0) {
        --busyLeft_;  // still in its write cycle
        ack = false;
      }
    }
    if (!ack) target_ = Target::None;
  } else if (target_ == Target::Sensor) {
    ack = sensorAck && !sensorNackAt.count(sensorBytes++);
    pending_.push_back(value);
  } else if (target_ == Target::Eeprom) {
    ack = eepromAck;
    if (byteIndex_ == 1) {
      eepromAddress_[block_] = value;
    } else {
      pending_.push_back(value);
    }
  }
  ++byteIndex_;
  return ack ? 1 : 0;
}

BYTE FakeCamera::BusRead(BYTE ack) {
  BYTE value = 0xFF;
  if (target_ == Target::Sensor && reading_) {
    value = sensorId[static_cast<std::size_t>(sensorReadIndex_++ % 4)];
  } else if (target_ == Target::Eeprom && reading_) {
    value = *EepromCell(block_, eepromAddress_[block_]);
    eepromAddress_[block_] = (eepromAddress_[block_] + 1) % (eepromBits == 4096 ? 256 : 128);
  }
  bus.push_back("r " + Hex(value) + "/" + std::to_string(ack));
  return value;
}

void FakeCamera::BusStop() {
  bus.push_back("stop");
  if (target_ == Target::Sensor && !reading_ && pending_.size() == 2) {
    sensorWords.push_back(static_cast<WORD>((pending_[0] << 8) | pending_[1]));
    sensorWordTimes.push_back(platform::TimeGetTime());
  } else if (target_ == Target::Eeprom && !reading_ && !pending_.empty()) {
    int address = eepromAddress_[block_];
    for (BYTE value : pending_) *EepromCell(block_, address++) = value;
    ++eepromWrites;
    busyLeft_ = eepromBusyPolls;
  }
  target_ = Target::None;
  byteIndex_ = 0;
  pending_.clear();
  sensorReadIndex_ = 0;
}

void FakeCamera::Step(const BlockWords& command) {
  if (command[0] != 0x53) return;
  switch (command[2]) {
    case 0x53:
      bus.push_back("start");
      target_ = Target::None;
      byteIndex_ = 0;
      pending_.clear();
      sensorReadIndex_ = 0;
      break;
    case 0x50:
      BusStop();
      break;
    case 0x57:
      status_[0] = static_cast<WORD>(BusWrite(static_cast<BYTE>(command[3] & 0xFF)));
      break;
    case 0x52:
      status_[1] = BusRead(static_cast<BYTE>(command[4]));
      break;
    default:
      break;
  }
}

BOOL FakeCamera::Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                         DWORD* bytesReturned) {
  const PortRequest* request = FindPortRequest(code);
  PortRecord record;
  if (request == nullptr ||
      !DecodePortRecord(request->layout, kPortAddressWidth, static_cast<const BYTE*>(in), inLength, &record))
    return FALSE;
  BYTE* buffer = PortPointerFrom<BYTE>(record.buffer);
  DWORD reply = 1;
  switch (code) {
    case IOCTL_PORT_CLAIM:
      // A byte-wide port: the open skips its byte-wide identification test.
      PortPointerFrom<PortEntry>(record.entry)->PortFlags |= PORT_FLAG_BIDIR;
      break;
    case IOCTL_PORT_POLL:
      ++polls;
      reply = ready ? 1 : 0;
      break;
    case IOCTL_PORT_NEGOTIATE:
      phaseMode_ = record.value;
      if (phaseMode_ == PORT_NEGOTIATE_ID_NIBBLE) idPosition_ = 0;
      break;
    case IOCTL_PORT_ECP_WRITE_CMD:
    case IOCTL_PORT_COMPAT_WRITE_CMD: {
      const int command = record.value << 1;
      if (refusedCommands.count(static_cast<BYTE>(command))) {
        reply = 0;
        break;
      }
      pendingCommand_ = command;
      break;
    }
    case IOCTL_PORT_ECP_WRITE:
    case IOCTL_PORT_COMPAT_WRITE: {
      if (record.count != 18) break;
      BlockWords words{};
      for (std::size_t i = 0; i < 9; ++i) words[i] = static_cast<WORD>(buffer[2 * i] | (buffer[2 * i + 1] << 8));
      if (pendingCommand_ == 16) {
        commands.push_back(words);
        Step(words);
      } else if (pendingCommand_ == 48) {
        statusWrites.push_back(words);
      } else if (pendingCommand_ == 38) {
        matrices.push_back(words);
      }
      pendingCommand_ = 0;
      break;
    }
    case IOCTL_PORT_ECP_READ:
    case IOCTL_PORT_BYTE_READ:
    case IOCTL_PORT_NIBBLE_READ:
      if (phaseMode_ == PORT_NEGOTIATE_ID_NIBBLE) {
        std::string stream(2, '\0');
        stream[0] = static_cast<char>((sizeof kDeviceId + 1) >> 8);
        stream[1] = static_cast<char>((sizeof kDeviceId + 1) & 0xFF);
        stream += kDeviceId;
        for (DWORD i = 0; i < record.count; ++i)
          buffer[i] = idPosition_ < stream.size() ? static_cast<BYTE>(stream[idPosition_++]) : 0;
      } else if (pendingCommand_ == 48) {
        status_[6] = darkLevel;
        status_[8] = stateWord;
        for (DWORD i = 0; i < record.count && i < 18; ++i)
          buffer[i] = static_cast<BYTE>(i % 2 ? status_[i / 2] >> 8 : status_[i / 2] & 0xFF);
        pendingCommand_ = 0;
      } else {
        reply = 0;
      }
      break;
    case IOCTL_PORT_FRAME_BEGIN:
      frames.push_back("begin " + std::to_string(record.value) + "/" + std::to_string(record.option));
      break;
    case IOCTL_PORT_FRAME_END:
      frames.push_back("end");
      break;
    case IOCTL_PORT_ECP_READ_FRAME:
    case IOCTL_PORT_BYTE_READ_FRAME:
    case IOCTL_PORT_NIBBLE_READ_FRAME:
      frames.push_back("fixed " + std::to_string(record.count));
      if (fill) {
        fill(buffer, record.count);
      } else {
        for (DWORD i = 0; i < record.count; ++i) buffer[i] = static_cast<BYTE>(i);
      }
      break;
    case IOCTL_PORT_ECP_READ_FRAME_VAR:
    case IOCTL_PORT_BYTE_READ_FRAME_VAR:
    case IOCTL_PORT_NIBBLE_READ_FRAME_VAR: {
      const auto reported = countedReply < 0 ? record.count : static_cast<DWORD>(countedReply);
      const DWORD stored = reported < record.count ? reported : record.count;
      frames.push_back("counted " + std::to_string(record.count));
      if (fill) {
        fill(buffer, stored);
      } else {
        for (DWORD i = 0; i < stored; ++i) buffer[i] = static_cast<BYTE>(i);
      }
      std::memcpy(PortPointerFrom<DWORD>(record.countAddress), &reported, sizeof reported);
      break;
    }
    default:
      break;
  }
  if (request->hasReply && out != nullptr && outLength >= sizeof reply) {
    std::memcpy(out, &reply, sizeof reply);
    if (bytesReturned != nullptr) *bytesReturned = sizeof reply;
  }
  return TRUE;
}
