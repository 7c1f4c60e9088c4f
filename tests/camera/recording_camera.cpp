#include "support/environment.h"
#include "camera/recording_camera.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/portable/port_device_backend.h"
#include "sim/port_device_sim.h"
#include "sim/sim_config.h"

namespace {

RecordingCamera* g_current = nullptr;
std::string g_options;

// Owns the virtual port device and the link it talks to.
class Owner : public platform::PortDeviceBackend {
 public:
  explicit Owner(const sim::SimConfig& config) {
    auto link = std::make_unique<RecordingCamera>(config);
    link_ = link.get();
    device_ = std::make_unique<sim::VirtualPortDevice>(config, std::move(link));
    g_current = link_;
  }
  ~Owner() override {
    if (g_current == link_) g_current = nullptr;
  }
  BOOL Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
               DWORD* bytesReturned) override {
    return device_->Control(code, in, inLength, out, outLength, bytesReturned);
  }

 private:
  RecordingCamera* link_ = nullptr;
  std::unique_ptr<sim::VirtualPortDevice> device_;
};

std::unique_ptr<platform::PortDeviceBackend> MakeRecording(const std::string&, std::string* error) {
  sim::SimConfig config;
  if (!sim::ParseSimConfig(g_options, &config, error)) return nullptr;
  return std::make_unique<Owner>(config);
}

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

// The host sends its command numbers 16, 48 and 38 as (cmd >> 1) | (cmd & 0x80).
BYTE DriverCommand(uint8_t wireByte) { return static_cast<BYTE>(((wireByte & 0x7F) << 1) | (wireByte & 0x80)); }

}  // namespace

void RecordingCamera::Install(const std::string& options) {
  g_options = options;
  platform::RegisterPortDeviceBackend(kName, &MakeRecording);
  testsupport::SetEnvironment("ZARNCAP_CAMERA", kName);
}

RecordingCamera* RecordingCamera::Current() { return g_current; }

RecordingCamera::RecordingCamera(const sim::SimConfig& config)
    : camera_(config), eeprom(camera_.MutableEeprom().MutableContents()) {
  eepromBits = config.eepromBits;
  appliedEepromBits_ = eepromBits;
}

void RecordingCamera::ApplyEepromSettings() {
  sim::EepromChip& chip = camera_.MutableEeprom();
  if (eepromBits != appliedEepromBits_) {
    chip.Resize(eepromBits);
    appliedEepromBits_ = eepromBits;
  }
  chip.SetNack(!eepromAck);
  if (eepromBusyPolls != appliedBusyPolls_) {
    // A write cycle of a set number of attempts, however long they take.
    chip.SetWriteCycle(eepromBusyPolls, false);
    appliedBusyPolls_ = eepromBusyPolls;
  }
}

bool RecordingCamera::Command(uint8_t wireByte) {
  ApplyEepromSettings();
  pendingWire_ = wireByte;
  if (refusedCommands.count(DriverCommand(wireByte)) != 0) return false;
  return camera_.Command(wireByte);
}

