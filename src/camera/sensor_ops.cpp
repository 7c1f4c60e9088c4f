// Table allocation and the current table; the kinds' operations live in
// sensor_kind0.cpp and sensor_kind1.cpp.
#include "camera/sensor_ops.h"

#include <new>

#include "camera/camera_bus.h"
#include "camera/camera_state.h"
#include "camera/sensor_common.h"

namespace {

// The table and its state in one allocation.
struct SensorOpsBlock {
  SensorOps ops;
  SensorState state;
};

}  // namespace

SensorOps* AllocateSensorOps(BYTE busAddress, WORD initialControl) {
  SensorOpsBlock* block = new (std::nothrow) SensorOpsBlock{};
  if (block == nullptr) return nullptr;
  block->state.busAddress = busAddress;
  block->state.controlShadow = initialControl;
  block->ops.state = &block->state;
  FillSharedSensorSlots(&block->ops);
  Camera().sensorOps = &block->ops;
  return &block->ops;
}

void FreeSensorOps(SensorOps* ops) {
  if (ops == nullptr) return;
  if (Camera().sensorOps == ops) Camera().sensorOps = nullptr;
  // ops is the first member of its block, so the block starts at the same address.
  delete reinterpret_cast<SensorOpsBlock*>(ops);
}

void SelectSensorOps(SensorOps* ops) { Camera().sensorOps = ops; }

SensorOps* CurrentSensorOps() { return Camera().sensorOps; }

BOOL WriteSensorRegisterKind1(BYTE busAddress, WORD word) {
  CaptureDevice* device = CurrentCaptureDevice();  // the sensor sits on the selected camera's bus
  if (!BusStart(device)) return FALSE;
  if (BusWriteByte(device, busAddress) == 0) return FALSE;
  if (BusWriteByte(device, static_cast<BYTE>(word >> 8)) == 0) return FALSE;
  if (BusWriteByte(device, static_cast<BYTE>(word & 0xFF)) == 0) return FALSE;
  return BusStop(device);
}

BOOL WriteSensorRegisterKind0(BYTE busAddress, WORD word) {
  CaptureDevice* device = CurrentCaptureDevice();  // the sensor sits on the selected camera's bus
  // Every step runs whatever the earlier ones gave, so the bus always ends stopped.
  bool ok = BusStart(device) != FALSE;
  ok = BusWriteByte(device, busAddress) != 0 && ok;
  ok = BusWriteByte(device, static_cast<BYTE>(word >> 8)) != 0 && ok;
  ok = BusWriteByte(device, static_cast<BYTE>(word & 0xFF)) != 0 && ok;
  ok = BusStop(device) != FALSE && ok;
  return ok ? TRUE : FALSE;
}
