// The register words, settle times and start-up values of the two sensor kinds.
// Bits 15..12 of a register word are the register number, bits 11..0 the value.
#pragma once

#include "platform/types.h"

struct SensorKindTable {
  WORD initialControl;     // register 1 shadow when the table is made
  DWORD settleMs;          // wait after a register write that needs one
  WORD eepromAccessOff;    // register 2 before EEPROM reads (state bit 0 clear)
  WORD eepromAccessOn;     // register 2 after them (state bit 0 set)
  int startupGainLevel;    // SetCameraMode's gain level
};

inline constexpr SensorKindTable kSensorKind0 = {0x17DA, 220, 0x2000, 0x2400, 0};
inline constexpr SensorKindTable kSensorKind1 = {0x14B6, 210, 0x2040, 0x2044, 4};

// Register 1 (control) bits.
constexpr WORD kControlBit1 = 0x0002;
constexpr WORD kControlBit2 = 0x0004;
constexpr WORD kControlBit4 = 0x0010;
constexpr WORD kKind0ControlClear = 0x000C;  // cleared at start-up
constexpr WORD kKind0ControlSet = 0x0032;    // set at start-up
constexpr WORD kKind1ControlSet = 0x0022;    // set at start-up

// Gain (register 5): kind 0 levels 0..3, with 0x0080 added; any other level is 0x5080.
inline constexpr WORD kGainWordsKind0[] = {0x5080, 0x5083, 0x5087, 0x508F};
// Kind 1: level below 1, 1, 2, 3, 4 and above.
inline constexpr WORD kGainWordsKind1[] = {0x5000, 0x5001, 0x5003, 0x5007, 0x500F};

// Start-up words of kind 1, written after the control word.
constexpr WORD kKind1StartupRegister2 = 0x2044;
constexpr WORD kKind1StartupRegister10 = 0xA001;
// Kind 0 writes register 15 after every SetRegisters8And9.
constexpr WORD kKind0Register15 = 0xF0D0;

// Register numbers in the top four bits.
constexpr WORD kRegister3 = 0x3000;
constexpr WORD kRegister8 = 0x8000;
constexpr WORD kRegister9 = 0x9000;
constexpr WORD kRegisterValueMask = 0x0FFF;

// SetRegisters8And9 at start-up.
constexpr int kStartupRegister8 = 45;
constexpr int kStartupRegister9 = 120;
