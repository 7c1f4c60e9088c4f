// The virtual camera at the far end of the cable: its firmware (command,
// status and matrix blocks behind the command bytes, the state word, the
// serial-bus steps), the sensor and EEPROM on its bus, and the frame engine:
// frame requests paced by the sensor's frame period on the platform clock, the
// mode-1 window and mode-2 readouts, temporal-difference coding, the transfer
// wrap, the unplug fault and the frame dump. All of its state lives here.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/types.h"
#include "sim/camera/bus_eeprom.h"
#include "sim/camera/bus_sensor.h"
#include "sim/camera/camera_protocol.h"
#include "sim/camera/factory_defects.h"
#include "sim/camera/frame_builder.h"
#include "sim/camera/frame_dump.h"
#include "sim/camera/scene.h"
#include "sim/camera/sensor_model.h"
#include "sim/camera/serial_bus.h"
#include "sim/camera_link.h"
#include "sim/sim_config.h"

namespace sim {

// How the firmware behaves, in short:
// - Command byte 8 is followed by a command block, 19 by a matrix block, 24 by
//   a status block read or write. A block is exactly 18 bytes; an empty
//   transfer moves nothing and leaves the command waiting.
// - The state word starts at 0x0080 (reset flag, cleared once read); a written
//   status block whose s8 has 0xC000 arms the camera (state 0xC000), unless it
//   is configured never to become ready; any other s8 disarms it.
// - 'F' and 'Y' blocks request a frame when armed. The frame is the one the
//   sensor finishes at the next period boundary after the request; the ready
//   line is up from then until the frame is read. While a requested frame is
//   being captured the status block is answered only when it is complete (this
//   is the host's frame wait), and a frame transfer waits for it too. With no
//   frame requested, the ready line comes up at the first boundary after the
//   last transfer (the host polls so before reading a frame in bands).
// - A counted frame transfer fills the host's buffer with the whole frame and
//   reports the length the camera sent it in: the temporal-difference length
//   for a mode-2 frame requested with flag 0x40, otherwise the bytes moved.
// - Output A 12 followed by output B 4 resets the firmware and the bus devices.
class VirtualCamera : public CameraLink {
 public:
  explicit VirtualCamera(const SimConfig& config);
  ~VirtualCamera() override;

  std::string DeviceIdText() const override;
  bool Present() const override { return !unplugged_; }
  void OutputA(uint8_t value) override;
  void OutputB(uint8_t value) override;
  bool Command(uint8_t wireByte) override;
  bool Write(const uint8_t* data, size_t count) override;
  bool Read(uint8_t* data, size_t count, ReverseMode mode) override;
  bool FrameReady() override;
  bool BeginFrame(uint8_t mode, uint8_t option) override;
  uint32_t ReadFrame(uint8_t* data, uint32_t count, bool counted, ReverseMode mode) override;
  bool EndFrame() override;

  // ---- for inspection
  const SensorChip& Sensor() const { return sensor_; }
  const EepromChip& Eeprom() const { return eeprom_; }
  EepromChip& MutableEeprom() { return eeprom_; }
  // The status words as the firmware holds them now (bus results in s0, s1).
  const BlockWords& StatusWords() const { return status_; }
  const std::vector<FactoryDefect>& Defects() const { return defects_; }
  uint16_t State() const { return state_; }
  const BlockWords& LastCommand() const { return command_; }
  const std::array<int16_t, 9>& Matrix() const { return matrix_; }
  // Frames delivered so far (a banded frame counts once, when it is complete).
  uint32_t FramesDelivered() const { return framesDelivered_; }
  // The length reported by the last counted transfer.
  uint32_t LastCountedLength() const { return lastCounted_; }
  // The bytes of the frame (or band) the transfer under way carries before the
  // fill pattern.
  size_t FrameLength() const { return frameLength_; }
  // The sensor frame number of the frame last requested.
  uint32_t RequestedSensorFrame() const { return request_.sensorFrame; }
  const std::string& SceneError() const { return sceneError_; }
  const std::string& DumpError() const { return dump_.Error(); }
  DWORD PeriodMs() const { return period_; }

  // The power-on matrix: the host's default colour matrix in Q15.
  static constexpr std::array<int16_t, 9> kDefaultMatrix = {1758, 1758, 3517, -3589, -7087, 7142, 8557, -7353, -1001};

 private:
  enum class FrameKind { None, Window, Yuv };
  struct FrameRequest {
    FrameKind kind = FrameKind::None;
    DWORD readyAt = 0;
    uint32_t sensorFrame = 0;
    WindowGeometry window;
    YuvGeometry yuv;
    bool temporal = false;
    int lumaThreshold = 0;
    int chromaThreshold = 0;
    bool built = false;
  };

  void Reset();
  void ExecuteCommand(const BlockWords& words);
  void ExecuteBusStep(const BlockWords& words);
  void RequestFrame(FrameKind kind, const BlockWords& words);
  void BuildFrame();
  bool Reached(DWORD when) const;
  DWORD NextBoundary() const;
  bool WaitUntil(DWORD when);
  // The delivered-frame bookkeeping: a mode-1 frame may arrive as bands, which
  // belong together while each starts where the last ended.
  void CloseDeliveredFrame();
  void NoteDelivered(const uint8_t* data, size_t count);

  // Configuration.
  std::string deviceId_;
  DWORD period_;
  uint32_t transferLimit_;
  bool neverReady_;
  int unplugAfter_;
  int stallFrom_;  // the frame (from 1) from which every frame stops halfway; 0 never
  int sensorKind_;

  // The bus and its devices.
  SensorChip sensor_;
  std::vector<FactoryDefect> defects_;
  EepromChip eeprom_;
  SerialBus bus_;

  // The optics and the sensor.
  std::string sceneError_;
  Scene scene_;
  SensorModel sensorModel_;

  // Firmware.
  BlockWords command_{};
  BlockWords status_{};
  std::array<int16_t, 9> matrix_ = kDefaultMatrix;
  uint16_t state_ = kStatePowerOn;
  bool havePending_ = false;
  uint8_t pending_ = 0;
  uint8_t lastOutputA_ = 0;
  DWORD epoch_ = 0;
  DWORD idleReadyAt_ = 0;  // with no frame requested: the next boundary after the last transfer

  // Frames.
  FrameRequest request_;
  std::vector<uint8_t> windowFrame_;
  std::vector<uint8_t> freshYuv_;
  std::vector<uint8_t> hostYuv_;  // what the host holds of the last mode-2 frame
  YuvGeometry hostGeometry_;
  bool hostValid_ = false;
  const uint8_t* frameData_ = nullptr;
  size_t frameLength_ = 0;
  uint32_t frameCounted_ = 0;
  bool frameCoded_ = false;

  // The transfer under way.
  bool inTransfer_ = false;
  uint64_t transferOffset_ = 0;
  uint64_t transferMoved_ = 0;
  uint32_t lastCounted_ = 0;

  // Delivered frames.
  bool bandOpen_ = false;
  int bandMode_ = 0;
  uint64_t bandBytes_ = 0;
  WindowGeometry band_;
  uint32_t framesDelivered_ = 0;
  bool unplugged_ = false;
  FrameDump dump_;
};

}  // namespace sim
