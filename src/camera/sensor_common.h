// Operations the two sensor kinds share except for their register writer.
// Private to the sensor table sources.
#pragma once

#include "camera/sensor_ops.h"
#include "camera/sensor_tables.h"
#include "camera/wait.h"

using SensorRegisterWriter = BOOL (*)(BYTE busAddress, WORD word);

inline int SensorReturnZero(SensorOps*) { return SENSOR_OK; }

inline int SensorWriteResult(BOOL written) { return written ? SENSOR_OK : SENSOR_FAILED; }

// Sets or clears control bits in the shadow, then writes it. The shadow keeps
// the new bits even when the write fails.
template <SensorRegisterWriter Write>
int SensorWriteControl(SensorOps* ops, WORD bits, bool set) {
  SensorState* state = ops->state;
  state->controlShadow = set ? static_cast<WORD>(state->controlShadow | bits)
                             : static_cast<WORD>(state->controlShadow & ~bits);
  return SensorWriteResult(Write(state->busAddress, state->controlShadow));
}

// Bit 1 is set when the flag is 0.
template <SensorRegisterWriter Write>
int SensorSetControlBit1(SensorOps* ops, int flag) {
  return SensorWriteControl<Write>(ops, kControlBit1, flag == 0);
}

template <SensorRegisterWriter Write>
int SensorSetControlBit2(SensorOps* ops, int value) {
  return SensorWriteControl<Write>(ops, kControlBit2, (value & 1) != 0);
}

template <SensorRegisterWriter Write>
int SensorSetControlBit4(SensorOps* ops, int value) {
  return SensorWriteControl<Write>(ops, kControlBit4, (value & 1) != 0);
}

// One register word followed by the kind's settle wait; a failed write returns at once.
template <SensorRegisterWriter Write>
int SensorWriteAndSettle(SensorOps* ops, WORD word, DWORD settleMs) {
  if (!Write(ops->state->busAddress, word)) return SENSOR_FAILED;
  WaitMilliseconds(settleMs);
  return SENSOR_OK;
}

// Fills the slots both kinds share; the kind fills the rest.
inline void FillSharedSensorSlots(SensorOps* ops) {
  ops->Reserved0 = SensorReturnZero;
  ops->Reserved7 = SensorReturnZero;
  ops->Reserved9 = SensorReturnZero;
  ops->Empty10 = nullptr;
}

// Allocates a table with its state; nullptr when out of memory.
SensorOps* AllocateSensorOps(BYTE busAddress, WORD initialControl);
