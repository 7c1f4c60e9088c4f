// Sensor kind 0: settle 220 ms; every register write runs all five bus steps.
#include "camera/camera_state.h"
#include "camera/sensor_common.h"

namespace {

constexpr SensorRegisterWriter Write = WriteSensorRegisterKind0;
constexpr DWORD kSettle = kSensorKind0.settleMs;

BYTE Address(SensorOps* ops) { return ops->state->busAddress; }

int GetGainLevel(SensorOps*) { return Camera().gainLevelKind0; }

// The level is kept only once its word has reached the sensor.
int SetGainLevel(SensorOps* ops, int level) {
  const WORD word = (level >= 1 && level <= 3) ? kGainWordsKind0[level] : kGainWordsKind0[0];
  if (SensorWriteAndSettle<Write>(ops, word, kSettle) != SENSOR_OK) return SENSOR_FAILED;
  Camera().gainLevelKind0 = level;
  return SENSOR_OK;
}

int SetRegister3(SensorOps* ops, int value) {
  return SensorWriteResult(Write(Address(ops), static_cast<WORD>(kRegister3 + (value & kRegisterValueMask))));
}

int SetRegisters8And9(SensorOps* ops, int a, int b) {
  if (SensorWriteAndSettle<Write>(ops, static_cast<WORD>(kRegister8 + (a & kRegisterValueMask)), kSettle) != 0)
    return SENSOR_FAILED;
  if (SensorWriteAndSettle<Write>(ops, static_cast<WORD>(kRegister9 + (b & kRegisterValueMask)), kSettle) != 0)
    return SENSOR_FAILED;
  return SensorWriteAndSettle<Write>(ops, kKind0Register15, kSettle);
}

int SetEepromAccess(SensorOps* ops, int state) {
  const WORD word = (state & 1) ? kSensorKind0.eepromAccessOn : kSensorKind0.eepromAccessOff;
  return SensorWriteAndSettle<Write>(ops, word, kSettle);
}

int SetCameraMode(SensorOps* ops, int mode) {
  if (mode != kSensorCameraMode) return SENSOR_FAILED;
  SensorState* state = ops->state;
  state->controlShadow = static_cast<WORD>((state->controlShadow & ~kKind0ControlClear) | kKind0ControlSet);
  // The control word goes out twice; only the second write has to succeed.
  Write(Address(ops), state->controlShadow);
  if (!Write(Address(ops), state->controlShadow)) return SENSOR_FAILED;
  if (ops->SetGainLevel(ops, kSensorKind0.startupGainLevel) != SENSOR_OK) return SENSOR_FAILED;
  return ops->SetRegisters8And9(ops, kStartupRegister8, kStartupRegister9) == SENSOR_OK ? SENSOR_OK
                                                                                          : SENSOR_FAILED;
}

}  // namespace

SensorOps* CreateSensorOpsKind0(int /*spare*/, BYTE busAddress) {
  SensorOps* ops = AllocateSensorOps(busAddress, kSensorKind0.initialControl);
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
