// A scripted camera behind a fake kernel port device, for the camera layer's
// protocol tests: it decodes the port requests, runs the camera firmware
// (command, status and matrix blocks), a two-wire bus with a sensor and an
// EEPROM, and delivers frames the test prepares. Everything it sees is logged.
#pragma once

#include <array>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/portable/testing.h"
#include "port/port_records.h"

using BlockWords = std::array<WORD, 9>;

class FakeCamera : public platform::PortDeviceBackend {
 public:
  static constexpr const char* kName = "camfake";
  // Registers the backend and selects it through ZARNCAP_CAMERA.
  static void Install();
  // The fake behind the open port device (nullptr when none is open).
  static FakeCamera* Current();

  BOOL Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
               DWORD* bytesReturned) override;

  // ---- firmware
  WORD stateWord = 0xC000;  // s8 as the camera reports it
  WORD darkLevel = 0;       // s6
  std::set<BYTE> refusedCommands;   // port command bytes (as the driver names them: 16, 38, 48) refused
  std::vector<BlockWords> commands;      // every command block received
  std::vector<BlockWords> statusWrites;  // every status block written
  std::vector<BlockWords> matrices;      // every matrix block written

  // ---- bus: "start", "stop", "w XX", "r XX/ack"
  std::vector<std::string> bus;
  bool sensorAck = true;
  std::set<int> sensorNackAt;  // sensor bytes (counted in sensorBytes, address bytes included) not acknowledged
  int sensorBytes = 0;         // bytes sent to the sensor so far
  std::array<BYTE, 4> sensorId = {0x12, 0x34, 0x10, 0x00};
  std::vector<WORD> sensorWords;  // register words the sensor received
  std::vector<DWORD> sensorWordTimes;  // the clock when each of them arrived
  int eepromBits = 4096;          // 0, 1024 or 4096
  bool eepromAck = true;
  int eepromBusyPolls = 2;        // address polls not acknowledged after a write
  std::array<BYTE, 512> eeprom{};  // block 0 at 0..255, block 2 at 256..511
  int eepromWrites = 0;

  // ---- frames
  bool ready = true;
  int polls = 0;
  std::vector<std::string> frames;  // "begin M/O", "fixed N", "counted N", "end"
  // Fills a frame read; default: byte i = (start + i) & 0xFF, start counting
  // from the first byte of this transfer.
  std::function<void(BYTE* data, DWORD count)> fill;
  long long countedReply = -1;  // count a counted read reports (-1: all it was asked for)

 private:
  void Step(const BlockWords& command);
  UINT BusWrite(BYTE value);
  BYTE BusRead(BYTE ack);
  void BusStop();
  BYTE* EepromCell(int block, int address);

  int phaseMode_ = 0;
  std::size_t idPosition_ = 0;
  int pendingCommand_ = 0;
  BlockWords status_{};
  // bus transaction
  enum class Target { None, Sensor, Eeprom };
  Target target_ = Target::None;
  bool reading_ = false;
  int block_ = 0;
  int byteIndex_ = 0;
  std::vector<BYTE> pending_;  // bytes of a write after the address byte(s)
  int eepromAddress_[3] = {0, 0, 0};
  int busyLeft_ = 0;
  int sensorReadIndex_ = 0;
};
