// The virtual camera behind a recording link, for the camera layer's protocol
// tests: everything that crosses the cable is logged as the driver sent it
// (command, status and matrix blocks, the serial-bus steps with their
// answers, frame transfers, ready polls), and a test may bend what comes back
// (a refused command, a state word, a bus byte not acknowledged, a sensor
// identification, frame contents, a counted length, a camera not ready).
// The camera itself (firmware, bus, sensor, EEPROM) is the virtual camera.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/types.h"
#include "sim/camera/virtual_camera.h"
#include "sim/camera_link.h"

using BlockWords = std::array<WORD, 9>;

class RecordingCamera : public sim::CameraLink {
  sim::VirtualCamera camera_;  // first: the public view of its EEPROM refers to it

 public:
  static constexpr const char* kName = "camrec";
  // Registers the backend and selects it through ZARNCAP_CAMERA; the virtual
  // camera is made from these options (ZARNCAP_CAMERA's "sim:" keys).
  static void Install(const std::string& options = "mode=byte,noise=0,defects=none");
  // The link behind the open port device (nullptr when none is open).
  static RecordingCamera* Current();

  explicit RecordingCamera(const sim::SimConfig& config);

  // ---- what crossed the cable
  std::vector<BlockWords> commands;      // every command block received
  std::vector<BlockWords> statusWrites;  // every status block written
  std::vector<BlockWords> matrices;      // every matrix block written
  std::vector<std::string> bus;          // "start", "stop", "w XX", "r XX/ack"
  std::vector<WORD> sensorWords;         // register words the sensor took
  std::vector<DWORD> sensorWordTimes;    // the clock when each of them arrived
  std::vector<std::string> frames;       // "begin M/O", "fixed N", "counted N", "end"
  int polls = 0;                         // ready polls
  int sensorBytes = 0;                   // bytes sent to the sensor, address bytes included
  int eepromWrites = 0;                  // EEPROM writes committed

  // ---- what a test bends
  std::optional<WORD> stateWord;        // s8 as the camera reports it
  std::optional<WORD> darkLevel;        // s6
  std::set<BYTE> refusedCommands;       // port command numbers (16, 38, 48) refused
  bool sensorAck = true;
  std::set<int> sensorNackAt;           // sensor bytes (counted in sensorBytes) not acknowledged
  std::optional<std::array<BYTE, 4>> sensorId;  // what an identification read returns
  int eepromBits = 4096;                // 0, 1024 or 4096 (applied at the next command)
  bool eepromAck = true;
  int eepromBusyPolls = sim::EepromChip::kWriteCyclePolls;  // address attempts a write cycle ignores
  bool ready = true;
  std::function<void(BYTE* data, DWORD count)> fill;  // frame contents instead of the scene
  long long countedReply = -1;  // the length a counted read reports (-1: the camera's)

  // The EEPROM's bytes (block 0 at 0..255, block 2 at 256..511).
  std::vector<uint8_t>& eeprom;
  const sim::VirtualCamera& Camera() const { return camera_; }

  std::string DeviceIdText() const override { return camera_.DeviceIdText(); }
  bool Present() const override { return camera_.Present(); }
  void OutputA(uint8_t value) override { camera_.OutputA(value); }
  void OutputB(uint8_t value) override { camera_.OutputB(value); }
  bool Command(uint8_t wireByte) override;
  bool Write(const uint8_t* data, size_t count) override;
  bool Read(uint8_t* data, size_t count, sim::ReverseMode mode) override;
  bool FrameReady() override;
  bool BeginFrame(uint8_t mode, uint8_t option) override;
  uint32_t ReadFrame(uint8_t* data, uint32_t count, bool counted, sim::ReverseMode mode) override;
  bool EndFrame() override;

 private:
  enum class Target { None, Sensor, Eeprom };
  void BusStep(const BlockWords& words);
  void ApplyEepromSettings();

  int appliedEepromBits_ = 4096;
  int appliedBusyPolls_ = sim::EepromChip::kWriteCyclePolls;
  uint8_t pendingWire_ = 0;
  // The bus transaction as the driver drives it.
  Target target_ = Target::None;
  bool reading_ = false;
  int byteIndex_ = 0;
  int dataBytes_ = 0;
  int identIndex_ = 0;
  size_t sensorLogSeen_ = 0;
  // What the next status read reports instead of the camera's bus results.
  std::optional<WORD> ackPatch_;
  std::optional<WORD> readPatch_;
};
