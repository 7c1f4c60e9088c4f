// Sensor kind 1: settle 210 ms; a register write stops at its first failing bus step.
#include "camera/camera_state.h"
#include "camera/sensor_common.h"

namespace {

constexpr SensorRegisterWriter Write = WriteSensorRegisterKind1;
constexpr DWORD kSettle = kSensorKind1.settleMs;

BYTE Address(SensorOps* ops) { return ops->state->busAddress; }

int GetGainLevel(SensorOps*) { return Camera().gainLevelKind1; }

// The level is kept before the write, so it is reported even when the write fails.
int SetGainLevel(SensorOps* ops, int level) {
  const int index = level < 1 ? 0 : (level > 4 ? 4 : level);
  Camera().gainLevelKind1 = level;
  return SensorWriteAndSettle<Write>(ops, kGainWordsKind1[index], kSettle);
}

int SetRegister3(SensorOps* ops, int value) {
  return SensorWriteAndSettle<Write>(ops, static_cast<WORD>(kRegister3 + (value & kRegisterValueMask)), kSettle);
}

int SetRegisters8And9(SensorOps* ops, int a, int b) {
  if (SensorWriteAndSettle<Write>(ops, static_cast<WORD>(kRegister8 + (a & kRegisterValueMask)), kSettle) != 0)
    return SENSOR_FAILED;
  return SensorWriteAndSettle<Write>(ops, static_cast<WORD>(kRegister9 + (b & kRegisterValueMask)), kSettle);
}

int SetEepromAccess(SensorOps* ops, int state) {
  const WORD word = (state & 1) ? kSensorKind1.eepromAccessOn : kSensorKind1.eepromAccessOff;
  return SensorWriteAndSettle<Write>(ops, word, kSettle);
}

int SetCameraMode(SensorOps* ops, int mode) {
  if (mode != kSensorCameraMode) return SENSOR_FAILED;
  SensorState* state = ops->state;
  state->controlShadow = static_cast<WORD>(state->controlShadow | kKind1ControlSet);
  if (!Write(Address(ops), state->controlShadow)) return SENSOR_FAILED;
  if (!Write(Address(ops), kKind1StartupRegister2)) return SENSOR_FAILED;
  if (!Write(Address(ops), kKind1StartupRegister10)) return SENSOR_FAILED;
  if (ops->SetGainLevel(ops, kSensorKind1.startupGainLevel) != SENSOR_OK) return SENSOR_FAILED;
  return ops->SetRegisters8And9(ops, kStartupRegister8, kStartupRegister9) == SENSOR_OK ? SENSOR_OK
                                                                                          : SENSOR_FAILED;
}

}  // namespace

SensorOps* CreateSensorOpsKind1(int /*spare*/, BYTE busAddress) {
  SensorOps* ops = AllocateSensorOps(busAddress, kSensorKind1.initialControl);
  if (ops == nullptr) return nullptr;
  ops->SetCameraMode = SetCameraMode;
  ops->SetControlBit1 = SensorSetControlBit1<Write>;
  ops->SetControlBit2 = SensorSetControlBit2<Write>;
  ops->GetGainLevel = GetGainLevel;
  ops->SetGainLevel = SetGainLevel;
  ops->SetControlBit4 = SensorSetControlBit4<Write>;
  ops->SetRegister3 = SetRegister3;
  ops->SetRegisters8And9 = SetRegisters8And9;
  ops->SetEepromAccess = SetEepromAccess;
  return ops;
}
