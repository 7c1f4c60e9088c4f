// Capture-device lifecycle and the sensor-kind probe.
#include "camera/zarncam.h"

#include <new>

#include "platform/platform.h"
#include "port/port.h"

namespace {

constexpr WORD kStateProbe = 0xFFFF;
constexpr WORD kStateBit7 = 0x0080;

}  // namespace

BOOL ResetCaptureDevices() {
  Camera().current = nullptr;
  return TRUE;
}

void SetCaptureDefaults(CaptureDevice* device) {
  if (device == nullptr) return;
  device->option80 = 0;
  device->optionSpare = 0;
  device->temporalDifference = 0;
  device->threshold1 = 0;
  device->threshold2 = 0;
  device->mode = CAPTURE_MODE_YUV;
  device->width = 160;
  device->height = 120;
  device->settingsChanged = 1;
  device->skipReadyPoll = 1;
  device->fullFrameNext = 1;
}

HCAPTUREDEVICE InitCaptureDevice(std::int16_t port, std::int16_t option) {
  CaptureDevice* device = new (std::nothrow) CaptureDevice{};
  if (device == nullptr) return nullptr;
  device->port = port;
  device->option = option;

  bool ok = SelectPort(port) && OpenPort() == 0;
  if (ok) {
    device->status.s[8] = kStateProbe;
    ok = ReadStatusBlock(device);
  }
  if (ok) {
    device->status.s[8] &= static_cast<WORD>(~kStateBit7);
    ok = device->status.s[8] == 0 || device->status.s[8] == CAMERA_STATE_READY;
  }
  if (ok) {
    device->status.s[8] = CAMERA_STATE_READY;
    ok = WriteStatusBlock(device);
  }
  if (ok) {
    device->command = CommandBlock{};
    ok = SendCommandBlock(device);
  }
  if (!ok) {
    delete device;
    return nullptr;
  }
  device->maxTransfer = kTransferSmall;
  SetCaptureDefaults(device);
  return device;
}

BOOL SelectCaptureDevice(HCAPTUREDEVICE handle) {
  CameraState& camera = Camera();
  camera.current = nullptr;
  if (handle == nullptr) return FALSE;
  camera.current = handle;
  if (!SelectPort(handle->port)) {
    camera.current = nullptr;
    return FALSE;
  }
  return TRUE;
}

void FreeCaptureDevice(HCAPTUREDEVICE handle) {
  if (handle == nullptr) return;
  if (Camera().current == handle) Camera().current = nullptr;
  delete handle;
}

void CloseCaptureDevices() {
  if (Camera().current != nullptr) FreeCaptureDevice(Camera().current);
}

BOOL DetectZarncam(BYTE busAddress) {
  // The sensor answers on the bus of the selected camera.
  CaptureDevice* device = CurrentCaptureDevice();
  BYTE id[4] = {};
  const BYTE readAddress = static_cast<BYTE>(busAddress | 1);

  // The first pass only wakes the bus; what it returns is not looked at.
  BusStart(device);
  BusWriteByte(device, readAddress);
  for (int i = 0; i < 3; ++i) BusReadByte(device, &id[i], BUS_ACK_MORE);
  BusReadByte(device, &id[3], BUS_ACK_LAST);
  BusStop(device);

  bool ok = BusStart(device) != FALSE;
  ok = BusWriteByte(device, readAddress) != 0 && ok;
  for (int i = 0; i < 3; ++i) ok = BusReadByte(device, &id[i], BUS_ACK_MORE) && ok;
  ok = BusReadByte(device, &id[3], BUS_ACK_LAST) && ok;
  ok = BusStop(device) && ok;
  if (!ok) {
    platform::MessageBox(nullptr, "DetectZarncam error #2", kZarncamCaption, MB_OK);
    return FALSE;
  }
  return (id[2] & 0x0F) == 0 ? TRUE : FALSE;
}