void RecordingCamera::BusStep(const BlockWords& words) {
  const auto& status = camera_.StatusWords();
  switch (words[2]) {
    case sim::kBusStart:
      bus.push_back("start");
      target_ = Target::None;
      byteIndex_ = 0;
      dataBytes_ = 0;
      identIndex_ = 0;
      break;
    case sim::kBusStop:
      bus.push_back("stop");
      if (target_ == Target::Eeprom && !reading_ && dataBytes_ > 1) ++eepromWrites;
      target_ = Target::None;
      byteIndex_ = 0;
      break;
    case sim::kBusWrite: {
      const auto value = static_cast<BYTE>(words[3] & 0xFF);
      bus.push_back("w " + Hex(value));
      bool ack = status[sim::kStatusAck] != 0;
      if (byteIndex_ == 0) {
        reading_ = (value & 1) != 0;
        target_ = (value & 0xFE) == 0x20 ? Target::Sensor : (value & 0xF0) == 0xA0 ? Target::Eeprom : Target::None;
      } else {
        ++dataBytes_;
      }
      if (target_ == Target::Sensor) ack = ack && sensorAck && sensorNackAt.count(sensorBytes++) == 0;
      ++byteIndex_;
      ackPatch_ = static_cast<WORD>(ack ? 1 : 0);
      break;
    }
    case sim::kBusRead: {
      auto value = static_cast<BYTE>(status[sim::kStatusReadByte] & 0xFF);
      if (target_ == Target::Sensor && reading_ && sensorId) value = (*sensorId)[static_cast<size_t>(identIndex_++ % 4)];
      bus.push_back("r " + Hex(value) + "/" + std::to_string(words[4]));
      readPatch_ = value;
      break;
    }
    default:
      break;
  }
  // Register words the sensor took, with the time they arrived.
  const auto& log = camera_.Sensor().WriteLog();
  for (; sensorLogSeen_ < log.size(); ++sensorLogSeen_) {
    sensorWords.push_back(log[sensorLogSeen_]);
    sensorWordTimes.push_back(platform::TimeGetTime());
  }
}

bool RecordingCamera::Write(const uint8_t* data, size_t count) {
  const bool ok = camera_.Write(data, count);
  if (count != sim::kBlockBytes) return ok;
  BlockWords words{};
  const sim::BlockWords unpacked = sim::UnpackBlock(data);
  std::copy(unpacked.begin(), unpacked.end(), words.begin());
  switch (pendingWire_) {
    case sim::kWireCommandBlock:
      commands.push_back(words);
      if (words[0] == sim::kCommandBus) BusStep(words);
      break;
    case sim::kWireStatusBlock: statusWrites.push_back(words); break;
    case sim::kWireMatrixBlock: matrices.push_back(words); break;
    default: break;
  }
  return ok;
}

bool RecordingCamera::Read(uint8_t* data, size_t count, sim::ReverseMode mode) {
  const bool ok = camera_.Read(data, count, mode);
  if (!ok || pendingWire_ != sim::kWireStatusBlock) return ok;
  sim::BlockWords status{};
  uint8_t bytes[sim::kBlockBytes] = {};
  std::memcpy(bytes, data, count < sim::kBlockBytes ? count : sim::kBlockBytes);
  status = sim::UnpackBlock(bytes);
  if (ackPatch_) status[sim::kStatusAck] = *ackPatch_;
  if (readPatch_) status[sim::kStatusReadByte] = *readPatch_;
  if (darkLevel) status[sim::kStatusDarkLevel] = *darkLevel;
  if (stateWord) status[sim::kStatusState] = *stateWord;
  ackPatch_.reset();
  readPatch_.reset();
  sim::PackBlock(status, bytes);
  std::memcpy(data, bytes, count < sim::kBlockBytes ? count : sim::kBlockBytes);
  return ok;
}

bool RecordingCamera::FrameReady() {
  ++polls;
  return ready && camera_.FrameReady();
}

bool RecordingCamera::BeginFrame(uint8_t mode, uint8_t option) {
  frames.push_back("begin " + std::to_string(mode) + "/" + std::to_string(option));
  return camera_.BeginFrame(mode, option);
}

uint32_t RecordingCamera::ReadFrame(uint8_t* data, uint32_t count, bool counted, sim::ReverseMode mode) {
  frames.push_back((counted ? "counted " : "fixed ") + std::to_string(count));
  uint32_t delivered = camera_.ReadFrame(data, count, counted, mode);
  if (counted && countedReply >= 0) delivered = static_cast<uint32_t>(countedReply);
  if (fill) fill(data, delivered < count ? delivered : count);
  return delivered;
}

bool RecordingCamera::EndFrame() {
  frames.push_back("end");
  return camera_.EndFrame();
}
