// The camera's side of the wire protocol: command bytes as they arrive from
// the port, the 18-byte command, status and matrix blocks, and the command and
// bus codes the firmware understands.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace sim {

constexpr size_t kBlockBytes = 18;
constexpr size_t kBlockWords = 9;
using BlockWords = std::array<uint16_t, kBlockWords>;

// Command bytes on the wire. The host's port layer sends its command numbers
// 16, 48 and 38 as (cmd >> 1) | (cmd & 0x80).
constexpr uint8_t kWireCommandBlock = 8;   // an 18-byte command block follows (host writes)
constexpr uint8_t kWireStatusBlock = 24;   // the status block is read or written next
constexpr uint8_t kWireMatrixBlock = 19;   // an 18-byte matrix block follows (host writes)

// Command codes in word 0 of a command block.
constexpr uint16_t kCommandNone = 0x00;    // a cleared block: no operation
constexpr uint16_t kCommandBus = 0x53;     // 'S': one serial-bus step, sub-command in word 2
constexpr uint16_t kCommandWindow = 0x46;  // 'F': frame window, mode-1 frame request
constexpr uint16_t kCommandYuv = 0x59;     // 'Y': mode-2 set-up and frame request

// Serial-bus sub-commands (word 2 of an 'S' block).
constexpr uint16_t kBusStart = 0x53;  // 'S'
constexpr uint16_t kBusStop = 0x50;   // 'P'
constexpr uint16_t kBusWrite = 0x57;  // 'W': byte in word 3, acknowledge into s0
constexpr uint16_t kBusRead = 0x52;   // 'R': acknowledge flag in word 4, byte into s1

// Word 2 flags of the 'F' and 'Y' commands.
constexpr uint16_t kFlagOption80 = 0x80;             // accepted and ignored by this firmware
constexpr uint16_t kFlagTemporalDifference = 0x40;   // 'Y' only: send only what changed

// Status words.
constexpr size_t kStatusAck = 0;         // s0: last bus byte write acknowledged
constexpr size_t kStatusReadByte = 1;    // s1: last bus byte read (low byte)
constexpr size_t kStatusFrameCount = 2;  // s2: frames delivered, low 16 bits
constexpr size_t kStatusLastCommand = 3; // s3: word 0 of the last command block
constexpr size_t kStatusDarkLevel = 6;   // s6: dark level added to every mode-1 byte
constexpr size_t kStatusFirmware = 7;    // s7: firmware revision
constexpr size_t kStatusState = 8;       // s8: camera state

constexpr uint16_t kStatePowerOn = 0x0080;  // just reset; bit 7 is the reset flag
constexpr uint16_t kStateIdle = 0x0000;     // reset flag seen, not armed
constexpr uint16_t kStateReady = 0xC000;    // armed: takes frame requests
constexpr uint16_t kFirmwareRevision = 0x0103;

inline BlockWords UnpackBlock(const uint8_t* bytes) {
  BlockWords words{};
  for (size_t i = 0; i < kBlockWords; ++i) {
    words[i] = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return words;
}

inline void PackBlock(const BlockWords& words, uint8_t* bytes) {
  for (size_t i = 0; i < kBlockWords; ++i) {
    bytes[2 * i] = static_cast<uint8_t>(words[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
  }
}

}  // namespace sim
