// The sensor operation tables: one table of thirteen operation slots per sensor
// kind, so the rest of the driver programs either sensor the same way. Sensor
// operations return 0 for success and -1 for failure.
#pragma once

#include "platform/types.h"

constexpr int SENSOR_OK = 0;
constexpr int SENSOR_FAILED = -1;
constexpr int kSensorCameraMode = 10;  // the only mode SetCameraMode accepts

struct SensorState {
  BYTE busAddress;     // the sensor's bus write address
  WORD controlShadow;  // the last register-1 word, register number included
};

struct SensorOps;
using SensorOpNone = int (*)(SensorOps* ops);
using SensorOpInt = int (*)(SensorOps* ops, int value);
using SensorOpIntInt = int (*)(SensorOps* ops, int a, int b);

// Slots in order; slot 10 is empty in both tables and must never be called.
struct SensorOps {
  SensorOpNone Reserved0;             // 0: returns 0, no bus traffic
  SensorOpInt SetCameraMode;          // 1: mode (only 10 is accepted)
  SensorOpInt SetControlBit1;         // 2: flag
  SensorOpInt SetControlBit2;         // 3: value (bit 0 counts)
  SensorOpNone GetGainLevel;          // 4: returns the level
  SensorOpInt SetGainLevel;           // 5: level
  SensorOpInt SetControlBit4;         // 6: value (bit 0 counts)
  SensorOpNone Reserved7;             // 7: returns 0, no bus traffic
  SensorOpInt SetRegister3;           // 8: value
  SensorOpNone Reserved9;             // 9: returns 0, no bus traffic
  void (*Empty10)();                  // 10: never filled
  SensorOpIntInt SetRegisters8And9;   // 11: a, b
  SensorOpInt SetEepromAccess;        // 12: 0 before EEPROM reads, 1 after
  SensorState* state;
};

// Make a table of the kind's operations with its SensorState; nullptr when out
// of memory. spare is not used. The newest table becomes the one the defect-map
// store uses (SelectSensorOps changes that).
SensorOps* CreateSensorOpsKind0(int spare, BYTE busAddress);
SensorOps* CreateSensorOpsKind1(int spare, BYTE busAddress);
// Frees a table made by one of the two above.
void FreeSensorOps(SensorOps* ops);
// Names the table of the current camera (nullptr: none).
void SelectSensorOps(SensorOps* ops);
SensorOps* CurrentSensorOps();

// One register word as one bus transaction: start, address, high byte, low
// byte, stop. TRUE when all five steps succeeded. Kind 1 stops at the first
// failing step (and then sends no stop); kind 0 always sends all five.
BOOL WriteSensorRegisterKind0(BYTE busAddress, WORD word);
BOOL WriteSensorRegisterKind1(BYTE busAddress, WORD word);
